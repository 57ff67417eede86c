#include "ledger/Journal.h"
#include "TestTables.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/LedgerCheck.h"

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kw::ledger;
using kw::Journal::fileName;
using kwtest::Ledger;

namespace {

struct Snapshot
{
    QByteArray day, month, year;
    explicit Snapshot(const kwtest::LedgerDir &d)
        : day(kwtest::readAll(d.file(DayFile))), month(kwtest::readAll(d.file(MonthFile))),
          year(kwtest::readAll(d.file(YearFile)))
    {}
    bool operator==(const Snapshot &o) const { return day == o.day && month == o.month && year == o.year; }
};

// A period of March 2004 with one day holding 100 of income, every table closed again.
void prepare(const QString &dir)
{
    Ledger b(dir);
    b.open("3", "2004");
    addDay(b.t, 5, "3", "2004", QDate::currentDate());
    bookAmounts(b.t, Ledger::one(0, 100), Sign::Add);
    closePeriod(b.t);
}

// Runs `work` in a child process on the directory and returns how the child ended.
template <class Fn> int inChild(Fn &&work)
{
    const pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

// Runs `fault` when a table is about to be written, before its bytes reach it: the changes write
// the day entry, the month sum and the year sum in that order.
template <class Fault> void failAtWriteOf(const QString &table, Fault fault)
{
    kw::diskio::setFaultInjector([table, fault](kw::diskio::Op op, const QString &name) {
        if (op == kw::diskio::Op::Write && name == table)
            fault();
        return 0;
    });
}

// The journal file stays between changes; it holds something only while a change is unfinished.
bool journalHoldsAChange(const QString &dir)
{
    return QFileInfo(QDir(dir).filePath(kw::Journal::fileName())).size() > 0;
}

} // namespace

TEST(Journal, AFailedPostBetweenTheThreeLeavesNoneOfThem)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    const Snapshot before(dir);
    Ledger b(dir.path());
    b.open("3", "2004");
    // The day entry and the month sum are written, then the year sum cannot be.
    failAtWriteOf(YearFile, [] { throw kw::EngineError("dysk pełny"); });
    EXPECT_THROW(bookAmounts(b.t, Ledger::one(0, 50), Sign::Add), kw::EngineError);
    EXPECT_EQ(Snapshot(dir), before) << "day entry and month sum were posted, then rolled back";
    EXPECT_FALSE(journalHoldsAChange(dir.path()));
    for (kw::Table *t : {&b.day, &b.month, &b.year})
        EXPECT_EQ(t->state(), kw::Table::State::Browse);
    EXPECT_DOUBLE_EQ(b.day.fieldValue("PRZYCHOD").toDouble(), 100)
        << "the open tables show the rolled-back records";
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 100);

    // A failed new day leaves no appended record behind.
    EXPECT_THROW(addDay(b.t, 6, "3", "2004", QDate::currentDate()), kw::EngineError);
    kw::diskio::setFaultInjector(nullptr);
    EXPECT_EQ(Snapshot(dir), before);
    EXPECT_EQ(b.day.recordCount(), 1);
}

TEST(Journal, AProcessKilledBetweenPostsLeavesAllOrNothing)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    const Snapshot before(dir);

    const int ended = inChild([&] {
        Ledger b(dir.path());
        b.open("3", "2004");
        failAtWriteOf(YearFile, [] { raise(SIGKILL); }); // after the day entry and the month sum
        bookAmounts(b.t, Ledger::one(0, 50), Sign::Add);
    });
    ASSERT_EQ(ended, -SIGKILL);
    ASSERT_TRUE(journalHoldsAChange(dir.path()));
    EXPECT_FALSE(Snapshot(dir) == before) << "the killed process did write the day entry";

    Ledger b(dir.path());
    b.open("3", "2004"); // opening rolls the unfinished change back
    EXPECT_FALSE(journalHoldsAChange(dir.path()));
    EXPECT_EQ(Snapshot(dir), before);
    EXPECT_DOUBLE_EQ(b.day.fieldValue("PRZYCHOD").toDouble(), 100);
    EXPECT_TRUE(verifyLedger(dir.path()).isEmpty());

    // Killed right after the change committed: all of it stays.
    const int ended2 = inChild([&] {
        Ledger c(dir.path());
        c.open("3", "2004");
        bookAmounts(c.t, Ledger::one(0, 50), Sign::Add);
        raise(SIGKILL);
    });
    ASSERT_EQ(ended2, -SIGKILL);
    closePeriod(b.t);
    b.open("3", "2004");
    EXPECT_DOUBLE_EQ(b.day.fieldValue("PRZYCHOD").toDouble(), 150);
    EXPECT_DOUBLE_EQ(b.year.fieldValue("RPRZYCH").toDouble(), 150);
    EXPECT_TRUE(verifyLedger(dir.path()).isEmpty());
}

