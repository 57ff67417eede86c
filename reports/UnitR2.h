#pragma once

#include "ledger/Period.h"
#include "ledger/Table.h"

#include <QWidget>
#include <optional>

// Holds the statement's own table; the statement itself is shown in a print preview.
class TFormR2 : public QWidget
{
    Q_OBJECT
public:
    explicit TFormR2(QWidget *parent = nullptr);
    kw::Table *Table1;
    bool Table1FilterRecord(const kw::RecordView &record) const;

private:
    mutable std::optional<kw::ledger::PeriodFilter> filter_;
};
