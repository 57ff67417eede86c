#pragma once

// The bank calculator: what a deposit grows to under simple interest over a number of months.
// Created once and shown on demand, so its boxes and results stay as the user left them.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

class TFormKalk : public QWidget
{
    Q_OBJECT
public:
    explicit TFormKalk(QWidget *parent = nullptr);

    // Shows the window without blocking the caller, or brings it forward when it is open.
    void showCalculator();

    QLabel *Label1;
    QLineEdit *Edit1; // initial capital, złoty
    QLabel *Label2;
    QLineEdit *Edit2; // yearly rate, percent
    QLabel *Label3;
    QLineEdit *Edit3; // period, months
    QPushButton *Button1;
    QPushButton *Button2;
    QLabel *Label5;
    QLabel *Label4; // final capital
    QLabel *Label6;
    QLabel *Label7; // interest earned
    QStatusBar *StatusBar1;

public slots:
    void Button1Click();
    void Button2Click();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void compute();
    bool placed_ = false;
};
