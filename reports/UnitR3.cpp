#include "reports/UnitR3.h"
#include "ledger/LedgerSchema.h"

TFormR3::TFormR3(QWidget *parent) : QWidget(parent), Table1(new kw::Table(this))
{
    setObjectName(QStringLiteral("FormR3"));
    setWindowTitle(QStringLiteral("Zestawienie wieloletnie"));
    Table1->setObjectName(QStringLiteral("Table1"));
    Table1->setTableName(kw::ledger::YearFile);
    Table1->setRequiredFields(kw::ledger::yearRequirements());
    // Open for the whole run; a missing year table ends the start-up here.
    Table1->open();
}
