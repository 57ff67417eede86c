// The ledger beside other programs and under a disk that refuses writes: another program's edits
// and appends between two bookings are kept, a change that cannot be worked over is refused with
// nothing written, and a read-only table or a full file system is told as what it is.
#include "TestTables.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/LedgerCheck.h"

#include <QFileInfo>
#include <QProcess>
#include <cerrno>
#include <csignal>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kw::ledger;
using kwtest::Ledger;

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

bool hasPythonDbf()
{
    QProcess p;
    p.start(Python, {"-c", "import dbf"});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Runs a python3-dbf script on the directory, as another program would while the period is open.
void otherProgram(const QString &dir, const char *script)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(Python, {"-c", QString::fromUtf8(script)});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

// March 2004, day 5 with 100 of income, open.
void prepare(Ledger &b)
{
    b.open("3", "2004");
    addDay(b.t, 5, "3", "2004", QDate(2004, 3, 5));
    bookAmounts(b.t, Ledger::one(0, 100), Sign::Add);
}

std::string errorOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const kw::EngineError &e) {
        return e.what();
    }
    return "(no error)";
}

QByteArray tables(const Ledger &b)
{
    return kwtest::readAll(b.file(DayFile)) + kwtest::readAll(b.file(MonthFile)) +
           kwtest::readAll(b.file(YearFile));
}

// Runs `work` in a child that cannot write the tables: as the unprivileged user "nobody" where the
// suite runs as root (root writes read-only files regardless), else with the files made read-only.
// The child's message comes back through a pipe; returns false when no such child can be had.
bool inReadOnlyChild(const QString &dir, const std::function<std::string()> &work, std::string &message)
{
    const bool root = ::geteuid() == 0;
    ::chmod(QFile::encodeName(dir).constData(), root ? 0755 : 0555);
    for (const QString &name : QDir(dir).entryList(QDir::Files))
        ::chmod(QFile::encodeName(QDir(dir).filePath(name)).constData(), 0444);
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            _exit(3);
        const std::string text = work();
        (void)!::write(fds[1], text.data(), text.size());
        _exit(0);
    }
    ::close(fds[1]);
    char buf[4096];
    ssize_t n;
    message.clear();
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        message.append(buf, std::size_t(n));
    ::close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    for (const QString &name : QDir(dir).entryList(QDir::Files))
        ::chmod(QFile::encodeName(QDir(dir).filePath(name)).constData(), 0600);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3)
        return false;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the read-only child ended badly: " << message;
    return true;
}

} // namespace

TEST(OutsideChanges, AnEditAndAnAppendByAnotherProgramAreKeptBetweenBookings)
{
    if (!QFileInfo::exists(Python) || !hasPythonDbf())
        GTEST_SKIP() << "python3-dbf is not installed";
    Ledger b;
    prepare(b);

    // Another program adds 5 to the day's income and keeps both sums in step, as a careful script would.
    otherProgram(b.path(), R"(
import dbf
def bump(name, match, fields):
    t = dbf.Table(name); t.open(mode=dbf.READ_WRITE)
    for r in t:
        if match(r):
            with r:
                for f in fields:
                    setattr(r, f, getattr(r, f) + 5)
    t.close()
bump('Wydatki.dbf', lambda r: r.dzien == 5, ['przychod'])
bump('Suma.dbf', lambda r: r.smiesiac.strip() == '3', ['sprzych', 'dochod', 'roznica'])
bump('Sum.DBF', lambda r: r.rrok.strip() == '2004', ['rprzych', 'rdochod', 'rroznica'])
)");
    bookAmounts(b.t, Ledger::one(0, 10), Sign::Add);
    EXPECT_DOUBLE_EQ(b.day.fieldValue("PRZYCHOD").toDouble(), 115) << "the outside 5 was overwritten";
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 115);
    EXPECT_DOUBLE_EQ(b.year.fieldValue("RROZNICA").toDouble(), 115);

    // Another program appends a day of the same period; the next new day goes after it.
    otherProgram(b.path(), R"(
import dbf, datetime
t = dbf.Table('Wydatki.dbf'); t.open(mode=dbf.READ_WRITE)
t.append({'miesiac': '3', 'rok': '2004', 'dzien': 20, 'przychod': 0, 'koszt': 0, 'kosztokr': 0, 'oplaty': 0,
          'zywnosc': 0, 'uzywki': 0, 'odziez': 0, 'rozrywka': 0, 'samoch': 0, 'inne': 0,
          'data': datetime.date(2004, 3, 20), 'uwagi': 'dopisane obok'})
t.close()
)");
    addDay(b.t, 12, "3", "2004", QDate(2004, 3, 12));
    bookAmounts(b.t, Ledger::one(4, 7), Sign::Add);
    EXPECT_EQ(b.countRecords(DayFile), 3) << "the outside day was overwritten by the new one";
    EXPECT_EQ(b.day.recordCount(), 3) << "the day list shows the outside day too";
    b.day.last();
    EXPECT_EQ(b.day.fieldValue("UWAGI").toString(), QStringLiteral("dopisane obok"));
    closePeriod(b.t);
    EXPECT_EQ(verifyLedger(b.path()), QStringList());
    b.open("3", "2004");
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SZYWNOSC").toDouble(), 7);
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 115);
}

