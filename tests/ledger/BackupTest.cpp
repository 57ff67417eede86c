// Dated copies of the ledger: made when the tables changed, kept private, pruned, and put back only
// while no program holds the directory.
#include "ledger/Backup.h"
#include "TestTables.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/LedgerCheck.h"
#include "ledger/WorkLock.h"
#include "ledger/WriteGate.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>

using namespace kw::ledger;
using kwtest::Ledger;
using kwtest::LedgerDir;
using kwtest::readAll;
using kwtest::writeAll;
namespace backup = kw::backup;

namespace {

const QDateTime T0(QDate(2024, 3, 31), QTime(12, 0, 0));

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

QString copyPath(const LedgerDir &d, const QString &name)
{
    return QDir(d.file(backup::FolderName)).filePath(name);
}

// A file of a copy as the standard zstd tool unpacks it.
QByteArray unpacked(const QString &stored)
{
    QProcess p;
    p.start(QStringLiteral("zstd"), {"-d", "-c", "-q", stored});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QByteArrayLiteral("zstd failed: ") + p.readAllStandardError();
    return p.readAllStandardOutput();
}
// The data file `name` as the copy in `folder` holds it.
QByteArray inCopy(const QString &folder, const QString &name)
{
    return unpacked(QDir(folder).filePath(name + ".zst"));
}

// One booking through the engine, so the tables differ from any earlier copy.
void bookSomething(Ledger &b, double value)
{
    b.open("3", "2024");
    if (b.day.isEmpty())
        addDay(b.t, 1, "3", "2024", QDate(2024, 3, 1));
    bookAmounts(b.t, Ledger::one(4, value), Sign::Add);
    closePeriod(b.t);
}

struct ToolResult
{
    int code;
    QString out, err;
};
ToolResult runTool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(KW_LEDGER_TOOL), args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(Backup, MadeWhenChangedPrivateAndWholeThenSkippedWhileUnchanged)
{
    Ledger b;
    const backup::Outcome first = backup::backupIfChanged(b.path(), T0);
    ASSERT_EQ(first.kind, backup::Outcome::Made) << first.message.toStdString();
    EXPECT_EQ(first.folder, copyPath(b, "2024-03-31_120000"));
    EXPECT_EQ(modeOf(b.file(backup::FolderName)), 0700u);
    EXPECT_EQ(modeOf(first.folder), 0700u);
    const QStringList files = QDir(first.folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    EXPECT_EQ(files, (QStringList{"Sum.DBF.zst", "Suma.dbf.zst", "Wydatki.dbf.zst", "kopia.lst"}))
        << "the tables, compressed, and their list";
    for (const QString &f : files)
        EXPECT_EQ(modeOf(QDir(first.folder).filePath(f)), 0600u) << f.toStdString();
    for (const QString t : {"Sum.DBF", "Suma.dbf", "Wydatki.dbf"})
        EXPECT_EQ(inCopy(first.folder, t), readAll(b.file(t))) << t.toStdString();

    EXPECT_EQ(backup::backupIfChanged(b.path(), T0.addSecs(60)).kind, backup::Outcome::Unchanged);
    EXPECT_EQ(backup::copies(b.path()).size(), 1);

    bookSomething(b, 12.5);
    const backup::Outcome second = backup::backupIfChanged(b.path(), T0.addSecs(120));
    ASSERT_EQ(second.kind, backup::Outcome::Made);
    EXPECT_EQ(backup::copies(b.path()), (QStringList{"2024-03-31_120000", "2024-03-31_120200"}));
    EXPECT_EQ(inCopy(second.folder, "Wydatki.dbf"), readAll(b.file("Wydatki.dbf")));
    EXPECT_EQ(inCopy(second.folder, "Suma.dbf"), readAll(b.file("Suma.dbf")));
    EXPECT_NE(inCopy(second.folder, "Suma.dbf"), inCopy(first.folder, "Suma.dbf"));
}

TEST(Backup, TwoCopiesInOneSecondBothKeptInOrderAndTheNewestTwentyKept)
{
    Ledger b;
    QDir(b.file(backup::FolderName)).mkpath("moje-rzeczy"); // not a copy: never pruned
    ASSERT_EQ(backup::backupNow(b.path(), T0).kind, backup::Outcome::Made);
    ASSERT_EQ(backup::backupNow(b.path(), T0).kind, backup::Outcome::Made);
    for (int i = 1; i <= 10; ++i)
        ASSERT_EQ(backup::backupNow(b.path(), T0).kind, backup::Outcome::Made);
    QStringList all = backup::copies(b.path());
    ASSERT_EQ(all.size(), 12);
    EXPECT_EQ(all[0], "2024-03-31_120000");
    EXPECT_EQ(all[1], "2024-03-31_120000-2");
    EXPECT_EQ(all[11], "2024-03-31_120000-12") << "numbered copies sort by number, not by text";

    for (int i = 1; i <= 14; ++i) {
        bookSomething(b, i);
        ASSERT_EQ(backup::backupIfChanged(b.path(), T0.addDays(i)).kind, backup::Outcome::Made);
    }
    all = backup::copies(b.path());
    ASSERT_EQ(all.size(), backup::Keep);
    EXPECT_EQ(all.first(), "2024-03-31_120000-7") << "the six oldest went";
    EXPECT_EQ(all.last(), "2024-04-14_120000");
    EXPECT_TRUE(QFileInfo(b.file("kopie/moje-rzeczy")).isDir());
    // The newest copy still holds the newest tables.
    EXPECT_EQ(inCopy(copyPath(b, all.last()), "Suma.dbf"), readAll(b.file("Suma.dbf")));
}

TEST(Backup, AFailedCopyIsToldNamingTheFolderAndLeavesNoHalfCopy)
{
    Ledger b;
    // "kopie" taken by a file: the copy cannot be made, whoever runs the test (root included).
    writeAll(b.file(backup::FolderName), "not a folder");
    const QByteArray before = readAll(b.file("Wydatki.dbf"));
    const backup::Outcome o = backup::backupIfChanged(b.path(), T0);
    EXPECT_EQ(o.kind, backup::Outcome::Failed);
    EXPECT_TRUE(o.message.contains(QDir::toNativeSeparators(b.file(backup::FolderName))))
        << o.message.toStdString();
    EXPECT_TRUE(o.message.contains("Program działa dalej")) << o.message.toStdString();
    EXPECT_EQ(readAll(b.file("Wydatki.dbf")), before);

    // A copy interrupted half-way (a hidden work folder) is neither counted nor compared against.
    QFile::remove(b.file(backup::FolderName));
    QDir(b.file(backup::FolderName)).mkpath(".2024-03-31_115900.tmp");
    ASSERT_EQ(backup::backupIfChanged(b.path(), T0).kind, backup::Outcome::Made);
    EXPECT_EQ(backup::copies(b.path()), QStringList{"2024-03-31_120000"});
    EXPECT_FALSE(QFileInfo::exists(b.file("kopie/.2024-03-31_115900.tmp")));

    LedgerDir empty;
    for (const QString &f : QDir(empty.path()).entryList(QDir::Files))
        QFile::remove(empty.file(f));
    EXPECT_EQ(backup::backupIfChanged(empty.path(), T0).kind, backup::Outcome::NoTables);
    EXPECT_FALSE(QFileInfo::exists(empty.file(backup::FolderName)));
}

TEST(Backup, AWaitingJournalIsCopiedWithTheTablesAndChangesTheComparison)
{
    Ledger b;
    ASSERT_EQ(backup::backupIfChanged(b.path(), T0).kind, backup::Outcome::Made);
    const QString journal = b.file(QString::fromLatin1(kw::Journal::fileName()));
    writeAll(journal, ""); // an empty journal is no unfinished change
    EXPECT_EQ(backup::backupIfChanged(b.path(), T0.addSecs(1)).kind, backup::Outcome::Unchanged);
    writeAll(journal, "KWJRNL01 and the images of an unfinished change");
    const backup::Outcome o = backup::backupIfChanged(b.path(), T0.addSecs(2));
    ASSERT_EQ(o.kind, backup::Outcome::Made);
    EXPECT_EQ(inCopy(o.folder, "Kwotnik.jrn"), readAll(journal));
}

TEST(Backup, RestorePutsACopyBackAfterSettingTheCurrentTablesAside)
{
    Ledger b;
    bookSomething(b, 10);
    ASSERT_EQ(backup::backupIfChanged(b.path(), T0).kind, backup::Outcome::Made);
    const QByteArray monthAtCopy = readAll(b.file("Suma.dbf"));
    bookSomething(b, 5);
    const QByteArray monthNow = readAll(b.file("Suma.dbf"));
    // A journal of the tables being replaced must not be rolled back onto the copy.
    const QString journal = b.file("Kwotnik.jrn");
    writeAll(journal, "KWJRNL01 stale");

    const QString aside = backup::restore(b.path(), "2024-03-31_120000", T0.addSecs(60));
    EXPECT_EQ(aside, copyPath(b, "2024-03-31_120100"));
    EXPECT_EQ(readAll(b.file("Suma.dbf")), monthAtCopy);
    EXPECT_EQ(inCopy(aside, "Suma.dbf"), monthNow);
    EXPECT_EQ(inCopy(aside, "Kwotnik.jrn"), QByteArray("KWJRNL01 stale"));
    EXPECT_FALSE(QFileInfo::exists(journal));

    b.open("3", "2024");
    EXPECT_DOUBLE_EQ(amount(b.month, "SZYWNOSC"), 10);
    EXPECT_DOUBLE_EQ(amount(b.year, "RZYWNOSC"), 10);
    closePeriod(b.t);

    // And back again by path: the aside copy is a copy like any other.
    backup::restore(b.path(), aside, T0.addSecs(120));
    EXPECT_EQ(readAll(b.file("Suma.dbf")), monthNow);
}

TEST(Backup, RestoreIsRefusedWhileOpenOrWithABadCopyAndChangesNothing)
{
    Ledger b;
    ASSERT_EQ(backup::backupIfChanged(b.path(), T0).kind, backup::Outcome::Made);
    bookSomething(b, 7);
    const QByteArray month = readAll(b.file("Suma.dbf"));
    const auto expectRefused = [&](const QString &copy, const char *words) {
        try {
            backup::restore(b.path(), copy, T0.addSecs(60));
            ADD_FAILURE() << "restored " << copy.toStdString();
        } catch (const kw::EngineError &e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(words))) << e.message().toStdString();
        }
        EXPECT_EQ(readAll(b.file("Suma.dbf")), month);
        EXPECT_EQ(backup::copies(b.path()).size(), 1) << "nothing set aside for a refused restore";
    };
    {
        kw::WorkLock program;
        ASSERT_TRUE(program.acquire(b.path()));
        expectRefused("2024-03-31_120000", "są otwarte w programie");
    }
    expectRefused("2020-01-01_000000", "Nie ma kopii zapasowej");
    QFile::remove(copyPath(b, "2024-03-31_120000/Sum.DBF.zst"));
    expectRefused("2024-03-31_120000", "brakuje pliku Sum.DBF");
    writeAll(copyPath(b, "2024-03-31_120000/Sum.DBF.zst"), "garbage");
    expectRefused("2024-03-31_120000", "jest uszkodzony");
}

