// Dated copies of the ledger: made when the tables changed, kept private, pruned, and put back only
// while no program holds the directory.
#include "ledger/Backup.h"
#include "TestTables.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/WorkLock.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <sys/stat.h>

using namespace kw::ledger;
using kwtest::Books;
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

// One booking through the engine, so the tables differ from any earlier copy.
void bookSomething(Books &b, double value)
{
    b.open("3", "2024");
    if (b.day.isEmpty())
        addDay(b.t, 1, "3", "2024", QDate(2024, 3, 1));
    bookAmounts(b.t, Books::one(4, value), Sign::Add);
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
    Books b;
    const backup::Outcome first = backup::backupIfChanged(b.path(), T0);
    ASSERT_EQ(first.kind, backup::Outcome::Made) << first.message.toStdString();
    EXPECT_EQ(first.folder, copyPath(b, "2024-03-31_120000"));
    EXPECT_EQ(modeOf(b.file(backup::FolderName)), 0700u);
    EXPECT_EQ(modeOf(first.folder), 0700u);
    const QStringList files = QDir(first.folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    EXPECT_EQ(files, (QStringList{"Sum.DBF", "Suma.dbf", "Wydatki.dbf"})) << "the tables and nothing else";
    for (const QString &f : files) {
        EXPECT_EQ(readAll(QDir(first.folder).filePath(f)), readAll(b.file(f))) << f.toStdString();
        EXPECT_EQ(modeOf(QDir(first.folder).filePath(f)), 0600u) << f.toStdString();
    }

    EXPECT_EQ(backup::backupIfChanged(b.path(), T0.addSecs(60)).kind, backup::Outcome::Unchanged);
    EXPECT_EQ(backup::copies(b.path()).size(), 1);

    bookSomething(b, 12.5);
    const backup::Outcome second = backup::backupIfChanged(b.path(), T0.addSecs(120));
    ASSERT_EQ(second.kind, backup::Outcome::Made);
    EXPECT_EQ(backup::copies(b.path()), (QStringList{"2024-03-31_120000", "2024-03-31_120200"}));
    EXPECT_EQ(readAll(QDir(second.folder).filePath("Wydatki.dbf")), readAll(b.file("Wydatki.dbf")));
    EXPECT_NE(readAll(QDir(second.folder).filePath("Suma.dbf")),
              readAll(QDir(first.folder).filePath("Suma.dbf")));
}

TEST(Backup, TwoCopiesInOneSecondBothKeptInOrderAndTheNewestTwentyKept)
{
    Books b;
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
    EXPECT_EQ(readAll(QDir(copyPath(b, all.last())).filePath("Suma.dbf")), readAll(b.file("Suma.dbf")));
}

TEST(Backup, AFailedCopyIsToldNamingTheFolderAndLeavesNoHalfCopy)
{
    Books b;
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
    Books b;
    ASSERT_EQ(backup::backupIfChanged(b.path(), T0).kind, backup::Outcome::Made);
    const QString journal = b.file(QString::fromLatin1(kw::Journal::fileName()));
    writeAll(journal, ""); // an empty journal is no unfinished change
    EXPECT_EQ(backup::backupIfChanged(b.path(), T0.addSecs(1)).kind, backup::Outcome::Unchanged);
    writeAll(journal, "KWJRNL01 and the images of an unfinished change");
    const backup::Outcome o = backup::backupIfChanged(b.path(), T0.addSecs(2));
    ASSERT_EQ(o.kind, backup::Outcome::Made);
    EXPECT_EQ(readAll(QDir(o.folder).filePath("Kwotnik.jrn")), readAll(journal));
}

TEST(Backup, RestorePutsACopyBackAfterSettingTheCurrentTablesAside)
{
    Books b;
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
    EXPECT_EQ(readAll(QDir(aside).filePath("Suma.dbf")), monthNow);
    EXPECT_EQ(readAll(QDir(aside).filePath("Kwotnik.jrn")), QByteArray("KWJRNL01 stale"));
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
    Books b;
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
    QFile::remove(copyPath(b, "2024-03-31_120000/Sum.DBF"));
    expectRefused("2024-03-31_120000", "brakuje pliku Sum.DBF");
    writeAll(copyPath(b, "2024-03-31_120000/Sum.DBF"), "garbage");
    expectRefused("2024-03-31_120000", "jest uszkodzony");
}

TEST(Backup, CommandLineBackupAndRestore)
{
    Books b;
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