TEST(Journal, AKilledNewDayIsTakenBackAndATornEntryIsIgnored)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    const Snapshot before(dir);
    const int ended = inChild([&] {
        Ledger b(dir.path());
        b.open("3", "2004");
        failAtWriteOf(MonthFile, [&] {
            // The journal's last entry is cut short, as by a crash in the middle of writing it.
            QFile j(QDir(dir.path()).filePath(kw::Journal::fileName()));
            j.open(QIODevice::Append);
            j.write("\x40\x00\x00\x00\x12\x34", 6);
            j.close();
            raise(SIGKILL);
        });
        addDay(b.t, 7, "3", "2004", QDate::currentDate());
    });
    ASSERT_EQ(ended, -SIGKILL);
    EXPECT_TRUE(kw::Journal::recover(dir.path()).rolledBack());
    EXPECT_EQ(Snapshot(dir), before)
        << "the appended day entry is gone and the header counts one record again";
    EXPECT_FALSE(kw::Journal::recover(dir.path()).rolledBack()) << "nothing left to recover";
}

// One group that writes the same table twice and appends to it twice: the rollback must put the
// oldest image of each place back last, or the second append's header (count + 1) would win and
// leave a record of zeros behind.
TEST(Journal, AGroupWritingOneTableTwiceAndAppendingTwiceIsTakenBackWhole)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    const Snapshot before(dir);
    {
        Ledger b(dir.path());
        b.open("3", "2004");
        const Snapshot opened(dir);
        kw::AtomicGroup group(dir.path());
        addDay(b.t, 6, "3", "2004", QDate::currentDate());
        bookAmounts(b.t, Ledger::one(0, 30), Sign::Add);
        addDay(b.t, 7, "3", "2004", QDate::currentDate());
        bookAmounts(b.t, Ledger::one(4, 12), Sign::Add);
        EXPECT_EQ(b.countRecords(DayFile), 3);
        group.rollback();
        EXPECT_EQ(Snapshot(dir), opened);
        EXPECT_EQ(b.day.recordCount(), 1) << "the open tables show the rolled-back files";
        EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 100);
    }
    EXPECT_EQ(Snapshot(dir), before);

    // The same group cut short by a crash is taken back when the tables are next opened.
    const int ended = inChild([&] {
        Ledger b(dir.path());
        b.open("3", "2004");
        kw::AtomicGroup group(dir.path());
        addDay(b.t, 6, "3", "2004", QDate::currentDate());
        bookAmounts(b.t, Ledger::one(0, 30), Sign::Add);
        addDay(b.t, 7, "3", "2004", QDate::currentDate());
        bookAmounts(b.t, Ledger::one(4, 12), Sign::Add);
        raise(SIGKILL);
    });
    ASSERT_EQ(ended, -SIGKILL);
    EXPECT_TRUE(kw::Journal::recover(dir.path()).rolledBack());
    EXPECT_EQ(Snapshot(dir), before);
    EXPECT_TRUE(verifyLedger(dir.path()).isEmpty());
}

