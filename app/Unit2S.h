#pragma once

#include "framework/DataControls.h"
#include "ledger/Period.h"
#include "ledger/Table.h"

#include <QWidget>
#include <optional>

// Holds the month-sum table for the whole run; never shown.
class TForm2S : public QWidget
{
    Q_OBJECT
public:
    explicit TForm2S(QWidget *parent = nullptr);
    kw::Table *TableS;
    kw::DataSource *DataSourceS;
    // The period is read from the month and year dialog, which is created after this window.
    bool TableSFilterRecord(const kw::RecordView &record) const;

private:
    mutable std::optional<kw::ledger::PeriodFilter> filter_;
};
