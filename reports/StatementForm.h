#pragma once

#include "ledger/Period.h"
#include "ledger/Table.h"
#include "reports/statements/Statements.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class TStandardPreview;

// What the three statement windows share: the statement's own table `Table1` and the previews
// shown from it. The window itself is never shown; each run opens a preview window of its own.
class StatementForm : public QWidget
{
    Q_OBJECT
public:
    kw::Table *Table1;
    kw::statements::Statement kind() const { return kind_; }

    // Shows the statement in a new preview; Table1 must be open (with its filter on). Each preview
    // reads through a cursor of its own on Table1's file, filtered to the period as it stands now,
    // so two previews of one statement, or money booked while one is open, never disturb each
    // other. `tableFresh`: Table1 has just read its records for this period, and the cursor takes
    // them over instead of reading the file again. The engine's errors are thrown.
    TStandardPreview *showReport(bool tableFresh);
    // The previews of this statement that are open now.
    QList<TStandardPreview *> previews() const;
    // With no preview open, puts Table1 back to rest as the last preview's closing does.
    void restTableIfIdle()
    {
        if (previews().isEmpty())
            lastPreviewClosed();
    }
    // Given once at start-up: the period a statement of one month or one year follows. The
    // statement's table is filtered to that period from then on; each preview keeps the period as
    // it stood when the preview was made.
    void setPeriod(const kw::ledger::PeriodSource &period);
    // The record filter of Table1: a record of the statement's period (every record of the
    // multi-year statement, which has no period).
    bool Table1FilterRecord(const kw::RecordView &record) const
    {
        return !periodFilter_ || periodFilter_(record);
    }

signals:
    void previewClosed();

protected:
    StatementForm(kw::statements::Statement kind, const QString &name, QWidget *parent);
    // The period the preview is filtered to; null for a statement of every year.
    const kw::ledger::PeriodSource *period() const { return period_; }
    // Called when the last open preview of this statement has closed.
    virtual void lastPreviewClosed() {}

private:
    kw::statements::Statement kind_;
    const kw::ledger::PeriodSource *period_ = nullptr;
    kw::RecordFilter periodFilter_;
    QList<QPointer<TStandardPreview>> previews_;
};
