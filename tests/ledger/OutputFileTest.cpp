// Output files: the data folder's own files are never written over, whatever route leads to them;
// a file of another kind, an unwritable file or anything but a regular file is refused; a write
// replaces the old file whole, keeping its mode, or leaves it as it was.
#include "ledger/OutputFile.h"
#include "TestTables.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"

#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kwtest;
using kw::output::AtomicOutput;
using kw::output::FileKind;
using kw::output::refusal;

namespace {

const QByteArray Pdf = "%PDF-1.4\n% stare\n";

// Every file of the data folder, by name, with its bytes.
QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> out;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System))
        out[name] = readAll(QDir(dir).filePath(name));
    return out;
}

void symlinkTo(const QString &target, const QString &link)
{
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
}

int modeOf(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

void write(const QString &path, FileKind kind, const QString &dataDir, const QByteArray &bytes)
{
    AtomicOutput out(path, kind, dataDir);
    out.device().write(bytes);
    out.commit();
}

// The refusal's text, or "" when the write went through.
QString tryWrite(const QString &path, FileKind kind, const QString &dataDir)
{
    try {
        write(path, kind, dataDir, "%PDF-1.4 nowy");
        return {};
    } catch (const kw::EngineError &e) {
        EXPECT_EQ(e.kind(), kw::EngineError::Kind::Refused) << e.what();
        return e.message();
    }
}

} // namespace

TEST(OutputFile, NoRouteLeadsOntoTheDataFolderFiles)
{
    LedgerDir d;
    writeAll(d.file(QString::fromLatin1(kw::Journal::fileName())), "");
    writeAll(d.file(QStringLiteral("Reguly.txt")), "reguła\n");
    const auto before = snapshot(d.path());
    QTemporaryDir elsewhere;
    const QDir out(elsewhere.path());
    // The data folder reached through a link of its own, and through a detour.
    symlinkTo(d.path(), out.filePath(QStringLiteral("dane")));
    ASSERT_EQ(::link(QFile::encodeName(d.file(MonthFile)).constData(),
                     QFile::encodeName(out.filePath(QStringLiteral("twarde.pdf"))).constData()),
              0);
    symlinkTo(d.file(YearFile), out.filePath(QStringLiteral("rok.pdf")));

    struct Case
    {
        QString path;
        const char *dataFile;
    };
    const QList<Case> cases = {
        {d.file(QStringLiteral("WYDATKI.DBF")), "Wydatki.dbf"},
        {d.file(QStringLiteral("wydatki.dbf")), "Wydatki.dbf"},
        {d.file(QStringLiteral("SUMA.dbf")), "Suma.dbf"},
        {d.file(QStringLiteral("sum.dbf")), "Sum.DBF"},
        {d.file(QStringLiteral("kwotnik.JRN")), "Kwotnik.jrn"},
        {d.file(QStringLiteral("reguly.TXT")), "Reguly.txt"},
        // Not there yet: a PDF by that name would later be taken for the file.
        {d.file(QStringLiteral("operacje.DBF")), "Operacje.dbf"},
        {d.file(QStringLiteral("Plan.dbf")), "Plan.dbf"},
        {out.filePath(QStringLiteral("dane/SUM.dbf")), "Sum.DBF"},
        {d.path() + QStringLiteral("/./x/../Wydatki.dbf"), "Wydatki.dbf"},
        {d.path() + QStringLiteral("/../") + QFileInfo(d.path()).fileName() + QStringLiteral("/wydatki.DBF"),
         "Wydatki.dbf"},
        {out.filePath(QStringLiteral("twarde.pdf")), "Suma.dbf"},
        {out.filePath(QStringLiteral("rok.pdf")), "Sum.DBF"},
    };
    for (const Case &c : cases)
        for (const FileKind kind : {FileKind::Pdf, FileKind::Xlsx, FileKind::Csv}) {
            const QString why = tryWrite(c.path, kind, d.path());
            EXPECT_TRUE(
                why.contains(QStringLiteral("plik danych programu (%1)").arg(QLatin1String(c.dataFile))))
                << c.path.toStdString() << ": " << why.toStdString();
            EXPECT_TRUE(why.contains(c.path)) << "the message names the file as given: " << why.toStdString();
        }
    // The working directory is the data folder when none is named.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(d.path());
    EXPECT_FALSE(refusal(QStringLiteral("wYdAtKi.dbf"), FileKind::Pdf).isEmpty());
    QDir::setCurrent(previous);

    EXPECT_EQ(snapshot(d.path()), before) << "not one byte of the data folder changed";
    // The same names in another folder are ordinary files.
    EXPECT_EQ(refusal(out.filePath(QStringLiteral("Wydatki.dbf")), FileKind::Pdf, d.path()), QString());
}

