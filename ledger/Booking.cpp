#include "ledger/Booking.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/LedgerSchema.h"

namespace kw::ledger {

namespace {

// What a change is about to write, so the group can journal every record as it is and as it will
// be in one go. The bytes a record will hold are asked for at the first write of the change, when
// the roll-up hooks have already worked out every record of it.
enum class Writes
{
    Current,
    Append,
    Delete,
    Nothing
};
struct Plan
{
    Writes day, month, year;
};

void expect(AtomicGroup &group, Table *table, Writes w)
{
    if (w == Writes::Nothing || !table->active())
        return;
    const DbfFile &f = table->file();
    const auto pending = [table] {
        const std::string_view r = table->pendingRecord();
        return QByteArray(r.data(), qsizetype(r.size()));
    };
    if (w == Writes::Append) {
        group.expectAppend(f, pending);
        return;
    }
    const std::int64_t recno = table->currentRecno();
    if (recno < 0)
        return;
    if (w == Writes::Delete)
        group.expectRecordWrite(f, std::uint32_t(recno), [&f, recno] {
            QByteArray r = f.readBytes(f.recordOffset(std::uint32_t(recno)), std::size_t(f.recordLength()));
            if (!r.isEmpty())
                r[0] = '*';
            return r;
        });
    else
        group.expectRecordWrite(f, std::uint32_t(recno), pending);
}

// Runs one change of the three records as an atomic group. Another program's changes are read
// first, so the change lands on top of them. On failure the disk is rolled back, no table is left
// halfway through an edit, and the error says what became of the change.
template <class Fn> void atomically(const LedgerTables &t, Plan plan, Fn &&change)
{
    AtomicGroup group(t.day->directoryPath());
    try {
        for (Table *table : {t.day, t.month, t.year})
            if (table->active() && table->state() == Table::State::Browse)
                table->syncWithDisk();
        expect(group, t.day, plan.day);
        expect(group, t.month, plan.month);
        expect(group, t.year, plan.year);
        change();
        group.commit();
    } catch (const EngineError &e) {
        for (Table *table : {t.day, t.month, t.year})
            if (table->active())
                table->cancel();
        group.abandon(e);
    } catch (...) {
        for (Table *table : {t.day, t.month, t.year})
            if (table->active())
                table->cancel();
        throw; // the group's destructor rolls the files back
    }
}

// A writer needs a posted day entry to work on: an empty period, or a blank record still being
// inserted, would otherwise be posted as a day of no period while both sums move.
void requireDayEntry(const LedgerTables &t)
{
    if (!t.day->active())
        throw EngineError(QString::fromLatin1(msg::ClosedDataset));
    if (t.day->isEmpty() || t.day->state() == Table::State::Insert)
        throw EngineError(QString::fromLatin1(msg::EmptyDataset));
}

void editAll(const LedgerTables &t)
{
    t.day->edit();
    t.month->edit();
    t.year->edit();
}

void postAll(const LedgerTables &t)
{
    t.day->post();
    t.month->post();
    t.year->post();
}

const QString Zero = QStringLiteral("0");

void createPeriodSums(const LedgerTables &t, const QString &monthText, const QString &yearText,
                      bool monthExists, bool yearExists);
} // namespace

void installRollupHooks(const LedgerTables &t)
{
    t.day->beforeEdit = [t](Table &) { rollupBeforeEdit(t); };
    t.day->beforePost = [t](Table &) { rollupBeforePost(t); };
    t.day->beforeDelete = [t](Table &) { rollupBeforeDelete(t); };
}

void bookAmounts(const LedgerTables &t, const AmountSet &amounts, Sign sign)
{
    requireDayEntry(t);
    atomically(t, {Writes::Current, Writes::Current, Writes::Current}, [&] {
        editAll(t);
        const double s = sign == Sign::Add ? 1.0 : -1.0;
        for (std::size_t i = 0; i < Categories.size(); ++i) {
            const Category &c = Categories[i];
            t.month->setFieldValue(c.month, amount(*t.month, c.month) + s * amounts[i]);
            t.year->setFieldValue(c.year, amount(*t.year, c.year) + s * amounts[i]);
        }
        for (std::size_t i = 0; i < Categories.size(); ++i)
            t.day->setFieldValue(Categories[i].day, amount(*t.day, Categories[i].day) + s * amounts[i]);
        postAll(t);
    });
}

void changeEntry(const LedgerTables &t, double dayNumber, const AmountSet &amounts)
{
    requireDayEntry(t);
    atomically(t, {Writes::Current, Writes::Current, Writes::Current}, [&] {
        editAll(t);
        for (std::size_t i = 0; i < Categories.size(); ++i) {
            const Category &c = Categories[i];
            const double old = amount(*t.day, c.day);
            t.month->setFieldValue(c.month, (amount(*t.month, c.month) - old) + amounts[i]);
            t.year->setFieldValue(c.year, (amount(*t.year, c.year) - old) + amounts[i]);
        }
        t.day->setFieldValue(DayRecord.day, dayNumber);
        for (std::size_t i = 0; i < Categories.size(); ++i)
            t.day->setFieldValue(Categories[i].day, amounts[i]);
        postAll(t);
    });
}

void addDay(const LedgerTables &t, int day, const QString &monthText, const QString &yearText,
            const QDate &created)
{
    atomically(t, {Writes::Append, Writes::Current, Writes::Current}, [&] {
        t.day->insert();
        // Inserting does not fire the before-edit hook; the sums are put into edit here.
        t.month->edit();
        t.year->edit();
        for (const Category &c : Categories)
            t.day->setFieldValue(c.day, Zero);
        t.day->setFieldValue(DayRecord.day, day);
        t.day->setFieldValue(DayRecord.month, monthText);
        t.day->setFieldValue(DayRecord.year, yearText);
        t.day->setFieldValue("DATA", created);
        postAll(t);
    });
}

void deleteDay(const LedgerTables &t)
{
    atomically(t, {Writes::Delete, Writes::Current, Writes::Current}, [&] { t.day->deleteRecord(); });
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
    // Writers that follow never wait for the journal's directory entry to reach the disk.
    Journal::prepare(t.day->directoryPath());
    const bool monthExists = t.month->fieldValue(MonthRecord.month).toString() == monthText &&
                             t.month->fieldValue(MonthRecord.year).toString() == yearText &&
                             !t.month->isEmpty();
    const bool yearExists = !t.year->isEmpty() && t.year->fieldValue(YearRecord.year).toString() == yearText;
    if (monthExists && yearExists)
        return;
    // The period's two sums are created together or not at all.
    atomically(t,
               {Writes::Nothing, monthExists ? Writes::Nothing : Writes::Append,
                yearExists ? Writes::Nothing : Writes::Append},
               [&] { createPeriodSums(t, monthText, yearText, monthExists, yearExists); });
}

namespace {
void createPeriodSums(const LedgerTables &t, const QString &monthText, const QString &yearText,
                      bool monthExists, bool yearExists)
{
    // Both records are filled before either is posted, so the journal learns both at the first write.
    if (!monthExists) {
        t.month->insert();
        t.month->setFieldValue(MonthRecord.month, monthText);
        t.month->setFieldValue(MonthRecord.year, yearText);
        for (const char *f : amountFields(Level::Month))
            t.month->setFieldValue(f, Zero);
    }
    if (!yearExists) {
        t.year->insert();
        t.year->setFieldValue(YearRecord.year, yearText);
        for (const char *f : amountFields(Level::Year))
            t.year->setFieldValue(f, Zero);
    }
    if (!monthExists)
        t.month->post();
    if (!yearExists)
        t.year->post();
}
} // namespace

void closePeriod(const LedgerTables &t)
{
    for (Table *table : {t.day, t.month, t.year})
        table->closeWithFilterOff();
}

bool noDayEntry(const Table &day)
{
    const QVariant d = day.fieldValue("DATA");
    return d.isNull() || d.toDate() < QDate(1899, 12, 31);
}

} // namespace kw::ledger
