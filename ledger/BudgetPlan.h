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

// The plan of one folder, read again only when it may have changed: after a commit through the
// books, or when Plan.dbf or the folder's list of files changed on the disk. The over-plan hint
// asks after every booking and period switch, and most folders have no plan at all.
class PlanReader
{
public:
    const BudgetPlan &read(Books &books);

private:
    struct Stamp
    {
        bool present = false;
        std::uint64_t device = 0, inode = 0, size = 0, modified = 0;
        bool operator==(const Stamp &) const = default;
    };
    static Stamp stampOf(const QString &path);

    const Books *books_ = nullptr;
    std::uint64_t commits_ = 0;
    Stamp folder_;
    QString path_; // where Plan.dbf was found; empty when there was none
    Stamp file_;
    std::optional<BudgetPlan> plan_;
};

// Writes the entries as one change of the books: each replaces the record of its year and month,
// and one with no amount at all takes that record out. Makes Plan.dbf first when it is missing.
// Throws EngineError (nothing written) when the file cannot be made or written, or a year or month
// text cannot be stored.
void savePlan(Books &books, const std::vector<PlanEntry> &entries);

// True when any category has an amount.
bool hasAmounts(const PlanAmounts &amounts);

} // namespace kw::ledger
