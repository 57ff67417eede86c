#pragma once

#include "import/ImportBooking.h"

#include <QAbstractTableModel>
#include <QSet>
#include <QWidget>

class QLabel;
class QPushButton;
class QTableView;
class QTableWidget;

namespace kw::ledger {
class Books;
}

namespace kw {

// F1 anywhere in the window opens its topic of the help file.
void addHelpKey(QWidget *window, const QString &topic);

// The lines of an import plan as the review table shows them: a tick, the date, the amount, the
// counterparty, the title, the category (editable) and a note.
class ImportModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        Tick,
        Date,
        Amount,
        Counterparty,
        Title,
        Category,
        Note,
        ColumnCount
    };
    explicit ImportModel(QObject *parent = nullptr);

    void setPlan(import::ImportPlan *plan);
    // The lines whose category the user chose keep it when the rules change.
    const QSet<int> &chosen() const { return chosen_; }
    // Puts the rules' categories again on the lines the user did not choose.
    void recategorise(const import::Rules &rules);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void totalsChanged();

private:
    import::ImportPlan *plan_ = nullptr;
    QSet<int> chosen_;
};

// The review of a bank statement before it is booked ("Dane" > "Importuj wyciąg…"): nothing is
// written before "Zaksięguj", and then the whole import is one change of the books.
class ImportWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ImportWindow(ledger::Books &books, QWidget *parent = nullptr);

    // Asks for the statement through the file dialog and shows it; false when the user cancelled or
    // the file was refused (the message names it).
    bool chooseFile();
    // Reads the statement, with the column-mapping step for a table this program does not know.
    bool openFile(const QString &path);

    const import::ImportPlan &plan() const { return plan_; }
    ImportModel *model() const { return model_; }

    // The buttons' handlers, for the tests as for the buttons.
    void ZaksiegujClick();
    void AnulujClick();
    void ZapamietajClick();

signals:
    // Just before the import is written: whoever holds unposted edits of the tables posts them.
    void aboutToChangeBooks();
    void booked(int importNumber);

private:
    void showPlan();
    void updateTotals();

    ledger::Books &books_;
    import::ImportPlan plan_;
    ImportModel *model_;
    QLabel *fileLabel_;
    QLabel *countsLabel_;
    QTableView *table_;
    QTableWidget *totals_;
    QLabel *balances_;
    QLabel *status_;
    QPushButton *remember_;
    QPushButton *book_;
    QPushButton *cancel_;
};

} // namespace kw
