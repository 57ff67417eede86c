#include "dialogs/Unit3D.h"

TForm3D::TForm3D(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form3D"));
    setWindowTitle(QStringLiteral("Dzień"));
    setFixedSize(228, 267);
}
