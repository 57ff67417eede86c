// What the user waits for around periods, pressed through the windows' own handlers on day tables
// of 10,000, 100,000 and 1,000,000 records, each beside a streaming read of the same day file:
// the first open of a period through the month and year dialog's "Otwórz", the close by the
// open-period command, a switch to another period, a re-open of the same one, the new-day
// dialog in a dense period of 2,221 entries (a day it refuses and a day it adds), and closing the
// program with a period open and with none. The durable add through the add/subtract dialog is
// measured by bench_add.
//
// The first open also runs on tables whose records are not in day order: two periods alternating
// record by record all through the file (every record a run of its own), and the records of the
// day-ordered table shuffled at random, as a table reordered or merged by another program is.
//
// Every case reports the median and the worst press in milliseconds, both also as multiples of
// the streaming read ("x_stream"), and how much the press read: in passes over the day file and
// in KiB. The first open also reports the resident memory of the program with no period open and
// with the period open, and the bytes the map of periods takes per day entry. The map outlives the
// windows, so the first open forgets it before each press, as a program just started has none;
// it is built off the window's thread after the press, and waited for before the next.

#include "BigTables.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "app/Unit1.h"
#include "dialogs/Unit3D.h"
#include "dialogs/UnitM.h"
#include "framework/Messages.h"
#include "ledger/Booking.h"
#include "ledger/SharedFile.h"
#include "ledger/Table.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <random>

namespace {

using kwbench::DaysPerPeriod;

// The dense period lies after the regular ones, in a year none of them reaches, with the days 1 to
// 30 taken: day 31 of its December is free.
constexpr int DenseEntries = 2'221;
const QString DenseMonth = QStringLiteral("12");
const QString DenseYear = QStringLiteral("5000");
const QString DuplicateMessage = QStringLiteral("Wpis pod tą datą już istnieje !!!");

// Processor time of this thread, in user and kernel mode alike.
double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct PeriodKey
{
    QString month;
    QString year;
};

// How the regular day entries lie in the file.
enum Order
{
    DayOrder,
    Alternating, // entry i of the first half, then entry i of the second half, and so on
    Shuffled     // the day-ordered entries in an order drawn at random (the same in every run)
};

// Which regular entry (by regularPlace) record i of the file holds.
std::vector<int> entryOrder(int records, Order order)
{
    std::vector<int> entry(std::size_t(records), 0);
    const int half = (records + 1) / 2;
    for (int i = 0; i < records; ++i)
        entry[std::size_t(i)] = order == Alternating ? (i % 2 == 0 ? i / 2 : half + i / 2) : i;
    if (order == Shuffled)
        std::shuffle(entry.begin(), entry.end(), std::mt19937(20250101));
    return entry;
}

// A working directory of the program: the regular day entries, the dense period after them, and
// a month sum and a year sum for every period, each the sum of its entries, so that opening any
// period only reads, as it does for every period the user has worked in before.
class Ledger
{
public:
    explicit Ledger(int records, Order order = DayOrder) : records_(records)
    {
        if (!tmp_.isValid())
            throw std::runtime_error("no temporary directory");
        kw::ledger::createEmptyTables(dir());
        const QString day = QDir(dir()).filePath(kw::ledger::DayFile);
        const std::vector<int> entry = entryOrder(records, order);
        kwbench::appendDayEntries(day, 0, records,
                                  [&](int i) { return kwbench::regularPlace(entry[std::size_t(i)]); });
        kwbench::appendDayEntries(day, records, DenseEntries, [records](int i) {
            return kwbench::DayPlace{DenseMonth, DenseYear, (i - records) % DaysPerPeriod + 1};
        });
        writeSums(entry);
        dayFile_ = QFile::encodeName(day);
        daySize_ = QFileInfo(day).size();

        // The streaming read every press is set against, by the clock and in processor time.
        std::vector<char> buf;
        std::vector<double> ms, cpu;
        for (int i = 0; i < 15; ++i) {
            const double cpuStart = threadCpuMs();
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(kwbench::streamRead(dayFile_, buf));
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            cpu.push_back(threadCpuMs() - cpuStart);
        }
        std::sort(ms.begin(), ms.end());
        std::sort(cpu.begin(), cpu.end());
        streamMs_ = ms[ms.size() / 2];
        streamCpuMs_ = cpu[cpu.size() / 2];
    }