// A journal whose bytes changed after it was written (a bad sector, a stray write): its images
// cannot be trusted, so nothing is rolled back. It is set aside under a dated name, the user is
// told with what the ledger check finds, and the period opens again.
TEST(Journal, AJournalWithOneByteFlippedIsSetAsideAndNeverRolledBack)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    const int ended = inChild([&] {
        Ledger b(dir.path());
        b.open("3", "2004");
        failAtWriteOf(YearFile, [] { raise(SIGKILL); });
        bookAmounts(b.t, Ledger::one(0, 50), Sign::Add);
    });
    ASSERT_EQ(ended, -SIGKILL);
    const QString journal = QDir(dir.path()).filePath(kw::Journal::fileName());
    QByteArray bytes = kwtest::readAll(journal);
    ASSERT_GT(bytes.size(), 100);
    bytes[60] = char(bytes[60] ^ 0x10);
    kwtest::writeAll(journal, bytes);
    const Snapshot crashed(dir);
    kw::Journal::Recovery r;
    ASSERT_NO_THROW(r = kw::Journal::recover(dir.path()));
    EXPECT_TRUE(r.setAside());
    EXPECT_EQ(r.reason, kw::Journal::Recovery::Reason::DoesNotCheck);
    EXPECT_EQ(Snapshot(dir), crashed) << "nothing was rolled back";
    EXPECT_FALSE(QFileInfo::exists(journal));
    EXPECT_EQ(kwtest::readAll(r.setAsideAs), bytes) << "the journal is kept for whoever looks into it";
    const QString m = r.message();
    EXPECT_TRUE(m.contains("Kwotnik.jrn")) << m.toStdString();
    EXPECT_TRUE(m.contains("uszkodzony")) << m.toStdString();
    EXPECT_TRUE(m.contains(QFileInfo(r.setAsideAs).fileName())) << m.toStdString();
    // The killed booking wrote the day entry and the month sum, not the year sum: the check says so.
    EXPECT_FALSE(r.ledgerProblems.isEmpty());
    EXPECT_TRUE(m.contains(r.ledgerProblems.front())) << m.toStdString();
    Ledger b(dir.path());
    EXPECT_NO_THROW(b.open("3", "2004")) << "the user is never kept out";
}

// The order in which an add makes itself durable: the before-images first (one flush), then the
// three tables, and only then is the journal emptied, itself flushed as the commit point. A
// commit that empties the journal before the tables are on the disk fails here, and so does one
// that costs more than five flushes.
TEST(Journal, AnAddFlushesImagesThenTablesThenEmptiesTheJournalInFiveFlushes)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    Ledger b(dir.path());
    b.open("3", "2004");
    QStringList steps;
    kw::diskio::setObserver([&](kw::diskio::Event e, const QString &name) {
        const char *what = e == kw::diskio::Event::FlushFile        ? "flush "
                           : e == kw::diskio::Event::FlushDirectory ? "flush directory "
                                                                    : "clear ";
        steps << QLatin1String(what) + name;
    });
    for (int i = 0; i < 3; ++i) {
        steps.clear();
        bookAmounts(b.t, Ledger::one(0, 10), Sign::Add);
        EXPECT_EQ(steps.join(", "), "flush Kwotnik.jrn, flush Wydatki.dbf, flush Suma.dbf, flush Sum.DBF, "
                                    "clear Kwotnik.jrn, flush Kwotnik.jrn")
            << "add " << i + 1;
        EXPECT_EQ(steps.filter("flush").size(), 5);
    }
    // A new day: the append's image and both sums' images in one journal write as well.
    steps.clear();
    addDay(b.t, 9, "3", "2004", QDate::currentDate());
    EXPECT_EQ(steps.filter("flush Kwotnik.jrn").size(), 2) << steps.join(", ").toStdString();
    EXPECT_LE(steps.filter("flush").size(), 5);
    kw::diskio::setObserver(nullptr);
    EXPECT_EQ(QFileInfo(QDir(dir.path()).filePath(kw::Journal::fileName())).size(), 0);
    closePeriod(b.t);
    EXPECT_TRUE(verifyLedger(dir.path()).isEmpty());
}

namespace {

// Which of the disk's steps fail while a booking commits: the n-th flush of the journal (the
// first puts the images on the disk, the second the emptied journal, the commit point), and what
// fails from then on.
struct CommitFault
{
    const char *name;
    QString file;           // the file whose flush fails first
    int flushNumber;        // that file's n-th flush
    bool journalWorksLater; // after it, writes and flushes of the journal go through
    bool tablesWorkLater;   // after it, writes and flushes of the tables go through
    kw::EngineError::Outcome told;
    bool changeStaysAfterNextStart;
};

} // namespace

