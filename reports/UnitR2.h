#pragma once

#include "ledger/Period.h"
#include "reports/StatementForm.h"

#include <optional>

// The yearly statement: the month sums of the open year, in stored order.
class TFormR2 : public StatementForm
{
    Q_OBJECT
public:
    explicit TFormR2(QWidget *parent = nullptr);
    bool Table1FilterRecord(const kw::RecordView &record) const;
    // After the preview has closed: the statement's table goes back to rest.
    void Report1AfterPreview();

protected:
    const kw::ledger::PeriodSource *period() const override;
    void lastPreviewClosed() override { Report1AfterPreview(); }

private:
    mutable std::optional<kw::ledger::PeriodFilter> filter_;
};