    QString dir() const { return tmp_.path(); }
    int records() const { return records_; }
    const QByteArray &dayFile() const { return dayFile_; }
    qint64 daySize() const { return daySize_; }
    double streamMs() const { return streamMs_; }
    double streamCpuMs() const { return streamCpuMs_; }

    // The regular period that holds the entry at this fraction of the table.
    PeriodKey periodAt(double fraction) const
    {
        const kwbench::DayPlace p = kwbench::regularPlace(int(records_ * fraction));
        return {p.month, p.year};
    }

private:
    // Amounts as appendDayEntries writes them: every category of entry i holds (i % 977) * 1.25.
    void writeSums(const std::vector<int> &entry)
    {
        const int periods = (records_ + DaysPerPeriod - 1) / DaysPerPeriod;
        std::vector<PeriodKey> keys;
        std::vector<double> sums;
        for (int p = 0; p < periods; ++p) {
            const kwbench::DayPlace place = kwbench::regularPlace(p * DaysPerPeriod);
            keys.push_back({place.month, place.year});
            sums.push_back(0);
        }
        keys.push_back({DenseMonth, DenseYear});
        sums.push_back(0);
        for (int i = 0; i < records_ + DenseEntries; ++i)
            sums[i < records_ ? std::size_t(entry[std::size_t(i)] / DaysPerPeriod) : sums.size() - 1] +=
                double(i % 977) * 1.25;

        // Income less the two costs, and the seven expenses, of ten equal categories.
        const auto put = [](const kw::DbfFile &f, char *rec, bool month, const char *income,
                            const char *expenses, const char *budget, double s) {
            for (const auto &c : kw::ledger::Categories)
                f.encode(rec, f.fieldIndex(QString::fromLatin1(month ? c.month : c.year)), s);
            f.encode(rec, f.fieldIndex(QString::fromLatin1(income)), -s);
            f.encode(rec, f.fieldIndex(QString::fromLatin1(expenses)), 7 * s);
            f.encode(rec, f.fieldIndex(QString::fromLatin1(budget)), -8 * s);
        };
        const QDir d(dir());
        kwbench::appendRecords(d.filePath(kw::ledger::MonthFile), int(keys.size()),
                               [&](const kw::DbfFile &f, char *rec, int n) {
                                   f.encode(rec, f.fieldIndex(u"ID"), double(n + 1));
                                   f.encode(rec, f.fieldIndex(u"SMIESIAC"), keys[std::size_t(n)].month);
                                   f.encode(rec, f.fieldIndex(u"SROK"), keys[std::size_t(n)].year);
                                   put(f, rec, true, "DOCHOD", "WYDATKI", "ROZNICA", sums[std::size_t(n)]);
                               });
        std::vector<std::pair<QString, double>> years;
        for (std::size_t p = 0; p < keys.size(); ++p) {
            if (years.empty() || years.back().first != keys[p].year)
                years.emplace_back(keys[p].year, 0.0);
            years.back().second += sums[p];
        }
        kwbench::appendRecords(
            d.filePath(kw::ledger::YearFile), int(years.size()), [&](const kw::DbfFile &f, char *rec, int n) {
                f.encode(rec, f.fieldIndex(u"ID"), double(n + 1));
                f.encode(rec, f.fieldIndex(u"RROK"), years[std::size_t(n)].first);
                put(f, rec, false, "RDOCHOD", "RWYDATKI", "RROZNICA", years[std::size_t(n)].second);
            });
    }

