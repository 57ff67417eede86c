// Each writer of the ledger killed at every write, flush, truncate, unlink and rename it makes:
// after the journal's rollback the ledger holds all of the change or none of it, and its sums
// still equal its days. The kill points are found by tracing each writer once, so the matrix
// follows the engine whatever the number of system calls a commit takes.
#include "TestTables.h"
#include "ledger/Journal.h"
#include "ledger/LedgerCheck.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <map>

using namespace kw::ledger;
using kwtest::Books;

namespace {

const QStringList Syscalls{"write",  "pwrite64",  "writev",          "pwritev",   "pwritev2",
                           "fsync",  "fdatasync", "sync_file_range", "ftruncate", "truncate",
                           "unlink", "unlinkat",  "rename",          "renameat",  "renameat2"};
const QStringList Tables{DayFile, MonthFile, YearFile};

struct Outcome
{
    int code = -1;
    bool crashed = false;
    QString err;
};

Outcome run(const QString &program, const QStringList &args)
{
    QProcess p;
    // The leak checker of a sanitizer build cannot run under a tracer; the other checks can.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString asan = env.value("ASAN_OPTIONS");
    env.insert("ASAN_OPTIONS", asan.isEmpty() ? QStringLiteral("detect_leaks=0") : asan + ":detect_leaks=0");
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(60000);
    return {p.exitCode(), p.exitStatus() == QProcess::CrashExit, QString::fromUtf8(p.readAllStandardError())};
}

// Both strace and the kernel must let us trace (containers often refuse ptrace).
QString usableStrace()
{
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        return {};
    const Outcome probe = run(strace, {"-qq", "-o", "/dev/null", "/bin/true"});
    return probe.code == 0 && !probe.crashed ? strace : QString();
}

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

void copyDir(const QString &from, const QString &to)
{
    QDir(to).removeRecursively();
    QDir().mkpath(to);
    for (const QString &f : QDir(from).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(QDir(from).filePath(f), QDir(to).filePath(f)));
}

// The ledger as a reader sees it: every record of the three tables, deleted ones flagged.
QString contents(const QString &dir)
{
    QString all;
    for (const QString &t : Tables)
        all += dumpTableCsv(QDir(dir).filePath(t));
    return all;
}

std::map<QString, int> countCalls(const QString &log)
{
    std::map<QString, int> n;
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly))
        return n;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const int paren = line.indexOf('(');
        if (paren > 0)
            ++n[QString::fromLatin1(line.left(paren))];
    }
    return n;
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
    for (const char *op : {"newday", "add", "subtract", "change", "delete", "newperiod"}) {
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
                ASSERT_NO_THROW(kw::Journal::recover(work));
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
