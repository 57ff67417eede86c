#pragma once

#include "ledger/Period.h"
#include "reports/StatementForm.h"

#include <optional>

// The monthly statement: the day entries of the open period, in stored order.
class TFormR1 : public StatementForm
{
    Q_OBJECT
public:
    explicit TFormR1(QWidget *parent = nullptr);
    bool Table1FilterRecord(const kw::RecordView &record) const;
    // After the preview has closed: the statement's table goes back to rest.
    void Report1AfterPreview();

protected:
    const kw::ledger::PeriodSource *period() const override;
    void lastPreviewClosed() override { Report1AfterPreview(); }

private:
    mutable std::optional<kw::ledger::PeriodFilter> filter_;
};