TEST(OutsideChanges, AChangeThatCannotBeWorkedOverIsRefusedWithNothingWritten)
{
    Ledger b;
    prepare(b);
    addDay(b.t, 6, "3", "2004", QDate(2004, 3, 6)); // the current day now
    const QString day = b.file(DayFile);

    // Another program deletes the current day: the booking must not land on a neighbour.
    {
        auto f = kw::DbfFile::open(day);
        QByteArray bytes = kwtest::readAll(day);
        bytes[int(f->recordOffset(1))] = '*';
        kwtest::writeAll(day, bytes);
    }
    const QByteArray before = tables(b);
    const std::string deleted = errorOf([&] { bookAmounts(b.t, Ledger::one(0, 10), Sign::Add); });
    EXPECT_NE(
        deleted.find("Plik Wydatki.dbf został zmieniony przez inny program: bieżący rekord został usunięty. "
                     "Nic nie zostało zapisane. Otwórz okres ponownie"),
        std::string::npos)
        << deleted;
    EXPECT_EQ(tables(b), before);
    for (kw::Table *t : {&b.day, &b.month, &b.year})
        EXPECT_EQ(t->state(), kw::Table::State::Browse);
    EXPECT_EQ(b.day.recordCount(), 1) << "the display follows the disk";

    // Another program rewrites the month table with a wider field: nothing is written until the
    // period is opened again, and then the new layout is used.
    b.open("3", "2004");
    {
        kw::DbfFile::create(b.file("nowa.dbf"), {{"ID", 'N', 10, 0},
                                                 {"SMIESIAC", 'C', 3, 0},
                                                 {"SROK", 'C', 5, 0},
                                                 {"SPRZYCH", 'N', 20, 4},
                                                 {"SKOSZT", 'N', 19, 4},
                                                 {"SKOSZTOKR", 'N', 19, 4},
                                                 {"DOCHOD", 'N', 19, 4},
                                                 {"SOPLATY", 'N', 19, 4},
                                                 {"SZYWNOSC", 'N', 19, 4},
                                                 {"SUZYWKI", 'N', 19, 4},
                                                 {"SODZIEZ", 'N', 19, 4},
                                                 {"SROZRYWKA", 'N', 19, 4},
                                                 {"SSAMOCH", 'N', 19, 4},
                                                 {"SINNE", 'N', 19, 4},
                                                 {"WYDATKI", 'N', 19, 4},
                                                 {"ROZNICA", 'N', 19, 4}});
        QFile::remove(b.file(MonthFile));
        QFile::rename(b.file("nowa.dbf"), b.file(MonthFile));
    }
    const QByteArray before2 = tables(b);
    const std::string layout = errorOf([&] { bookAmounts(b.t, Ledger::one(0, 10), Sign::Add); });
    EXPECT_NE(layout.find("Plik Suma.dbf został zmieniony przez inny program: zmienił się układ pól tabeli."),
              std::string::npos)
        << layout;
    EXPECT_EQ(tables(b), before2);
}

