#pragma once

#include "framework/DataControls.h"
#include "ledger/Period.h"
#include "ledger/Table.h"

#include <QMainWindow>
#include <optional>

class QLabel;
class QTimer;
class QStatusBar;

// What the main window lets the user do, decided by whether a period is open and has days.
enum class CommandState { NoPeriod, EmptyPeriod, PeriodWithDays };

// The main window: the day list, the balances, the budget lights and every command.
class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    kw::Table *Table1;
    kw::DataSource *DataSource1;
    QTimer *Timer1;
    QLabel *Panel1;      // the clock
    QLabel *DatePanel;   // first status-bar panel
    QLabel *HintPanel;   // second status-bar panel
    QLabel *Label43;     // the open period's year

    // Operations the dialogs call.
    void setCommandState(CommandState s);
    CommandState commandState() const { return state_; }
    // After opening a period or deleting: empty period when the current day entry has no date.
    void testCommandState(bool openingPeriod);
    void refreshLights();
    void setYearLabel(const QString &year);
    QColor lightColor(int which) const; // 1: Shape1 (year), 2: Shape2 (month)

    // Closes the ledger tables and the two report tables, in the order the program closes them.
    void closeTables();

    // Table hooks.
    void Table1BeforeEdit();
    void Table1BeforePost();
    void Table1BeforeDelete();
    bool Table1FilterRecord(const kw::RecordView &record) const;
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    CommandState state_ = CommandState::NoPeriod;
    QColor light_[2];
    mutable std::optional<kw::ledger::PeriodFilter> filter_;
};
