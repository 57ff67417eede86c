#pragma once

#include "reports/StatementForm.h"

// The multi-year statement: every year sum, in stored order. Its table is open for the whole run.
class TFormR3 : public StatementForm
{
    Q_OBJECT
public:
    explicit TFormR3(QWidget *parent = nullptr);
};