TEST(Backup, CommandLineBackupAndRestore)
{
    Ledger b;
    const ToolResult made = runTool({"backup", b.path()});
    ASSERT_EQ(made.code, 0) << made.err.toStdString();
    const QString folder = made.out.trimmed();
    EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();
    const QByteArray day = readAll(b.file("Wydatki.dbf"));
    bookSomething(b, 3);

    {
        kw::WorkLock program;
        ASSERT_TRUE(program.acquire(b.path()));
        const ToolResult refused = runTool({"restore", b.path(), QFileInfo(folder).fileName()});
        EXPECT_EQ(refused.code, 1);
        EXPECT_TRUE(refused.err.contains("Zamknij program")) << refused.err.toStdString();
        EXPECT_NE(readAll(b.file("Wydatki.dbf")), day);
    }
    const ToolResult restored = runTool({"restore", b.path(), QFileInfo(folder).fileName()});
    EXPECT_EQ(restored.code, 0) << restored.err.toStdString();
    EXPECT_TRUE(restored.out.contains("odłożone")) << restored.out.toStdString();
    EXPECT_EQ(readAll(b.file("Wydatki.dbf")), day);
    EXPECT_EQ(backup::copies(b.path()).size(), 2);
    EXPECT_EQ(runTool({"restore", b.path()}).code, 2) << "a missing argument shows the usage";
}

