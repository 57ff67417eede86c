#pragma once

#include "ledger/Period.h"

namespace kw {
class MainWindowLink;
}

#include <QDialog>

class QGroupBox;
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

    static const QString &badYearMessage();

    QGroupBox *GroupBox1; // "Miesiąc "
    QGroupBox *GroupBox2; // "Rok :"
    QLabel *Label1;
    QLineEdit *Edit1;
    QRadioButton *RadioButton[12];
    QPushButton *Button1;
    QPushButton *Button2;

    // Once at start-up: the main window that opening a period updates.
    void connectMainWindow(kw::MainWindowLink &main) { main_ = &main; }

    void FormCreate();
    void RadioButtonClick(int month);
    void RadioButton1Click() { RadioButtonClick(1); }
    void RadioButton2Click() { RadioButtonClick(2); }
    void RadioButton3Click() { RadioButtonClick(3); }
    void RadioButton4Click() { RadioButtonClick(4); }
    void RadioButton5Click() { RadioButtonClick(5); }
    void RadioButton6Click() { RadioButtonClick(6); }
    void RadioButton7Click() { RadioButtonClick(7); }
    void RadioButton8Click() { RadioButtonClick(8); }
    void RadioButton9Click() { RadioButtonClick(9); }
    void RadioButton10Click() { RadioButtonClick(10); }
    void RadioButton11Click() { RadioButtonClick(11); }
    void RadioButton12Click() { RadioButtonClick(12); }
    void Button1Click();
    void Button2Click();

protected:
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    QRadioButton *checkedMonth() const;
    // The months are one group: only the checked one is a tab stop, the arrows move the check.
    void followCheck();
    bool placed_ = false;
    kw::MainWindowLink *main_ = nullptr;
};
