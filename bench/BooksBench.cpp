// The books without a window: a batch of 1,000 adds into one period of 30 days, committed as one
// change (goal: under 100 ms, with one journal write and five flushes in all), and one add on a
// day table of 10,000 and of 1,000,000 records, to set beside bench_add's press of "Dodaj".
#include "bench/BenchMain.h"
#include "bench/BigTables.h"
#include "ledger/Books.h"
#include "ledger/DiskIo.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>

namespace {

using namespace kw::ledger;

struct Counts
{
    int flushes = 0;
    int journalWrites = 0;
};

void count(Counts &c)
{
    kw::diskio::setObserver(
        [&c](kw::diskio::Event e, const QString &) { c.flushes += e == kw::diskio::Event::FlushFile; });
    kw::diskio::setFaultInjector([&c](kw::diskio::Op op, const QString &name) {
        c.journalWrites += op == kw::diskio::Op::Write && name.endsWith(QLatin1String("Kwotnik.jrn"));
        return 0;
    });
}

void stopCounting()
{
    kw::diskio::setObserver(nullptr);
    kw::diskio::setFaultInjector(nullptr);
}

void BatchOfThousandAdds(benchmark::State &state)
{
    QTemporaryDir dir;
    createEmptyTables(dir.path());
    Books books(dir.path());
    const Period march = Period::of(3, 2024);
    books.openPeriod(march);
    std::vector<DayRef> days;
    {
        Books::Batch b = books.batch();
        for (int d = 1; d <= 30; ++d)
            days.push_back(b.newDay(march, d, QDate(2024, 3, d)));
        b.commit();
    }
    std::vector<double> ms;
    Counts last;
    for (auto _ : state) {
        Counts c;
        count(c);
        const auto start = std::chrono::steady_clock::now();
        Books::Batch b = books.batch();
        for (int k = 0; k < 1000; ++k) {
            Amounts a{};
            a[std::size_t(k % 10)] = 0.25 * (k % 7 + 1);
            b.add(days[std::size_t(k % 30)], a, Sign::Add);
        }
        b.commit();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        stopCounting();
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000.0);
        last = c;
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
    state.counters["flushes"] = last.flushes;
    state.counters["journal_writes"] = last.journalWrites;
}
BENCHMARK(BatchOfThousandAdds)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

void OneAdd(benchmark::State &state)
{
    const int records = int(state.range(0));
    const QString source = kwbench::bigTableDir(records);
    QTemporaryDir dir;
    for (const QString &name : {DayFile, MonthFile, YearFile})
        QFile::copy(QDir(source).filePath(name), dir.filePath(name));
    Books books(dir.path());
    const auto [m, y] = kwbench::middlePeriod(records);
    const Period period{m, y};
    books.openPeriod(period);
    const DayRef day = books.days(period).at(4).ref;
    std::vector<double> ms;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        books.add(day, Amounts{12.5, 0, 0, 3, 0, 0, 0, 1250.75}, Sign::Add);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000.0);
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
    state.counters["records"] = records;
}
BENCHMARK(OneAdd)->Arg(10'000)->Arg(1'000'000)->Iterations(200)->UseManualTime()->Unit(
    benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return kwbench::runBenchmarks<QCoreApplication>(argc, argv);
}
