#pragma once

#include <QDialog>

class QPushButton;
class QTableWidget;

namespace kw::ledger {
class Books;
}

namespace kw {

// The list of imports ("Dane" > "Cofnij import…"): each with its date, file, count and total; the
// one chosen is taken back as one change of the books.
class ImportUndoDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ImportUndoDialog(ledger::Books &books, QWidget *parent = nullptr);
    void refresh();
    QTableWidget *list() const { return list_; }
    void CofnijClick();

signals:
    // Just before the import is taken back: whoever holds unposted edits of the tables posts them.
    void aboutToChangeBooks();
    void undone(int importNumber);

private:
    ledger::Books &books_;
    QTableWidget *list_;
    QPushButton *undo_;
};

} // namespace kw
