#include "reports/UnitR1.h"
#include "framework/Messages.h"

TFormR1::TFormR1(QWidget *parent)
    : StatementForm(kw::statements::Statement::Monthly, QStringLiteral("FormR1"), parent)
{
    // Filtered to the period of the month and year dialog, as the program's wiring connects it.
}

void TFormR1::Report1AfterPreview()
{
    kw::runCommand([this] { Table1->closeWithFilterOff(); });
}
