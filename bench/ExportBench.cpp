// The books out to a spreadsheet, on day tables of 100,000 and 1,000,000 records: the workbook
// (goals: 100,000 entries under 5 s, 1,000,000 under 60 s with the memory flat) and the CSV (goal:
// 100,000 entries under 1 s), beside a streaming read of the same day file.
//
// Each case reports the seconds of a run, the day entries per second, and the resident memory:
// before the run, and the most it reached during the run, sampled every 20 ms by a second thread
// ("rss_growth_MiB" is the difference: flat memory keeps it the same for ten times the entries).

#include "bench/BenchMain.h"
#include "BigTables.h"
#include "export/SheetExport.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <thread>

namespace {

// The most resident memory the process holds while it lives, in KiB.
class PeakSampler
{
public:
    PeakSampler() : peak_(kwbench::residentKiB())
    {
        thread_ = std::thread([this] {
            while (!stop_) {
                const long now = kwbench::residentKiB();
                if (now > peak_)
                    peak_ = now;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~PeakSampler() { finish(); }
    long finish()
    {
        if (thread_.joinable()) {
            stop_ = true;
            thread_.join();
        }
        return peak_;
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<long> peak_;
    std::thread thread_;
};

template <class Run> void exportCase(benchmark::State &state, const char *fileName, Run &&run)
{
    const int records = int(state.range(0));
    const QString dir = kwbench::bigTableDir(records);
    const QByteArray day = QFile::encodeName(QDir(dir).filePath(kw::ledger::DayFile));
    std::vector<char> buf;
    const auto s0 = std::chrono::steady_clock::now();
    kwbench::streamRead(day, buf);
    const double streamMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - s0).count();

    QTemporaryDir out;
    const QString file = QDir(out.path()).filePath(QString::fromLatin1(fileName));
    kw::ledger::Books books(dir);
    long before = 0, peak = 0;
    double seconds = 0;
    qint64 rows = 0;
    for (auto _ : state) {
        before = kwbench::residentKiB();
        PeakSampler sampler;
        const auto start = std::chrono::steady_clock::now();
        rows = run(books, file);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        peak = sampler.finish();
        state.SetIterationTime(took.count());
        seconds = took.count();
    }
    if (rows != records)
        state.SkipWithError("not every day entry went out");
    state.counters["seconds"] = seconds;
    state.counters["entries_per_s"] = double(rows) / seconds;
    state.counters["x_stream"] = seconds * 1000.0 / streamMs;
    state.counters["rss_before_MiB"] = double(before) / 1024.0;
    state.counters["rss_peak_MiB"] = double(peak) / 1024.0;
    state.counters["rss_growth_MiB"] = double(peak - before) / 1024.0;
    state.counters["file_MiB"] = double(QFileInfo(file).size()) / (1024.0 * 1024.0);
}

void Xlsx(benchmark::State &state)
{
    exportCase(state, "ksiegi.xlsx", [](const kw::ledger::Books &books, const QString &file) {
        return kw::sheets::writeXlsx(books, kw::sheets::Scope::everything(), file).days;
    });
}
BENCHMARK(Xlsx)->Arg(100'000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Xlsx)->Arg(1'000'000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// What every export pays before it writes a byte: the walk over the day entries in their order.
void Walk(benchmark::State &state)
{
    exportCase(state, "nic", [](const kw::ledger::Books &books, const QString &) {
        qint64 n = 0;
        kw::sheets::forEachDay(books, kw::sheets::Scope::everything(), [&n](const kw::ledger::DayEntry &) {
            ++n;
            return true;
        });
        return n;
    });
}
BENCHMARK(Walk)->Arg(100'000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void Csv(benchmark::State &state)
{
    exportCase(state, "ksiegi.csv", [](const kw::ledger::Books &books, const QString &file) {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return qint64(-1);
        return kw::sheets::writeCsv(books, kw::sheets::Scope::everything(), f);
    });
}
BENCHMARK(Csv)->Arg(100'000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Csv)->Arg(1'000'000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return kwbench::runBenchmarks<QCoreApplication>(argc, argv);
}
