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
    void undone(int importNumber);

private:
    ledger::Books &books_;
    QTableWidget *list_;
    QPushButton *undo_;
};

} // namespace kw