namespace {

// Sets a file's modification time `secondsAgo` back, to the nanosecond `ns` (the clock of a file
// written long ago, or a write that landed within the tick of an earlier one).
void setMtime(const QString &path, std::int64_t secondsAgo, long ns = 0)
{
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = std::time(nullptr) - secondsAgo;
    times[1].tv_nsec = ns;
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

struct stat statOf(const QString &path)
{
    struct stat st
    {
    };
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

// Bytes this process has read through read(2) and friends so far.
long long bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

// The month sum no longer equals its day entries: a ledger whose tables disagree.
void unbalanceMonth(const QString &dir, double value)
{
    auto f = kw::DbfFile::open(QDir(dir).filePath("Suma.dbf"));
    std::string rec(std::size_t(f->recordLength()), ' ');
    f->readRecord(0, rec.data());
    f->encode(rec.data(), f->fieldIndex(QStringLiteral("SZYWNOSC")), value);
    f->writeRecord(0, rec.data());
}

} // namespace

TEST(Backup, PruningRemovesOnlyWhatTheProgramWroteAndNeverFollowsALink)
{
    Ledger b;
    ASSERT_EQ(backup::backupNow(b.path(), T0).kind, backup::Outcome::Made);
    const QString first = copyPath(b, "2024-03-31_120000");
    writeAll(QDir(first).filePath("notatki.txt"), "moje"); // the user's file inside the oldest copy
    // A dated folder without tables is no copy: never counted, never touched.
    QDir().mkpath(copyPath(b, "2024-01-01_000000"));
    writeAll(copyPath(b, "2024-01-01_000000/zdjecie.jpg"), "jpg");
    // A dated link to a folder elsewhere that looks like a copy: never followed.
    QTemporaryDir elsewhere;
    QDir().mkpath(elsewhere.filePath("obca"));
    for (const QString t : {"Wydatki.dbf", "Suma.dbf", "Sum.DBF"})
        ASSERT_TRUE(QFile::copy(b.file(t), elsewhere.filePath("obca/" + t)));
    ASSERT_TRUE(QFile::link(elsewhere.filePath("obca"), copyPath(b, "2024-02-01_000000")));
    EXPECT_EQ(backup::copies(b.path()), QStringList{"2024-03-31_120000"});

    for (int i = 1; i <= backup::Keep + 1; ++i)
        ASSERT_EQ(backup::backupNow(b.path(), T0.addDays(i)).kind, backup::Outcome::Made);
    const QStringList all = backup::copies(b.path());
    ASSERT_EQ(all.size(), backup::Keep);
    EXPECT_EQ(all.first(), "2024-04-02_120000") << "the two oldest copies went";
    EXPECT_FALSE(QFileInfo::exists(copyPath(b, "2024-04-01_120000"))) << "a copy of our own files goes whole";
    EXPECT_EQ(QDir(first).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"notatki.txt"})
        << "the copy's files went, the user's file and its folder stayed";
    EXPECT_EQ(readAll(QDir(first).filePath("notatki.txt")), QByteArray("moje"));
    EXPECT_TRUE(QFileInfo::exists(copyPath(b, "2024-01-01_000000/zdjecie.jpg")));
    EXPECT_EQ(QDir(elsewhere.filePath("obca")).entryList(QDir::Files).size(), 3);
    EXPECT_TRUE(QFileInfo(copyPath(b, "2024-02-01_000000")).isSymLink());
    EXPECT_THROW(backup::restore(b.path(), "2024-02-01_000000", T0.addDays(40)), kw::EngineError);
    EXPECT_EQ(backup::copies(b.path()).size(), backup::Keep) << "a refused restore sets nothing aside";
}

TEST(Backup, ACopiesFolderThatIsALinkIsRefusedAndTold)
{
    Ledger b;
    QTemporaryDir elsewhere;
    QDir().mkpath(elsewhere.filePath("2020-01-01_000000"));
    for (const QString t : {"Wydatki.dbf", "Suma.dbf", "Sum.DBF"})
        ASSERT_TRUE(QFile::copy(b.file(t), elsewhere.filePath("2020-01-01_000000/" + t)));
    writeAll(elsewhere.filePath("inne.txt"), "cudze");
    ASSERT_TRUE(QFile::link(elsewhere.path(), b.file(backup::FolderName)));

    for (int i = 0; i < 2; ++i) {
        const backup::Outcome o = backup::backupNow(b.path(), T0.addDays(i));
        EXPECT_EQ(o.kind, backup::Outcome::Failed);
        EXPECT_TRUE(o.message.contains("dowiązaniem symbolicznym")) << o.message.toStdString();
        EXPECT_TRUE(o.message.contains(QDir::toNativeSeparators(b.file(backup::FolderName))));
        EXPECT_TRUE(o.message.contains("Program działa dalej")) << o.message.toStdString();
    }
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"2020-01-01_000000", "inne.txt"}))
        << "nothing written or removed through the link";
    EXPECT_TRUE(backup::copies(b.path()).isEmpty());
    try {
        backup::restore(b.path(), "2020-01-01_000000", T0);
        ADD_FAILURE() << "restored through a link";
    } catch (const kw::EngineError &e) {
        EXPECT_TRUE(e.message().contains("dowiązaniem symbolicznym")) << e.message().toStdString();
    }
}

