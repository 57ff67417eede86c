// Each writer of the ledger killed at every write, flush, truncate, unlink and rename it makes:
// after the journal's rollback the ledger holds all of the change or none of it, and its sums
// still equal its days. The kill points are found by tracing each writer once, so the matrix
// follows the engine whatever the number of system calls a commit takes.
#include "CrashRun.h"
#include "TestTables.h"
#include "ledger/Journal.h"
#include "ledger/LedgerCheck.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <map>

using namespace kw::ledger;
using kwtest::Books;
using kwtest::copyDir;
using kwtest::countCalls;
using kwtest::Outcome;
using kwtest::run;
using kwtest::Syscalls;
using kwtest::usableStrace;

namespace {

const QStringList Tables{DayFile, MonthFile, YearFile};

// The period 3/2004 with two days whose amounts are in both sums.
void prepareTemplate(const QString &dir)
{
    Books b(dir);
    createEmptyTables(dir);
    b.open("3", "2004");
    addDay(b.t, 5, "3", "2004", QDate(2004, 3, 5));
    bookAmounts(b.t, AmountSet{3000, 200, 100, 500, 900, 0, 12.5, 0, 0, 3}, Sign::Add);
    addDay(b.t, 7, "3", "2004", QDate(2004, 3, 7));
    bookAmounts(b.t, AmountSet{0, 0, 0, 0, 40, 0, 0, 0, 0, 0.25}, Sign::Add);
    closePeriod(b.t);
}

// The ledger as a reader sees it: every record of the three tables, deleted ones flagged.
QString contents(const QString &dir)
{
    QString all;
    for (const QString &t : Tables)
        all += dumpTableCsv(QDir(dir).filePath(t));
    return all;
}

} // namespace

