#pragma once

#include "ledger/LedgerSchema.h"
#include "ledger/Table.h"

#include <array>

namespace kw::ledger {

// The ten amounts of a day or a sum, in the categories' order, and what a writer does with them.
using Amounts = std::array<double, Categories.size()>;
using AmountSet = Amounts;
enum class Sign
{
    Add,
    Subtract
};

// The roll-up rule, written once: the books apply it to record images, the day table's hooks to
// the current records of the three cursors. A sum record is reached through `amount(i)` and
// `setAmount(i, v)` for the ten categories in their order and `derived(k)`/`setDerived(k, v)` for
// the three derived fields; a day entry through `amount(i)` and `setAmount(i, v)`. Every value
// read is the stored one, so a field written is read back as the file holds it.
enum class Derived
{
    Income,
    Expenses,
    Budget
};

// Income is the first income kind less the others, expenses the expense kinds added in order, and
// the budget the stored income less the stored expenses.
template <class Sum> void recomputeDerived(Sum &sum)
{
    double in = sum.amount(0);
    for (int i = 1; i < IncomeKinds; ++i)
        in = in - sum.amount(i);
    sum.setDerived(Derived::Income, in);
    double out = 0;
    for (int i = IncomeKinds; i < int(Categories.size()); ++i)
        out = out + sum.amount(i);
    sum.setDerived(Derived::Expenses, out);
    sum.setDerived(Derived::Budget, sum.derived(Derived::Income) - sum.derived(Derived::Expenses));
}

// Moves both sums category by category, the month field before the year field:
// field := next(field, the day's value, category).
template <class Day, class Sum, class Next> void moveSums(const Day &day, Sum &month, Sum &year, Next next)
{
    for (int i = 0; i < int(Categories.size()); ++i) {
        const double old = day.amount(i);
        month.setAmount(i, next(month.amount(i), old, i));
        year.setAmount(i, next(year.amount(i), old, i));
    }
}

// The second pass of a writer: each day field := next(its value, category).
template <class Day, class Next> void setDayAmounts(Day &day, Next next)
{
    for (int i = 0; i < int(Categories.size()); ++i)
        day.setAmount(i, next(day.amount(i), i));
}

// The hooks that keep the current month sum and year sum in step with the day table.
// They work on whatever records are current in the three tables.
struct LedgerTables
{
    Table *day = nullptr;
    Table *month = nullptr;
    Table *year = nullptr;
};

// Puts the month sum, then the year sum, into edit state.
void rollupBeforeEdit(const LedgerTables &t);
// Recomputes income, expenses and budget of both sums; posts nothing.
void rollupBeforePost(const LedgerTables &t);
// Takes the day's ten amounts out of both sums, recomputes them and posts month, then year.
void rollupBeforeDelete(const LedgerTables &t);

// A number field of the current record; a blank field counts as 0.
double amount(const Table &t, const char *field);

} // namespace kw::ledger