    QTemporaryDir tmp_;
    int records_;
    QByteArray dayFile_;
    qint64 daySize_ = 0;
    double streamMs_ = 0;
    double streamCpuMs_ = 0;
};

// One working directory per size for the whole run: the cases of a size share its files, and the
// page cache holds them, as it does for a user who works with the program every day.
std::map<std::pair<int, int>, std::unique_ptr<Ledger>> &ledgers()
{
    static std::map<std::pair<int, int>, std::unique_ptr<Ledger>> all;
    return all;
}
Ledger &ledger(int records, Order order = DayOrder)
{
    // The tables of one order at a time on the disk: a million records take a quarter of a GiB.
    if (!ledgers().empty() && ledgers().begin()->first.second != int(order))
        ledgers().clear();
    auto &slot = ledgers()[{records, int(order)}];
    if (!slot)
        slot = std::make_unique<Ledger>(records, order);
    return *slot;
}

// The program as it starts on the working directory: every window created in its order and the
// main window shown, no period open. Message boxes are answered and kept.
class Program
{
public:
    explicit Program(const Ledger &l)
    {
        QDir::setCurrent(l.dir());
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            messages << r.text;
            return int(kw::Ok);
        });
        if (kw::startProgram(*qApp) != 0)
            throw std::runtime_error("the program did not start");
        QCoreApplication::processEvents();
    }
    ~Program()
    {
        kw::destroyForms();
        kw::setMessageHandler(nullptr);
        QDir::setCurrent(previous_);
    }
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    static TForm1 *main() { return kw::forms().form1(); }
    static TFormM *dialog() { return kw::forms().formM(); }
    static TForm3D *newDay() { return kw::forms().form3D(); }
    // Visible day entries, or -1 with the day table closed.
    static int rows() { return main()->Table1->active() ? main()->Table1->recordCount() : -1; }

    // The open-period command, then the month and the year chosen in the dialog, as the user does;
    // "Otwórz" is left to the caller.
    static void choose(const PeriodKey &p)
    {
        main()->ToolButton1Click();
        dialog()->RadioButton[p.month.toInt() - 1]->click();
        dialog()->Edit1->setText(p.year);
    }
    static void open(const PeriodKey &p)
    {
        choose(p);
        dialog()->Button1Click();
        QCoreApplication::processEvents();
    }

    QStringList messages;

private:
    QString previous_ = QDir::currentPath();
};

// The presses of one case: how long each took and how much the process read meanwhile.
class Presses
{
public:
    explicit Presses(const Ledger &l) : ledger_(l) {}

    template <class Press> void time(benchmark::State &state, Press &&press)
    {
        const long long before = kwbench::bytesReadSoFar();
        const double cpuStart = threadCpuMs();
        const auto start = std::chrono::steady_clock::now();
        press();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        cpuMs_.push_back(threadCpuMs() - cpuStart);
        const long long after = kwbench::bytesReadSoFar();
        state.SetIterationTime(took.count());
        ms_.push_back(took.count() * 1000.0);
        if (before < 0 || after < 0)
            readKnown_ = false;
        read_ += after - before;
        // The bound displays repaint afterwards, outside the press, as the event loop would.
        QCoreApplication::processEvents();
    }

    void report(benchmark::State &state)
    {
        if (ms_.empty())
            return;
        std::sort(ms_.begin(), ms_.end());
        std::sort(cpuMs_.begin(), cpuMs_.end());
        const double median = ms_[ms_.size() / 2], worst = ms_.back(), cpu = cpuMs_[cpuMs_.size() / 2];
        state.counters["median_ms"] = median;
        state.counters["worst_ms"] = worst;
        state.counters["stream_ms"] = ledger_.streamMs();
        state.counters["median_x_stream"] = median / ledger_.streamMs();
        state.counters["worst_x_stream"] = worst / ledger_.streamMs();
        // On a machine shared with other work the clock also counts the waits for a processor.
        state.counters["cpu_median_ms"] = cpu;
        state.counters["cpu_x_stream"] = cpu / ledger_.streamCpuMs();
        if (readKnown_) {
            const double perPress = double(read_) / double(ms_.size());
            state.counters["file_passes"] = perPress / double(ledger_.daySize());
            state.counters["read_KiB"] = perPress / 1024.0;
        }
    }

private:
    const Ledger &ledger_;
    std::vector<double> ms_;
    std::vector<double> cpuMs_;
    long long read_ = 0;
    bool readKnown_ = true;
};

void StreamRead(benchmark::State &state)
{
    const Ledger &l = ledger(int(state.range(0)), Order(state.range(1)));
    Presses presses(l);
    std::vector<char> buf;
    for (auto _ : state)
        presses.time(state, [&] { benchmark::DoNotOptimize(kwbench::streamRead(l.dayFile(), buf)); });
    presses.report(state);
}

