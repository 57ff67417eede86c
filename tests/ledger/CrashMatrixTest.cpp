// Each writer of the ledger killed at every write, flush, truncate, unlink and rename it makes:
// after the journal's rollback the ledger holds all of the change or none of it, and its sums
// still equal its days. The kill points are found by tracing each writer once, so the matrix
// follows the engine whatever the number of system calls a commit takes. Slow by nature (about
// 30 s): each of some 230 kill points is a traced process of its own, then a recovery.
#include "CrashRun.h"
#include "TestTables.h"
#include "ledger/Backup.h"
#include "ledger/Journal.h"
#include "ledger/LedgerCheck.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <map>

using namespace kw::ledger;
using kwtest::Ledger;
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
    Ledger b(dir);
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

// Each case starts from the template ledger, with strace able to kill the writer where it is told.
class CrashMatrix : public ::testing::Test
{
protected:
    void SetUp() override
    {
        strace = usableStrace();
        if (strace.isEmpty())
            GTEST_SKIP() << "strace is missing or may not trace here (ptrace refused)";
        QDir().mkpath(base);
        prepareTemplate(base);
    }
    QString strace;
    QTemporaryDir root;
    const QString base = root.filePath("template"), work = root.filePath("work");
};

} // namespace

TEST_F(CrashMatrix, EveryWriterKilledAtEveryWriteFlushTruncateOrUnlinkLeavesAllOrNothing)
{
    const QString before = contents(base);
    const QString driver = QStringLiteral(KW_CRASH_DRIVER);

    int killPoints = 0;
    for (const char *op :
         {"newday", "add", "subtract", "change", "delete", "newperiod", "group", "appends", "batch"}) {
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
TEST_F(CrashMatrix, ARollbackKilledAtEveryStepIsTakenUpAgainByTheNextStart)
{
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
    for (const char *op : {"newday", "add", "change", "delete", "newperiod", "group", "appends", "batch"}) {
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

namespace {

// What a copy in `folder` holds of the three tables, unpacked by the standard zstd tool; empty when
// a table is missing or does not unpack.
QString copiedTables(const QString &folder)
{
    QString all;
    for (const QString &t : Tables) {
        QProcess p;
        p.start(QStringLiteral("zstd"), {"-d", "-c", "-q", QDir(folder).filePath(t + ".zst")});
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            return {};
        all += QString::fromLatin1(p.readAllStandardOutput().toBase64());
    }
    return all;
}

QString tablesOf(const QString &dir)
{
    QString all;
    for (const QString &t : Tables) {
        QFile f(QDir(dir).filePath(t));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        all += QString::fromLatin1(f.readAll().toBase64());
    }
    return all;
}

} // namespace

// A copy of the data killed at each of its writes, flushes, links, renames and removals (pruning
// included): every copy that is listed afterwards unpacks whole to the tables it was taken of, the
// tables are untouched, and the next copy cleans up and finishes the work.
TEST_F(CrashMatrix, ACopyKilledAtEveryStepLeavesNoHalfCopy)
{
    const QString older = tablesOf(base);
    // Full copies of the template: the copy under test makes one more and prunes the oldest.
    for (int i = 0; i < kw::backup::Keep; ++i)
        ASSERT_EQ(kw::backup::backupNow(base, QDateTime(QDate(2024, 1, 1), QTime(8, 0, i))).kind,
                  kw::backup::Outcome::Made);
    const QString driver = QStringLiteral(KW_CRASH_DRIVER);
    const QStringList calls = Syscalls + QStringList{"link", "linkat", "mkdir", "mkdirat"};

    // The same state each time: the copies (hard links kept), a copy made in-process so that the
    // next one can link to it, then a change to the month table only.
    QString newer;
    const auto prepare = [&] {
        QDir(work).removeRecursively();
        QProcess cp;
        cp.start(QStringLiteral("cp"), {"-a", base, work});
        ASSERT_TRUE(cp.waitForFinished(60000) && cp.exitCode() == 0);
        ASSERT_EQ(kw::backup::backupNow(work, QDateTime(QDate(2024, 2, 1), QTime(8, 0))).kind,
                  kw::backup::Outcome::Made);
        // Another day's work on the month table alone (its last-update date); the others stay.
        QFile month(QDir(work).filePath(MonthFile));
        ASSERT_TRUE(month.open(QIODevice::ReadWrite) && month.seek(3));
        month.write("\x1c", 1);
        month.close();
        newer = tablesOf(work);
        ASSERT_NE(newer, older);
    };

    prepare();
    const QString log = root.filePath("trace.log");
    const Outcome traced =
        run(strace, {"-qq", "-o", log, "-e", "trace=" + calls.join(','), driver, work, "backup"});
    ASSERT_EQ(traced.code, 0) << traced.err.toStdString();
    const std::map<QString, int> counts = countCalls(log);
    ASSERT_GT(counts.count("linkat") + counts.count("link"), 0u) << "the unchanged tables were linked";

    int killPoints = 0, listedNew = 0;
    for (const auto &[call, count] : counts) {
        for (int n = 1; n <= count; ++n) {
            SCOPED_TRACE(QStringLiteral("killed at %1 #%2").arg(call).arg(n).toStdString());
            prepare();
            const Outcome killed =
                run(strace, {"-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                             QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call).arg(n), driver, work,
                             "backup"});
            EXPECT_TRUE(killed.crashed || killed.code == 128 + 9) << "exit " << killed.code;
            ++killPoints;

            EXPECT_EQ(tablesOf(work), newer) << "a copy never writes the tables";
            const QStringList listed = kw::backup::copies(work);
            EXPECT_GE(listed.size(), kw::backup::Keep);
            for (const QString &c : listed) {
                const QString held = copiedTables(QDir(work).filePath("kopie/" + c));
                EXPECT_TRUE(held == older || held == newer) << c.toStdString() << " is not whole";
                listedNew += held == newer;
            }
            // The next copy finds the work done or does it, and leaves nothing hidden behind.
            const kw::backup::Outcome next =
                kw::backup::backupIfChanged(work, QDateTime(QDate(2024, 3, 1), QTime(8, 0)));
            EXPECT_NE(next.kind, kw::backup::Outcome::Failed) << next.message.toStdString();
            const QStringList after = kw::backup::copies(work);
            EXPECT_EQ(after.size(), kw::backup::Keep);
            EXPECT_EQ(copiedTables(QDir(work).filePath("kopie/" + after.last())), newer);
            EXPECT_TRUE(QDir(QDir(work).filePath("kopie"))
                            .entryList({".*.tmp"}, QDir::Dirs | QDir::Hidden)
                            .isEmpty());
        }
    }
    EXPECT_GT(listedNew, 0) << "some kills came after the copy was in place";
    RecordProperty("backup_kill_points", killPoints);
    std::printf("backup: %d kill points\n", killPoints);
}