TEST(WriteFaults, AReadOnlyTableIsToldNamingTheFileAndBrowsingGoesOn)
{
    Ledger b;
    prepare(b);
    closePeriod(b.t);
    b.letGoOfFiles();
    const QByteArray before = tables(b);
    std::string message;
    const bool ran = inReadOnlyChild(
        b.path(),
        [&] {
            Ledger c(b.path());
            try {
                c.open("3", "2004"); // browsing works without writing anything
                if (c.day.fieldValue("PRZYCHOD").toDouble() != 100)
                    return std::string("wrong value read");
                bookAmounts(c.t, Ledger::one(0, 10), Sign::Add);
            } catch (const kw::EngineError &e) {
                return std::string(e.what()) + "|" + std::to_string(c.day.fieldValue("PRZYCHOD").toDouble());
            }
            return std::string("(no error)");
        },
        message);
    if (!ran)
        GTEST_SKIP() << "no unprivileged child could be started";
    EXPECT_EQ(message,
              "Nie można zapisać pliku Wydatki.dbf: plik jest tylko do odczytu. Nic nie zostało zapisane."
              "|100.000000");
    EXPECT_EQ(tables(b), before);
    EXPECT_EQ(QFileInfo(b.file(kw::Journal::fileName())).size(), 0);

    // Writable again: the same booking lands.
    b.open("3", "2004");
    bookAmounts(b.t, Ledger::one(0, 10), Sign::Add);
    EXPECT_DOUBLE_EQ(b.year.fieldValue("RPRZYCH").toDouble(), 110);
}

