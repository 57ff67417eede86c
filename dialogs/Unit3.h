#pragma once

#include "dialogs/EntryDialog.h"

class QPushButton;

namespace kw {
class DBText;
}

// The add/subtract dialog: the amounts typed into the ten boxes are added to, or subtracted from,
// the day entry that is current in the main window's day list, and its month sum and year sum.
class TForm3 : public kw::dialogs::EntryDialog
{
    Q_OBJECT
public:
    explicit TForm3(QWidget *parent = nullptr);

    kw::DBText *DBText1;  // the current day entry's day number
    QPushButton *Button1; // "Dodaj"
    QPushButton *Button2; // "Zamknij"
    QPushButton *Button3; // "Odejmij"

    // The day number box follows the main window's day entry too.
    void connectMainWindow(kw::MainWindowLink &main, const kw::ledger::PeriodSource &period);

    void Button1Click();
    void Button2Click();
    void Button3Click();

private:
    void book(kw::ledger::Sign sign);
};
