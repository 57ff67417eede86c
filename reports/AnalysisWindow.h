#pragma once

// "Analiza wydatków": where the money goes, in four tabs: the month's expenses by category, the
// twelve months of a year, every year, and the month's budget plan. Every figure comes from the
// sum records through the books; the window follows every change of the books while it is open.

#include "reports/analysis/AnalysisFigures.h"

#include <QWidget>
#include <array>
#include <optional>

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QTableWidget;
class QTabWidget;
class QToolButton;

class AnalysisWindow : public QWidget
{
    Q_OBJECT
public:
    enum Tab
    {
        MonthTab,
        YearTab,
        YearsTab,
        PlanTab
    };

    explicit AnalysisWindow(kw::ledger::Books &books, QWidget *parent = nullptr);
    ~AnalysisWindow() override;

    // The month and year shown; a year text that is not a number is shown as it is.
    void setPeriod(const kw::ledger::Period &period);
    kw::ledger::Period period() const { return period_; }
    void showTab(Tab tab);
    Tab currentTab() const;

    // The chart of the tab in front, and its title as a file or a page names it.
    QChartView *visibleChart() const;
    QString visibleTitle() const;

    // Commands.
    void SaveChartClick(); // "Zapisz wykres…"
    void PrintClick();     // "Drukuj…"
    void PrevClick();      // "<"
    void NextClick();      // ">"

    // Reads the figures of the tab in front again (the others when they come to the front).
    void refresh();
    // Every tab reads its figures again: the ledger changed in a way the books did not tell.
    void refreshAll();
    kw::ledger::Books &books() const { return books_; }

    // Controls, by the names tests find them by.
    QComboBox *MonthBox;
    QComboBox *YearBox;
    QToolButton *PrevButton;
    QToolButton *NextButton;
    QPushButton *SaveChartButton;
    QPushButton *PrintButton;
    QTabWidget *Tabs;
    QChartView *MonthChart;
    QTableWidget *MonthTable;
    QTableWidget *SummaryTable;
    QScrollArea *MonthSide; // the month's two tables beside its chart
    QChartView *YearChart;
    QTableWidget *YearTable;
    QChartView *YearsChart;
    QTableWidget *YearsTable;
    QScrollArea *PlanPage; // the plan's table, its note and its chart
    QChartView *PlanChart;
    QTableWidget *PlanTable;
    QLabel *PlanNote;

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void changeEvent(QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void buildTop();
    QWidget *buildMonthTab();
    QWidget *buildYearTab();
    QWidget *buildYearsTab();
    QWidget *buildPlanTab();
    void booksChanged();
    void periodBoxesChanged();
    void fillYearBox();
    void syncBoxes();
    void updateControls();
    void draw(Tab tab);
    void planEdited(int row, int column, const QString &typed);
    void showHelp();
    // The tables of a tab sized to what its page holds.
    void fitTab(Tab tab);
    void fitMonthTab();
    void fitPlanTab();

    kw::ledger::Books &books_;
    kw::ledger::Period period_;
    std::array<bool, 4> stale_{true, true, true, true};
    bool syncing_ = false;
    // The plan as the Plan tab last read it, so an edit writes the cell changed and keeps the rest.
    kw::analysis::PlanFigures plan_;
    // Plan.dbf as last read: a step to another month needs no new read, a change of the books does.
    std::optional<kw::ledger::BudgetPlan> budgetPlan_;
};
