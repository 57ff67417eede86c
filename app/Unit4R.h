#pragma once

#include "framework/DataControls.h"
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
    // Its period filter is set by the start-up wiring, once the month and year dialog exists.
};
