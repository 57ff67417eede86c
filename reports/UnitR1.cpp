#include "reports/UnitR1.h"
#include "app/Forms.h"
#include "dialogs/UnitM.h"
#include "ledger/LedgerSchema.h"

TFormR1::TFormR1(QWidget *parent) : QWidget(parent), Table1(new kw::Table(this))
{
    setObjectName(QStringLiteral("FormR1"));
    setWindowTitle(QStringLiteral("Zestawienie miesięczne"));
    Table1->setObjectName(QStringLiteral("Table1"));
    // The statement lists the day entries in the order they are stored.
    Table1->setTableName(QStringLiteral("Wydatki.DBF"));
    Table1->setRequiredFields(kw::ledger::dayRequirements());
    Table1->setOnFilterRecord([this](const kw::RecordView &r) { return Table1FilterRecord(r); });
}

bool TFormR1::Table1FilterRecord(const kw::RecordView &record) const
{
    if (!filter_)
        filter_.emplace(*kw::forms().formM, QStringLiteral("MIESIAC"), QStringLiteral("ROK"));
    return (*filter_)(record);
}
