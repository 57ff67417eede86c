// The three statements from the main window's command to the first page on screen and to the last
// page laid out: a month of 31 days, a year of 12 months, 100 years; and a month of 10,000 day
// entries in a 1,000,000-record day table, in the preview and as the companion's PDF.
#include "StatementTables.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "app/Unit1.h"
#include "dialogs/UnitM.h"
#include "framework/Messages.h"
#include "reports/StandardPreview.h"
#include "reports/UnitR1.h"
#include "reports/UnitR2.h"
#include "reports/UnitR3.h"
#include "reports/statements/Statements.h"

#include "bench/WindowBenchMain.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// The program's windows on a ledger directory, with the benchmark's period open.
struct Program
{
    QString previous = QDir::currentPath();
    explicit Program(const QString &dir)
    {
        QDir::setCurrent(dir);
        kw::setMessageHandler([](const kw::MessageRequest &r) {
            std::fprintf(stderr, "message: %s\n", r.text.toUtf8().constData());
            return int(kw::Ok);
        });
        kw::createForms();
        TFormM *m = kw::forms().formM();
        m->RadioButton[kwbench::Month.toInt() - 1]->click();
        m->Edit1->setText(kwbench::Year);
        m->Button1->click();
    }
    ~Program()
    {
        kw::destroyForms();
        kw::setMessageHandler(nullptr);
        QDir::setCurrent(previous);
    }
};

// Runs one command and waits for its preview: the time to the first page on screen, and to the
// last page laid out.
void fromCommand(benchmark::State &state, const QString &dir, void (TForm1::*command)(),
                 StatementForm *(*form)(), int expectLines)
{
    Program program(dir);
    double firstTotal = 0;
    int pages = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        (kw::forms().form1()->*command)();
        StatementForm *f = form();
        TStandardPreview *p = f->previews().value(0);
        if (!p) {
            state.SkipWithError("no preview");
            return;
        }
        double first = -1;
        for (;;) {
            if (first < 0 && p->pageCount() > 0)
                first = double(clock.nsecsElapsed()) / 1e9;
            if (!p->rendering())
                break;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        if (first < 0)
            first = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        firstTotal += first;
        pages = p->pageCount();
        state.PauseTiming();
        p->close();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    state.counters["first_page_ms"] = firstTotal * 1000.0 / double(state.iterations());
    state.counters["pages"] = pages;
    state.counters["lines"] = expectLines;
}

StatementForm *r1()
{
    return kw::forms().formR1();
}
StatementForm *r2()
{
    return kw::forms().formR2();
}
StatementForm *r3()
{
    return kw::forms().formR3();
}

void MonthlyOf31Days(benchmark::State &s)
{
    fromCommand(s, kwbench::smallLedger(), &TForm1::ToolButton6Click, r1, 31);
}
void YearlyOf12Months(benchmark::State &s)
{
    fromCommand(s, kwbench::smallLedger(), &TForm1::ToolButton7Click, r2, 12);
}
void MultiYearOf100Years(benchmark::State &s)
{
    fromCommand(s, kwbench::smallLedger(), &TForm1::ToolButton8Click, r3, 100);
}
void MonthlyOf10000In1000000(benchmark::State &s)
{
    fromCommand(s, kwbench::bigLedger(), &TForm1::ToolButton6Click, r1, 10000);
}

// The companion's work for the big month: open the tables, lay out, write the PDF.
void CompanionPdfOf10000In1000000(benchmark::State &state)
{
    const QString dir = kwbench::bigLedger();
    QTemporaryDir out;
    int pages = 0;
    for (auto _ : state) {
        kw::statements::StatementRequest r{kw::statements::Statement::Monthly, kwbench::Month, kwbench::Year,
                                           QDir(out.path()).filePath(QStringLiteral("m.pdf")), dir};
        pages = kw::statements::writeStatementPdf(r);
    }
    state.counters["pages"] = pages;
}

BENCHMARK(MonthlyOf31Days)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(YearlyOf12Months)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(MultiYearOf100Years)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(MonthlyOf10000In1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(CompanionPdfOf10000In1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    return kwbench::runWindowBenchmarks(argc, argv);
}
