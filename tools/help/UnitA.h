#pragma once

// The about box: the program's title, its icon and a short legal notice. It is created once and
// shown without blocking the main window; showing it again brings the same box forward.

#include <QDialog>

class QLabel;
class QPushButton;
class QStatusBar;

class TFormA : public QDialog
{
    Q_OBJECT
public:
    explicit TFormA(QWidget *parent = nullptr);

    // Shows the box, or brings it forward when it is already open.
    void showAbout();

    // The short legal notice, as the box shows it.
    static QString legalNotice();

public slots:
    void Button1Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool placed_ = false;
};
