#pragma once

#include "framework/DataControls.h"
#include "ledger/Period.h"
#include "ledger/Table.h"

#include <QWidget>
#include <optional>

// Holds the year-sum table for the whole run; never shown.
class TForm4R : public QWidget
{
    Q_OBJECT
public:
    explicit TForm4R(QWidget *parent = nullptr);
    kw::Table *Table4R;
    kw::DataSource *DataSource4R;
    // The period is read from the month and year dialog, which is created after this window.
    bool Table4RFilterRecord(const kw::RecordView &record) const;

private:
    mutable std::optional<kw::ledger::PeriodFilter> filter_;
};