TEST(CrashMatrix, EveryWriterKilledAtEveryWriteFlushTruncateOrUnlinkLeavesAllOrNothing)
{
    const QString strace = usableStrace();
    if (strace.isEmpty())
        GTEST_SKIP() << "strace is missing or may not trace here (ptrace refused)";
    QTemporaryDir root;
    const QString base = root.filePath("template"), work = root.filePath("work");
    QDir().mkpath(base);
    prepareTemplate(base);
    const QString before = contents(base);
    const QString driver = QStringLiteral(KW_CRASH_DRIVER);

    int killPoints = 0;
    for (const char *op : {"newday", "add", "subtract", "change", "delete", "newperiod", "group", "batch"}) {
        SCOPED_TRACE(op);
        // The finished change, and the system calls it makes.
        copyDir(base, work);
        const QString log = root.filePath("trace.log");
        const Outcome traced =
            run(strace, {"-qq", "-o", log, "-e", "trace=" + Syscalls.join(','), driver, work, op});
        ASSERT_EQ(traced.code, 0) << traced.err.toStdString();
        const QString after = contents(work);
        ASSERT_NE(after, before);
        ASSERT_TRUE(verifyLedger(work).isEmpty());
        const std::map<QString, int> calls = countCalls(log);
        ASSERT_FALSE(calls.empty());

        int endedBefore = 0, endedAfter = 0;
        for (const auto &[call, count] : calls) {
            for (int n = 1; n <= count; ++n) {
                SCOPED_TRACE(QStringLiteral("killed at %1 #%2").arg(call).arg(n).toStdString());
                copyDir(base, work);
                const Outcome killed =
                    run(strace,
                        {"-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                         QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call).arg(n), driver, work, op});
                // strace passes the tracee's death on: killed, not finished.
                EXPECT_TRUE(killed.crashed || killed.code == 128 + 9) << "exit " << killed.code;
                ++killPoints;

                // What the next start does: roll back a journal, then read the tables.
                kw::Journal::Recovery recovery;
                ASSERT_NO_THROW(recovery = kw::Journal::recover(work));
                EXPECT_FALSE(recovery.setAside()) << recovery.message().toStdString();
                const QString now = contents(work);
                EXPECT_TRUE(now == before || now == after) << now.toStdString();
                endedBefore += now == before;
                endedAfter += now == after;
                const QStringList problems = verifyLedger(work);
                EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
                EXPECT_FALSE(QFileInfo(QDir(work).filePath(kw::Journal::fileName())).size() > 0)
                    << "the journal is dealt with";
            }
        }
        // Killed before its first write the change is gone; the kill points after the commit
        // point (clearing the journal, say) must keep it.
        EXPECT_GT(endedBefore, 0);
        RecordProperty(std::string(op) + "_kill_points", endedBefore + endedAfter);
        std::printf("%-10s %3d kill points: %d rolled back, %d kept\n", op, endedBefore + endedAfter,
                    endedBefore, endedAfter);
    }
    RecordProperty("kill_points", killPoints);
    std::printf("crash matrix: %d kill points\n", killPoints);
}

// A rollback killed at any of its writes, flushes or truncations: the next start rolls back again
// and the ledger comes back whole as it was before the change. Each writer is first killed just
// before the journal is emptied, when its rollback has the most to put back.
TEST(CrashMatrix, ARollbackKilledAtEveryStepIsTakenUpAgainByTheNextStart)
{
    const QString strace = usableStrace();
    if (strace.isEmpty())
        GTEST_SKIP() << "strace is missing or may not trace here (ptrace refused)";
    QTemporaryDir root;
    const QString base = root.filePath("template"), work = root.filePath("work");
    QDir().mkpath(base);
    prepareTemplate(base);
    const QString before = contents(base);
    const QString driver = QStringLiteral(KW_CRASH_DRIVER);
    // The journal belongs to its folder, so each crash is made afresh where it is rolled back.
    auto crashInWork = [&](const char *op) {
        copyDir(base, work);
        const Outcome writer = run(strace, {"-qq", "-o", "/dev/null", "-e", "trace=ftruncate", "-e",
                                            "inject=ftruncate:signal=KILL:when=1", driver, work, op});
        ASSERT_TRUE(writer.crashed || writer.code == 128 + 9) << "exit " << writer.code;
        ASSERT_GT(QFileInfo(QDir(work).filePath(kw::Journal::fileName())).size(), 0);
        ASSERT_NE(contents(work), before) << "the change reached the tables";
    };

    int killPoints = 0;
    for (const char *op : {"newday", "add", "change", "delete", "newperiod", "group", "batch"}) {
        SCOPED_TRACE(op);
        crashInWork(op);
        const QString log = root.filePath("trace.log");
        const Outcome traced =
            run(strace, {"-qq", "-o", log, "-e", "trace=" + Syscalls.join(','), driver, work, "recover"});
        ASSERT_EQ(traced.code, 0) << traced.err.toStdString();
        ASSERT_EQ(contents(work), before);
        for (const auto &[call, count] : countCalls(log)) {
            for (int n = 1; n <= count; ++n) {
                SCOPED_TRACE(QStringLiteral("rollback killed at %1 #%2").arg(call).arg(n).toStdString());
                crashInWork(op);
                const Outcome killed =
                    run(strace, {"-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                                 QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call).arg(n), driver,
                                 work, "recover"});
                EXPECT_TRUE(killed.crashed || killed.code == 128 + 9) << "exit " << killed.code;
                ++killPoints;
                kw::Journal::Recovery recovery;
                ASSERT_NO_THROW(recovery = kw::Journal::recover(work));
                EXPECT_FALSE(recovery.setAside()) << recovery.message().toStdString();
                EXPECT_EQ(contents(work), before);
                const QStringList problems = verifyLedger(work);
                EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
                EXPECT_EQ(QFileInfo(QDir(work).filePath(kw::Journal::fileName())).size(), 0);
            }
        }
    }
    RecordProperty("rollback_kill_points", killPoints);
    std::printf("rollbacks killed: %d kill points\n", killPoints);
}
