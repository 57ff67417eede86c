#pragma once

#include "ledger/Rollup.h"

#include <QList>
#include <QRect>

class QString;
class QWidget;

namespace kw {

class DataSource;
class Table;

// What the main window lets the user do, decided by whether a period is open and has days.
enum class CommandState
{
    NoPeriod,
    EmptyPeriod,
    PeriodWithDays
};

// Everything the dialogs may ask of the main window. The main window implements it and the wiring
// at start-up hands it to each dialog, so the dialogs never know the main window's class and the
// two never include each other.
class MainWindowLink
{
public:
    virtual ~MainWindowLink() = default;

    // The budget lights follow the current month sum and year sum.
    virtual void refreshLights() = 0;
    virtual void setCommandState(CommandState s) = 0;
    // After opening a period or deleting: an empty period when the current day entry has no date.
    virtual void testCommandState(bool openingPeriod) = 0;
    virtual void setYearLabel(const QString &year) = 0;
    // The day list reads the day table again.
    virtual void refreshDayList() = 0;

    // The day table with the month-sum and year-sum tables: the records every writer changes.
    virtual ledger::LedgerTables ledgerTables() const = 0;
    // The day table's data source, which the dialogs' bound controls follow.
    virtual DataSource *dayDataSource() const = 0;
    // Every table the program keeps open (ledger tables and the statements' tables), in the order
    // they are closed.
    virtual QList<Table *> programTables() const = 0;

    // The window itself, for placing dialogs beside it and for ending the program.
    virtual QWidget *mainWidget() = 0;
    // The balance panels in global coordinates: a dialog placed over them hides what a booking changes.
    virtual QRect balancesArea() const = 0;
};

} // namespace kw
