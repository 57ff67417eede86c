#include "ledger/Rollup.h"
#include "ledger/LedgerSchema.h"

namespace kw::ledger {

double amount(const Table &t, const char *field)
{
    const QVariant v = t.fieldValue(field);
    return v.isNull() ? 0.0 : v.toDouble();
}

namespace {
void recompute(Table &sum, Level level)
{
    // Read back what was written: the budget uses the stored income and expenses.
    const DerivedFields &d = derivedFields(level);
    const auto field = [&](int i) { return Categories[std::size_t(i)].field(level); };
    double in = amount(sum, field(0));
    for (int i = 1; i < IncomeKinds; ++i)
        in = in - amount(sum, field(i));
    sum.setFieldValue(d.income, in);
    double out = 0;
    for (int i = IncomeKinds; i < int(Categories.size()); ++i)
        out = out + amount(sum, field(i));
    sum.setFieldValue(d.expenses, out);
    sum.setFieldValue(d.budget, amount(sum, d.income) - amount(sum, d.expenses));
}
} // namespace

void rollupBeforeEdit(const LedgerTables &t)
{
    t.month->edit();
    t.year->edit();
}

void rollupBeforePost(const LedgerTables &t)
{
    recompute(*t.month, Level::Month);
    recompute(*t.year, Level::Year);
}

void rollupBeforeDelete(const LedgerTables &t)
{
    t.month->edit();
    t.year->edit();
    for (const Category &c : Categories) {
        const double d = amount(*t.day, c.day);
        t.month->setFieldValue(c.month, amount(*t.month, c.month) - d);
        t.year->setFieldValue(c.year, amount(*t.year, c.year) - d);
    }
    rollupBeforePost(t);
    t.month->post();
    t.year->post();
}

} // namespace kw::ledger
