#pragma once

#include "ledger/Table.h"

namespace kw::ledger {

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
