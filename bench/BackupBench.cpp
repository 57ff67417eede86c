// Start-up on the supplied (empty) tables: the dated copy of the tables, the splash and every
// window created and the main window shown, then everything destroyed again. Once with tables
// that changed since the last copy (a copy is made, flushed and the oldest pruned) and once with
// nothing to copy, so the cost of the copy shows as the difference.

#include "app/Forms.h"
#include "app/Startup.h"
#include "framework/Messages.h"
#include "ledger/Backup.h"
#include "ledger/LedgerSchema.h"

#include "bench/WindowBenchMain.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <vector>

namespace {

// Another day's work: the month table's last-update byte changes, so the tables differ from the copy.
void touchTables(const QString &dir, int n)
{
    QFile f(QDir(dir).filePath(kw::ledger::MonthFile));
    if (!f.open(QIODevice::ReadWrite) || !f.seek(3))
        throw std::runtime_error("cannot change the month table");
    const char day = char(1 + n % 28);
    f.write(&day, 1);
}

void Startup(benchmark::State &state)
{
    const bool changed = state.range(0) != 0;
    QTemporaryDir dir;
    kw::ledger::createEmptyTables(dir.path());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    int messages = 0;
    kw::setMessageHandler([&](const kw::MessageRequest &) {
        ++messages;
        return int(kw::Ok);
    });
    int copiesMade = 0, n = 0;
    std::vector<double> ms;
    QDateTime when(QDate(2024, 1, 1), QTime(8, 0));
    for (auto _ : state) {
        if (changed)
            touchTables(dir.path(), ++n);
        when = when.addSecs(1);
        const auto start = std::chrono::steady_clock::now();
        const kw::backup::Outcome o = kw::backup::backupIfChanged(dir.path(), when);
        const int failed = kw::startProgram(*qApp);
        QCoreApplication::processEvents();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        kw::destroyForms();
        if (failed || o.kind == kw::backup::Outcome::Failed)
            state.SkipWithError("start-up failed");
        copiesMade += o.kind == kw::backup::Outcome::Made;
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000.0);
    }
    if (messages || (changed && copiesMade != int(ms.size())))
        state.SkipWithError("a copy was not made each time");
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
    state.counters["copies_kept"] = double(kw::backup::copies(dir.path()).size());
    kw::setMessageHandler(nullptr);
    QDir::setCurrent(previous);
}
BENCHMARK(Startup)->ArgName("copy")->Arg(1)->Arg(0)->Iterations(40)->UseManualTime()->Unit(
    benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return kwbench::runWindowBenchmarks(argc, argv);
}
