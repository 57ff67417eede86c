#pragma once

#include "framework/DataControls.h"
#include "ledger/Period.h"
#include "ledger/Table.h"

#include <QWidget>

// Holds the month-sum table for the whole run; never shown.
class TForm2S : public QWidget
{
    Q_OBJECT
public:
    explicit TForm2S(QWidget *parent = nullptr);
    kw::Table *TableS;
    kw::DataSource *DataSourceS;
    // The period filter of TableS: a record of the period the month and year dialog holds.
    bool TableSFilterRecord(const kw::RecordView &record) const { return periodFilter_(record); }
    // Given once by the start-up wiring, when the month and year dialog exists.
    void followPeriod(const kw::ledger::PeriodSource &period);

private:
    kw::RecordFilter periodFilter_;
};
