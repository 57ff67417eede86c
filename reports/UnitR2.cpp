#include "reports/UnitR2.h"
#include "framework/Messages.h"

TFormR2::TFormR2(QWidget *parent)
    : StatementForm(kw::statements::Statement::Yearly, QStringLiteral("FormR2"), parent)
{
    // Filtered to the period of the month and year dialog, as the program's wiring connects it.
}

void TFormR2::Report1AfterPreview()
{
    kw::runCommand([this] { Table1->closeWithFilterOff(); });
}
