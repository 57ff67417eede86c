#include "dialogs/Unit2.h"
#include "framework/DataControls.h"
#include "framework/Keys.h"
#include "framework/MainWindowLink.h"
#include "framework/Messages.h"
#include "regional/Regional.h"
#include "ledger/LedgerSchema.h"

#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

using namespace kw::dialogs;

TForm2::TForm2(QWidget *parent) : EntryDialog(QStringLiteral("Zamiana"), QSize(266, 365), parent)
{
    setObjectName(QStringLiteral("Form2"));
    EditD = new QLineEdit(QStringLiteral("0"), Panel1);
    EditD->setObjectName(QStringLiteral("EditD"));
    EditD->setGeometry(56, 6, 41, 21);

    Button1 = addButton(QStringLiteral("Button1"), QStringLiteral("Zmień"),
                        QStringLiteral(":/dialogs/change.png"), 0);
    Button2 = addButton(QStringLiteral("Button2"), QStringLiteral("Zamknij"), QString(), 1);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);

    QWidget *order[] = {EditD,   Edit[0], Edit[1], Edit[2], Edit[3], Edit[4], Edit[5],
                        Edit[6], Edit[7], Edit[8], Edit[9], DBEdit1, Button1, Button2};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    kw::enterPressesFocusedButton(this);
}

void TForm2::fillFromDayEntry()
{
    shown_.reset();
    if (!hasDayEntry())
        return;
    const kw::ledger::LedgerTables t = ledgerTables();
    // Another program may have written the day since the list read it, within one tick of the
    // file clock: the disk's record is what the user corrects.
    shown_ = kw::ledger::cursorsOf(t).books().day(kw::ledger::currentDay(*t.day));
    if (shown_) {
        EditD->setText(kw::regional::formatGeneral(shown_->ref.day));
        for (std::size_t i = 0; i < Edit.size(); ++i)
            Edit[i]->setText(kw::regional::formatGeneral(shown_->amounts[i]));
        return;
    }
    // Gone from the disk meanwhile: the list shows what is left, and the change will say why.
    const kw::Table &day = *t.day;
    EditD->setText(kw::regional::formatGeneral(kw::ledger::amount(day, kw::ledger::DayRecord.day)));
    for (std::size_t i = 0; i < Edit.size(); ++i)
        Edit[i]->setText(kw::regional::formatGeneral(kw::ledger::amount(day, kw::ledger::Categories[i].day)));
}

void TForm2::Button1Click()
{
    if (anyBoxEmpty()) {
        kw::showMessage(EmptyBoxMessage);
        return;
    }
    if (!hasDayEntry()) {
        kw::showMessage(NoDayEntryMessage);
        return;
    }
    const std::optional<kw::ledger::AmountSet> amounts = convertAmounts(Edit);
    const std::optional<double> dayNumber = amounts ? kw::regional::parseNumber(EditD->text()) : std::nullopt;
    if (!amounts || !dayNumber) {
        endAfterFailedEntry(*main_);
        return;
    }
    // A day that is not in the period's month would be stored as a date that cannot exist,
    // or overflow the three digits of DZIEN.
    const int days = daysInPeriodMonth(*period_);
    const int last = days > 0 ? days : 31;
    if (*dayNumber != std::floor(*dayNumber) || *dayNumber < 1 || *dayNumber > last) {
        kw::showMessage(NoSuchDayMessage);
        return;
    }
    // A refused write has been rolled back; the window stays open so the user can try again.
    if (!bookOrReport([&] {
            kw::ledger::changeEntry(ledgerTables(), *dayNumber, *amounts, shown_ ? &*shown_ : nullptr);
        }))
        return;
    hide();
    main_->refreshLights();
}

void TForm2::Button2Click()
{
    hide();
}