// A program just started, so nothing of the day file is in memory yet: the dialog's "Otwórz".
// The second argument is the order of the records (DayOrder, Alternating, Shuffled).
void FirstOpen(benchmark::State &state)
{
    const Ledger &l = ledger(int(state.range(0)), Order(state.range(1)));
    const PeriodKey period = l.periodAt(0.5);
    Presses presses(l);
    long noPeriod = 0, periodOpen = 0, growth = 0;
    std::size_t mapBytes = 0;
    for (auto _ : state) {
        Program program(l);
        Program::choose(period);
        // The map of periods outlives the windows; a program just started has none.
        kw::SharedFile::forgetPeriodMaps();
        const long before = kwbench::residentKiB();
        presses.time(state, [] { Program::dialog()->Button1Click(); });
        // The map is built aside after the press; its memory counts with the period open.
        kw::SharedFile::waitForPeriodMaps();
        const long after = kwbench::residentKiB();
        if (Program::rows() != DaysPerPeriod || !program.messages.isEmpty()) {
            state.SkipWithError("the period did not open with its 30 days");
            break;
        }
        mapBytes = kw::SharedFile::periodMapBytes();
        if (after - before >= growth) {
            growth = after - before;
            noPeriod = before;
            periodOpen = after;
        }
    }
    presses.report(state);
    state.counters["rss_no_period_MiB"] = double(noPeriod) / 1024.0;
    state.counters["rss_period_open_MiB"] = double(periodOpen) / 1024.0;
    state.counters["rss_growth_MiB"] = double(growth) / 1024.0;
    // The maps of all three files, per day entry.
    state.counters["map_bytes_per_record"] = double(mapBytes) / double(l.records() + DenseEntries);
}

// The open-period command's tool button with a period open: its first step closes the tables.
void Close(benchmark::State &state)
{
    const Ledger &l = ledger(int(state.range(0)));
    const PeriodKey period = l.periodAt(0.5);
    Program program(l);
    Program::open(period);
    Presses presses(l);
    for (auto _ : state) {
        presses.time(state, [] { Program::main()->ToolButton1Click(); });
        if (Program::rows() != -1 || !Program::dialog()->isVisible()) {
            state.SkipWithError("the command did not close the period");
            break;
        }
        Program::dialog()->Button1Click(); // the same period again, for the next press
        if (Program::rows() != DaysPerPeriod)
            state.SkipWithError("the period did not open again");
    }
    presses.report(state);
}

// "Otwórz" in the dialog after the open-period command, once the program has opened a period:
// each press another period from all over the table, or the one that was open.
void Reopen(benchmark::State &state, bool samePeriod)
{
    const Ledger &l = ledger(int(state.range(0)));
    const std::vector<PeriodKey> periods{l.periodAt(0.125), l.periodAt(0.375), l.periodAt(0.625),
                                         l.periodAt(0.875)};
    Program program(l);
    Program::open(periods[0]);
    Presses presses(l);
    std::size_t next = 0;
    for (auto _ : state) {
        if (!samePeriod)
            next = (next + 1) % periods.size();
        Program::choose(periods[next]);
        presses.time(state, [] { Program::dialog()->Button1Click(); });
        if (Program::rows() != DaysPerPeriod || Program::dialog()->yearText() != periods[next].year ||
            !program.messages.isEmpty()) {
            state.SkipWithError("the period did not open with its 30 days");
            break;
        }
    }
    presses.report(state);
}
void SwitchPeriod(benchmark::State &state)
{
    Reopen(state, false);
}
void ReopenSamePeriod(benchmark::State &state)
{
    Reopen(state, true);
}