// A commit whose flush fails is told as it ended: nothing stored when the rollback landed, an undo
// at the next start when only the journal could still be written (and the next start does undo
// it), "not known" when the emptied journal may or may not be on the disk and nothing can be
// written any more. Never "will be undone" over a journal that is already empty.
TEST(Journal, AFailedFlushAtCommitIsToldAsItEnded)
{
    using Outcome = kw::EngineError::Outcome;
    const QString journal = QString::fromLatin1(kw::Journal::fileName());
    const CommitFault faults[] = {
        {"final flush, then the disk works", journal, 2, true, true, Outcome::NothingStored, false},
        {"final flush, then only the journal", journal, 2, true, false, Outcome::UndoPending, false},
        {"final flush, then nothing works", journal, 2, false, false, Outcome::NotKnown, true},
        {"year table flush, then only the journal", YearFile, 1, true, false, Outcome::UndoPending, false},
        {"day table flush, then the disk works", DayFile, 1, true, true, Outcome::NothingStored, false},
    };
    for (const CommitFault &f : faults) {
        SCOPED_TRACE(f.name);
        kwtest::LedgerDir dir;
        prepare(dir.path());
        const Snapshot before(dir);
        Ledger b(dir.path());
        b.open("3", "2004");
        int flushes = 0;
        bool struck = false;
        kw::diskio::setFaultInjector([&](kw::diskio::Op op, const QString &name) {
            if (struck) {
                const bool isJournal = name == journal;
                return (isJournal ? f.journalWorksLater : f.tablesWorkLater) ? 0 : EIO;
            }
            if (op == kw::diskio::Op::Flush && name == f.file && ++flushes == f.flushNumber) {
                struck = true;
                return EIO;
            }
            return 0;
        });
        try {
            bookAmounts(b.t, Ledger::one(0, 50), Sign::Add);
            ADD_FAILURE() << "the failed flush was not told";
        } catch (const kw::EngineError &e) {
            EXPECT_EQ(e.outcome(), f.told) << e.what();
            EXPECT_EQ(e.kind(), kw::EngineError::Kind::WriteFailed);
            EXPECT_TRUE(e.message().startsWith("Nie można zapisać pliku " + f.file)) << e.what();
            const bool promisesUndo = e.message().contains("zostanie cofnięta");
            EXPECT_EQ(promisesUndo, f.told == Outcome::UndoPending) << e.what();
            if (f.told == Outcome::NotKnown) {
                EXPECT_TRUE(e.message().contains("Nie wiadomo, czy zmiana została zapisana")) << e.what();
            }
            if (f.told == Outcome::NothingStored) {
                EXPECT_EQ(Snapshot(dir), before) << "told nothing stored, but the tables hold the change";
            }
        }
        kw::diskio::setFaultInjector(nullptr);
        closePeriod(b.t);

        // The next start: what it finds must be what the message said.
        const kw::Journal::Recovery r = kw::Journal::recover(dir.path());
        EXPECT_FALSE(r.setAside()) << r.message().toStdString();
        EXPECT_EQ(r.rolledBack(), f.told == Outcome::UndoPending);
        EXPECT_EQ(Snapshot(dir) == before, !f.changeStaysAfterNextStart);
        EXPECT_TRUE(verifyLedger(dir.path()).isEmpty());
        EXPECT_FALSE(journalHoldsAChange(dir.path()));
    }
}

// The journal holds a household's amounts like the tables do: private to its owner whatever the
// umask, whether made ahead of the first change, by a change, or left 0644 by an older version.
TEST(Journal, TheJournalIsReadableAndWritableByItsOwnerAlone)
{
    for (const mode_t mask : {mode_t(0), mode_t(022), mode_t(0277)}) {
        SCOPED_TRACE(mask);
        kwtest::LedgerDir dir;
        const mode_t saved = ::umask(mask);
        const QString journal = QDir(dir.path()).filePath(fileName());
        auto mode = [&] {
            struct stat st;
            return ::stat(QFile::encodeName(journal).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
        };
        Ledger b(dir.path());
        b.open("3", "2004"); // makes the empty journal ahead of the first change
        EXPECT_EQ(mode(), 0600);
        closePeriod(b.t);
        QFile::remove(journal);
        b.open("3", "2004");
        QFile::remove(journal);
        addDay(b.t, 5, "3", "2004", QDate(2004, 3, 5)); // the change makes it
        EXPECT_EQ(mode(), 0600);
        ::chmod(QFile::encodeName(journal).constData(), 0644);
        bookAmounts(b.t, Ledger::one(0, 1), Sign::Add);
        EXPECT_EQ(mode(), 0600);
        EXPECT_DOUBLE_EQ(b.year.fieldValue("RPRZYCH").toDouble(), 1);
        ::umask(saved);
    }
}
