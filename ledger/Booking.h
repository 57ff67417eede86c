#pragma once

#include "ledger/LedgerSchema.h"
#include "ledger/Rollup.h"

#include <QDate>
#include <QString>
#include <array>

namespace kw::ledger {

// The writers of a day entry, each following the roll-up rule: the day entry, its month sum and its
// year sum are changed together and land on the disk as one atomic change (all or nothing).
// The entry dialogs convert and check the user's texts, then call these.

// Puts the roll-up hooks on the day table; the program's start-up wiring and the tests both come here.
void installRollupHooks(const LedgerTables &t);

// Adds the amounts to (or subtracts them from) the current day entry and both sums.
void bookAmounts(const LedgerTables &t, const AmountSet &amounts, Sign sign);
// Replaces the current day entry's day number and amounts; both sums move by the difference.
void changeEntry(const LedgerTables &t, double dayNumber, const AmountSet &amounts);
// Inserts a day entry with every amount 0 and posts it with both sums.
void addDay(const LedgerTables &t, int day, const QString &monthText, const QString &yearText,
            const QDate &created);
// Deletes the current day entry; the before-delete hook takes its amounts out of both sums.
void deleteDay(const LedgerTables &t);

// Opens the three tables with their filters on, in order, and creates the period's month sum and
// year sum with every amount 0 when they are missing. The filters must already be set.
void openPeriod(const LedgerTables &t, const QString &monthText, const QString &yearText);
// Switches each filter off and closes the table, day, month, year in that order.
void closePeriod(const LedgerTables &t);

// True when the current day entry is missing: its entry date is null or before 31 December 1899.
bool noDayEntry(const Table &day);

} // namespace kw::ledger
