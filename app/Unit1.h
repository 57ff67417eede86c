#pragma once

#include "framework/DataControls.h"
#include "framework/MainWindowLink.h"
#include "ledger/Booking.h"
#include "ledger/Books.h"
#include "ledger/Period.h"
#include "ledger/Table.h"

#include <QHash>
#include <QMainWindow>
#include <memory>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QTimer;
class QStatusBar;
class QToolBar;
class QToolButton;
class TForm2;
class TForm3;
class TForm3D;
class TFormM;
class TFormR1;
class TFormR2;
class TFormR3;

namespace kw {
class ComboEdit;
class ImportUndoDialog;
class ImportWindow;
class Shape;
namespace ledger {
class Books;
}
} // namespace kw

using kw::CommandState;

// The main window: the day list, the balances, the budget lights and every command.
class TForm1 : public QMainWindow, public kw::MainWindowLink
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    kw::Table *Table1;
    kw::DataSource *DataSource1;
    QTimer *Timer1;

    // Tool bar, left to right.
    QToolBar *ToolBar1;
    QToolButton *ToolButton1;  // open period
    QToolButton *ToolButton2;  // new day
    QToolButton *ToolButton3;  // add or subtract
    QToolButton *ToolButton4;  // change
    QToolButton *ToolButton5;  // delete
    QToolButton *ToolButton6;  // monthly statement
    QToolButton *ToolButton7;  // yearly statement
    QToolButton *ToolButton8;  // multi-year statement
    kw::ComboEdit *ComboEdit1; // the quick calculator's number box
    QToolButton *ToolButton10; // bank calculator
    QToolButton *ToolButton9;  // notepad
    QToolButton *ToolButton11; // help
    QLabel *Panel1;            // the clock

    // Summary band.
    QFrame *Panel2;
    QGroupBox *GroupBox2; // the year's income, expenses and budget
    kw::Shape *Shape1;    // year light "R"
    kw::Shape *Shape2;    // month light "M"

    // Working area.
    kw::DBGrid *DBGrid1;
    QFrame *Panel5;  // year
    QLabel *Label43; // the open period's year
    QGroupBox *GroupBox1;
    QFrame *Panel4;           // month
    kw::DBText *MonthHeading; // MIESIAC of the current day entry
    QGroupBox *GroupBox4;
    QFrame *Panel3;         // day
    kw::DBText *DayHeading; // DZIEN of the current day entry
    QGroupBox *GroupBox3;
    kw::DBMemo *DBMemo1; // the day's remark

    QStatusBar *StatusBar1;
    QLabel *DatePanel; // first status-bar panel
    QLabel *HintPanel; // second status-bar panel

    // Main menu.
    QMenu *Dane1;
    QMenu *Edycja1;
    QMenu *Raporty1;
    QMenu *Kalkulatory1;
    QMenu *Pomoc1;
    QAction *Otworz1;
    QAction *Eksportuj1;
    QAction *ImportujWyciag1;
    QAction *CofnijImport1;
    QAction *Zamknij2;
    QAction *Nowydzien1;
    QAction *DodajOdejmij1;
    QAction *Zmien1;
    QAction *Usun1;
    QAction *Miesieczne1;
    QAction *Roczne1;
    QAction *Wieloletnie1;
    QAction *Analiza1; // "Analiza wydatków"
    QAction *Kalkulator1;
    QAction *Kalkulatorbankowy1;
    QAction *TematyPomocy1;
    QAction *Informacje1;

    // Operations the dialogs call, through the link.
    void setCommandState(CommandState s) override;
    CommandState commandState() const { return state_; }
    void testCommandState(bool openingPeriod) override;
    void refreshLights() override;
    void setYearLabel(const QString &year) override;
    void refreshDayList() override;
    kw::ledger::LedgerTables ledgerTables() const override;
    kw::DataSource *dayDataSource() const override { return DataSource1; }
    QList<kw::Table *> programTables() const override;
    QWidget *mainWidget() override { return this; }
    QRect balancesArea() const override;
    QColor lightColor(int which) const; // 1: Shape1 (year), 2: Shape2 (month)

    // The day table's handlers: the period filter, and the roll-up of every change of a day entry
    // into the current month sum and year sum. The start-up wiring puts them on Table1.
    bool Table1FilterRecord(const kw::RecordView &record) const { return periodFilter_(record); }
    void Table1BeforeEdit(kw::Table &table);
    void Table1BeforePost(kw::Table &table);
    void Table1BeforeDelete(kw::Table &table);
    void installTableHandlers(const kw::ledger::PeriodSource &period);

    // The program's books, which the three ledger tables show and write through; given once by the
    // start-up wiring, and handed on to every window that reads or books.
    void attachBooks(kw::ledger::Books &books);
    kw::ledger::Books *books() const { return books_; }

    // The windows the commands open, given once by the start-up wiring.
    struct Windows
    {
        TForm3D *newDay = nullptr;
        TFormM *period = nullptr;
        TForm3 *add = nullptr;
        TForm2 *change = nullptr;
        TFormR1 *monthly = nullptr;
        TFormR2 *yearly = nullptr;
        TFormR3 *multiYear = nullptr;
    };
    void connectWindows(const Windows &windows) { windows_ = windows; }

    // The month-sum and year-sum displays follow these sources; the holders of the two sum tables
    // are created after this window, so the start-up wiring binds them once all windows exist.
    void bindSums(kw::DataSource *month, kw::DataSource *year);
    // The statements' own tables, closed with the ledger tables.
    void setStatementTables(const QList<kw::Table *> &tables) { statementTables_ = tables; }

    // The value label that shows a field of the day entry, the month sum or the year sum.
    kw::DBText *valueLabel(const QString &field) const { return values_.value(field); }
    QString statusHint() const;

    // Closes the ledger tables and the two report tables, in the order the program closes them.
    void closeTables();

    // Commands.
    void ToolButton1Click();
    void ToolButton2Click();
    void ToolButton3Click();
    void ToolButton4Click();
    void ToolButton5Click();
    void ToolButton6Click();
    void ToolButton7Click();
    void ToolButton8Click();
    void Analiza1Click();
    void ComboEdit1ButtonClick();
    void ToolButton10Click();
    void ToolButton9Click();
    void ToolButton11Click();
    void Informacje1Click();
    void Zamknij2Click();
    void Eksportuj1Click();
    // The bank-statement import and its undo, made when first asked for.
    void ImportujWyciag1Click();
    void CofnijImport1Click();
    kw::ImportWindow *importWindow() const { return importWindow_; }
    kw::ImportUndoDialog *importUndoDialog() const { return importUndo_; }

    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void buildMenu();
    void buildToolBar();
    void buildSummaryBand(QWidget *parent);
    void buildWorkingArea(QWidget *parent);
    void buildStatusBar();
    QToolButton *addToolButton(const QString &name, int image, const QString &tip, const QString &hint,
                               void (TForm1::*handler)());
    void setHint(QWidget *control, const QString &text);
    void showStatusHint(const QString &text);

    CommandState state_ = CommandState::NoPeriod;
    QColor light_[2];
    QHash<QString, kw::DBText *> values_;
    QList<kw::DBText *> monthValues_;
    QList<kw::DBText *> yearValues_;
    kw::DataSource *monthSums_ = nullptr;
    kw::RecordFilter periodFilter_;
    kw::DataSource *yearSums_ = nullptr;
    QList<kw::Table *> statementTables_;
    QHash<QObject *, QString> hints_;

    // The books of the working directory, for the windows that change them as one batch.
    kw::ledger::Books &books();
    // Posts a change typed into the day list and its sums, so a batch never lands under it.
    void postPendingEdits();
    void followBooks();
    // Children of this window, made when first asked for and kept until it goes.
    kw::ImportWindow *importWindow_ = nullptr;
    kw::ImportUndoDialog *importUndo_ = nullptr;
    kw::ledger::Books *books_ = nullptr;
    std::unique_ptr<kw::ledger::CursorBooks> cursors_;
    Windows windows_;
    std::unique_ptr<kw::ledger::Books> ownBooks_; // when no books were attached (a window alone)
};
