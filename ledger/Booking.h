#pragma once

#include "ledger/Books.h"
#include "ledger/LedgerSchema.h"
#include "ledger/Rollup.h"

#include <QDate>
#include <QPointer>
#include <QString>
#include <optional>

namespace kw::ledger {

// The windows' three cursors (the day table, the month sum and the year sum of the open period)
// over the books. The cursors only show: whatever they would write (a pending edit posted by a
// move, a filter switch or a close, a deletion with its before-delete hook) is written by the
// books instead, and every post and delete of theirs, hooks included, is one atomic change.
// The entry dialogs and the commands name the day the day table stands on to the books through
// the functions below.
class CursorBooks : public TableWriter
{
public:
    // Makes the three tables write through the books, until it is destroyed.
    CursorBooks(Books &books, const LedgerTables &tables);
    ~CursorBooks() override;
    CursorBooks(const CursorBooks &) = delete;
    CursorBooks &operator=(const CursorBooks &) = delete;

    Books &books() const { return books_; }
    const LedgerTables &tables() const { return tables_; }

    // One change of the books with the cursors' pending edits in it (a remark typed into a bound
    // box goes with the booking that follows, as one post would take it); the edits end with it,
    // whether it lands or not.
    void run(const std::function<void(Books::Batch &)> &change);

    void begin() override;
    void end(bool ok) override;
    std::uint32_t write(Table &table, std::int64_t recno, const std::string &original,
                        const std::string &image) override;

private:
    void cancelAll();
    Books &books_;
    LedgerTables tables_;
    // The tables may go before the writer does (their windows are released in turn).
    QPointer<Table> attached_[3];
    int depth_ = 0;
    std::optional<Books::Batch> batch_;
};

// The writer the day table writes through; throws when it has none.
CursorBooks &cursorsOf(const LedgerTables &t);

// Puts the roll-up hooks on the day table; the program's start-up wiring and the tests both come here.
void installRollupHooks(const LedgerTables &t);

// The day the day table's cursor stands on.
DayRef currentDay(const Table &day);

// Adds the amounts to (or subtracts them from) the current day entry and both sums.
void bookAmounts(const LedgerTables &t, const AmountSet &amounts, Sign sign);
// Replaces the current day entry's day number and amounts; both sums move by the difference. With
// `seen` (the day as a dialog showed it), refused when the disk no longer holds that.
void changeEntry(const LedgerTables &t, double dayNumber, const AmountSet &amounts,
                 const DayEntry *seen = nullptr);
// A new day entry with every amount 0, posted with both sums; the day table's cursor goes to it.
void addDay(const LedgerTables &t, int day, const QString &monthText, const QString &yearText,
            const QDate &created);
// Deletes the current day entry; the before-delete hook takes its amounts out of both sums first.
void deleteDay(const LedgerTables &t);

// Opens the three tables with their filters on, in order, and creates the period's month sum and
// year sum with every amount 0 when they are missing. The filters must already be set.
void openPeriod(const LedgerTables &t, const QString &monthText, const QString &yearText);
// Switches each filter off and closes the table, day, month, year in that order; a pending edit is
// posted first, through the books.
void closePeriod(const LedgerTables &t);

// True when the current day entry is missing: its entry date is null or before 31 December 1899.
bool noDayEntry(const Table &day);

} // namespace kw::ledger
