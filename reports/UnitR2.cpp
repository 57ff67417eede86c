#include "reports/UnitR2.h"
#include "app/Forms.h"
#include "dialogs/UnitM.h"
#include "ledger/LedgerSchema.h"

TFormR2::TFormR2(QWidget *parent) : QWidget(parent), Table1(new kw::Table(this))
{
    setObjectName(QStringLiteral("FormR2"));
    setWindowTitle(QStringLiteral("Zestawienie roczne"));
    Table1->setObjectName(QStringLiteral("Table1"));
    Table1->setTableName(QStringLiteral("Suma.DBF"));
    Table1->setRequiredFields(kw::ledger::monthRequirements());
    Table1->setOnFilterRecord([this](const kw::RecordView &r) { return Table1FilterRecord(r); });
}

bool TFormR2::Table1FilterRecord(const kw::RecordView &record) const
{
    // Every month sum of the open year; the month plays no part.
    if (!filter_)
        filter_.emplace(*kw::forms().formM, QString(), QStringLiteral("SROK"));
    return (*filter_)(record);
}
