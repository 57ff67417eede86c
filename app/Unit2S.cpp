#include "app/Unit2S.h"
#include "app/Forms.h"
#include "dialogs/UnitM.h"
#include "ledger/LedgerSchema.h"

TForm2S::TForm2S(QWidget *parent)
    : QWidget(parent), TableS(new kw::Table(this)), DataSourceS(new kw::DataSource(this))
{
    setObjectName(QStringLiteral("Form2S"));
    TableS->setObjectName(QStringLiteral("TableS"));
    DataSourceS->setObjectName(QStringLiteral("DataSourceS"));
    kw::ledger::setUpMonthTable(*TableS);
    TableS->setOnFilterRecord([this](const kw::RecordView &r) { return TableSFilterRecord(r); });
    DataSourceS->setDataSet(TableS);
}

bool TForm2S::TableSFilterRecord(const kw::RecordView &record) const
{
    if (!filter_)
        filter_.emplace(*kw::forms().formM, QStringLiteral("SMIESIAC"), QStringLiteral("SROK"));
    return (*filter_)(record);
}
