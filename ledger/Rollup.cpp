#include "ledger/Rollup.h"
#include "ledger/LedgerSchema.h"

namespace kw::ledger {

double amount(const Table &t, const char *field)
{
    const QVariant v = t.fieldValue(field);
    return v.isNull() ? 0.0 : v.toDouble();
}

namespace {
void recompute(Table &sum, const char *income, const char *expenses, const char *budget, int firstField)
{
    // Read back what was written: the budget uses the stored income and expenses.
    const auto field = [&](int i) { return firstField == 0 ? Categories[std::size_t(i)].month : Categories[std::size_t(i)].year; };
    double in = amount(sum, field(0)) - amount(sum, field(1));
    in = in - amount(sum, field(2));
    sum.setFieldValue(income, in);
    double out = 0;
    for (int i = IncomeKinds; i < int(Categories.size()); ++i)
        out = out + amount(sum, field(i));
    sum.setFieldValue(expenses, out);
    sum.setFieldValue(budget, amount(sum, income) - amount(sum, expenses));
}
} // namespace

void rollupBeforeEdit(const LedgerTables &t)
{
    t.month->edit();
    t.year->edit();
}

void rollupBeforePost(const LedgerTables &t)
{
    recompute(*t.month, "DOCHOD", "WYDATKI", "ROZNICA", 0);
    recompute(*t.year, "RDOCHOD", "RWYDATKI", "RROZNICA", 1);
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
