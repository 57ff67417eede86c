#pragma once

#include "ledger/Period.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QRadioButton;
class QPushButton;

// The month and year dialog. It holds the current period for the whole program: its month text
// (the hidden Label1) and year text (Edit1) are read afresh by every period filter.
class TFormM : public QDialog, public kw::ledger::PeriodSource
{
    Q_OBJECT
public:
    explicit TFormM(QWidget *parent = nullptr);

    QString monthText() const override;
    QString yearText() const override;

    QLabel *Label1;
    QLineEdit *Edit1;
    QRadioButton *RadioButton[12];
    QPushButton *Button1;
    QPushButton *Button2;

    void FormCreate();
    void RadioButtonClick(int month);
    void Button1Click();
    void Button2Click();
};