TEST(Backup, AnUnchangedFileIsLinkedAndDecidedOnWithoutReadingIt)
{
    Ledger b;
    // A large data file beside the tables: deciding must not read it.
    QByteArray rules;
    for (int i = 0; rules.size() < (4 << 20); ++i)
        rules += "jeśli opis zawiera \"SKLEP " + QByteArray::number(i % 500) + "\" to ZYWNOSC\n";
    writeAll(b.file("Reguly.txt"), rules);
    const QStringList files{"Wydatki.dbf", "Suma.dbf", "Sum.DBF", "Reguly.txt"};
    for (const QString &f : files)
        setMtime(b.file(f), 3600); // written an hour ago
    const backup::Outcome first = backup::backupIfChanged(b.path(), T0);
    ASSERT_EQ(first.kind, backup::Outcome::Made) << first.message.toStdString();
    EXPECT_EQ(inCopy(first.folder, "Reguly.txt"), rules);
    EXPECT_LT(statOf(QDir(first.folder).filePath("Reguly.txt.zst")).st_size, rules.size() / 8);

    const long long before = bytesRead();
    EXPECT_EQ(backup::backupIfChanged(b.path(), T0.addSecs(60)).kind, backup::Outcome::Unchanged);
    EXPECT_LT(bytesRead() - before, 64 * 1024) << "the decision reads the copy's list, not the files";

    bookSomething(b, 2.5); // the three tables change; the rules do not
    const backup::Outcome second = backup::backupIfChanged(b.path(), T0.addSecs(120));
    ASSERT_EQ(second.kind, backup::Outcome::Made);
    const struct stat oldRules = statOf(QDir(first.folder).filePath("Reguly.txt.zst"));
    const struct stat newRules = statOf(QDir(second.folder).filePath("Reguly.txt.zst"));
    EXPECT_EQ(newRules.st_ino, oldRules.st_ino) << "an unchanged file is a hard link to the previous copy";
    EXPECT_EQ(newRules.st_nlink, 2u);
    EXPECT_NE(statOf(QDir(second.folder).filePath("Suma.dbf.zst")).st_ino,
              statOf(QDir(first.folder).filePath("Suma.dbf.zst")).st_ino);
    for (const QString &f : files)
        EXPECT_EQ(inCopy(second.folder, f), readAll(b.file(f))) << f.toStdString();

    // A same-size change that kept the time the copy's list holds, made within the tick the table
    // was copied in: its checksum tells it.
    const QString year = b.file("Sum.DBF");
    const struct stat copied = statOf(year);
    QByteArray bytes = readAll(year);
    bytes[bytes.size() - 3] = bytes[bytes.size() - 3] == '1' ? '2' : '1';
    {
        QFile f(year);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.write(bytes);
    }
    struct timespec times[2] = {{0, UTIME_OMIT}, copied.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(year).constData(), times, 0), 0);
    ASSERT_EQ(statOf(year).st_mtim.tv_nsec, copied.st_mtim.tv_nsec);
    const backup::Outcome third = backup::backupIfChanged(b.path(), T0.addSecs(180));
    ASSERT_EQ(third.kind, backup::Outcome::Made);
    EXPECT_EQ(inCopy(third.folder, "Sum.DBF"), bytes);

    // The data files beside the tables come back with them.
    writeAll(b.file("Reguly.txt"), "inne reguły");
    backup::restore(b.path(), third.folder, T0.addSecs(240), [](const QStringList &) { return true; });
    EXPECT_EQ(readAll(b.file("Reguly.txt")), rules);
    EXPECT_EQ(readAll(b.file("Sum.DBF")), bytes);
}

