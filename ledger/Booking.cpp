#include "ledger/Booking.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"

#include <QFileInfo>
#include <cmath>

namespace kw::ledger {

namespace {

// A writer needs a posted day entry to work on: an empty period, or a blank record still being
// inserted, would otherwise be posted as a day of no period while both sums move.
void requireDayEntry(const LedgerTables &t)
{
    if (!t.day->active())
        throw EngineError(QString::fromLatin1(msg::ClosedDataset));
    if (t.day->isEmpty() || t.day->state() == Table::State::Insert || t.day->currentRecno() < 0)
        throw EngineError(QString::fromLatin1(msg::EmptyDataset));
}

QString fileNameOf(const Table &t)
{
    return QFileInfo(t.file().path()).fileName();
}

} // namespace

CursorBooks::CursorBooks(Books &books, const LedgerTables &tables)
    : books_(books), tables_(tables), attached_{tables.day, tables.month, tables.year}
{
    for (Table *t : {tables_.day, tables_.month, tables_.year})
        t->setWriter(this);
}

CursorBooks::~CursorBooks()
{
    for (const QPointer<Table> &t : attached_)
        if (t && t->writer() == this)
            t->setWriter(nullptr);
}

void CursorBooks::begin()
{
    if (depth_++ == 0)
        batch_.emplace(books_.batch());
}

void CursorBooks::end(bool ok)
{
    if (depth_ == 0 || --depth_ > 0)
        return;
    std::optional<Books::Batch> batch = std::move(batch_);
    batch_.reset();
    if (ok && batch)
        batch->commit();
}

std::uint32_t CursorBooks::write(Table &table, std::int64_t recno, const std::string &original,
                                 const std::string &image)
{
    if (!batch_)
        throw EngineError(EngineError::Kind::Refused, table.file().displayName(),
                          QStringLiteral("zapis tabeli poza zmianą ksiąg"));
    const QString file = fileNameOf(table);
    if (recno < 0)
        return batch_->append(file, image);
    // Written over only while the record is still what the edit began from: the books may have
    // changed it since (another window's booking, another program's edit read in meanwhile).
    if (!original.empty() && batch_->record(file, std::uint32_t(recno)) != original)
        throw EngineError::changedOutside(table.file().displayName(),
                                          QStringLiteral("ten sam rekord zmienił się w trakcie edycji"));
    batch_->write(file, std::uint32_t(recno), image);
    return std::uint32_t(recno);
}

void CursorBooks::cancelAll()
{
    for (Table *t : {tables_.day, tables_.month, tables_.year})
        if (t->active())
            t->cancel();
}

void CursorBooks::run(const std::function<void(Books::Batch &)> &change)
{
    begin();
    try {
        // The pending edits first, day, month, year: the change then works on what they hold.
        for (Table *t : {tables_.day, tables_.month, tables_.year}) {
            const Table::Pending p = t->pending();
            if (p.recno >= 0 && t->modified())
                write(*t, p.recno, *p.original, *p.image);
        }
        change(*batch_);
    } catch (...) {
        end(false);
        cancelAll();
        throw;
    }
    try {
        end(true);
    } catch (...) {
        cancelAll();
        throw;
    }
    cancelAll();
}

CursorBooks &cursorsOf(const LedgerTables &t)
{
    auto *c = t.day ? dynamic_cast<CursorBooks *>(t.day->writer()) : nullptr;
    if (!c)
        throw EngineError(QStringLiteral("Tabele okresu nie są połączone z księgami."));
    return *c;
}

void installRollupHooks(const LedgerTables &t)
{
    t.day->beforeEdit = [t](Table &) { rollupBeforeEdit(t); };
    t.day->beforePost = [t](Table &) { rollupBeforePost(t); };
    t.day->beforeDelete = [t](Table &) { rollupBeforeDelete(t); };
}

DayRef currentDay(const Table &day)
{
    const std::int64_t recno = day.currentRecno();
    if (recno < 0)
        throw EngineError(QString::fromLatin1(msg::EmptyDataset));
    const QVariant d = day.fieldValue(DayRecord.day);
    return DayRef{
        Period{day.fieldValue(DayRecord.month).toString(), day.fieldValue(DayRecord.year).toString()},
        d.isNull() ? 0 : int(std::lround(d.toDouble())), std::uint32_t(recno)};
}

void bookAmounts(const LedgerTables &t, const AmountSet &amounts, Sign sign)
{
    requireDayEntry(t);
    // Named before the books read the disk again: a day another program removed is refused,
    // never exchanged for the neighbour the cursor would move to.
    const DayRef day = currentDay(*t.day);
    cursorsOf(t).run([&](Books::Batch &b) { b.add(day, amounts, sign); });
}

void changeEntry(const LedgerTables &t, double dayNumber, const AmountSet &amounts, const DayEntry *seen)
{
    requireDayEntry(t);
    const DayRef day = currentDay(*t.day);
    // What the dialog showed is held against the disk only when it showed this day.
    const DayEntry *shown = seen && seen->ref == day ? seen : nullptr;
    cursorsOf(t).run([&](Books::Batch &b) { b.change(day, int(dayNumber), amounts, shown); });
}

void addDay(const LedgerTables &t, int day, const QString &monthText, const QString &yearText,
            const QDate &created)
{
    if (!t.day->active())
        throw EngineError(QString::fromLatin1(msg::ClosedDataset));
    DayRef added;
    cursorsOf(t).run([&](Books::Batch &b) { added = b.newDay(Period{monthText, yearText}, day, created); });
    t.day->moveToRecord(added.record);
}

void deleteDay(const LedgerTables &t)
{
    cursorsOf(t);
    // The before-delete hook takes the day out of both sums and posts them; the writer makes the
    // two posts and the deletion one change.
    try {
        t.day->deleteRecord();
    } catch (...) {
        for (Table *table : {t.day, t.month, t.year})
            if (table->active())
                table->cancel();
        throw;
    }
}

void openPeriod(const LedgerTables &t, const QString &monthText, const QString &yearText)
{
    t.day->setPeriodKey({QString::fromLatin1(DayRecord.month), QString::fromLatin1(DayRecord.year)},
                        {monthText, yearText});
    t.month->setPeriodKey({QString::fromLatin1(MonthRecord.month), QString::fromLatin1(MonthRecord.year)},
                          {monthText, yearText});
    t.year->setPeriodKey({QString::fromLatin1(YearRecord.year)}, {yearText});
    // Filtered before opening, so the open reads the period's records and nothing else.
    for (Table *table : {t.day, t.month, t.year}) {
        table->setFiltered(true);
        table->open();
    }
    // The period's two sums are created together or not at all; the open tables show them.
    cursorsOf(t).books().openPeriod(Period{monthText, yearText});
}

void closePeriod(const LedgerTables &t)
{
    for (Table *table : {t.day, t.month, t.year})
        table->closeWithFilterOff();
}

bool noDayEntry(const Table &day)
{
    const QVariant d = day.fieldValue(DayRecord.date);
    return d.isNull() || d.toDate() < QDate(1899, 12, 31);
}

} // namespace kw::ledger
