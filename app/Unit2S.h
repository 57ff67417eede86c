#pragma once

#include "framework/DataControls.h"
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
    // Its period filter is set by the start-up wiring, once the month and year dialog exists.
};