// The new-day dialog's "Otwórz" in the dense period: a day that it has (refused after the
// duplicate check, nothing written), or day 31, which it has not (added, durable); the added day
// is deleted again outside the press.
void NewDay(benchmark::State &state, bool duplicate)
{
    const Ledger &l = ledger(int(state.range(0)));
    Program program(l);
    Program::open({DenseMonth, DenseYear});
    if (Program::rows() != DenseEntries) {
        state.SkipWithError("the dense period did not open");
        return;
    }
    TForm3D *dialog = Program::newDay();
    dialog->Calendar1->setSelectedDate(QDate(2004, 12, duplicate ? 15 : 31));
    Presses presses(l);
    int refused = 0;
    for (auto _ : state) {
        Program::main()->ToolButton2Click();
        presses.time(state, [&] { dialog->Button3Click(); });
        refused += int(program.messages.size());
        const bool right =
            duplicate ? program.messages == QStringList{DuplicateMessage} && Program::rows() == DenseEntries
                      : program.messages.isEmpty() && Program::rows() == DenseEntries + 1 &&
                            Program::main()->Table1->fieldValue("DZIEN").toInt() == 31;
        program.messages.clear();
        if (!right) {
            state.SkipWithError(duplicate ? "the day was not refused" : "the day was not added");
            break;
        }
        if (!duplicate)
            kw::ledger::deleteDay(kw::ledgerTables());
    }
    presses.report(state);
    state.counters["entries_in_period"] = DenseEntries;
    state.counters["refused"] = refused;
}
void NewDayRefused(benchmark::State &state)
{
    NewDay(state, true);
}
void NewDayAdded(benchmark::State &state)
{
    NewDay(state, false);
}

// Closing the program by the main window's close box, with the middle period open or with none:
// the tables are closed (a pending change would be posted) and the windows hidden.
void Quit(benchmark::State &state, bool periodOpen)
{
    const Ledger &l = ledger(int(state.range(0)));
    const PeriodKey period = l.periodAt(0.5);
    Presses presses(l);
    for (auto _ : state) {
        Program program(l);
        if (periodOpen)
            Program::open(period);
        if (Program::rows() != (periodOpen ? DaysPerPeriod : -1)) {
            state.SkipWithError("the period did not open");
            break;
        }
        presses.time(state, [] { Program::main()->close(); });
        if (Program::rows() != -1 || Program::main()->isVisible()) {
            state.SkipWithError("the program did not close");
            break;
        }
    }
    presses.report(state);
}
void QuitWithPeriod(benchmark::State &state)
{
    Quit(state, true);
}
void QuitWithNone(benchmark::State &state)
{
    Quit(state, false);
}

// Short enough cases for the whole run to take a few minutes at 1,000,000 records.
template <class B> void sizes(B *b, int iterations)
{
    b->Arg(10'000)
        ->Arg(100'000)
        ->Arg(1'000'000)
        ->Iterations(iterations)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform says at every shown dialog that it cannot raise windows.
    static const QtMessageHandler qtDefault = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        if (text.contains(QLatin1String("does not support raise()")))
            return;
        if (qtDefault)
            qtDefault(type, context, text);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    });
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    // Each order's stream read and first open together, so that its tables are made once; the
    // cases on day-ordered tables first.
    struct Case
    {
        const char *name;
        void (*run)(benchmark::State &);
        int iterations;
    };
    const auto firstOpens = [](Order order) {
        for (const int records : {10'000, 100'000, 1'000'000})
            for (const Case &c : {Case{"StreamRead", StreamRead, 30}, Case{"FirstOpen", FirstOpen, 12}})
                benchmark::RegisterBenchmark(c.name, c.run)
                    ->Args({records, order})
                    ->ArgNames({"records", "order"})
                    ->Iterations(c.iterations)
                    ->UseManualTime()
                    ->Unit(benchmark::kMillisecond);
    };
    firstOpens(DayOrder);
    sizes(benchmark::RegisterBenchmark("Close", Close), 15);
    sizes(benchmark::RegisterBenchmark("SwitchPeriod", SwitchPeriod), 24);
    sizes(benchmark::RegisterBenchmark("ReopenSamePeriod", ReopenSamePeriod), 24);
    sizes(benchmark::RegisterBenchmark("NewDayRefused", NewDayRefused), 40);
    sizes(benchmark::RegisterBenchmark("NewDayAdded", NewDayAdded), 15);
    sizes(benchmark::RegisterBenchmark("QuitWithPeriod", QuitWithPeriod), 10);
    sizes(benchmark::RegisterBenchmark("QuitWithNone", QuitWithNone), 10);
    firstOpens(Alternating);
    firstOpens(Shuffled);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ledgers().clear();
    return 0;
}