TEST(Backup, RestoreReadsPlainCopiesAndRefusesOnesThatDoNotCheck)
{
    Ledger b;
    bookSomething(b, 4);
    const QByteArray month = readAll(b.file("Suma.dbf"));
    // A copy as the program made them before compressing: plain tables, no list.
    QDir().mkpath(copyPath(b, "2023-12-31_235959"));
    for (const QString t : {"Wydatki.dbf", "Suma.dbf", "Sum.DBF"})
        ASSERT_TRUE(QFile::copy(b.file(t), copyPath(b, "2023-12-31_235959/" + t)));
    bookSomething(b, 6);
    ASSERT_NE(readAll(b.file("Suma.dbf")), month);
    backup::restore(b.path(), "2023-12-31_235959", T0);
    EXPECT_EQ(readAll(b.file("Suma.dbf")), month);

    const backup::Outcome made = backup::backupNow(b.path(), T0.addSecs(60));
    ASSERT_EQ(made.kind, backup::Outcome::Made);
    const QString list = QDir(made.folder).filePath(backup::ManifestName);
    const QByteArray goodList = readAll(list);
    const QString day = QDir(made.folder).filePath("Wydatki.dbf.zst");
    const QByteArray goodDay = readAll(day);
    bookSomething(b, 8);
    const QByteArray now = readAll(b.file("Suma.dbf"));
    const auto expectRefused = [&](const char *why) {
        SCOPED_TRACE(why);
        const int before = int(backup::copies(b.path()).size());
        try {
            backup::restore(b.path(), made.folder, T0.addSecs(120));
            ADD_FAILURE() << "restored a copy that does not check";
        } catch (const kw::EngineError &e) {
            EXPECT_TRUE(e.message().contains("jest uszkodzony")) << e.message().toStdString();
        }
        EXPECT_EQ(readAll(b.file("Suma.dbf")), now);
        EXPECT_EQ(int(backup::copies(b.path()).size()), before);
        EXPECT_FALSE(QFileInfo::exists(b.file(".odtwarzanie.tmp")));
    };
    // The list's checksum of the day table no longer fits what the copy holds.
    QByteArray badList = goodList;
    const qsizetype at = badList.indexOf("Wydatki.dbf.zst");
    const qsizetype sum = badList.indexOf('\n', at) - 3; // the checksum's last digit
    badList[sum] = badList[sum] == 'a' ? 'b' : 'a';
    writeAll(list, badList);
    expectRefused("checksum");
    writeAll(list, goodList);
    writeAll(day, goodDay.left(goodDay.size() - 9));
    expectRefused("cut short");
    writeAll(day, goodDay);
    backup::restore(b.path(), made.folder, T0.addSecs(180));
    EXPECT_EQ(readAll(b.file("Suma.dbf")), inCopy(made.folder, "Suma.dbf"));
}

