#include "dialogs/ImportUndoDialog.h"
#include "dialogs/ImportWindow.h"

#include "framework/Messages.h"
#include "regional/Regional.h"
#include "import/ImportBooking.h"
#include "ledger/Books.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kw {

ImportUndoDialog::ImportUndoDialog(ledger::Books &books, QWidget *parent) : QDialog(parent), books_(books)
{
    setObjectName(QStringLiteral("CofnijImport"));
    setWindowTitle(QStringLiteral("Cofnij import - Kwotnik 2.1"));
    addHelpKey(this, QStringLiteral("import-cofnij"));
    resize(640, 360);

    auto *layout = new QVBoxLayout(this);
    auto *intro =
        new QLabel(QStringLiteral("Cofnięty import znika z dni i sum: jego kwoty są odejmowane, a dni, które "
                                  "utworzył i w których nic więcej nie wpisano, są usuwane."),
                   this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    list_ = new QTableWidget(0, 5, this);
    list_->setObjectName(QStringLiteral("Importy"));
    list_->setHorizontalHeaderLabels({QStringLiteral("Nr"), QStringLiteral("Zaksięgowany"),
                                      QStringLiteral("Plik"), QStringLiteral("Operacji"),
                                      QStringLiteral("Suma")});
    list_->verticalHeader()->hide();
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    layout->addWidget(list_, 1);

    auto *buttons = new QHBoxLayout;
    undo_ = new QPushButton(QStringLiteral("Cofnij import"), this);
    undo_->setObjectName(QStringLiteral("Cofnij"));
    auto *close = new QPushButton(QStringLiteral("Zamknij"), this);
    close->setObjectName(QStringLiteral("Zamknij"));
    buttons->addStretch(1);
    buttons->addWidget(undo_);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(undo_, &QPushButton::clicked, this, [this] { CofnijClick(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    refresh();
}

void ImportUndoDialog::refresh()
{
    std::vector<import::ImportRecord> imports;
    runCommand([&] { imports = import::listImports(books_.folder()); });
    list_->setRowCount(int(imports.size()));
    // The newest first: the one most often taken back.
    int row = 0;
    for (auto it = imports.rbegin(); it != imports.rend(); ++it, ++row) {
        const QString cells[] = {QString::number(it->number), regional::shortDate(it->booked), it->file,
                                 QString::number(it->count),
                                 regional::formatCurrency(import::toDouble(it->total))};
        for (int c = 0; c < 5; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c == 0 || c >= 3)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            item->setData(Qt::UserRole, it->number);
            list_->setItem(row, c, item);
        }
    }
    list_->resizeColumnToContents(0);
    list_->resizeColumnToContents(1);
    list_->resizeColumnToContents(3);
    list_->resizeColumnToContents(4);
    if (!imports.empty())
        list_->selectRow(0);
    undo_->setEnabled(!imports.empty());
}

void ImportUndoDialog::CofnijClick()
{
    const int row = list_->currentRow();
    if (row < 0 || !list_->item(row, 0)) {
        showMessage(QStringLiteral("Zaznacz na liście import do cofnięcia."));
        return;
    }
    const int number = list_->item(row, 0)->data(Qt::UserRole).toInt();
    const QString question =
        QStringLiteral(
            "Cofnąć import nr %1 z pliku „%2” (%3 operacji)? Jego kwoty zostaną odjęte od dni i sum.")
            .arg(number)
            .arg(list_->item(row, 2)->text(), list_->item(row, 3)->text());
    if (messageBox(appTitle(), question, MsgIcon::Question, Yes | No) != Yes)
        return;
    int count = 0;
    if (!runCommand([&] {
            emit aboutToChangeBooks();
            count = import::undoImport(books_, number);
        }))
        return;
    showMessage(QStringLiteral("Cofnięto import nr %1: %2 operacji.").arg(number).arg(count));
    refresh();
    emit undone(number);
}

} // namespace kw
