#include "dialogs/Unit2.h"

TForm2::TForm2(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Zamiana"));
    setFixedSize(266, 365);
}
