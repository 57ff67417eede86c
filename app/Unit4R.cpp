#include "app/Unit4R.h"
#include "ledger/LedgerSchema.h"

TForm4R::TForm4R(QWidget *parent)
    : QWidget(parent), Table4R(new kw::Table(this)), DataSource4R(new kw::DataSource(this))
{
    setObjectName(QStringLiteral("Form4R"));
    Table4R->setObjectName(QStringLiteral("Table4R"));
    DataSource4R->setObjectName(QStringLiteral("DataSource4R"));
    kw::ledger::setUpYearTable(*Table4R);
    DataSource4R->setDataSet(Table4R);
}

void TForm4R::followPeriod(const kw::ledger::PeriodSource &period)
{
    periodFilter_ = kw::ledger::yearPeriodFilter(period);
    Table4R->setOnFilterRecord([this](const kw::RecordView &record) { return Table4RFilterRecord(record); });
}
