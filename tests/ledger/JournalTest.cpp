#include "ledger/Journal.h"
#include "TestTables.h"
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
