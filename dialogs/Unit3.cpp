#include "dialogs/Unit3.h"
#include "framework/DataControls.h"
#include "framework/Keys.h"
#include "framework/MainWindowLink.h"
#include "framework/Messages.h"
#include "ledger/LedgerSchema.h"

#include <QFrame>
#include <QPushButton>

using namespace kw::dialogs;

TForm3::TForm3(QWidget *parent) : EntryDialog(QStringLiteral("Dodaj / Odejmij"), QSize(267, 366), parent)
{
    setObjectName(QStringLiteral("Form3"));
    DBText1 = new kw::DBText(Panel1);
    DBText1->setObjectName(QStringLiteral("DBText1"));
    DBText1->setGeometry(56, 6, 48, 21);

    Button1 =
        addButton(QStringLiteral("Button1"), QStringLiteral("Dodaj"), QStringLiteral(":/dialogs/add.png"), 0);
    Button2 = addButton(QStringLiteral("Button2"), QStringLiteral("Zamknij"), QString(), 1);
    Button3 = addButton(QStringLiteral("Button3"), QStringLiteral("Odejmij"),
                        QStringLiteral(":/dialogs/subtract.png"), 2);
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm3::Button3Click);

    QWidget *order[] = {Edit[0], Edit[1], Edit[2], Edit[3], Edit[4], Edit[5], Edit[6],
                        Edit[7], Edit[8], Edit[9], DBEdit1, Button1, Button2, Button3};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    kw::enterPressesFocusedButton(this);
}

void TForm3::connectMainWindow(kw::MainWindowLink &main, const kw::ledger::PeriodSource &period)
{
    EntryDialog::connectMainWindow(main, period);
    DBText1->bind(main.dayDataSource(), QString::fromLatin1(kw::ledger::DayRecord.day));
}

void TForm3::Button1Click()
{
    if (anyBoxEmpty()) {
        kw::showMessage(EmptyBoxMessage);
        return;
    }
    book(kw::ledger::Sign::Add);
}

void TForm3::Button2Click()
{
    hide();
}

// An empty box is not caught here: it reaches the conversion, which rejects it.
void TForm3::Button3Click()
{
    book(kw::ledger::Sign::Subtract);
}

void TForm3::book(kw::ledger::Sign sign)
{
    if (!hasDayEntry()) {
        kw::showMessage(NoDayEntryMessage);
        return;
    }
    const std::optional<kw::ledger::AmountSet> amounts = convertAmounts(Edit);
    if (!amounts) {
        endAfterFailedEntry(*main_);
        return;
    }
    // A refused write has been rolled back; the user is told why and can try again from here.
    if (!bookOrReport([&] { kw::ledger::bookAmounts(ledgerTables(), *amounts, sign); }))
        return;
    for (QLineEdit *e : Edit)
        e->setText(QStringLiteral("0"));
    main_->refreshLights();
}
