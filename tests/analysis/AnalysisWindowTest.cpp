// The analysis window on ledgers booked in the test: each tab's table and chart, the window
// following a booking and a switch of period, the plan typed into its table, the chart saved as PNG
// and SVG and printed, Esc and F1. With KW_RENDER_DIR set, every tab is saved at 1280x1024 and
// 640x480 for a person to look at.
#include "reports/AnalysisWindow.h"
#include "AnalysisLedger.h"
#include "framework/FileDialogs.h"
#include "framework/Messages.h"
#include "regional/Regional.h"
#include "ledger/BudgetPlan.h"
#include "reports/AnalysisCharts.h"
#include "tools/help/HelpViewer.h"

#include <QAbstractBarSeries>
#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QLineSeries>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QValueAxis>
#include <QXmlStreamReader>
#include <QtTest>

using namespace kwtest;
using kw::regional::formatCurrency;

namespace {

QStringList rowOf(const QTableWidget *t, int row)
{
    QStringList out;
    for (int c = 0; c < t->columnCount(); ++c)
        out << (t->item(row, c) ? t->item(row, c)->text() : QString());
    return out;
}

QList<QBarSet *> barSets(QChartView *view)
{
    QList<QBarSet *> out;
    for (QAbstractSeries *s : view->chart()->series())
        if (auto *bars = qobject_cast<QAbstractBarSeries *>(s))
            out << bars->barSets();
    return out;
}

QStringList categories(QChartView *view)
{
    for (QAbstractAxis *a : view->chart()->axes())
        if (auto *c = qobject_cast<QBarCategoryAxis *>(a))
            return c->categories();
    return {};
}

// Types into a cell of the plan as the user does: the editor opened, the text, Enter.
void typeIntoPlan(QTableWidget *t, int row, int column, const QString &text)
{
    t->setCurrentCell(row, column);
    t->editItem(t->item(row, column));
    QLineEdit *editor = nullptr;
    for (QLineEdit *e : t->findChildren<QLineEdit *>())
        if (e->isVisible())
            editor = e;
    QVERIFY(editor);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

// A table as a reader meets it: every text whole, the columns across the whole width without one of
// them taking most of it, and (when asked) every row without scrolling.
void checkTableReads(const QTableWidget *t, bool everyRow)
{
    const QHeaderView *h = t->horizontalHeader();
    const QFontMetrics cells(t->font());
    int total = 0;
    for (int c = 0; c < t->columnCount(); ++c) {
        const int width = h->sectionSize(c);
        total += width;
        if (h->isVisible() && t->horizontalHeaderItem(c))
            QVERIFY2(h->fontMetrics().horizontalAdvance(t->horizontalHeaderItem(c)->text()) < width,
                     qPrintable(t->objectName() + QStringLiteral(": header ") +
                                t->horizontalHeaderItem(c)->text()));
        for (int r = 0; r < t->rowCount(); ++r)
            if (t->item(r, c))
                QVERIFY2(cells.horizontalAdvance(t->item(r, c)->text()) < width,
                         qPrintable(t->objectName() + QStringLiteral(": ") + t->item(r, c)->text()));
        if (t->columnCount() > 2)
            QVERIFY2(
                2 * width < t->viewport()->width(),
                qPrintable(t->objectName() + QStringLiteral(": column %1 takes most of the width").arg(c)));
    }
    QVERIFY2(total >= t->viewport()->width() - 1,
             qPrintable(t->objectName() + QStringLiteral(": room left over")));
    QCOMPARE(t->horizontalScrollBar()->maximum(), 0);
    if (everyRow)
        QVERIFY2(t->verticalScrollBar()->maximum() == 0,
                 qPrintable(t->objectName() + QStringLiteral(": rows hidden")));
}

} // namespace

class AnalysisWindowTest : public QObject
{
    Q_OBJECT

    QList<kw::MessageRequest> messages_;

