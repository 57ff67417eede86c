// Open + filter to one period, and one post, on day tables of 10,000, 100,000 and 1,000,000 records.
// Baselines in the same run: streaming the file through a reused 1 MiB buffer, and shapelib's
// reader filtering it one record at a time.
#include "BigTables.h"
#include "ledger/Period.h"
#include "ledger/Table.h"

#include <QLocale>
#include <benchmark/benchmark.h>
#ifdef KW_HAVE_SHAPELIB
#include <shapefil.h>
#endif

namespace {

struct Period : kw::ledger::PeriodSource
{
    QString m, y;
    QString monthText() const override { return m; }
    QString yearText() const override { return y; }
};

using kwbench::residentKiB;

void BM_StreamRead(benchmark::State &state)
{
    const QString dir = kwbench::bigTableDir(int(state.range(0)));
    const QByteArray path = QFile::encodeName(QDir(dir).filePath(kw::ledger::DayFile));
    std::vector<char> buf;
    for (auto _ : state)
        benchmark::DoNotOptimize(kwbench::streamRead(path, buf));
}

void BM_OpenAndFilter(benchmark::State &state)
{
    const int records = int(state.range(0));
    const QString dir = kwbench::bigTableDir(records);
    Period period;
    std::tie(period.m, period.y) = kwbench::middlePeriod(records);
    long rssDelta = 0;
    for (auto _ : state) {
        const long before = residentKiB();
        kw::Table t;
        kw::ledger::setUpDayTable(t);
        t.setDirectory(dir);
        t.setOnFilterRecord(kw::ledger::dayPeriodFilter(period));
        t.setFiltered(true);
        t.open();
        if (t.recordCount() != kwbench::DaysPerPeriod)
            state.SkipWithError("the period did not filter to its 30 days");
        rssDelta = std::max(rssDelta, residentKiB() - before);
        t.close();
    }
    state.counters["open_rss_growth_KiB"] = double(rssDelta);
}

void BM_Post(benchmark::State &state)
{
    const int records = int(state.range(0));
    const QString dir = kwbench::bigTableDir(records);
    Period period;
    std::tie(period.m, period.y) = kwbench::middlePeriod(records);
    kw::Table t;
    kw::ledger::setUpDayTable(t);
    t.setDirectory(dir);
    t.setOnFilterRecord(kw::ledger::dayPeriodFilter(period));
    t.setFiltered(true);
    t.open();
    double v = 0;
    for (auto _ : state) {
        t.edit();
        t.setFieldValue("INNE", v += 0.25);
        t.post();
    }
    const long rss = residentKiB();
    state.counters["rss_open_table_MiB"] = double(rss) / 1024.0;
}

#ifdef KW_HAVE_SHAPELIB
void BM_ShapelibFilter(benchmark::State &state)
{
    const int records = int(state.range(0));
    const QString dir = kwbench::bigTableDir(records);
    const auto [m, y] = kwbench::middlePeriod(records);
    const QByteArray path = QFile::encodeName(QDir(dir).filePath(kw::ledger::DayFile));
    const QByteArray mb = m.toLatin1(), yb = y.toLatin1();
    for (auto _ : state) {
        DBFHandle h = DBFOpen(path.constData(), "rb");
        const int fm = DBFGetFieldIndex(h, "MIESIAC"), fy = DBFGetFieldIndex(h, "ROK");
        int found = 0;
        const int n = DBFGetRecordCount(h);
        for (int i = 0; i < n; ++i)
            if (!DBFIsRecordDeleted(h, i) && mb == DBFReadStringAttribute(h, i, fm) &&
                yb == DBFReadStringAttribute(h, i, fy))
                ++found;
        DBFClose(h);
        if (found != kwbench::DaysPerPeriod)
            state.SkipWithError("shapelib found another number of days");
    }
}
BENCHMARK(BM_ShapelibFilter)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_StreamRead)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndFilter)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Post)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
