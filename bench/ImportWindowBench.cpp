// The review window showing a year of a busy account (10,000 transactions): from the file to the
// window painted with its table, its totals and its balances; the statement read and planned alone
// beside it, for what the window itself adds.
#include "ImportStatements.h"
#include "WindowBenchMain.h"

#include "dialogs/ImportWindow.h"
#include "import/ImportBooking.h"
#include "import/StatementReader.h"
#include "ledger/Books.h"
#include "ledger/LedgerSchema.h"

#include <QTemporaryDir>

namespace {

using kwbench::StatementKind;

struct Folder
{
    QTemporaryDir dir;
    Folder()
    {
        kw::ledger::createEmptyTables(dir.path());
        kw::import::Rules::load(dir.path()); // the rules file written once, as the first import does
    }
};

void BM_ReadAndPlan(benchmark::State &state)
{
    Folder f;
    const QString path = kwbench::statementFile(StatementKind(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        const kw::import::ImportPlan plan = kw::import::planImport(path, kw::import::readStatementFile(path),
                                                                   kw::import::Rules::load(f.dir.path()),
                                                                   kw::import::bookedKeys(f.dir.path()));
        benchmark::DoNotOptimize(plan.lines.size());
    }
}

void BM_ReviewWindowShown(benchmark::State &state)
{
    Folder f;
    kw::ledger::Books books(f.dir.path());
    const QString path = kwbench::statementFile(StatementKind(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        kw::ImportWindow w(books);
        if (!w.openFile(path) || w.model()->rowCount() != state.range(1)) {
            state.SkipWithError("the statement was not shown whole");
            break;
        }
        w.show();
        benchmark::DoNotOptimize(w.grab()); // painted, table and all
        state.PauseTiming();
        w.close();
        state.ResumeTiming();
    }
}

void formats(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"format", "transactions"});
    b->Args({int(StatementKind::Mt940), 10000});
    b->Args({int(StatementKind::Csv), 10000});
}

} // namespace

BENCHMARK(BM_ReadAndPlan)->Apply(formats)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReviewWindowShown)->Apply(formats)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return kwbench::runWindowBenchmarks(argc, argv);
}
