#include "reports/StatementForm.h"
#include "framework/Messages.h"
#include "reports/StandardPreview.h"

#include <optional>

namespace {

using namespace kw::statements;

// One preview's statement: its cursor, the period it was run for, and the report over them. It
// lives as long as the preview window; everything it shows and prints is of its own period.
class StatementRun : public QObject
{
public:
    StatementRun(Statement kind, const kw::Table &table, bool tableFresh,
                 const kw::ledger::PeriodSource *period)
    {
        setUpStatementTable(kind, cursor_);
        cursor_.setDirectory(table.directoryPath());
        if (period) {
            // The period as it stands now: a later change of the dialog does not reach this preview.
            period_.emplace(period->monthText(), period->yearText());
            cursor_.setOnFilterRecord(statementFilter(kind, *period_));
            cursor_.setFiltered(true);
        }
        if (tableFresh && table.active())
            cursor_.openCopyOf(table);
        else
            cursor_.open();
        StatementTables tables{&cursor_, nullptr, nullptr};
        if (kind == Statement::Monthly && period_) {
            // The page footer's month sum and year sum are those of the preview's period, through
            // cursors of its own: opening or closing another period later changes neither screen
            // nor paper.
            sums_ = openPeriodSums(table.directoryPath(), *period_);
            tables.monthSum = sums_.month.get();
            tables.yearSum = sums_.year.get();
        }
        report_ = std::make_unique<StatementReport>(kind, tables);
        report_->setDocumentName(period_ ? documentTitle(kind, period_->monthText(), period_->yearText())
                                         : documentTitle(kind, QString(), QString()));
    }
    StatementReport *report() const { return report_.get(); }

private:
    std::optional<FixedPeriod> period_;
    kw::Table cursor_;
    PeriodSums sums_;
    std::unique_ptr<StatementReport> report_; // reads the cursors: goes first
};

} // namespace

StatementForm::StatementForm(Statement kind, const QString &name, QWidget *parent)
    : QWidget(parent), Table1(new kw::Table(this)), kind_(kind)
{
    setObjectName(name);
    setWindowTitle(statementTitle(kind));
    Table1->setObjectName(QStringLiteral("Table1"));
    setUpStatementTable(kind, *Table1);
}

TStandardPreview *StatementForm::showReport(bool tableFresh)
{
    auto *run = new StatementRun(kind_, *Table1, tableFresh, period());
    TStandardPreview *preview = nullptr;
    try {
        preview = TStandardPreview::preview(run->report());
    } catch (...) {
        delete run;
        throw;
    }
    run->setParent(preview);
    previews_.append(preview);
    // With no line there is no page: the page area says why instead of staying blank. The layout
    // runs in slices from the event loop, so the text is in place before it can finish.
    preview->setEmptyText(emptyPreviewText(kind_));
    QObject::connect(run->report(), &kw::report::Report::afterPreview, this, [this, preview] {
        previews_.removeAll(preview);
        previews_.removeAll(nullptr);
        emit previewClosed();
        if (previews_.isEmpty())
            lastPreviewClosed();
    });
    return preview;
}

void StatementForm::setPeriod(const kw::ledger::PeriodSource &period)
{
    period_ = &period;
    periodFilter_ = statementFilter(kind_, period);
    Table1->setOnFilterRecord([this](const kw::RecordView &record) { return Table1FilterRecord(record); });
}

QList<TStandardPreview *> StatementForm::previews() const
{
    QList<TStandardPreview *> open;
    for (const QPointer<TStandardPreview> &p : previews_)
        if (p)
            open.append(p);
    return open;
}
