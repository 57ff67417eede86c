// A year of a busy account (10,000 transactions) in each statement format (0 MT940, 1 camt.053,
// 2 OFX, 3 CSV): read and categorised by the built-in rules, beside simply reading the file's bytes
// and, for camt, beside Qt's XML reader alone; and the whole statement booked as one change.
#include "ImportStatements.h"

#include "import/ImportBooking.h"
#include "import/Rules.h"
#include "import/StatementReader.h"
#include "ledger/Books.h"
#include "ledger/LedgerSchema.h"

#include <QXmlStreamReader>
#include <benchmark/benchmark.h>

namespace {

using kwbench::StatementKind;

void BM_ReadBytes(benchmark::State &state)
{
    const QString path = kwbench::statementFile(StatementKind(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(f.readAll());
    }
    state.counters["bytes"] = double(QFileInfo(path).size());
}

// camt's floor: Qt's XML reader going through the file's tokens and doing nothing with them.
void BM_XmlTokens(benchmark::State &state)
{
    QFile f(kwbench::statementFile(StatementKind::Camt053, int(state.range(0))));
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    for (auto _ : state) {
        QXmlStreamReader xml(bytes);
        int tokens = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            ++tokens;
        }
        benchmark::DoNotOptimize(tokens);
    }
}

void BM_ReadAndCategorise(benchmark::State &state)
{
    const int count = int(state.range(1));
    const QString path = kwbench::statementFile(StatementKind(state.range(0)), count);
    const kw::import::Rules rules = kw::import::Rules::parse(kw::import::Rules::builtInText());
    for (auto _ : state) {
        const kw::import::Statement st = kw::import::readStatementFile(path);
        if (st.transactions.size() != count) {
            state.SkipWithError("not every transaction was read");
            break;
        }
        kw::import::Amount total = 0;
        for (const kw::import::Transaction &t : st.transactions)
            total += kw::import::bookedAmount(t, rules.categorise(t).category);
        benchmark::DoNotOptimize(total);
    }
}

// The rules alone, on transactions already read.
void BM_Categorise(benchmark::State &state)
{
    const QString path = kwbench::statementFile(StatementKind(state.range(0)), int(state.range(1)));
    const kw::import::Statement st = kw::import::readStatementFile(path);
    const kw::import::Rules rules = kw::import::Rules::parse(kw::import::Rules::builtInText());
    for (auto _ : state) {
        int income = 0;
        for (const kw::import::Transaction &t : st.transactions)
            income += rules.categorise(t).category == kw::import::IncomeCategory;
        benchmark::DoNotOptimize(income);
    }
}

// The whole statement booked as one change into empty books: 10,000 lines over a year's days, every
// period's sums made, every line kept in the operations table. The folder is made anew, untimed,
// for each run.
void BM_Book(benchmark::State &state)
{
    const int count = int(state.range(1));
    const QString path = kwbench::statementFile(StatementKind(state.range(0)), count);
    const kw::import::Statement st = kw::import::readStatementFile(path);
    const kw::import::Rules rules = kw::import::Rules::parse(kw::import::Rules::builtInText());
    int days = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        kw::ledger::createEmptyTables(dir.path());
        const kw::import::ImportPlan plan = kw::import::planImport(path, st, rules, {});
        kw::ledger::Books books(dir.path());
        state.ResumeTiming();
        const kw::import::ImportResult r = kw::import::bookImport(books, plan, QDateTime::currentDateTime());
        if (r.booked != count)
            state.SkipWithError("not every line was booked");
        days = r.daysCreated;
    }
    state.counters["days"] = days;
}

void formats(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"format", "transactions"});
    for (int k = 0; k < 4; ++k)
        b->Args({k, 10000});
}

} // namespace

BENCHMARK(BM_ReadBytes)->Apply(formats)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlTokens)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndCategorise)->Apply(formats)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Book)->Args({3, 10000})->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Categorise)->Args({3, 10000})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
