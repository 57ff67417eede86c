#pragma once

#include "ledger/Booking.h"
#include "ledger/Period.h"

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <optional>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace kw {
class DBEdit;
class MainWindowLink;
} // namespace kw

namespace kw::dialogs {

// Texts the entry dialogs show.
inline const QString EmptyBoxMessage = QStringLiteral("W polu bez wartości wpisz 0 (zero) !");
inline const QString NoDayEntryMessage = QStringLiteral("Brak wpisu dnia !");
inline const QString NoSuchDayMessage = QStringLiteral("Ten miesiąc nie ma takiego dnia !");
inline const QString FormatFailureMessage =
    QStringLiteral("Niewłaściwy format wpisu !!!\nProgram zostanie zamknięty.\nUruchom go ponownie.");

// True when the day table stands on a stored day entry. A closed or empty table has none, and
// neither has a record being inserted: booking into it would store an entry of no period.
bool hasDayEntry(const kw::Table *day);

// The number of days of the open period's month (the year text decides leap years); 0 when the
// period's texts name no month of a calendar year.
int daysInPeriodMonth(const kw::ledger::PeriodSource &period);

// The ten boxes' texts as amounts, in order; nothing when the conversion rejects any of them.
std::optional<kw::ledger::AmountSet>
convertAmounts(const std::array<QLineEdit *, kw::ledger::Categories.size()> &boxes);

// The small font the fixed pixel layouts of the dialogs are drawn for.
void useDialogFont(QWidget *dialog);

// A text that is not a number: the user is told, the five tables are closed and opened again
// (dropping every change not yet posted) and the main window is closed, which ends the program
// with a status that says it ended on an error.
void endAfterFailedEntry(kw::MainWindowLink &main);

// Runs a booking. When the table engine refuses it (a read-only file, a full disk, another
// program's change), the group has already been rolled back: the engine's message, which names
// the file and the cause, is shown and false returned; the program and the dialog go on.
bool bookOrReport(const std::function<void()> &booking);

// What the add/subtract and the change dialogs share: the framed day box at the top left, the
// groups "Dochód " and "Wydatki " with the ten amount boxes under their captions, the remark box
// bound to the current day entry and the status bar.
class EntryDialog : public QDialog
{
    Q_OBJECT
public:
    std::array<QLineEdit *, kw::ledger::Categories.size()> Edit{};
    QFrame *Panel1;
    QLabel *Label1; // "Dzień :"
    QGroupBox *GroupBox1;
    QGroupBox *GroupBox2;
    QLabel *Label12; // "Uwagi :"
    kw::DBEdit *DBEdit1;
    QStatusBar *StatusBar1;

    // Where a dialog whose frame has the size `frame` goes so that the main window (`mainFrame`)
    // stays in sight: on its right, else on its left, inside `screen`, level with its top; with
    // room on neither side, against the screen's edge on the roomier side. A side where the
    // dialog would cover `taken` (another dialog) is the second choice.
    static QPoint placeBeside(const QRect &mainFrame, const QSize &frame, const QRect &screen,
                              const QRect &taken = QRect());

    // Once at start-up: the main window whose day entry the dialog books into, and the period.
    void connectMainWindow(kw::MainWindowLink &main, const kw::ledger::PeriodSource &period);

protected:
    EntryDialog(const QString &caption, const QSize &clientSize, QWidget *parent);
    void showEvent(QShowEvent *e) override;
    // A button in the left column under the income group; `row` counts from 0.
    QPushButton *addButton(const QString &objectName, const QString &text, const QString &picture, int row);
    // The remark box takes typing only while there is a day entry to hold it.
    void followDayEntry();
    bool anyBoxEmpty() const;
    bool hasDayEntry() const;
    kw::ledger::LedgerTables ledgerTables() const;

    kw::MainWindowLink *main_ = nullptr;
    const kw::ledger::PeriodSource *period_ = nullptr;

private:
    bool placed_ = false;
};

} // namespace kw::dialogs
