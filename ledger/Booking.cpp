#include "ledger/Booking.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/LedgerSchema.h"

namespace kw::ledger {

namespace {

// Runs one change of the three records as an atomic group. On failure the disk is rolled back
// and no table is left halfway through an edit.
template <class Fn> void atomically(const LedgerTables &t, Fn &&change)
{
    AtomicGroup group(t.day->directoryPath());
    try {
        change();
        group.commit();
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
    atomically(t, [&] {
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
    atomically(t, [&] {
        editAll(t);
        for (std::size_t i = 0; i < Categories.size(); ++i) {
            const Category &c = Categories[i];
            const double old = amount(*t.day, c.day);
            t.month->setFieldValue(c.month, (amount(*t.month, c.month) - old) + amounts[i]);
            t.year->setFieldValue(c.year, (amount(*t.year, c.year) - old) + amounts[i]);
        }
        t.day->setFieldValue("DZIEN", dayNumber);
        for (std::size_t i = 0; i < Categories.size(); ++i)
            t.day->setFieldValue(Categories[i].day, amounts[i]);
        postAll(t);
    });
}

void addDay(const LedgerTables &t, int day, const QString &monthText, const QString &yearText, const QDate &created)
{
    atomically(t, [&] {
        t.day->insert();
        // Inserting does not fire the before-edit hook; the sums are put into edit here.
        t.month->edit();
        t.year->edit();
        for (const Category &c : Categories)
            t.day->setFieldValue(c.day, Zero);
        t.day->setFieldValue("DZIEN", day);
        t.day->setFieldValue("MIESIAC", monthText);
        t.day->setFieldValue("ROK", yearText);
        t.day->setFieldValue("DATA", created);
        postAll(t);
    });
}

void deleteDay(const LedgerTables &t)
{
    atomically(t, [&] { t.day->deleteRecord(); });
}

void openPeriod(const LedgerTables &t, const QString &monthText, const QString &yearText)
{
    for (Table *table : {t.day, t.month, t.year}) {
        table->open();
        table->setFiltered(true);
    }
    const bool monthExists = t.month->fieldValue("SMIESIAC").toString() == monthText &&
                             t.month->fieldValue("SROK").toString() == yearText && !t.month->isEmpty();
    const bool yearExists = !t.year->isEmpty() && t.year->fieldValue("RROK").toString() == yearText;
    if (monthExists && yearExists)
        return;
    // The month sum and the year sum of a new period land together: a crash between them would
    // leave a month whose year has no sum.
    atomically(t, [&] {
        if (!monthExists) {
            t.month->insert();
            t.month->setFieldValue("SMIESIAC", monthText);
            t.month->setFieldValue("SROK", yearText);
            for (const char *f : {"SPRZYCH", "SKOSZT", "SKOSZTOKR", "DOCHOD", "SOPLATY", "SZYWNOSC", "SUZYWKI",
                                  "SODZIEZ", "SROZRYWKA", "SSAMOCH", "SINNE", "WYDATKI", "ROZNICA"})
                t.month->setFieldValue(f, Zero);
            t.month->post();
        }
        if (!yearExists) {
            t.year->insert();
            t.year->setFieldValue("RROK", yearText);
            for (const char *f : {"RPRZYCH", "RKOSZT", "RKOSZTOKR", "RDOCHOD", "ROPLATY", "RZYWNOSC", "RUZYWKI",
                                  "RODZIEZ", "RROZRYWKA", "RSAMOCH", "RINNE", "RWYDATKI", "RROZNICA"})
                t.year->setFieldValue(f, Zero);
            t.year->post();
        }
    });
}

void closePeriod(const LedgerTables &t)
{
    for (Table *table : {t.day, t.month, t.year}) {
        table->setFiltered(false);
        table->close();
    }
}

bool noDayEntry(const Table &day)
{
    const QVariant d = day.fieldValue("DATA");
    return d.isNull() || d.toDate() < QDate(1899, 12, 31);
}

} // namespace kw::ledger
