#pragma once

// The budget plan kept in Plan.dbf: per year a plan for every month, and per month a plan of its
// own that overrides it category by category.
//
//     BudgetPlan plan = BudgetPlan::read(books);        // an empty plan when there is no file yet
//     PlanAmounts march = plan.forMonth(Period::of(3, 2024));
//     savePlan(books, {{"2024", "", everyMonth}, {"2024", "3", marchOnly}});
//
// A category with nothing planned has no amount (std::nullopt); 0 is a plan of nothing.

#include "ledger/Books.h"

#include <array>
#include <map>
#include <optional>
#include <vector>

namespace kw::ledger {

// One amount per category, in the categories' order; nothing where no amount is planned.
using PlanAmounts = std::array<std::optional<double>, Categories.size()>;

// One record of the plan: the year text, the month text ("" for every month of the year).
struct PlanEntry
{
    QString year;
    QString month;
    PlanAmounts amounts{};
};

class BudgetPlan
{
public:
    // Everything Plan.dbf holds, read through the books; an empty plan when the folder has no
    // Plan.dbf. Throws EngineError naming the file when it cannot be read or a field is damaged.
    static BudgetPlan read(Books &books);

    // The plan written for every month of the year, and a month's own plan, as stored.
    PlanAmounts everyMonth(const QString &year) const;
    PlanAmounts ownMonth(const Period &period) const;
    // What holds for the month: per category its own amount where it has one, else the amount for
    // every month of its year.
    PlanAmounts forMonth(const Period &period) const;
    bool empty() const { return records_.empty(); }

private:
    std::map<std::pair<QString, QString>, PlanAmounts> records_; // (year, month)
};

// Writes the entries as one change of the books: each replaces the record of its year and month,
// and one with no amount at all takes that record out. Makes Plan.dbf first when it is missing.
// Throws EngineError (nothing written) when the file cannot be made or written, or a year or month
// text cannot be stored.
void savePlan(Books &books, const std::vector<PlanEntry> &entries);

// True when any category has an amount.
bool hasAmounts(const PlanAmounts &amounts);

} // namespace kw::ledger
