// An import and its undo killed at every write, flush, truncate, unlink and rename they make: after
// the journal's rollback the folder holds all of it or none of it, and the ledger check is clean.
// And the flushes of a booking do not grow with the number of lines.
#include "ImportTestData.h"
#include "tests/ledger/CrashRun.h"

#include "import/Rules.h"
#include "ledger/Books.h"
#include "ledger/Journal.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"
#include "ledger/OperationsTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace kl = kw::ledger;
using kwtest::copyDir;
using kwtest::countCalls;
using kwtest::Outcome;
using kwtest::run;
using kwtest::Syscalls;
using kwtest::usableStrace;

namespace {

// The folder as a reader sees it: every record of the four tables; a missing operations table
// reads as an empty one.
QString contents(const QString &dir)
{
    QString all;
    for (const QString &t : {kl::DayFile, kl::MonthFile, kl::YearFile, kl::OperationsFile}) {
        const QString path = QDir(dir).filePath(t);
        if (!QFile::exists(path))
            continue;
        QString table = kl::dumpTableCsv(path);
        all += table.mid(table.indexOf(QLatin1Char('\n')) + 1);
    }
    return all;
}

// Day 2 of January 2024 with an amount of its own; the rules file written.
void prepare(const QString &dir, bool withOperations)
{
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    kl::createEmptyTables(dir);
    if (withOperations)
        kl::createOperationsTable(dir);
    kl::Books books(dir);
    const kl::Period jan = kl::Period::of(1, 2024);
    books.openPeriod(jan);
    books.add(books.newDay(jan, 2, QDate(2024, 1, 2)), kl::Amounts{0, 0, 0, 0, 30}, kl::Sign::Add);
    kw::import::Rules::load(dir);
}

QByteArray statement(int lines)
{
    QByteArray out = "Data operacji;Opis operacji;Nadawca/Odbiorca;Kwota\n";
    for (int i = 0; i < lines; ++i)
        out += QStringLiteral("2024-%1-%2;Zakupy %3;Biedronka;-%4,25\n")
                   .arg(1 + i % 3, 2, 10, QLatin1Char('0'))
                   .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                   .arg(i)
                   .arg(10 + i)
                   .toUtf8();
    return out;
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

} // namespace

TEST(ImportCrash, KilledAtEveryWriteFlushTruncateOrUnlinkLeavesAllOrNothing)
{
    const QString strace = usableStrace();
    if (strace.isEmpty())
        GTEST_SKIP() << "strace is missing or may not trace here (ptrace refused)";
    const QString driver = QStringLiteral(KW_IMPORT_CRASH_DRIVER);
    QTemporaryDir root;
    const QString file = writeFile(root.filePath("wyciag.csv"), statement(6));

    struct Case
    {
        const char *name;
        bool operations; // the template has the operations table
        bool booked;     // the template has the statement booked as import 1
        QStringList args;
    };
    const Case cases[] = {
        {"first import", false, false, {"book", file}},
        {"import", true, false, {"book", file}},
        {"undo", true, true, {"undo", "1"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString base = root.filePath("template"), work = root.filePath("work");
        QDir(base).removeRecursively();
        QDir().mkpath(base);
        prepare(base, c.operations);
        if (c.booked) {
            ASSERT_EQ(run(driver, {base, "book", file}).code, 0);
        }
        const QString before = contents(base);

        copyDir(base, work);
        const QString log = root.filePath("trace.log");
        const Outcome traced =
            run(strace,
                QStringList{"-qq", "-o", log, "-e", "trace=" + Syscalls.join(','), driver, work} + c.args);
        ASSERT_EQ(traced.code, 0) << traced.err.toStdString();
        const QString after = contents(work);
        ASSERT_NE(after, before);
        ASSERT_TRUE(kl::verifyLedger(work).isEmpty());

        int endedBefore = 0, endedAfter = 0;
        for (const auto &[call, count] : countCalls(log)) {
            for (int n = 1; n <= count; ++n) {
                SCOPED_TRACE(QStringLiteral("killed at %1 #%2").arg(call).arg(n).toStdString());
                copyDir(base, work);
                const Outcome killed =
                    run(strace, QStringList{"-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                                            QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call).arg(n),
                                            driver, work} +
                                    c.args);
                EXPECT_TRUE(killed.crashed || killed.code == 128 + 9) << "exit " << killed.code;
                ASSERT_NO_THROW(kw::Journal::recover(work));
                const QString now = contents(work);
                EXPECT_TRUE(now == before || now == after) << now.toStdString();
                endedBefore += now == before;
                endedAfter += now == after;
                const QStringList problems = kl::verifyLedger(work);
                EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
            }
        }
        EXPECT_GT(endedBefore, 0);
        EXPECT_GT(endedAfter, 0);
        std::printf("%-13s %3d kill points: %d rolled back, %d kept\n", c.name, endedBefore + endedAfter,
                    endedBefore, endedAfter);
    }
}

TEST(ImportCrash, ABookingFlushesAsOftenForThreeHundredLinesAsForThree)
{
    const QString strace = usableStrace();
    if (strace.isEmpty())
        GTEST_SKIP() << "strace is missing or may not trace here (ptrace refused)";
    const QString driver = QStringLiteral(KW_IMPORT_CRASH_DRIVER);
    QTemporaryDir root;
    std::map<int, int> flushes;
    for (const int lines : {3, 300}) {
        const QString work = root.filePath(QStringLiteral("w%1").arg(lines));
        QDir().mkpath(work);
        prepare(work, true);
        const QString file = writeFile(root.filePath(QStringLiteral("s%1.csv").arg(lines)), statement(lines));
        const QString log = root.filePath("flush.log");
        ASSERT_EQ(
            run(strace, {"-qq", "-o", log, "-e", "trace=fsync,fdatasync", driver, work, "book", file}).code,
            0);
        for (const auto &[call, count] : countCalls(log))
            flushes[lines] += count;
        EXPECT_TRUE(kl::verifyLedger(work).isEmpty());
    }
    EXPECT_GT(flushes[3], 0);
    EXPECT_EQ(flushes[3], flushes[300]);
    std::printf("flushes of one booking: %d (3 lines), %d (300 lines)\n", flushes[3], flushes[300]);
}
