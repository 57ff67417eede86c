#include "dialogs/UnitM.h"

#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

TFormM::TFormM(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormM"));
    setWindowTitle(QStringLiteral("Miesiąc - Rok"));
    setFixedSize(230, 261);
    Label1 = new QLabel(QStringLiteral("0"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->hide();
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    static const char *names[12] = {"Styczeń", "Luty", "Marzec", "Kwiecień", "Maj", "Czerwiec", "Lipiec",
                                    "Sierpień", "Wrzesień", "Październik", "Listopad", "Grudzień"};
    for (int i = 0; i < 12; ++i) {
        RadioButton[i] = new QRadioButton(QString::fromUtf8(names[i]), this);
        RadioButton[i]->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        connect(RadioButton[i], &QRadioButton::clicked, this, [this, i] { RadioButtonClick(i + 1); });
    }
    Button1 = new QPushButton(QStringLiteral("Otwórz"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Anuluj"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &TFormM::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFormM::Button2Click);
    FormCreate();
}

QString TFormM::monthText() const { return Label1->text(); }
QString TFormM::yearText() const { return Edit1->text(); }

void TFormM::FormCreate()
{
    const QDate today = QDate::currentDate();
    Edit1->setText(QString::number(today.year()));
    Label1->setText(QString::number(today.month()));
    for (int i = 0; i < 12; ++i)
        if (Label1->text() == QString::number(i + 1))
            RadioButton[i]->setChecked(true);
}

void TFormM::RadioButtonClick(int month) { Label1->setText(QString::number(month)); }

void TFormM::Button1Click() {}

void TFormM::Button2Click() { hide(); }