TEST(OutputFile, RefusesWhatIsNotAFileOfTheKindBeingWritten)
{
    LedgerDir d;
    QTemporaryDir tmp;
    const QDir out(tmp.path());
    writeAll(out.filePath(QStringLiteral("notatka.txt")), "lista zakupów\n");
    writeAll(out.filePath(QStringLiteral("stary.pdf")), Pdf);
    writeAll(out.filePath(QStringLiteral("arkusz.xlsx")), QByteArray("PK\x03\x04\x14\x00", 6));
    writeAll(out.filePath(QStringLiteral("tabela.csv")), "data;kwota\n2024-03-01;12,50\n");
    QFile::copy(d.file(DayFile), out.filePath(QStringLiteral("kopia.csv")));
    writeAll(out.filePath(QStringLiteral("pusty.pdf")), "");
    ASSERT_TRUE(out.mkdir(QStringLiteral("folder.pdf")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(out.filePath(QStringLiteral("kolejka.pdf"))).constData(), 0600), 0);
    symlinkTo(out.filePath(QStringLiteral("nie-ma.pdf")), out.filePath(QStringLiteral("wisi.pdf")));

    struct Case
    {
        const char *name;
        FileKind kind;
        const char *says; // nullptr: may be written
    };
    const Case cases[] = {
        {"notatka.txt", FileKind::Pdf, "nie jest plikiem PDF"},
        {"arkusz.xlsx", FileKind::Pdf, "nie jest plikiem PDF"},
        {"stary.pdf", FileKind::Pdf, nullptr},
        {"pusty.pdf", FileKind::Pdf, nullptr}, // holds nothing to lose
        {"nowy.pdf", FileKind::Pdf, nullptr},
        {"arkusz.xlsx", FileKind::Xlsx, nullptr},
        {"stary.pdf", FileKind::Xlsx, "nie jest plikiem XLSX"},
        {"tabela.csv", FileKind::Csv, nullptr},
        {"stary.pdf", FileKind::Csv, "nie jest plikiem CSV"},
        {"kopia.csv", FileKind::Csv, "nie jest plikiem CSV"}, // a table under another name
        {"arkusz.xlsx", FileKind::Csv, "nie jest plikiem CSV"},
        {"folder.pdf", FileKind::Pdf, "to folder, nie plik"},
        {"kolejka.pdf", FileKind::Pdf, "to nie jest zwykły plik"},
        {"wisi.pdf", FileKind::Pdf, "dowiązanie do pliku, którego nie ma"},
        {"brak/nowy.pdf", FileKind::Pdf, "nie istnieje"},
    };
    for (const Case &c : cases) {
        const QString path = out.filePath(QLatin1String(c.name));
        const QString why = refusal(path, c.kind, d.path());
        if (!c.says) {
            EXPECT_EQ(why, QString()) << c.name;
            continue;
        }
        EXPECT_TRUE(why.contains(QString::fromUtf8(c.says))) << c.name << ": " << why.toStdString();
        EXPECT_TRUE(why.startsWith(QStringLiteral("Nie zapisano pliku „%1”").arg(path))) << why.toStdString();
    }
    EXPECT_FALSE(refusal(QString(), FileKind::Pdf, d.path()).isEmpty());
    EXPECT_TRUE(
        refusal(QStringLiteral("/dev/null"), FileKind::Pdf, d.path()).contains(QStringLiteral("zwykły")));
    EXPECT_EQ(readAll(out.filePath(QStringLiteral("notatka.txt"))), QByteArray("lista zakupów\n"));
}

