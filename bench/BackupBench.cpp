// Start-up with the dated copy of the data: the splash, every window created and the main window
// shown, with the copy asked for as the program asks for it (it begins once the window has had
// CopyAfterStart to paint). Timed up to the main window on screen (what the user waits for); the
// copy itself runs on in the background and is waited for outside the timing, its own length and
// the event loop's longest stall meanwhile are counters.
// On the supplied empty tables and on a day table of 1,000,000 entries (260 MB), with a copy due
// (another day's work since the last copy) and with none. Then the disk space of the copies kept
// when every day brings a change to the big day table.

#include "app/Forms.h"
#include "app/Startup.h"
#include "framework/Messages.h"
#include "ledger/Backup.h"
#include "ledger/LedgerSchema.h"

#include "bench/BigTables.h"
#include "bench/WindowBenchMain.h"
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <vector>

namespace {

// A working directory holding the tables of `records` day entries (a fresh copy of the cached ones).
void fillDirectory(const QString &dir, int records)
{
    if (records == 0) {
        kw::ledger::createEmptyTables(dir);
        return;
    }
    const QString from = kwbench::bigTableDir(records);
    for (const QString &t : {kw::ledger::DayFile, kw::ledger::MonthFile, kw::ledger::YearFile})
        if (!QFile::copy(QDir(from).filePath(t), QDir(dir).filePath(t)))
            throw std::runtime_error("cannot copy a benchmark table");
}

// The tables as a start finds them: last written well before (yesterday's work), not within the
// file clock's tick of the copy, which would make the copy read them to be sure.
void writtenEarlier(const QString &dir, int n)
{
    for (const QString &t : {kw::ledger::DayFile, kw::ledger::MonthFile, kw::ledger::YearFile}) {
        struct timespec times[2];
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = std::time(nullptr) - 86400 + n;
        times[1].tv_nsec = 0;
        ::utimensat(AT_FDCWD, QFile::encodeName(QDir(dir).filePath(t)).constData(), times, 0);
    }
}

// Another day's work: a remark in the middle of the day table and the month table's last-update
// byte change, so the data differs from the newest copy.
void touchTables(const QString &dir, int n)
{
    QFile month(QDir(dir).filePath(kw::ledger::MonthFile));
    const char day = char(1 + n % 28);
    if (!month.open(QIODevice::ReadWrite) || !month.seek(3) || month.write(&day, 1) != 1)
        throw std::runtime_error("cannot change the month table");
    QFile dayTable(QDir(dir).filePath(kw::ledger::DayFile));
    const qint64 middle = dayTable.size() / 2;
    const QByteArray mark = QByteArray::number(n).rightJustified(8, '0');
    if (!dayTable.open(QIODevice::ReadWrite) || !dayTable.seek(middle) || dayTable.write(mark) != mark.size())
        throw std::runtime_error("cannot change the day table");
    dayTable.close();
    month.close();
    writtenEarlier(dir, n);
}

// The disk space a folder takes, each hard-linked file counted once.
double megabytesOnDisk(const QString &dir)
{
    std::set<std::pair<dev_t, ino_t>> seen;
    double bytes = 0;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        struct stat st;
        if (::lstat(QFile::encodeName(it.next()).constData(), &st) == 0 &&
            seen.insert({st.st_dev, st.st_ino}).second)
            bytes += double(st.st_blocks) * 512;
    }
    return bytes / (1024.0 * 1024.0);
}

void Startup(benchmark::State &state)
{
    const int records = int(state.range(0));
    const bool due = state.range(1) != 0;
    QTemporaryDir dir;
    fillDirectory(dir.path(), records);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    int messages = 0;
    kw::setMessageHandler([&](const kw::MessageRequest &) {
        ++messages;
        return int(kw::Ok);
    });
    QDateTime when(QDate(2024, 1, 1), QTime(8, 0));
    // The first copy, outside the timing: from then on a copy is due only after a change.
    writtenEarlier(dir.path(), 0);
    kw::backup::backupNow(dir.path(), when);
    int copiesMade = 0, n = 0;
    std::vector<double> ms, copyMs, stallMs;
    for (auto _ : state) {
        if (due)
            touchTables(dir.path(), ++n);
        when = when.addSecs(60);
        const auto start = std::chrono::steady_clock::now();
        const int failed = kw::startProgram(*qApp);
        kw::backup::BackgroundCopy copy;
        kw::backup::Outcome outcome;
        bool done = false;
        QEventLoop loop;
        QObject::connect(&copy, &kw::backup::BackgroundCopy::finished, &loop,
                         [&](const kw::backup::Outcome &o) {
                             outcome = o;
                             done = true;
                             loop.quit();
                         });
        copy.startSoon(dir.path(), kw::backup::CopyAfterStart, when);
        QCoreApplication::processEvents();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

        // Untimed: the event loop runs on while the copy does; its longest gap is what a user
        // working meanwhile would feel.
        QElapsedTimer gap;
        qint64 longest = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, gap.restart()); });
        tick.start(1);
        gap.start();
        if (!done)
            loop.exec();
        const std::chrono::duration<double> copyTook = std::chrono::steady_clock::now() - start;
        kw::destroyForms();
        if (failed || outcome.kind == kw::backup::Outcome::Failed)
            state.SkipWithError("start-up or the copy failed");
        copiesMade += outcome.kind == kw::backup::Outcome::Made;
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000.0);
        copyMs.push_back(copyTook.count() * 1000.0);
        stallMs.push_back(double(longest));
    }
    if (messages || copiesMade != (due ? int(ms.size()) : 0))
        state.SkipWithError("a copy was not made exactly when due");
    std::sort(ms.begin(), ms.end());
    std::sort(copyMs.begin(), copyMs.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
    state.counters["copy_done_ms"] = copyMs[copyMs.size() / 2];
    state.counters["loop_stall_ms"] = *std::max_element(stallMs.begin(), stallMs.end());
    kw::setMessageHandler(nullptr);
    QDir::setCurrent(previous);
}
BENCHMARK(Startup)
    ->ArgNames({"records", "copy"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1000000, 0})
    ->Args({1000000, 1})
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Twenty copies, each after another day's work on the big day table: what the copies folder takes.
void TwentyCopies(benchmark::State &state)
{
    const int records = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        fillDirectory(dir.path(), records);
        QDateTime when(QDate(2024, 1, 1), QTime(8, 0));
        state.ResumeTiming();
        for (int i = 0; i < kw::backup::Keep; ++i) {
            touchTables(dir.path(), i);
            when = when.addDays(1);
            if (kw::backup::backupIfChanged(dir.path(), when).kind != kw::backup::Outcome::Made)
                state.SkipWithError("a copy was not made");
        }
        state.PauseTiming();
        state.counters["copies_MB"] = megabytesOnDisk(QDir(dir.path()).filePath(kw::backup::FolderName));
        state.counters["tables_MB"] = megabytesOnDisk(dir.path()) - state.counters["copies_MB"];
        state.ResumeTiming();
    }
}
BENCHMARK(TwentyCopies)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return kwbench::runWindowBenchmarks(argc, argv);
}
