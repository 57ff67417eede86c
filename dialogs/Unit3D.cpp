#include "dialogs/Unit3D.h"
#include "dialogs/EntryDialog.h"
#include "dialogs/Unit3.h"
#include "dialogs/UnitM.h"
#include "framework/Clock.h"
#include "framework/Keys.h"
#include "framework/MainWindowLink.h"
#include "framework/Messages.h"

#include <QCalendarWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCharFormat>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

using namespace kw::dialogs;

TForm3D::TForm3D(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form3D"));
    setWindowTitle(QStringLiteral("Dzień"));
    setFixedSize(228, 267);
    useDialogFont(this);

    Label1 = new QLabel(QStringLiteral("Wybrany dzień :"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 8, 100, 21);
    Edit2 = new QLineEdit(QStringLiteral("0"), this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(112, 8, 33, 21);
    Edit2->setReadOnly(true);
    Edit2->setFocusPolicy(Qt::NoFocus);

    const auto flatButton = [this](const char *name, const char *text, const char *hint, int x) {
        auto *b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(QString::fromUtf8(text));
        b->setToolTip(QString::fromUtf8(hint));
        b->setAutoRaise(true);
        b->setGeometry(x, 36, 23, 22);
        return b;
    };
    SpeedButton1 = flatButton("SpeedButton1", "<<", "Poprzedni miesiąc", 8);
    SpeedButton2 = flatButton("SpeedButton2", ">>", "Następny miesiąc", 197);
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setGeometry(33, 36, 162, 22);

    Calendar1 = new QCalendarWidget(this);
    Calendar1->setObjectName(QStringLiteral("Calendar1"));
    Calendar1->setGeometry(4, 62, 220, 140);
    Calendar1->setFirstDayOfWeek(Qt::Sunday);
    Calendar1->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    // "niedz." must fit a seventh of the width.
    QTextCharFormat header = Calendar1->headerTextFormat();
    QFont small = font();
    small.setPointSize(6);
    header.setFont(small);
    Calendar1->setHeaderTextFormat(header);
    Calendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    // The month buttons and Label2 above stand in for the calendar's own navigation bar.
    Calendar1->setNavigationBarVisible(false);
    Calendar1->setSelectedDate(kw::today());

    Button1 = new QPushButton(QStringLiteral("Dzisiejsza data"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(8, 207, 212, 24);
    Button1->setEnabled(false);
    Button3 = new QPushButton(QStringLiteral("Otwórz"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setGeometry(8, 236, 102, 25);
    Button2 = new QPushButton(QStringLiteral("Anuluj"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(118, 236, 102, 25);
    for (QPushButton *b : {Button1, Button3, Button2})
        b->setAutoDefault(false);

    connect(Calendar1, &QCalendarWidget::selectionChanged, this, &TForm3D::Calendar1Change);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm3D::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm3D::SpeedButton2Click);
    connect(Button1, &QPushButton::clicked, this, &TForm3D::Button1Click);
    connect(Button3, &QPushButton::clicked, this, &TForm3D::Button3Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3D::Button2Click);
    kw::enterPressesFocusedButton(this);
    midnight_ = new QTimer(this);
    midnight_->setObjectName(QStringLiteral("MidnightTimer"));
    midnight_->setSingleShot(true);
    connect(midnight_, &QTimer::timeout, this, &TForm3D::midnightPassed);
    FormCreate();
}

void TForm3D::connectMainWindow(kw::MainWindowLink &main, const TFormM &period, TForm3 &add)
{
    main_ = &main;
    period_ = &period;
    add_ = &add;
}

void TForm3D::FormCreate()
{
    showCalendarDate();
}

void TForm3D::showCalendarDate()
{
    const QDate date = Calendar1->selectedDate();
    Edit2->setText(QString::number(date.day()));
    Label2->setText(Calendar1->locale().toString(date, QStringLiteral("dd  MMMM  yyyy")));
}

void TForm3D::followToday()
{
    Button1->setEnabled(Calendar1->selectedDate() != kw::today());
}

void TForm3D::armMidnight()
{
    // A moment after the clock's next midnight, so the new day has surely begun.
    const QDateTime now = kw::now();
    const QDateTime next(now.date().addDays(1), QTime(0, 0));
    midnight_->start(int(std::clamp<qint64>(now.msecsTo(next), 0, 86'400'000)) + 1000);
}

void TForm3D::midnightPassed()
{
    followToday();
    if (isVisible())
        armMidnight();
}

void TForm3D::Calendar1Change()
{
    showCalendarDate();
    followToday();
}

// Moving by a month keeps the day, or takes the last day of a shorter month.
void TForm3D::SpeedButton1Click()
{
    Calendar1->setSelectedDate(Calendar1->selectedDate().addMonths(-1));
}
void TForm3D::SpeedButton2Click()
{
    Calendar1->setSelectedDate(Calendar1->selectedDate().addMonths(1));
}

void TForm3D::Button1Click()
{
    Calendar1->setSelectedDate(kw::today());
    Button1->setEnabled(false);
}

void TForm3D::Button2Click()
{
    close();
}

void TForm3D::showEvent(QShowEvent *e)
{
    // The program may have run past midnight since the calendar last changed, and may run past
    // the next one while the dialog is open.
    followToday();
    armMidnight();
    QDialog::showEvent(e);
}

void TForm3D::hideEvent(QHideEvent *e)
{
    midnight_->stop();
    QDialog::hideEvent(e);
}

void TForm3D::Button3Click()
{
    kw::runCommand([this] {
        kw::Table &day = *main_->ledgerTables().day;
        const QString dayText = Edit2->text();
        const int dayNumber = dayText.toInt();
        // The day table is filtered to the open period and ordered by day, so its rows answer
        // without a walk; the cursor still ends on the period's last day, where a walk leaves it.
        day.last();
        const QString found = day.hasOrderKey(dayNumber) ? dayText : QString();
        if (found == dayText) {
            kw::showMessage(QStringLiteral("Wpis pod tą datą już istnieje !!!"));
            return;
        }
        // The calendar may show a longer month than the period's: 31 in April is no date at all.
        const int last = daysInPeriodMonth(*period_);
        if (last > 0 && dayNumber > last) {
            kw::showMessage(NoSuchDayMessage);
            return;
        }

        // Stored first: a write that fails is told with this dialog still open, as the other
        // dialogs stay open, and nothing is offered for a day that is not there.
        kw::ledger::addDay(main_->ledgerTables(), dayNumber, period_->monthText(), period_->yearText(),
                           kw::today());
        add_->show();
        close();
        main_->setCommandState(kw::CommandState::PeriodWithDays);
        for (QLineEdit *e : add_->Edit)
            e->setText(QStringLiteral("0"));
    });
}
