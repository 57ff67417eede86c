#include "dialogs/Unit3.h"

TForm3::TForm3(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Dodaj / Odejmij"));
    setFixedSize(267, 366);
}
