#include "app/Unit2S.h"
#include "ledger/LedgerSchema.h"

TForm2S::TForm2S(QWidget *parent)
    : QWidget(parent), TableS(new kw::Table(this)), DataSourceS(new kw::DataSource(this))
{
    setObjectName(QStringLiteral("Form2S"));
    TableS->setObjectName(QStringLiteral("TableS"));
    DataSourceS->setObjectName(QStringLiteral("DataSourceS"));
    kw::ledger::setUpMonthTable(*TableS);
    DataSourceS->setDataSet(TableS);
}

void TForm2S::followPeriod(const kw::ledger::PeriodSource &period)
{
    periodFilter_ = kw::ledger::monthPeriodFilter(period);
    TableS->setOnFilterRecord([this](const kw::RecordView &record) { return TableSFilterRecord(record); });
}
