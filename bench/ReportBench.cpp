// The report engine on a statement-shaped report (fourteen columns, running sums, a footer of
// currency fields from a second dataset) over day tables: a year of months (12), a month (31) and
// 100 details laid out and painted to the last page, and 10,000 details (about 250 pages): the
// first page announced, every page laid out, the whole PDF written, and the memory it all holds.

#include "bench/BenchMain.h"
#include "bench/BigTables.h"
#include "ledger/LedgerSchema.h"
#include "ledger/Table.h"
#include "reports/engine/Report.h"
#include "reports/engine/ReportPainter.h"
#include "reports/statements/TableSource.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>
#include <memory>
#include <unistd.h>

using namespace kw::report;

namespace {

// Day fields as a statement shows them, with a SUM under each amount.
ReportDefinition statementLike()
{
    ReportDefinition def;
    def.dataSetName = QStringLiteral("Table1");
    def.name = QStringLiteral("Report1");
    Band &title = def.addBand(BandKind::Title, 10.6);
    title.addLabel(19.3, 2.1, 20.6, QStringLiteral("Data / Godzina :"));
    title.addSystemData(40.5, 2.1, 14.8);
    title.addLabel(108.0, 0, 61.1, QStringLiteral("Zestawienie miesięczne"), Align::BandCenter).font =
        FontSpec{QStringLiteral("Arial"), 14, true};
    title.addField(188.4, 0, 11.4, QStringLiteral("Table1"), QStringLiteral("ROK")).font =
        FontSpec{QStringLiteral("Arial"), 14, true};
    Band &header = def.addBand(BandKind::ColumnHeader, 7.1, FrameLines{true, true});
    Band &detail = def.addBand(BandKind::Detail, 4.5);
    Band &summary = def.addBand(BandKind::Summary, 9.3, FrameLines{true, false});
    header.addLabel(0.3, 2.1, 10.6, QStringLiteral("Miesiąc"), Align::Center).height = 4;
    detail.addExpression(0.3, 0, 10.6, QStringLiteral("Table1.MIESIAC"), Align::Center).height = 4;
    header.addLabel(10.8, 2.1, 8.5, QStringLiteral("Dzień"), Align::Center).height = 4;
    detail.addExpression(10.8, 0, 8.5, QStringLiteral("Table1.DZIEN"), Align::Center).height = 4;
    header.addLabel(19.6, 2.1, 16.7, QStringLiteral("Data wpisu"), Align::Center).height = 4;
    detail.addExpression(19.6, 0, 16.7, QStringLiteral("Table1.DATA"), Align::Center).height = 4;
    summary.addLabel(16.9, 2.1, 10.8, QStringLiteral("SUMA :")).height = 4;
    double left = 36.8;
    for (const auto &c : kw::ledger::Categories) {
        const QString field = QString::fromLatin1(c.day);
        header.addLabel(left, 2.1, 16.4, field, Align::Center).height = 4;
        detail.addExpression(left, 0, 16.4, QStringLiteral("Table1.") + field, Align::Center).height = 4;
        summary.addExpression(left, 2.1, 16.4, QStringLiteral("SUM(Table1.%1)").arg(field), Align::Center).height = 4;
        left += 17.2;
    }
    header.addLabel(209.6, 2.1, 14.3, QStringLiteral("Uwagi")).height = 4;
    detail.addField(209.6, 0, 68.3, QStringLiteral("Table1"), QStringLiteral("UWAGI")).height = 4;
    Band &footer = def.addBand(BandKind::PageFooter, 15.9);
    const char *sums[] = {"DOCHOD", "WYDATKI", "ROZNICA"};
    for (int i = 0; i < 3; ++i) {
        footer.addLabel(12.7 + i * 57, 2.1, 0, QStringLiteral("Miesiąc :")).autoSize = true;
        footer.addField(42.3 + i * 57, 2.1, 0, QStringLiteral("TableS"), QString::fromLatin1(sums[i])).autoSize = true;
    }
    return def;
}

struct Sums : RecordSource
{
    void first() override {}
    void next() override {}
    bool eof() const override { return false; }
    bool hasField(const QString &) const override { return true; }
    QVariant value(const QString &) const override { return -1234.56; }
    bool isCurrency(const QString &) const override { return true; }
};

// The first `records` day entries of a generated day table, in stored order.
struct Source
{
    kw::Table table;
    TableSource own{&table};
    Sums sums;
    Report report;
    explicit Source(int records)
    {
        const QString dir = kwbench::bigTableDir(std::max(records, 10000));
        kw::ledger::setUpDayTable(table);
        table.setIndexFieldName(QString()); // stored order, as the statements read it
        table.setDirectory(dir);
        auto count = std::make_shared<int>(0);
        // Accept the first `records` records of the walk: the filter sees them in stored order.
        table.setOnFilterRecord([count, records](const kw::RecordView &) { return (*count)++ < records; });
        table.open();
        *count = 0;
        table.setFiltered(true);
        report.setDefinition(statementLike());
        report.setDataSet(&own);
        report.addDataSet(QStringLiteral("TableS"), &sums);
    }
};

long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void BM_LayoutAndPaintAllPages(benchmark::State &state)
{
    Source src(int(state.range(0)));
    int pages = 0;
    for (auto _ : state) {
        const LaidOutReport r = src.report.layout();
        for (int i = 0; i < int(r.pages.size()); ++i)
            benchmark::DoNotOptimize(renderPageImage(r, i, 96).constBits());
        pages = int(r.pages.size());
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_LayoutAndPaintAllPages)->Arg(12)->Arg(31)->Arg(100)->Unit(benchmark::kMillisecond);

// As the preview does it: slices from the event loop, until the first page is announced.
void BM_FirstPageOf10000(benchmark::State &state)
{
    Source src(10000);
    for (auto _ : state) {
        std::unique_ptr<LayoutRun> run(src.report.createRun());
        QEventLoop loop;
        QObject::connect(run.get(), &LayoutRun::pageAvailable, &loop, [&](int n) {
            if (n == 1)
                loop.quit();
        });
        run->start();
        loop.exec();
        run->stop();
    }
}
BENCHMARK(BM_FirstPageOf10000)->Unit(benchmark::kMillisecond);

void BM_AllPagesOf10000(benchmark::State &state)
{
    Source src(10000);
    const long before = residentKiB();
    int pages = 0;
    long held = 0;
    for (auto _ : state) {
        const LaidOutReport r = src.report.layout();
        pages = int(r.pages.size());
        held = residentKiB() - before;
    }
    state.counters["pages"] = pages;
    state.counters["heldKiB"] = double(held);
}
BENCHMARK(BM_AllPagesOf10000)->Unit(benchmark::kMillisecond);

void BM_PdfOf10000(benchmark::State &state)
{
    Source src(10000);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("raport.pdf"));
    for (auto _ : state) {
        QString error;
        if (!src.report.writePdf(path, &error))
            state.SkipWithError(qPrintable(error));
    }
    state.counters["bytes"] = double(QFileInfo(path).size());
}
BENCHMARK(BM_PdfOf10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return kwbench::runBenchmarks<QGuiApplication>(argc, argv);
}