TEST(Backup, ACopyWhoseTablesDisagreeIsRestoredOnlyWhenConfirmed)
{
    Ledger b;
    bookSomething(b, 10);
    unbalanceMonth(b.path(), 999);
    const QStringList report = verifyLedger(b.path());
    ASSERT_FALSE(report.isEmpty());
    const backup::Outcome made = backup::backupNow(b.path(), T0);
    ASSERT_EQ(made.kind, backup::Outcome::Made);
    unbalanceMonth(b.path(), 10); // mended by hand
    ASSERT_TRUE(verifyLedger(b.path()).isEmpty());
    const QByteArray mended = readAll(b.file("Suma.dbf"));

    QStringList shown;
    for (const bool answer : {false, true}) {
        SCOPED_TRACE(answer);
        const auto confirm = [&](const QStringList &problems) {
            shown = problems;
            return answer;
        };
        try {
            const QString aside =
                backup::restore(b.path(), made.folder, T0.addSecs(answer ? 120 : 60), confirm);
            EXPECT_TRUE(answer) << "restored without a yes";
            EXPECT_EQ(inCopy(aside, "Suma.dbf"), mended);
        } catch (const kw::EngineError &e) {
            EXPECT_FALSE(answer) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains("nie zgadzają się")) << e.message().toStdString();
            EXPECT_EQ(readAll(b.file("Suma.dbf")), mended);
        }
        EXPECT_EQ(shown, report) << "the check's own report is what the user is shown";
    }
    EXPECT_EQ(verifyLedger(b.path()), report);
    EXPECT_THROW(backup::restore(b.path(), made.folder, T0.addSecs(180)), kw::EngineError)
        << "without a way to ask, a disagreeing copy is refused";
}