    void render(QWidget *w, const QString &name)
    {
        const QString dir = qEnvironmentVariable("KW_RENDER_DIR");
        if (dir.isEmpty())
            return;
        QApplication::processEvents();
        QVERIFY(w->grab().save(QDir(dir).filePath(name + QStringLiteral(".png"))));
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            messages_ << r;
            return int(kw::Yes);
        });
    }
    void cleanupTestCase() { kw::setMessageHandler(nullptr); }
    void init() { messages_.clear(); }

    void eachTabShowsTheSumsOfItsPeriod()
    {
        AnalysisLedger l;
        l.book(3, 2024, 1, amounts({{Przychod, 5000}, {Koszt, 300}, {Oplaty, 800}}));
        l.book(3, 2024, 5, amounts({{Zywnosc, 1200.5}, {Odziez, 100}}));
        l.book(3, 2024, 9, amounts({{Odziez, 250}}), Sign::Subtract);
        l.book(4, 2024, 2, amounts({{Przychod, 1000}, {Zywnosc, 1500}}));
        l.book(7, 2023, 2, amounts({{Przychod, 900}}));
        AnalysisWindow w(*l.books);
        w.setPeriod(Period::of(3, 2024));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.objectName(), QStringLiteral("Analiza"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Analiza wydatków - Kwotnik 2.1"));
        QCOMPARE(w.windowModality(), Qt::NonModal);

        // The month: its expenses largest first, the refund that outweighed the clothes last.
        QCOMPARE(w.MonthTable->rowCount(), 7);
        QCOMPARE(rowOf(w.MonthTable, 0), (QStringList{"Żywność", formatCurrency(1200.5), "64,9%"}));
        QCOMPARE(rowOf(w.MonthTable, 1), (QStringList{"Opłaty", formatCurrency(800), "43,2%"}));
        QCOMPARE(rowOf(w.MonthTable, 6), (QStringList{"Odzież", formatCurrency(-150), "-8,1%"}));
        QCOMPARE(rowOf(w.SummaryTable, 5), (QStringList{"Budżet", formatCurrency(2849.5)}));
        // The chart: the largest bar on top (the last category of a horizontal axis).
        const QList<QBarSet *> month = barSets(w.MonthChart);
        QCOMPARE(month.size(), 1);
        QCOMPARE(month[0]->count(), 7);
        QCOMPARE(month[0]->at(6), 1200.5);
        QCOMPARE(month[0]->at(0), -150.0);
        QCOMPARE(categories(w.MonthChart).last(), QStringLiteral("Żywność"));
        QCOMPARE(kw::analysis::hoverText(*w.MonthChart->chart(), 0, 6),
                 QStringLiteral("Żywność: %1 (64,9% wydatków miesiąca)").arg(formatCurrency(1200.5)));
        QVERIFY(w.MonthChart->chart()->title().contains(QStringLiteral("marzec 2024")));

        // The year: twelve months and the year sum; the chart's budget line over the bars.
        w.showTab(AnalysisWindow::YearTab);
        QCOMPARE(w.YearTable->rowCount(), 13);
        QCOMPARE(rowOf(w.YearTable, 2), (QStringList{"Marzec", formatCurrency(4700), formatCurrency(1850.5),
                                                     formatCurrency(2849.5)}));
        QCOMPARE(rowOf(w.YearTable, 3),
                 (QStringList{"Kwiecień", formatCurrency(1000), formatCurrency(1500), formatCurrency(-500)}));
        QCOMPARE(w.YearTable->item(3, 3)->foreground().color(), QColor(0xcc, 0x00, 0x00)); // in the red
        QCOMPARE(rowOf(w.YearTable, 12), (QStringList{"Rok 2024", formatCurrency(5700),
                                                      formatCurrency(3350.5), formatCurrency(2349.5)}));
        const QList<QBarSet *> year = barSets(w.YearChart);
        QCOMPARE(year.size(), 2);
        QCOMPARE(year[0]->at(2), 4700.0);
        QCOMPARE(year[1]->at(3), 1500.0);
        QCOMPARE(w.YearChart->chart()->series().size(), 2); // the bars and the budget line
        QCOMPARE(kw::analysis::hoverText(*w.YearChart->chart(), 2, 3),
                 QStringLiteral("Kwiecień 2024 – budżet: %1").arg(formatCurrency(-500)));
        QVERIFY(!w.MonthBox->isEnabled());

        // Every year.
        w.showTab(AnalysisWindow::YearsTab);
        QCOMPARE(w.YearsTable->rowCount(), 2);
        QCOMPARE(rowOf(w.YearsTable, 0),
                 (QStringList{"2023", formatCurrency(900), formatCurrency(0), formatCurrency(900)}));
        QVERIFY(!w.PrevButton->isEnabled());
        QCOMPARE(categories(w.YearsChart), (QStringList{"2023", "2024"}));
    }

    void followsABookingAndASwitchOfPeriod()
    {
        AnalysisLedger l;
        l.book(3, 2024, 1, amounts({{Przychod, 3000}, {Zywnosc, 100}}));
        AnalysisWindow w(*l.books);
        w.setPeriod(Period::of(3, 2024));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(rowOf(w.MonthTable, 0)[1], formatCurrency(100));

        // A booking elsewhere in the program: the window shows it without being asked.
        l.book(3, 2024, 2, amounts({{Zywnosc, 50}, {Samochod, 400}}));
        QCOMPARE(rowOf(w.MonthTable, 0), (QStringList{"Samochód", formatCurrency(400), "72,7%"}));
        QCOMPARE(rowOf(w.MonthTable, 1)[1], formatCurrency(150));

        // ">" to April, which has nothing yet; a booking there; "<" back to March.
        w.NextButton->click();
        QCOMPARE(w.period(), Period::of(4, 2024));
        QCOMPARE(w.MonthBox->currentText(), QStringLiteral("Kwiecień"));
        QCOMPARE(rowOf(w.MonthTable, 0)[2], QStringLiteral("–"));
        QVERIFY(w.MonthChart->chart()->title().contains(QStringLiteral("brak zapisów")));
        l.book(4, 2024, 3, amounts({{Odziez, 99}}));
        QCOMPARE(rowOf(w.MonthTable, 0), (QStringList{"Odzież", formatCurrency(99), "100,0%"}));
        w.PrevButton->click();
        QCOMPARE(rowOf(w.MonthTable, 0)[0], QStringLiteral("Samochód"));

        // A year typed into the year box, and a month chosen: December of the year before.
        w.YearBox->setEditText(QStringLiteral("2023"));
        emit w.YearBox->lineEdit()->editingFinished();
        w.MonthBox->setCurrentIndex(11);
        QCOMPARE(w.period(), Period::of(12, 2023));
        // Across the year: ">" from December is January.
        w.NextButton->click();
        QCOMPARE(w.period(), Period::of(1, 2024));
        QCOMPARE(w.YearBox->currentText(), QStringLiteral("2024"));

        // A tab brought forward after a booking shows the booking too.
        w.showTab(AnalysisWindow::MonthTab);
        l.book(1, 2024, 4, amounts({{Przychod, 10}}));
        w.showTab(AnalysisWindow::YearTab);
        QCOMPARE(rowOf(w.YearTable, 0)[1], formatCurrency(10));
        w.NextClick();
        QCOMPARE(w.period().year, QStringLiteral("2025"));
        QCOMPARE(rowOf(w.YearTable, 12)[1], QStringLiteral("–"));
    }

    void thePlanIsTypedSavedAndHeldAgainstTheMonth()
    {
        AnalysisLedger l;
        l.book(3, 2024, 1, amounts({{Przychod, 3000}, {Zywnosc, 1350}, {Samochod, 200}}));
        AnalysisWindow w(*l.books);
        w.setPeriod(Period::of(3, 2024));
        w.showTab(AnalysisWindow::PlanTab);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.PlanTable->rowCount(), 10);
        QCOMPARE(w.PlanTable->horizontalHeaderItem(2)->text(), QStringLiteral("Tylko marzec"));
        QVERIFY(!QFileInfo::exists(QDir(l.path()).filePath(kw::ledger::PlanFile)));

        // Food: 1,000 every month of the year; the car: 250 in March only.
        typeIntoPlan(w.PlanTable, Zywnosc, 1, QStringLiteral("1000"));
        QVERIFY2(QFileInfo::exists(QDir(l.path()).filePath(kw::ledger::PlanFile)), "made on the first save");
        typeIntoPlan(w.PlanTable, Samochod, 2, QStringLiteral("250,50"));
        QCOMPARE(rowOf(w.PlanTable, Zywnosc),
                 (QStringList{"Żywność", formatCurrency(1000), QString(), formatCurrency(1350),
                              formatCurrency(-350), "135,0%"}));
        QCOMPARE(rowOf(w.PlanTable, Samochod),
                 (QStringList{"Samochód", QString(), formatCurrency(250.5), formatCurrency(200),
                              formatCurrency(50.5), "79,8%"}));
        QCOMPARE(w.PlanTable->item(Zywnosc, 3)->foreground().color(), QColor(0xcc, 0x00, 0x00));
        const kw::ledger::BudgetPlan stored = kw::ledger::BudgetPlan::read(*l.books);
        QCOMPARE(*stored.everyMonth("2024")[Zywnosc], 1000.0);
        QCOMPARE(*stored.ownMonth(Period::of(3, 2024))[Samochod], 250.5);

        // The chart: plan beside spending, the bar past its plan in the warning colour.
        const QList<QBarSet *> sets = barSets(w.PlanChart);
        QCOMPARE(sets.size(), 2);
        const QStringList shown = categories(w.PlanChart);
        QCOMPARE(shown, (QStringList{"Samochód", "Żywność"}));
        QCOMPARE(sets[1]->selectedBars(), QList<int>{1});
        QCOMPARE(sets[1]->selectedColor(), QColor(0xcc, 0x00, 0x00));

        // Nonsense is refused with a message and nothing is written; an emptied cell takes the plan out.
        const QByteArray before = readFile(QDir(l.path()).filePath(kw::ledger::PlanFile));
        typeIntoPlan(w.PlanTable, Odziez, 1, QStringLiteral("dużo"));
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].text.contains(QStringLiteral("„Odzież”")));
        QCOMPARE(readFile(QDir(l.path()).filePath(kw::ledger::PlanFile)), before);
        typeIntoPlan(w.PlanTable, Zywnosc, 1, QString());
        QCOMPARE(rowOf(w.PlanTable, Zywnosc)[5], QStringLiteral("–"));

        // April has the plan for every month of the year, not March's own.
        typeIntoPlan(w.PlanTable, Samochod, 1, QStringLiteral("300"));
        w.NextButton->click();
        QCOMPARE(rowOf(w.PlanTable, Samochod)[1], formatCurrency(300));
        QCOMPARE(rowOf(w.PlanTable, Samochod)[2], QString());
    }

    void thePlanTabFollowsAPlanWrittenElsewhere()
    {
        AnalysisLedger l;
        l.book(3, 2024, 1, amounts({{Przychod, 3000}, {Zywnosc, 500}}));
        AnalysisWindow w(*l.books);
        w.setPeriod(Period::of(3, 2024));
        w.showTab(AnalysisWindow::PlanTab);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(rowOf(w.PlanTable, Zywnosc)[1], QString());

        // Written through the books by another part of the program: shown without being asked.
        kw::ledger::savePlan(*l.books, {{"2024", "", planOf({{Zywnosc, 400}})}});
        QCOMPARE(rowOf(w.PlanTable, Zywnosc)[1], formatCurrency(400));
        QCOMPARE(rowOf(w.PlanTable, Zywnosc)[5], QStringLiteral("125,0%"));
        QCOMPARE(categories(w.PlanChart), QStringList{"Żywność"});
        // A step away and back keeps it.
        w.NextClick();
        QCOMPARE(rowOf(w.PlanTable, Zywnosc)[3], formatCurrency(0));
        w.PrevClick();
        QCOMPARE(rowOf(w.PlanTable, Zywnosc)[1], formatCurrency(400));

        // Written while another tab is in front: the plan tab shows it when it comes forward, and
        // the cell typed next keeps the rest of the month's own plan.
        w.showTab(AnalysisWindow::MonthTab);
        kw::ledger::savePlan(*l.books, {{"2024", "3", planOf({{Zywnosc, 600}, {Inne, 50}})}});
        w.showTab(AnalysisWindow::PlanTab);
        QCOMPARE(rowOf(w.PlanTable, Zywnosc)[2], formatCurrency(600));
        QCOMPARE(rowOf(w.PlanTable, Zywnosc)[5], QStringLiteral("83,3%"));
        typeIntoPlan(w.PlanTable, Samochod, 2, QStringLiteral("120"));
        const kw::ledger::PlanAmounts own =
            kw::ledger::BudgetPlan::read(*l.books).ownMonth(Period::of(3, 2024));
        QCOMPARE(own[Zywnosc], std::optional<double>(600));
        QCOMPARE(own[Inne], std::optional<double>(50));
        QCOMPARE(own[Samochod], std::optional<double>(120));

        // The program books through books of its own and then tells the window to read everything
        // again: a plan written that way is read again too.
        kw::ledger::Books other(l.path());
        kw::ledger::savePlan(other, {{"2024", "", planOf({{Zywnosc, 700}})}});
        w.refreshAll();
        QCOMPARE(rowOf(w.PlanTable, Zywnosc)[1], formatCurrency(700));
    }

    void aChartDrawnAgainShowsItsNewFiguresAlone()
    {
        using namespace kw::analysis;
        AnalysisLedger l;
        l.book(3, 2024, 1, amounts({{Przychod, 3000}, {Zywnosc, 1350}, {Samochod, 200}}));
        l.book(4, 2024, 1, amounts({{Odziez, 90}, {Inne, 5000}}));
        kw::ledger::savePlan(*l.books, {{"2024", "", planOf({{Zywnosc, 1000}, {Samochod, 300}})},
                                        {"2024", "4", planOf({{Inne, 4000}})}});
        const kw::ledger::BudgetPlan plan = kw::ledger::BudgetPlan::read(*l.books);
        const ChartColours light = ChartColours::of(QPalette(QColor(0xee, 0xee, 0xee)));
        const auto amountMax = [](QChart &c) {
            return static_cast<QValueAxis *>(c.axes(Qt::Horizontal).value(0))->max();
        };
        QChartView monthView, planView;
        QChart &month = *monthView.chart();
        QChart &planned = *planView.chart();
        for (int m : {3, 4}) {
            const MonthFigures f = monthFigures(*l.books, Period::of(m, 2024));
            drawMonthChart(month, f, light);
            drawPlanChart(planned, planFigures(f, plan), light);
        }
        // April's bars, names and scale; nothing of March's chart left over.
        QCOMPARE(month.series().size(), 1);
        QCOMPARE(month.axes().size(), 2);
        QCOMPARE(barSets(&monthView)[0]->at(6), 5000.0);
        QCOMPARE(categories(&monthView).last(), QStringLiteral("Inne"));
        QVERIFY(amountMax(month) >= 5000);
        QVERIFY(month.title().contains(QStringLiteral("kwiecień 2024")));
        // April's plan: its own line for the rest, the one bar past its plan is now another.
        QCOMPARE(categories(&planView), (QStringList{"Inne", "Samochód", "Żywność"}));
        QCOMPARE(barSets(&planView)[0]->count(), 3);
        QCOMPARE(barSets(&planView)[1]->selectedBars(), QList<int>{0});
        QVERIFY(amountMax(planned) >= 5000);
        // May: fewer bars, none over.
        drawPlanChart(planned, planFigures(monthFigures(*l.books, Period::of(5, 2024)), plan), light);
        QCOMPARE(categories(&planView), (QStringList{"Samochód", "Żywność"}));
        QCOMPARE(barSets(&planView)[1]->count(), 2);
        QVERIFY(barSets(&planView)[1]->selectedBars().isEmpty());
        QVERIFY(amountMax(planned) < 5000);
        // March has as many bars as May, the food past its plan; back to May, nothing is.
        for (int m : {3, 5})
            drawPlanChart(planned, planFigures(monthFigures(*l.books, Period::of(m, 2024)), plan), light);
        QVERIFY(barSets(&planView)[1]->selectedBars().isEmpty());
        drawPlanChart(planned, planFigures(monthFigures(*l.books, Period::of(3, 2024)), plan), light);
        QCOMPARE(barSets(&planView)[1]->selectedBars(), QList<int>{1});

        // Years: bars for a few, lines for many, bars again; a dark palette is taken up at once.
        std::vector<PeriodRow> years;
        for (int y = 2000; y < 2016; ++y)
            years.push_back(
                PeriodRow{QString::number(y), QString::number(y), true, 1000.0 + y, 900, 100.0 + y});
        QChartView yearsView;
        QChart &all = *yearsView.chart();
        drawYearsChart(all, {years.begin(), years.begin() + 2}, light);
        QVERIFY(qobject_cast<QAbstractBarSeries *>(all.series().value(0)));
        drawYearsChart(all, years, light);
        QCOMPARE(all.series().size(), 3);
        QVERIFY(qobject_cast<QLineSeries *>(all.series().value(0)));
        QCOMPARE(static_cast<QLineSeries *>(all.series()[0])->count(), 16);
        QCOMPARE(all.axes().size(), 2);
        drawYearsChart(all, {years.end() - 3, years.end()}, light);
        QCOMPARE(categories(&yearsView), (QStringList{"2013", "2014", "2015"}));
        QCOMPARE(static_cast<QLineSeries *>(all.series()[1])->at(2).y(), 2115.0);
        QCOMPARE(hoverText(all, 0, 1), QStringLiteral("2014 – dochód: %1").arg(formatCurrency(3014)));
        QPalette dark(QColor(0x30, 0x30, 0x30));
        dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
        const ChartColours night = ChartColours::of(dark);
        QVERIFY(night.expenses != light.expenses);
        drawMonthChart(month, monthFigures(*l.books, Period::of(4, 2024)), night);
        QCOMPARE(barSets(&monthView)[0]->color(), night.expenses);
        QCOMPARE(month.backgroundBrush().color(), night.background);
    }

    void theChartIsSavedAsPngAndSvgAndPrinted()
    {
        AnalysisLedger l;
        l.book(3, 2024, 1, amounts({{Przychod, 3000}, {Zywnosc, 1350}, {Samochod, 200}}));
        AnalysisWindow w(*l.books);
        w.setPeriod(Period::of(3, 2024));
        w.resize(900, 600);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTemporaryDir out;
        QString asked;
        int filter = 0;
        QStringList offered;
        kw::setFileDialogHandler([&](const kw::FileDialogRequest &r) {
            kw::FileDialogAnswer a;
            a.accepted = true;
            a.path = asked;
            a.filterIndex = filter;
            offered = kw::filterPatterns(r.filter);
            return a;
        });

        asked = out.filePath(QStringLiteral("wykres"));
        w.SaveChartButton->click();
        QCOMPARE(offered, (QStringList{"*.png", "*.svg"}));
        QImage png(out.filePath(QStringLiteral("wykres.png")));
        QVERIFY(!png.isNull());
        QCOMPARE(png.size(), w.MonthChart->size());

        w.showTab(AnalysisWindow::YearTab);
        QApplication::processEvents(); // laid out, as the user sees it before saving
        asked = out.filePath(QStringLiteral("rok"));
        filter = 1;
        w.SaveChartButton->click();
        const QString svg = out.filePath(QStringLiteral("rok.svg"));
        QSvgRenderer renderer(svg);
        QVERIFY(renderer.isValid());
        QCOMPARE(renderer.viewBox(), QRect(QPoint(0, 0), w.YearChart->size()));
        QFile file(svg);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QString text;
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::Characters)
                text += xml.text();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY(text.contains(QStringLiteral("Rok 2024")));
        QVERIFY(text.contains(QStringLiteral("Dochód")));

        // Over an existing file only when the user says so; a folder that is not there is told.
        messages_.clear();
        const QByteArray kept = readFile(svg);
        w.showTab(AnalysisWindow::MonthTab);
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            messages_ << r;
            return int(kw::No);
        });
        asked = svg;
        w.SaveChartButton->click();
        QCOMPARE(readFile(svg), kept);
        asked = out.filePath(QStringLiteral("nie-ma/wykres.png"));
        w.SaveChartButton->click();
        QCOMPARE(messages_.size(), 2);
        QVERIFY(messages_[1].text.contains(QStringLiteral("nie-ma")));
        initTestCase();
        kw::setFileDialogHandler(nullptr);

        // Printed through the print seam, into a PDF here.
        const QString pdf = out.filePath(QStringLiteral("wydruk.pdf"));
        kw::setPrintDialogHandler([&](QPrinter *p) {
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(pdf);
            return true;
        });
        w.PrintButton->click();
        kw::setPrintDialogHandler(nullptr);
        QVERIFY(QFileInfo(pdf).size() > 1000);
        QCOMPARE(readFile(pdf).left(5), QByteArray("%PDF-"));
    }

    void escClosesAndF1OpensItsHelp()
    {
        AnalysisLedger l;
        kw::help::setHelpFile(QStringLiteral(KW_HELP_SOURCE));
        AnalysisWindow w(*l.books);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::keyClick(&w, Qt::Key_F1);
        QVERIFY(kw::help::viewer());
        QCOMPARE(kw::help::viewer()->currentTopic(), QStringLiteral("analiza"));
        kw::help::destroyViewer();
        w.activateWindow();
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
    }

    void aHouseholdYearLooksRightAtEverySize()
    {
        AnalysisLedger l;
        for (int y = 2019; y <= 2024; ++y)
            l.bookHouseholdYear(y, 1.0 + 0.06 * (y - 2019));
        const auto every =
            planOf({{Przychod, 12500}, {Oplaty, 1300}, {Zywnosc, 1900}, {Samochod, 450}, {Inne, 600}});
        const auto march = planOf({{Samochod, 2200}});
        kw::ledger::savePlan(*l.books, {{"2024", "", every}, {"2024", "3", march}});
        AnalysisWindow w(*l.books);
        w.setPeriod(Period::of(3, 2024));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QStringList names{"miesiac", "rok", "lata", "plan"};
        for (const QSize size : {QSize(1280, 1024), QSize(640, 480)}) {
            w.resize(size);
            for (int t = 0; t < 4; ++t) {
                w.showTab(AnalysisWindow::Tab(t));
                QApplication::processEvents();
                QCOMPARE(w.size(), size);
                // Saved before the checks, so that what a failing check saw can be looked at.
                render(&w,
                       QStringLiteral("analiza-%1-%2x%3").arg(names[t]).arg(size.width()).arg(size.height()));
                // Every table fits its period's rows; the chart has something to show.
                QVERIFY(!w.visibleChart()->chart()->series().isEmpty());
                const bool large = size.height() >= 1024;
                switch (AnalysisWindow::Tab(t)) {
                case AnalysisWindow::MonthTab:
                    checkTableReads(w.MonthTable, true);
                    checkTableReads(w.SummaryTable, true);
                    // Nor cut off by the column they stand in.
                    QCOMPARE(w.MonthTable->visibleRegion().boundingRect(), w.MonthTable->rect());
                    QCOMPARE(w.SummaryTable->visibleRegion().boundingRect(), w.SummaryTable->rect());
                    break;
                case AnalysisWindow::YearTab:
                    checkTableReads(w.YearTable, large);
                    break;
                case AnalysisWindow::YearsTab:
                    checkTableReads(w.YearsTable, large);
                    break;
                case AnalysisWindow::PlanTab:
                    checkTableReads(w.PlanTable, true);
                    // Four categories with a plan, each named beside its two bars: on a low window
                    // the page scrolls to the chart rather than squeezing it.
                    QVERIFY(w.PlanChart->height() >= 8 * w.PlanChart->fontMetrics().height());
                    QCOMPARE(w.PlanPage->verticalScrollBar()->maximum() > 0, !large);
                    render(w.PlanPage->widget(), QStringLiteral("analiza-plan-%1x%2-cala-strona")
                                                     .arg(size.width())
                                                     .arg(size.height()));
                    break;
                }
                if (QTest::currentTestFailed())
                    return;
            }
        }
        QCOMPARE(w.YearsTable->rowCount(), 6);

        // With large fonts the month's two tables no longer fit under each other at 640x480: they keep
        // every row, and the column beside the chart scrolls to the last one.
        QFont large = w.font();
        large.setPointSizeF(large.pointSizeF() * 1.8);
        w.setFont(large);
        w.showTab(AnalysisWindow::MonthTab);
        QApplication::processEvents();
        render(&w, QStringLiteral("analiza-miesiac-640x480-duze-litery"));
        checkTableReads(w.MonthTable, true);
        checkTableReads(w.SummaryTable, true);
        QScrollBar *bar = w.MonthSide->verticalScrollBar();
        QVERIFY(bar->isVisible());
        bar->setValue(bar->maximum());
        QApplication::processEvents();
        QCOMPARE(w.SummaryTable->visibleRegion().boundingRect(), w.SummaryTable->rect());
        QVERIFY(w.MonthSide->width() < w.width() / 2 + 100); // the chart keeps its share
    }

private:
    static QByteArray readFile(const QString &path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
};

QTEST_MAIN(AnalysisWindowTest)
#include "AnalysisWindowTest.moc"
