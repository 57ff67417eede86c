#pragma once

#include "framework/DataControls.h"
#include "ledger/Period.h"
#include "ledger/Table.h"

#include <QWidget>

// Holds the year-sum table for the whole run; never shown.
class TForm4R : public QWidget
{
    Q_OBJECT
public:
    explicit TForm4R(QWidget *parent = nullptr);
    kw::Table *Table4R;
    kw::DataSource *DataSource4R;
    // The period filter of Table4R: a record of the period the month and year dialog holds.
    bool Table4RFilterRecord(const kw::RecordView &record) const { return periodFilter_(record); }
    // Given once by the start-up wiring, when the month and year dialog exists.
    void followPeriod(const kw::ledger::PeriodSource &period);

private:
    kw::RecordFilter periodFilter_;
};
