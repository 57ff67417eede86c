// One "Dodaj" of the add/subtract dialog on a day table of 10,000 and of 1,000,000 records: the
// boxes converted, the day entry and both sums changed in one atomic group and put on the disk.
// Reports the median and the worst of 1,000 presses.

#include "app/Forms.h"
#include "app/Startup.h"
#include "app/Unit1.h"
#include "dialogs/EntryDialog.h"
#include "dialogs/Unit3.h"
#include "dialogs/UnitM.h"
#include "framework/Messages.h"
#include "ledger/Booking.h"
#include "ledger/DbfFile.h"
#include "ledger/LedgerSchema.h"

#include "bench/WindowBenchMain.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <vector>

namespace {

constexpr int DaysPerPeriod = 30;

// Writes `records` day entries straight into the empty day table: 30 days to a period, the
// periods running month by month from January 1900.
void fillDayTable(const QString &dir, int records)
{
    const QString path = QDir(dir).filePath(kw::ledger::DayFile);
    auto f = kw::DbfFile::open(path);
    const auto field = [&](const char *name) { return f->fieldIndex(QString::fromLatin1(name)); };
    const int month = field("MIESIAC"), year = field("ROK"), day = field("DZIEN"), date = field("DATA");
    const int note = field("UWAGI");
    std::string record = f->blankRecord();
    std::string chunk;
    const std::size_t chunkRecords = 8192;
    chunk.reserve(std::size_t(f->recordLength()) * chunkRecords + 1);
    QFile out(path);
    if (!out.open(QIODevice::ReadWrite))
        throw std::runtime_error("cannot write the day table");
    out.seek(f->headerLength());
    for (int i = 0; i < records; ++i) {
        const int period = i / DaysPerPeriod;
        f->encode(record.data(), month, QString::number(period % 12 + 1));
        f->encode(record.data(), year, QString::number(1900 + period / 12));
        f->encode(record.data(), day, double(i % DaysPerPeriod + 1));
        for (const auto &c : kw::ledger::Categories)
            f->encode(record.data(), f->fieldIndex(QString::fromLatin1(c.day)), double(i % 613) * 0.25);
        f->encode(record.data(), date, QDate(2004, 3, 5));
        f->encode(record.data(), note, QStringLiteral("wpis %1").arg(i));
        chunk += record;
        if (chunk.size() >= std::size_t(f->recordLength()) * chunkRecords) {
            out.write(chunk.data(), qint64(chunk.size()));
            chunk.clear();
        }
    }
    chunk.push_back('\x1A');
    out.write(chunk.data(), qint64(chunk.size()));
    const std::uint32_t count = std::uint32_t(records);
    out.seek(4);
    out.write(reinterpret_cast<const char *>(&count), sizeof count);
}

void AddThroughTheDialog(benchmark::State &state)
{
    const int records = int(state.range(0));
    QTemporaryDir dir;
    kw::ledger::createEmptyTables(dir.path());
    fillDayTable(dir.path(), records);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    int messages = 0;
    kw::setMessageHandler([&](const kw::MessageRequest &) {
        ++messages;
        return int(kw::Ok);
    });
    kw::createForms();
    {
        // The period in the middle of the table; the dialog books into the day the list stands on
        // when the period opens, its first.
        const int period = records / 2 / DaysPerPeriod;
        const QString m = QString::number(period % 12 + 1), y = QString::number(1900 + period / 12);
        kw::forms().formM()->Edit1->setText(y);
        kw::forms().formM()->RadioButtonClick(m.toInt());
        kw::ledger::openPeriod(kw::ledgerTables(), m, y);
    }
    TForm3 *dialog = kw::forms().form3();
    const QStringList texts{"12,50", "0", "0", "3", "0", "0", "0", "1 250,75", "0", "0"};

    std::vector<double> ms;
    ms.reserve(std::size_t(state.max_iterations));
    for (auto _ : state) {
        for (std::size_t i = 0; i < dialog->Edit.size(); ++i)
            dialog->Edit[i]->setText(texts[int(i)]);
        const auto start = std::chrono::steady_clock::now();
        dialog->Button1Click();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        ms.push_back(took.count() * 1000.0);
    }
    if (messages || kw::forms().form1()->Table1->fieldValue("PRZYCHOD").toDouble() < 12.5 * double(ms.size()))
        state.SkipWithError("the dialog did not book every press");

    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
    state.counters["records"] = records;
    kw::destroyForms();
    kw::setMessageHandler(nullptr);
    QDir::setCurrent(previous);
}
BENCHMARK(AddThroughTheDialog)
    ->Arg(10'000)
    ->Arg(1'000'000)
    ->Iterations(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return kwbench::runWindowBenchmarks(argc, argv);
}