TEST(WriteFaults, AFullFileSystemIsToldAndTheBookingWorksOnceThereIsRoom)
{
    kwtest::LedgerDir base;
    const QString mnt = QDir(base.path()).filePath("dysk");
    QDir().mkpath(mnt);
    if (::mount("tmpfs", QFile::encodeName(mnt).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small file system cannot be mounted here";
    struct Unmount
    {
        QString at;
        ~Unmount() { ::umount2(QFile::encodeName(at).constData(), MNT_DETACH); }
    } unmount{mnt};
    for (const QString &name : {DayFile, MonthFile, YearFile})
        ASSERT_TRUE(QFile::copy(base.file(name), QDir(mnt).filePath(name)));

    Ledger b(mnt);
    prepare(b);
    // Fill the rest of the disk, page by page.
    {
        QFile filler(QDir(mnt).filePath("wypelniacz"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray page(4096, 'x');
        while (filler.write(page) == page.size() && filler.flush()) {
        }
    }
    std::string message;
    for (int day = 6; day < 40 && message.empty(); ++day) {
        // New days until one no longer fits: the journal or the day table needs a new page.
        const std::string e = errorOf([&] { addDay(b.t, day % 28 + 1, "3", "2004", QDate(2004, 3, 1)); });
        if (e != "(no error)")
            message = e;
    }
    EXPECT_NE(message.find(": brak miejsca na dysku. Nic nie zostało zapisane."), std::string::npos)
        << message;
    EXPECT_EQ(message.rfind("Nie można zapisać pliku ", 0), 0u) << message;
    EXPECT_EQ(verifyLedger(mnt), QStringList());
    EXPECT_EQ(QFileInfo(b.file(kw::Journal::fileName())).size(), 0);

    QFile::remove(QDir(mnt).filePath("wypelniacz"));
    const int days = b.day.recordCount();
    addDay(b.t, 30, "3", "2004", QDate(2004, 3, 30));
    bookAmounts(b.t, Ledger::one(0, 1), Sign::Add);
    EXPECT_EQ(b.day.recordCount(), days + 1);
    closePeriod(b.t);
    EXPECT_EQ(verifyLedger(mnt), QStringList());
}

// A journal left behind when the tables cannot be written: one whose images equal the tables does
// not stand in the way of browsing; one that must be rolled back says what to do.
TEST(WriteFaults, AJournalLeftOnReadOnlyTables)
{
    Ledger b;
    prepare(b);
    closePeriod(b.t);
    auto killedAt = [&](bool afterTheDayEntry) {
        const pid_t pid = fork();
        if (pid == 0) {
            Ledger c(b.path());
            c.open("3", "2004");
            if (afterTheDayEntry) // the day entry and the month sum are written, the year sum is next
                kw::diskio::setFaultInjector([](kw::diskio::Op op, const QString &name) {
                    if (op == kw::diskio::Op::Write && name == YearFile)
                        raise(SIGKILL);
                    return 0;
                });
            else // the images are on the disk, no table has been written yet
                kw::diskio::setObserver([](kw::diskio::Event e, const QString &name) {
                    if (e == kw::diskio::Event::FlushFile && name == kw::Journal::fileName())
                        raise(SIGKILL);
                });
            bookAmounts(c.t, Ledger::one(0, 50), Sign::Add);
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    };
    const QByteArray before = tables(b);
    ASSERT_TRUE(killedAt(false));
    ASSERT_GT(QFileInfo(b.file(kw::Journal::fileName())).size(), 0);
    ASSERT_EQ(tables(b), before);
    b.letGoOfFiles();
    std::string message;
    const bool ran = inReadOnlyChild(
        b.path(),
        [&] {
            Ledger c(b.path());
            const std::string e = errorOf([&] { c.open("3", "2004"); });
            return e + "|" + (c.day.active() ? std::to_string(c.day.fieldValue("PRZYCHOD").toDouble()) : "");
        },
        message);
    if (!ran)
        GTEST_SKIP() << "no unprivileged child could be started";
    EXPECT_EQ(message, "(no error)|100.000000");
    EXPECT_FALSE(kw::Journal::recover(b.path()).rolledBack()) << "nothing had to be written back";
    EXPECT_EQ(QFileInfo(b.file(kw::Journal::fileName())).size(), 0);
    EXPECT_EQ(tables(b), before);

    ASSERT_TRUE(killedAt(true));
    ASSERT_NE(tables(b), before);
    b.letGoOfFiles();
    inReadOnlyChild(
        b.path(),
        [&] {
            Ledger c(b.path());
            return errorOf([&] { c.open("3", "2004"); });
        },
        message);
    EXPECT_NE(message.find("Kwotnik.jrn w katalogu"), std::string::npos) << message;
    EXPECT_NE(message.find("zawiera niedokończoną zmianę tabel, której nie można cofnąć"), std::string::npos);
    EXPECT_NE(message.find("Nadaj plikom tabel w tym katalogu prawo zapisu i otwórz okres ponownie"),
              std::string::npos);
    b.open("3", "2004"); // writable again: rolled back
    EXPECT_EQ(tables(b), before);
    EXPECT_DOUBLE_EQ(b.day.fieldValue("PRZYCHOD").toDouble(), 100);
}

// A record count that another program left too small: the table is read as its header says, an
// append (which would overwrite the hidden record) is refused, and verify tells. Descriptors without
// their terminator are read as other readers read them, and never written.
TEST(DamagedHeaders, AShortCountRefusesAppendsAndAMissingTerminatorRefusesWrites)
{
    Ledger b;
    prepare(b);
    addDay(b.t, 6, "3", "2004", QDate(2004, 3, 6));
    closePeriod(b.t);
    QByteArray day = kwtest::readAll(b.file(DayFile));
    day[4] = char(day[4] - 1); // the header now counts one record fewer than the file holds
    kwtest::writeAll(b.file(DayFile), day);

    const QStringList problems = verifyLedger(b.path());
    EXPECT_TRUE(problems.join('\n').contains(
        "Plik Wydatki.dbf: nagłówek podaje 1 rekord, a w pliku jest ich więcej o 1"))
        << problems.join('\n').toStdString();
    b.open("3", "2004");
    EXPECT_EQ(b.day.recordCount(), 1) << "read as the header says";
    const std::string refused = errorOf([&] { addDay(b.t, 7, "3", "2004", QDate(2004, 3, 7)); });
    EXPECT_EQ(refused.rfind("Program nie dopisze wpisu do pliku Wydatki.dbf: nagłówek podaje 1 rekord", 0),
              0u)
        << refused;
    EXPECT_NE(refused.find("Nic nie zostało zapisane."), std::string::npos);
    EXPECT_EQ(kwtest::readAll(b.file(DayFile)), day) << "the hidden record is still there";
    bookAmounts(b.t, Ledger::one(0, 1), Sign::Add); // writing in place over counted records is fine
    closePeriod(b.t);

    // The month table loses the terminator after its descriptors.
    QByteArray month = kwtest::readAll(b.file(MonthFile));
    auto m = kw::DbfFile::open(b.file(MonthFile));
    ASSERT_EQ(month[m->headerLength() - 1], '\x0D');
    month[m->headerLength() - 1] = ' ';
    m.reset();
    kwtest::writeAll(b.file(MonthFile), month);
    b.open("3", "2004");
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 101) << "read like any other table";
    const QByteArray before = tables(b);
    const std::string notWritten = errorOf([&] { bookAmounts(b.t, Ledger::one(0, 1), Sign::Add); });
    EXPECT_EQ(notWritten,
              "Program nie zapisuje do pliku Suma.dbf: opisom pól w nagłówku brakuje znacznika końca. "
              "Nic nie zostało zapisane.");
    EXPECT_EQ(tables(b), before);
    EXPECT_TRUE(verifyLedger(b.path()).join('\n').contains("Plik Suma.dbf: opisom pól w nagłówku brakuje"));
}
