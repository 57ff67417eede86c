#pragma once

#include "reports/StatementForm.h"

// The monthly statement: the day entries of the open period, in stored order.
class TFormR1 : public StatementForm
{
    Q_OBJECT
public:
    explicit TFormR1(QWidget *parent = nullptr);
    // After the preview has closed: the statement's table goes back to rest.
    void Report1AfterPreview();

protected:
    void lastPreviewClosed() override { Report1AfterPreview(); }
};
