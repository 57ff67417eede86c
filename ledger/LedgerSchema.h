#pragma once

#include "ledger/DbfFile.h"
#include "ledger/Table.h"

#include <QString>
#include <array>
#include <vector>

namespace kw::ledger {

inline const QString DayFile = QStringLiteral("Wydatki.dbf");
inline const QString MonthFile = QStringLiteral("Suma.dbf");
inline const QString YearFile = QStringLiteral("Sum.DBF");

// The schema of the three tables is written down here once; everything else loops over it.

// The fields of each table besides the amounts. A day entry belongs to the period of its month
// text and year text; a month sum to that of its own two; a year sum to its year text.
struct DayRecordFields
{
    const char *month;
    const char *year;
    const char *day;
    const char *date;
    const char *remark;
};
inline constexpr DayRecordFields DayRecord{"MIESIAC", "ROK", "DZIEN", "DATA", "UWAGI"};
struct SumRecordFields
{
    const char *id;
    const char *month; // none in the year sums
    const char *year;
};
inline constexpr SumRecordFields MonthRecord{"ID", "SMIESIAC", "SROK"};
inline constexpr SumRecordFields YearRecord{"ID", nullptr, "RROK"};

// The three tables by what one record of each holds.
enum class Level
{
    Day,
    Month,
    Year
};

// The ten amount categories in the order every writer visits them: day field, month-sum field,
// year-sum field, and the name the user knows it by (the day list's column title).
struct Category
{
    const char *day;
    const char *month;
    const char *year;
    const char *label;
    constexpr const char *field(Level level) const
    {
        return level == Level::Day ? day : level == Level::Month ? month : year;
    }
};
inline constexpr std::array<Category, 10> Categories{{
    {"PRZYCHOD", "SPRZYCH", "RPRZYCH", "Przychód"},
    {"KOSZT", "SKOSZT", "RKOSZT", "Koszt"},
    {"KOSZTOKR", "SKOSZTOKR", "RKOSZTOKR", "Koszt okr."},
    {"OPLATY", "SOPLATY", "ROPLATY", "Opłaty"},
    {"ZYWNOSC", "SZYWNOSC", "RZYWNOSC", "Żywność"},
    {"UZYWKI", "SUZYWKI", "RUZYWKI", "Używki"},
    {"ODZIEZ", "SODZIEZ", "RODZIEZ", "Odzież"},
    {"ROZRYWKA", "SROZRYWKA", "RROZRYWKA", "Śr.czystości"},
    {"SAMOCH", "SSAMOCH", "RSAMOCH", "Samochód"},
    {"INNE", "SINNE", "RINNE", "Inne"},
}};
inline constexpr int IncomeKinds = 3;

// The fields a sum table derives from its ten amounts: income (the first IncomeKinds categories),
// expenses (the rest) and the budget between them.
struct DerivedFields
{
    const char *income;
    const char *expenses;
    const char *budget;
};
inline constexpr DerivedFields MonthSums{"DOCHOD", "WYDATKI", "ROZNICA"};
inline constexpr DerivedFields YearSums{"RDOCHOD", "RWYDATKI", "RROZNICA"};
// The derived fields of the month-sum or the year-sum table.
constexpr const DerivedFields &derivedFields(Level sums)
{
    return sums == Level::Year ? YearSums : MonthSums;
}

// The year fields of the tables hold five characters: a longer year would be stored cut and never
// match its own period again. A year text is 1 to 5 digits, as the month and year dialog and the
// companion's commands accept it.
inline constexpr int YearTextLength = 5;
bool isYearText(const QString &text);

// The amount fields of a table in file order. A day holds the ten categories; a sum holds the
// income kinds, the income, the expense kinds, the expenses and the budget.
std::vector<const char *> amountFields(Level level);

// The fields of the supplied tables, in file order.
const std::vector<DbfFieldSpec> &dayFields();
const std::vector<DbfFieldSpec> &monthFields();
const std::vector<DbfFieldSpec> &yearFields();

// What the program needs of each file, checked when a table opens.
std::vector<FieldRequirement> dayRequirements();
std::vector<FieldRequirement> monthRequirements();
std::vector<FieldRequirement> yearRequirements();

// Writes the three empty tables into the directory; refuses if any of them exists (any case).
// A missing directory is created with its missing parents, each readable by its owner alone.
void createEmptyTables(const QString &directory);
// Creates the directory and its missing parents, each with mode 0700 whatever the umask; an error
// names the folder that could not be made.
void createPrivateDirectory(const QString &directory);

// The budget plan, Plan.dbf: one record per plan, keyed by its year text and month text, where a
// blank month is the plan for every month of that year; then one amount per category, named as the
// day entry's field, blank where nothing is planned. Written by `kwotnik-ledger init`; the program
// makes it when the first plan is saved.
inline const QString PlanFile = QStringLiteral("Plan.dbf");
struct PlanRecordFields
{
    const char *year;
    const char *month;
};
inline constexpr PlanRecordFields PlanRecord{"ROK", "MIESIAC"};
const std::vector<DbfFieldSpec> &planFields();
std::vector<FieldRequirement> planRequirements();
// Writes an empty Plan.dbf into the directory; refuses if one exists (any case). The file appears
// whole or not at all.
void createEmptyPlan(const QString &directory);

// Sets a table object up for one of the three files (name, order, required fields).
void setUpDayTable(Table &t);
void setUpMonthTable(Table &t);
void setUpYearTable(Table &t);

} // namespace kw::ledger