// The program books while a copy is taken in another thread. Each of the first three times, a
// booking lands after the day table was copied and before the sums were: those copies are thrown
// away. The fourth is taken with bookings held off: the booking asked for then waits for the copy.
TEST(Backup, ACopyTakenWhileTheProgramBooksHoldsOneStateOfTheLedger)
{
    Ledger b;
    bookSomething(b, 1);
    std::mutex m;
    std::condition_variable cv;
    int asked = 0, booked = 0;
    bool sawWriterHeld = false;
    backup::setCopyObserver([&](int attempt, const QString &file) {
        if (file != "Wydatki.dbf")
            return;
        std::unique_lock lock(m);
        ++asked;
        cv.notify_all();
        if (attempt <= 3) {
            cv.wait(lock, [&] { return booked >= asked; });
            return;
        }
        lock.unlock();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!kw::writegate::writerWaiting() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sawWriterHeld = kw::writegate::writerWaiting();
    });
    backup::Outcome o;
    std::thread copier([&] { o = backup::backupNow(b.path(), T0); });
    for (int n = 0; n < 4; ++n) {
        {
            std::unique_lock lock(m);
            cv.wait(lock, [&] { return asked > n; });
        }
        bookSomething(b, 100 + n); // the fourth waits here until the copy is made
        std::lock_guard lock(m);
        ++booked;
        cv.notify_all();
    }
    copier.join();
    backup::setCopyObserver(nullptr);

    ASSERT_EQ(o.kind, backup::Outcome::Made) << o.message.toStdString();
    EXPECT_EQ(o.attempts, 4);
    EXPECT_TRUE(sawWriterHeld) << "the fourth booking waited for the copy";
    QTemporaryDir unpackedDir;
    for (const QString t : {"Wydatki.dbf", "Suma.dbf", "Sum.DBF"})
        writeAll(unpackedDir.filePath(t), inCopy(o.folder, t));
    EXPECT_TRUE(verifyLedger(unpackedDir.path()).isEmpty())
        << verifyLedger(unpackedDir.path()).join('\n').toStdString();
    Ledger inTheCopy(unpackedDir.path());
    inTheCopy.open("3", "2024");
    EXPECT_DOUBLE_EQ(amount(inTheCopy.month, "SZYWNOSC"), 1 + 100 + 101 + 102);
    closePeriod(inTheCopy.t);
    b.open("3", "2024");
    EXPECT_DOUBLE_EQ(amount(b.month, "SZYWNOSC"), 1 + 100 + 101 + 102 + 103);
    closePeriod(b.t);
}

