#pragma once

#include "reports/StatementForm.h"

// The yearly statement: the month sums of the open year, in stored order.
class TFormR2 : public StatementForm
{
    Q_OBJECT
public:
    explicit TFormR2(QWidget *parent = nullptr);
    // After the preview has closed: the statement's table goes back to rest.
    void Report1AfterPreview();

protected:
    void lastPreviewClosed() override { Report1AfterPreview(); }
};
