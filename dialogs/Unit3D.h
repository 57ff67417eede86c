#pragma once

#include <QDialog>

class QCalendarWidget;
class TForm3;
class TFormM;
namespace kw {
class MainWindowLink;
}
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;

// The new-day dialog: the user picks a day on the calendar; its day number becomes a new day entry
// of the open period, with every amount 0, and the add/subtract dialog takes over.
class TForm3D : public QDialog
{
    Q_OBJECT
public:
    explicit TForm3D(QWidget *parent = nullptr);

    QLabel *Label1;            // "Wybrany dzień :"
    QLineEdit *Edit2;          // the day number of the calendar date
    QToolButton *SpeedButton1; // "<<"
    QLabel *Label2;            // the calendar date in full
    QToolButton *SpeedButton2; // ">>"
    QCalendarWidget *Calendar1;
    QPushButton *Button1; // "Dzisiejsza data"
    QPushButton *Button3; // "Otwórz"
    QPushButton *Button2; // "Anuluj"

    // Once at start-up: the main window, the period a new day belongs to, and the add/subtract
    // dialog that takes over once the day is stored.
    void connectMainWindow(kw::MainWindowLink &main, const TFormM &period, TForm3 &add);

    void FormCreate();
    void Calendar1Change();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void Button1Click();
    void Button3Click();
    void Button2Click();
    // Run at midnight while the dialog is open: today has moved away from the calendar's date.
    void midnightPassed();

protected:
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    void showCalendarDate();
    void followToday();
    void armMidnight();
    QTimer *midnight_;
    kw::MainWindowLink *main_ = nullptr;
    const TFormM *period_ = nullptr;
    TForm3 *add_ = nullptr;
};
