#include "ledger/Journal.h"
#include "TestTables.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/LedgerCheck.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace kw::ledger;
using kw::Journal::fileName;
using kwtest::Books;

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
    Books b(dir);
    b.open("3", "2004");
    addDay(b.t, 5, "3", "2004", QDate::currentDate());
    bookAmounts(b.t, Books::one(0, 100), Sign::Add);
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
    Books b(dir.path());
    b.open("3", "2004");
    b.year.beforePost = [](kw::Table &) { throw kw::EngineError("dysk pełny"); };
    EXPECT_THROW(bookAmounts(b.t, Books::one(0, 50), Sign::Add), kw::EngineError);
    EXPECT_EQ(Snapshot(dir), before) << "day entry and month sum were posted, then rolled back";
    EXPECT_FALSE(journalHoldsAChange(dir.path()));
    for (kw::Table *t : {&b.day, &b.month, &b.year})
        EXPECT_EQ(t->state(), kw::Table::State::Browse);
    EXPECT_DOUBLE_EQ(b.day.fieldValue("PRZYCHOD").toDouble(), 100)
        << "the open tables show the rolled-back records";
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 100);

    // A failed new day leaves no appended record behind.
    EXPECT_THROW(addDay(b.t, 6, "3", "2004", QDate::currentDate()), kw::EngineError);
    EXPECT_EQ(Snapshot(dir), before);
    EXPECT_EQ(b.day.recordCount(), 1);
}

TEST(Journal, AProcessKilledBetweenPostsLeavesAllOrNothing)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    const Snapshot before(dir);

    const int ended = inChild([&] {
        Books b(dir.path());
        b.open("3", "2004");
        b.year.beforePost = [](kw::Table &) { raise(SIGKILL); }; // after the day entry and the month sum
        bookAmounts(b.t, Books::one(0, 50), Sign::Add);
    });
    ASSERT_EQ(ended, -SIGKILL);
    ASSERT_TRUE(journalHoldsAChange(dir.path()));
    EXPECT_FALSE(Snapshot(dir) == before) << "the killed process did write the day entry";

    Books b(dir.path());
    b.open("3", "2004"); // opening rolls the unfinished change back
    EXPECT_FALSE(journalHoldsAChange(dir.path()));
    EXPECT_EQ(Snapshot(dir), before);
    EXPECT_DOUBLE_EQ(b.day.fieldValue("PRZYCHOD").toDouble(), 100);
    EXPECT_TRUE(verifyLedger(dir.path()).isEmpty());

    // Killed right after the change committed: all of it stays.
    const int ended2 = inChild([&] {
        Books c(dir.path());
        c.open("3", "2004");
        bookAmounts(c.t, Books::one(0, 50), Sign::Add);
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
        Books b(dir.path());
        b.open("3", "2004");
        b.month.beforePost = [&](kw::Table &) {
            // The journal's last entry is cut short, as by a crash in the middle of writing it.
            QFile j(QDir(dir.path()).filePath(kw::Journal::fileName()));
            j.open(QIODevice::Append);
            j.write("\x40\x00\x00\x00\x12\x34", 6);
            j.close();
            raise(SIGKILL);
        };
        addDay(b.t, 7, "3", "2004", QDate::currentDate());
    });
    ASSERT_EQ(ended, -SIGKILL);
    EXPECT_TRUE(kw::Journal::recover(dir.path()));
    EXPECT_EQ(Snapshot(dir), before)
        << "the appended day entry is gone and the header counts one record again";
    EXPECT_FALSE(kw::Journal::recover(dir.path())) << "nothing left to recover";
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
        Books b(dir.path());
        b.open("3", "2004");
        const Snapshot opened(dir);
        kw::AtomicGroup group(dir.path());
        addDay(b.t, 6, "3", "2004", QDate::currentDate());
        bookAmounts(b.t, Books::one(0, 30), Sign::Add);
        addDay(b.t, 7, "3", "2004", QDate::currentDate());
        bookAmounts(b.t, Books::one(4, 12), Sign::Add);
        EXPECT_EQ(b.countRecords(DayFile), 3);
        group.rollback();
        EXPECT_EQ(Snapshot(dir), opened);
        EXPECT_EQ(b.day.recordCount(), 1) << "the open tables show the rolled-back files";
        EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 100);
    }
    EXPECT_EQ(Snapshot(dir), before);

    // The same group cut short by a crash is taken back when the tables are next opened.
    const int ended = inChild([&] {
        Books b(dir.path());
        b.open("3", "2004");
        kw::AtomicGroup group(dir.path());
        addDay(b.t, 6, "3", "2004", QDate::currentDate());
        bookAmounts(b.t, Books::one(0, 30), Sign::Add);
        addDay(b.t, 7, "3", "2004", QDate::currentDate());
        bookAmounts(b.t, Books::one(4, 12), Sign::Add);
        raise(SIGKILL);
    });
    ASSERT_EQ(ended, -SIGKILL);
    EXPECT_TRUE(kw::Journal::recover(dir.path()));
    EXPECT_EQ(Snapshot(dir), before);
    EXPECT_TRUE(verifyLedger(dir.path()).isEmpty());
}

// A journal entry that is whole but whose bytes changed (a bad sector, a stray write): its images
// cannot be trusted, so nothing is rolled back, and the user is told what to do.
TEST(Journal, AWholeEntryWithOneByteFlippedIsReportedAndNeverRolledBack)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    const int ended = inChild([&] {
        Books b(dir.path());
        b.open("3", "2004");
        b.year.beforePost = [](kw::Table &) { raise(SIGKILL); };
        bookAmounts(b.t, Books::one(0, 50), Sign::Add);
    });
    ASSERT_EQ(ended, -SIGKILL);
    const QString journal = QDir(dir.path()).filePath(kw::Journal::fileName());
    QByteArray bytes = kwtest::readAll(journal);
    ASSERT_GT(bytes.size(), 100);
    bytes[60] = char(bytes[60] ^ 0x10); // inside the first entry's before-image
    kwtest::writeAll(journal, bytes);
    const Snapshot crashed(dir);
    try {
        kw::Journal::recover(dir.path());
        ADD_FAILURE() << "a damaged journal must be reported";
    } catch (const kw::EngineError &e) {
        const QString m = e.message();
        EXPECT_TRUE(m.contains("Kwotnik.jrn")) << m.toStdString();
        EXPECT_TRUE(m.contains("jest uszkodzony (wpis nr 1")) << m.toStdString();
        EXPECT_TRUE(m.contains("kwotnik-ledger verify")) << m.toStdString();
    }
    EXPECT_EQ(Snapshot(dir), crashed) << "nothing was rolled back";
    EXPECT_EQ(kwtest::readAll(journal), bytes) << "the journal is kept for whoever looks into it";
    Books b(dir.path());
    EXPECT_THROW(b.open("3", "2004"), kw::EngineError);
}

// The order in which an add makes itself durable: the before-images first (one flush), then the
// three tables, and only then is the journal emptied, itself flushed as the commit point. A
// commit that empties the journal before the tables are on the disk fails here, and so does one
// that costs more than five flushes.
TEST(Journal, AnAddFlushesImagesThenTablesThenEmptiesTheJournalInFiveFlushes)
{
    kwtest::LedgerDir dir;
    prepare(dir.path());
    Books b(dir.path());
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
        bookAmounts(b.t, Books::one(0, 10), Sign::Add);
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
