#include "reports/UnitR1.h"
#include "app/Forms.h"
#include "dialogs/UnitM.h"
#include "framework/Messages.h"

TFormR1::TFormR1(QWidget *parent)
    : StatementForm(kw::statements::Statement::Monthly, QStringLiteral("FormR1"), parent)
{
    Table1->setOnFilterRecord([this](const kw::RecordView &r) { return Table1FilterRecord(r); });
}

bool TFormR1::Table1FilterRecord(const kw::RecordView &record) const
{
    if (!filter_)
        filter_.emplace(*kw::forms().formM, QStringLiteral("MIESIAC"), QStringLiteral("ROK"));
    return (*filter_)(record);
}

const kw::ledger::PeriodSource *TFormR1::period() const
{
    return kw::forms().formM;
}

void TFormR1::Report1AfterPreview()
{
    kw::runCommand([this] {
        Table1->setFiltered(false);
        Table1->close();
    });
}
