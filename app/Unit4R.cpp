#include "app/Unit4R.h"
#include "app/Forms.h"
#include "dialogs/UnitM.h"
#include "ledger/LedgerSchema.h"

TForm4R::TForm4R(QWidget *parent)
    : QWidget(parent), Table4R(new kw::Table(this)), DataSource4R(new kw::DataSource(this))
{
    setObjectName(QStringLiteral("Form4R"));
    Table4R->setObjectName(QStringLiteral("Table4R"));
    DataSource4R->setObjectName(QStringLiteral("DataSource4R"));
    kw::ledger::setUpYearTable(*Table4R);
    Table4R->setOnFilterRecord([this](const kw::RecordView &r) { return Table4RFilterRecord(r); });
    DataSource4R->setDataSet(Table4R);
}

bool TForm4R::Table4RFilterRecord(const kw::RecordView &record) const
{
    if (!filter_)
        filter_.emplace(*kw::forms().formM, QString(), QStringLiteral("RROK"));
    return (*filter_)(record);
}