// A file the user may not write, seen as a user who is not root (root may write anything): the
// check runs in a child that gives its privileges up.
TEST(OutputFile, AFileTheUserMayNotWriteIsRefused)
{
    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath(QStringLiteral("tylko-odczyt.pdf"));
    writeAll(path, Pdf);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(tmp.path()).constData(), 0777), 0);
    const bool root = ::geteuid() == 0;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const QString why = refusal(path, FileKind::Pdf, tmp.path());
        ::_exit(why.contains(QStringLiteral("brak prawa zapisu")) ? 0 : why.isEmpty() ? 1 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: allowed, 2: refused for another reason, 3: could not drop root";
    EXPECT_EQ(readAll(path), Pdf);
    EXPECT_EQ(modeOf(path), 0444);
}

TEST(OutputFile, ReplacesWholeKeepingTheModeAndLeavesNothingBehind)
{
    LedgerDir d;
    QTemporaryDir tmp;
    const QDir out(tmp.path());
    const QString old = out.filePath(QStringLiteral("marzec.pdf"));
    writeAll(old, Pdf);
    ASSERT_EQ(::chmod(QFile::encodeName(old).constData(), 0640), 0);
    write(old, FileKind::Pdf, d.path(), "%PDF-1.4 nowy");
    EXPECT_EQ(readAll(old), QByteArray("%PDF-1.4 nowy"));
    EXPECT_EQ(modeOf(old), 0640);

    // A new file: 0666 less the umask, as any program makes it.
    const mode_t before = ::umask(027);
    write(out.filePath(QStringLiteral("nowy.pdf")), FileKind::Pdf, d.path(), "%PDF-1.4");
    ::umask(before);
    EXPECT_EQ(modeOf(out.filePath(QStringLiteral("nowy.pdf"))), 0640);

    // Through a link: the file it points at is replaced, the link stays a link.
    const QString link = out.filePath(QStringLiteral("skrot.pdf"));
    symlinkTo(old, link);
    write(link, FileKind::Pdf, d.path(), "%PDF-1.4 przez dowiązanie");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(old), QByteArray("%PDF-1.4 przez dowiązanie"));

    // Not committed (the writer gave up): the old file stays, the temporary file goes.
    {
        AtomicOutput abandoned(old, FileKind::Pdf, d.path());
        abandoned.device().write("%PDF-1.4 porzucony");
        EXPECT_TRUE(QFileInfo::exists(abandoned.temporaryPath()));
        EXPECT_EQ(QFileInfo(abandoned.temporaryPath()).absolutePath(), tmp.path()) << "beside the target";
    }
    EXPECT_EQ(readAll(old), QByteArray("%PDF-1.4 przez dowiązanie"));
    EXPECT_EQ(out.entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList({"marzec.pdf", "nowy.pdf", "skrot.pdf"}));
}

// A full disk, at the writes or at the flush: one sentence naming the file and the cause, the old
// file as it was, no temporary file left.
TEST(OutputFile, AFullDiskIsOneCleanSentenceAndTheOldFileStays)
{
    LedgerDir d;
    QTemporaryDir tmp;
    const QString old = QDir(tmp.path()).filePath(QStringLiteral("rok.pdf"));
    writeAll(old, Pdf);
    for (const kw::diskio::Op op : {kw::diskio::Op::Write, kw::diskio::Op::Flush}) {
        kw::diskio::setFaultInjector([op](kw::diskio::Op o, const QString &name) {
            return o == op && name == QLatin1String("rok.pdf") ? ENOSPC : 0;
        });
        try {
            AtomicOutput out(old, FileKind::Pdf, d.path());
            out.device().write(QByteArray(200000, 'x'));
            out.commit();
            ADD_FAILURE() << "a full disk went unnoticed";
        } catch (const kw::EngineError &e) {
            EXPECT_EQ(e.kind(), kw::EngineError::Kind::WriteFailed);
            EXPECT_EQ(e.message(),
                      QStringLiteral("Nie można zapisać pliku „%1”: brak miejsca na dysku.").arg(old));
        }
        kw::diskio::setFaultInjector({});
        EXPECT_EQ(readAll(old), Pdf);
        EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"rok.pdf"});
    }
    // The writer's own failure is one sentence too, whatever its punctuation.
    try {
        AtomicOutput out(old, FileKind::Pdf, d.path());
        out.fail(QStringLiteral("nie można narysować strony."));
        out.commit();
        ADD_FAILURE() << "a failed writer was committed";
    } catch (const kw::EngineError &e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("Nie można zapisać pliku „%1”: nie można narysować strony.").arg(old));
    }
    EXPECT_EQ(readAll(old), Pdf);
}
