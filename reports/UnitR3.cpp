#include "reports/UnitR3.h"

TFormR3::TFormR3(QWidget *parent)
    : StatementForm(kw::statements::Statement::MultiYear, QStringLiteral("FormR3"), parent)
{
    // Open for the whole run; a missing year table ends the start-up here.
    Table1->open();
}
