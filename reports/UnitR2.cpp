#include "reports/UnitR2.h"
#include "app/Forms.h"
#include "dialogs/UnitM.h"
#include "framework/Messages.h"

TFormR2::TFormR2(QWidget *parent)
    : StatementForm(kw::statements::Statement::Yearly, QStringLiteral("FormR2"), parent)
{
    Table1->setOnFilterRecord([this](const kw::RecordView &r) { return Table1FilterRecord(r); });
}

bool TFormR2::Table1FilterRecord(const kw::RecordView &record) const
{
    // Every month sum of the open year; the month plays no part.
    if (!filter_)
        filter_.emplace(*kw::forms().formM, QString(), QStringLiteral("SROK"));
    return (*filter_)(record);
}

const kw::ledger::PeriodSource *TFormR2::period() const
{
    return kw::forms().formM;
}

void TFormR2::Report1AfterPreview()
{
    kw::runCommand([this] {
        Table1->setFiltered(false);
        Table1->close();
    });
}
