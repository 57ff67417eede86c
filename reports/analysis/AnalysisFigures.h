#pragma once

// What the analysis window and `kwotnik-ledger analysis` show, without widgets: the figures of a
// month, a year, every year and the month's plan, all read from the month-sum and year-sum records
// through the books (the day entries are never scanned), and the same figures laid out as tables
// of text in the user's regional formats.

#include "ledger/Books.h"
#include "ledger/BudgetPlan.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace kw::analysis {

using ledger::Period;

// The seven expense categories (indexes into ledger::Categories) and the categories whose plan is
// money going out: the two costs and the expenses.
bool isExpense(int category);
bool isSpending(int category);
QString categoryLabel(int category);

// "marzec" ("mar" short): the window and the companion speak Polish whatever the regional
// settings, which only shape numbers, amounts and dates.
QString monthWord(int month, QLocale::FormatType format = QLocale::LongFormat);
// "marzec 2024"; "Marzec" as a row title.
QString monthName(int month);
QString periodTitle(const Period &period);
// The month and year `steps` months away (negative: back); nothing when the year is not a number.
std::optional<Period> stepMonth(const Period &period, int steps);
std::optional<QString> stepYear(const QString &year, int steps);

struct CategoryShare
{
    int category = 0;
    double amount = 0;
    std::optional<double> share; // of the month's expenses, in per cent; none when they are not above 0
};

struct MonthFigures
{
    Period period;
    bool booked = false;                 // the month has a month sum
    ledger::SumFigures sum;              // as stored; all 0 when not booked
    std::vector<CategoryShare> expenses; // the seven expense categories, largest first
};
MonthFigures monthFigures(const ledger::Books &books, const Period &period);

// One month of a year or one year of all: its income, expenses and budget as stored.
struct PeriodRow
{
    QString title;
    QString key; // the month text or the year text
    bool booked = false;
    double income = 0;
    double expenses = 0;
    double budget = 0;
};

struct YearFigures
{
    QString year;
    std::vector<PeriodRow> months;           // twelve, January first
    std::optional<ledger::SumFigures> total; // the year sum
};
YearFigures yearFigures(const ledger::Books &books, const QString &year);

// Every year with a year sum, in time order.
std::vector<PeriodRow> yearsFigures(const ledger::Books &books);

struct PlanLine
{
    int category = 0;
    std::optional<double> planned;
    double actual = 0;          // received (income) or spent
    std::optional<double> left; // planned less actual
    std::optional<double> used; // actual in per cent of a plan above 0
    bool over = false;          // money going out past its plan
};

struct PlanFigures
{
    Period period;
    ledger::PlanAmounts everyMonth{};
    ledger::PlanAmounts ownMonth{};
    std::vector<PlanLine> lines; // the ten categories in order
};
PlanFigures planFigures(const MonthFigures &month, const ledger::BudgetPlan &plan);

// The categories over plan now that were not before (both of the same month).
std::vector<int> newlyOver(const PlanFigures &before, const PlanFigures &after);
// The status-bar hint that names them; empty for none.
QString overPlanHint(const PlanFigures &figures, const std::vector<int> &categories);

// Watches one month's plan across bookings: the hint names the categories a booking put over
// their plan. The first look at a month, or at another month, only takes its state.
class OverPlanWatch
{
public:
    QString afterBooking(ledger::Books &books, const Period &period);
    void forget() { last_.reset(); }

private:
    std::optional<PlanFigures> last_;
    ledger::PlanReader plan_;
};

// Figures laid out as text cells in the regional formats.
struct FigureTable
{
    QStringList header;
    QList<QStringList> rows;
    QList<bool> numeric; // per column: right-aligned
    QList<bool> alert;   // per row: over plan or below zero, shown in red
};
FigureTable monthTable(const MonthFigures &figures);   // category, amount, share
FigureTable summaryTable(const MonthFigures &figures); // the month sum's income, costs, expenses, budget
FigureTable yearTable(const YearFigures &figures);     // month, income, expenses, budget; the year
FigureTable yearsTable(const std::vector<PeriodRow> &years);
FigureTable planTable(const PlanFigures &figures); // category, plan, actual, left, used
// The companion's table: category, amount, share, plan, left; every category of the month.
FigureTable analysisTable(const MonthFigures &month, const PlanFigures &plan);

// Columns padded to their widest cell, numbers to the right; one line per row, header first.
QString plainText(const FigureTable &table);

} // namespace kw::analysis
