// The analysis window on 1,000,000 day entries and 100 years of sums (1,200 month sums, 100 year
// sums, a plan for every year): opening it with its first chart (goal: under 150 ms), and switching
// month, year or tab with the chart drawn again (goal: under 50 ms each).
#include "bench/BigTables.h"
#include "bench/WindowBenchMain.h"
#include "ledger/Books.h"
#include "ledger/BudgetPlan.h"
#include "reports/AnalysisWindow.h"

#include <QChartView>
#include <QElapsedTimer>
#include <algorithm>
#include <benchmark/benchmark.h>

namespace {

using namespace kw::ledger;

constexpr int Days = 1'000'000;
constexpr int Years = 100;
constexpr int FirstYear = 1925;

int field(const kw::DbfFile &f, const char *name)
{
    return f.fieldIndex(QString::fromLatin1(name));
}

// A household's amounts for the i-th month: income well above the seven expenses.
double amountOf(int category, int i)
{
    return category == 0 ? 9000 + (i * 37) % 1300 : 120 + ((i + 3) * (category * 53 + 11)) % 900;
}

void fillSum(kw::DbfFile &f, char *rec, Level level, int i, double scale)
{
    double in = 0, out = 0;
    for (int c = 0; c < int(Categories.size()); ++c) {
        const double v = amountOf(c, i) * scale;
        f.encode(rec, field(f, Categories[std::size_t(c)].field(level)), v);
        if (c == 0)
            in += v;
        else if (c < IncomeKinds)
            in -= v;
        else
            out += v;
    }
    const DerivedFields &d = derivedFields(level);
    f.encode(rec, field(f, d.income), in);
    f.encode(rec, field(f, d.expenses), out);
    f.encode(rec, field(f, d.budget), in - out);
}

// Written once into a cache folder and reused; the day entries only sit there to be left unread.
QString ledger()
{
    const QString dir = QDir::temp().filePath(QStringLiteral("kwotnik-bench-analysis"));
    const QString done = QDir(dir).filePath(QStringLiteral("complete"));
    if (QFileInfo::exists(done))
        return dir;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    createEmptyTables(dir);
    const QDir d(dir);
    const int perMonth = Days / (Years * 12);
    kwbench::appendDayEntries(d.filePath(DayFile), 0, Days, [&](int i) {
        const int period = std::min(i / perMonth, Years * 12 - 1);
        return kwbench::DayPlace{QString::number(period % 12 + 1), QString::number(FirstYear + period / 12),
                                 i % 28 + 1};
    });
    kwbench::appendRecords(d.filePath(MonthFile), Years * 12, [&](kw::DbfFile &f, char *rec, int i) {
        f.encode(rec, field(f, MonthRecord.id), double(i + 1));
        f.encode(rec, field(f, MonthRecord.month), QString::number(i % 12 + 1));
        f.encode(rec, field(f, MonthRecord.year), QString::number(FirstYear + i / 12));
        fillSum(f, rec, Level::Month, i, 1.0);
    });
    kwbench::appendRecords(d.filePath(YearFile), Years, [&](kw::DbfFile &f, char *rec, int i) {
        f.encode(rec, field(f, YearRecord.id), double(i + 1));
        f.encode(rec, field(f, YearRecord.year), QString::number(FirstYear + i));
        fillSum(f, rec, Level::Year, i, 12.0);
    });
    Books books(dir);
    std::vector<PlanEntry> plans;
    for (int y = 0; y < Years; ++y) {
        PlanEntry e{QString::number(FirstYear + y), QString(), {}};
        for (int c = 0; c < int(Categories.size()); ++c)
            e.amounts[std::size_t(c)] = amountOf(c, y) * 1.05;
        plans.push_back(e);
    }
    savePlan(books, plans);
    QFile mark(done);
    mark.open(QIODevice::WriteOnly);
    return dir;
}

const Period Middle = Period::of(6, FirstYear + Years / 2);

// The time until the window's chart is on the screen: what the event loop still has to do, and the
// chart's view painted.
double settle(QChartView *chart, const QElapsedTimer &clock)
{
    QCoreApplication::processEvents();
    // What was deleted later goes now, as the program's event loop lets it go: processEvents alone
    // keeps it, and a chart's scene would then paint every item it ever dropped.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    chart->viewport()->repaint();
    return double(clock.nsecsElapsed()) / 1e6;
}

void report(benchmark::State &state, std::vector<double> &ms)
{
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
}

void OpenWithFirstChart(benchmark::State &state)
{
    const QString dir = ledger();
    Books books(dir);
    std::vector<double> ms;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        AnalysisWindow w(books);
        w.setPeriod(Middle);
        w.show();
        const double took = settle(w.MonthChart, clock);
        state.SetIterationTime(took / 1000.0);
        ms.push_back(took);
        w.close();
    }
    report(state, ms);
}
BENCHMARK(OpenWithFirstChart)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

// Alternately one step forward and one back, on the tab given: month (0), year (1), plan (3).
void Step(benchmark::State &state)
{
    const QString dir = ledger();
    Books books(dir);
    AnalysisWindow w(books);
    w.setPeriod(Middle);
    w.showTab(AnalysisWindow::Tab(state.range(0)));
    w.show();
    QCoreApplication::processEvents();
    std::vector<double> ms;
    bool forward = true;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        forward ? w.NextClick() : w.PrevClick();
        forward = !forward;
        const double took = settle(w.visibleChart(), clock);
        state.SetIterationTime(took / 1000.0);
        ms.push_back(took);
    }
    report(state, ms);
}
BENCHMARK(Step)->Arg(0)->Arg(1)->Arg(3)->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);

// A tab brought to the front after the period changed, so its figures are read and drawn anew:
// month, year, every year (100), plan.
void SwitchTab(benchmark::State &state)
{
    const QString dir = ledger();
    Books books(dir);
    AnalysisWindow w(books);
    w.setPeriod(Middle);
    w.show();
    QCoreApplication::processEvents();
    const auto tab = AnalysisWindow::Tab(state.range(0));
    std::vector<double> ms;
    bool forward = true;
    for (auto _ : state) {
        w.showTab(tab == AnalysisWindow::MonthTab ? AnalysisWindow::YearTab : AnalysisWindow::MonthTab);
        w.setPeriod(forward ? Period::of(7, FirstYear + Years / 2) : Middle);
        forward = !forward;
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        w.showTab(tab);
        const double took = settle(w.visibleChart(), clock);
        state.SetIterationTime(took / 1000.0);
        ms.push_back(took);
    }
    report(state, ms);
}
BENCHMARK(SwitchTab)->DenseRange(0, 3)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return kwbench::runWindowBenchmarks(argc, argv);
}
