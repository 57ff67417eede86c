#pragma once

#include "ledger/Period.h"
#include "ledger/Table.h"

#include <QWidget>
#include <optional>

// Holds the statement's own table; the statement itself is shown in a print preview.
class TFormR3 : public QWidget
{
    Q_OBJECT
public:
    explicit TFormR3(QWidget *parent = nullptr);
    kw::Table *Table1;
};