// The companion shows the check's report for a copy whose tables disagree; without a terminal to
// ask on, it restores only with --force.
TEST(Backup, CommandLineRestoreOfADisagreeingCopyShowsTheReportAndWantsForce)
{
    Ledger b;
    bookSomething(b, 10);
    unbalanceMonth(b.path(), 999);
    const QStringList report = verifyLedger(b.path());
    const ToolResult made = runTool({"backup", b.path()});
    ASSERT_EQ(made.code, 0) << made.err.toStdString();
    const QString folder = made.out.trimmed();
    unbalanceMonth(b.path(), 10);
    const QByteArray mended = readAll(b.file("Suma.dbf"));

    const ToolResult refused = runTool({"restore", b.path(), folder});
    EXPECT_EQ(refused.code, 1);
    for (const QString &line : report)
        EXPECT_TRUE(refused.err.contains(line)) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("--force")) << refused.err.toStdString();
    EXPECT_EQ(readAll(b.file("Suma.dbf")), mended);
    EXPECT_EQ(backup::copies(b.path()).size(), 1);

    // On a terminal the companion asks, and a "no" changes nothing.
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    const auto onTerminal = [&](const QByteArray &answer) {
        QProcess p;
        p.start(script,
                {"-qec", QStringLiteral("'%1' restore '%2' '%3'").arg(KW_LEDGER_TOOL, b.path(), folder),
                 "/dev/null"});
        p.write(answer);
        p.closeWriteChannel();
        p.waitForFinished(60000);
        return ToolResult{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), {}};
    };
    if (!script.isEmpty()) {
        const ToolResult no = onTerminal("n\n");
        EXPECT_EQ(no.code, 1) << no.out.toStdString();
        EXPECT_TRUE(no.out.contains("Odtworzyć tę kopię mimo różnic? [t/N]")) << no.out.toStdString();
        EXPECT_EQ(readAll(b.file("Suma.dbf")), mended);
    }

    const ToolResult forced = runTool({"restore", b.path(), folder, "--force"});
    EXPECT_EQ(forced.code, 0) << forced.err.toStdString();
    EXPECT_TRUE(forced.err.contains(report.first())) << "the report is shown before going on";
    EXPECT_EQ(verifyLedger(b.path()), report);
    EXPECT_EQ(runTool({"restore", b.path(), folder, "--forse"}).code, 2)
        << "an unknown option shows the usage";
    EXPECT_TRUE(runTool({"--help"}).out.contains("--force"));
}
