#pragma once

#include "dialogs/EntryDialog.h"

#include <optional>

class QLineEdit;
class QPushButton;

// The change dialog: the day number and the ten amounts typed here replace those of the day entry
// that is current in the main window's day list; its month sum and year sum move by the difference.
class TForm2 : public kw::dialogs::EntryDialog
{
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);

    QLineEdit *EditD;
    QPushButton *Button1; // "Zmień"
    QPushButton *Button2; // "Zamknij"

    // Fills the boxes from the current day entry as the disk holds it now, as plain numbers in the
    // user's regional format; for the main window's "Zmień" command, after it has shown this window.
    void fillFromDayEntry();

    void Button1Click();
    void Button2Click();

private:
    // The day as the boxes were filled from it: a change is refused when the disk no longer holds it.
    std::optional<kw::ledger::DayEntry> shown_;
};
