#include "ledger/Rollup.h"

namespace kw::ledger {

double amount(const Table &t, const char *field)
{
    const QVariant v = t.fieldValue(field);
    return v.isNull() ? 0.0 : v.toDouble();
}

namespace {
// A cursor's current record as the roll-up rule reaches it.
struct CurrentRecord
{
    Table &table;
    Level level;
    double amount(int i) const { return ledger::amount(table, Categories[std::size_t(i)].field(level)); }
    void setAmount(int i, double v) { table.setFieldValue(Categories[std::size_t(i)].field(level), v); }
    const char *name(Derived k) const
    {
        const DerivedFields &d = derivedFields(level);
        return k == Derived::Income ? d.income : k == Derived::Expenses ? d.expenses : d.budget;
    }
    double derived(Derived k) const { return ledger::amount(table, name(k)); }
    void setDerived(Derived k, double v) { table.setFieldValue(name(k), v); }
};
} // namespace

void rollupBeforeEdit(const LedgerTables &t)
{
    t.month->edit();
    t.year->edit();
}

void rollupBeforePost(const LedgerTables &t)
{
    CurrentRecord month{*t.month, Level::Month}, year{*t.year, Level::Year};
    recomputeDerived(month);
    recomputeDerived(year);
}

void rollupBeforeDelete(const LedgerTables &t)
{
    t.month->edit();
    t.year->edit();
    const CurrentRecord day{*t.day, Level::Day};
    CurrentRecord month{*t.month, Level::Month}, year{*t.year, Level::Year};
    moveSums(day, month, year, [](double sum, double d, int) { return sum - d; });
    rollupBeforePost(t);
    t.month->post();
    t.year->post();
}

} // namespace kw::ledger
