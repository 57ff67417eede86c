#include "tests/app/WindowFixture.h"

#include "framework/Clock.h"

#include <QTableView>
#include <QTimer>
#include <QToolButton>

using kwtest::Workspace;

// The new-day dialog: the calendar and its buttons, and what "Otwórz" stores or refuses.
class NewDayTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<Workspace> w;

private slots:
    void init() { w = std::make_unique<Workspace>(); }
    void cleanup()
    {
        w.reset();
        kw::setClock({});
    }

    void theDayNumberComesFromTheCalendarAndThePeriodFromTheMonthDialog()
    {
        w->open(2, "2004");
        QCOMPARE(Workspace::main()->commandState(), CommandState::EmptyPeriod);
        TForm3 *add = Workspace::add();
        Workspace::type(add->Edit[2], "77"); // left over from earlier work

        w->pickDay(QDate(2004, 3, 5));
        QCOMPARE(w->takeMessages(), QString());
        QVERIFY(!Workspace::newDay()->isVisible());
        QVERIFY(add->isVisible());
        for (QLineEdit *e : add->Edit)
            QCOMPARE(e->text(), QStringLiteral("0"));
        QCOMPARE(Workspace::main()->commandState(), CommandState::PeriodWithDays);

        kw::Table &day = Workspace::day();
        QCOMPARE(day.recordCount(), 1);
        QCOMPARE(day.fieldValue("DZIEN").toInt(), 5);
        QCOMPARE(day.fieldValue("MIESIAC").toString(), QStringLiteral("2"));
        QCOMPARE(day.fieldValue("ROK").toString(), QStringLiteral("2004"));
        QCOMPARE(day.fieldValue("DATA").toDate(), QDate::currentDate());
        QCOMPARE(day.fieldValue("UWAGI").toString(), QString());
        for (const auto &c : kw::ledger::Categories)
            QCOMPARE(day.fieldValue(c.day).toDouble(), 0.0);
        for (kw::Table *t : {&day, &Workspace::month(), &Workspace::year()})
            QCOMPARE(t->state(), kw::Table::State::Browse);
        QCOMPARE(add->findChild<kw::DBText *>("DBText1")->text(), QStringLiteral("5"));
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());
    }

    void aDayThePeriodHasIsRefusedAndTheSameDayOfAnotherMonthIsNot()
    {
        w->open(3, "2004");
        w->pickDay(QDate(2004, 3, 12));
        w->pickDay(QDate(2004, 3, 3));
        w->pickDay(QDate(2004, 3, 20));
        QCOMPARE(w->takeMessages(), QString());
        const QByteArray before = w->snapshot();
        Workspace::add()->hide();

        Workspace::day().first();
        w->pickDay(QDate(2004, 1, 12)); // the same number from another month of the calendar
        QCOMPARE(w->takeMessages(), QStringLiteral("Wpis pod tą datą już istnieje !!!"));
        // The check leaves the day list on the period's last day, as walking the days did.
        QCOMPARE(Workspace::day().recNo(), 2);
        QCOMPARE(Workspace::day().fieldValue("DZIEN").toInt(), 20);
        QVERIFY(Workspace::day().eof());
        Workspace::render(Workspace::main(), QStringLiteral("main-day-refused"));
        QVERIFY(Workspace::newDay()->isVisible());
        QCOMPARE(Workspace::newDay()->Calendar1->selectedDate(),
                 QDate(2004, 1, 12)); // the date stays for another try
        QVERIFY(!Workspace::add()->isVisible());
        QCOMPARE(w->snapshot(), before);

        // The days take their places in the list by number.
        QList<int> days;
        for (Workspace::day().first(); !Workspace::day().eof(); Workspace::day().next())
            days << Workspace::day().fieldValue("DZIEN").toInt();
        QCOMPARE(days, QList<int>({3, 12, 20}));

        w->open(4, "2004");
        w->pickDay(QDate(2004, 3, 12));
        QCOMPARE(w->takeMessages(), QString());
        QCOMPARE(Workspace::day().fieldValue("MIESIAC").toString(), QStringLiteral("4"));
        QCOMPARE(w->storedDays(), 4);
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());
    }

    void aDayTheMonthDoesNotHaveIsRefused_data()
    {
        QTest::addColumn<int>("month");
        QTest::addColumn<QString>("year");
        QTest::addColumn<QDate>("picked");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("31 for April") << 4 << "2005" << QDate(2005, 3, 31) << false;
        QTest::newRow("30 for February") << 2 << "2004" << QDate(2004, 1, 30) << false;
        QTest::newRow("29 for February of a leap year") << 2 << "2004" << QDate(2005, 1, 29) << true;
        QTest::newRow("29 for February of another year") << 2 << "2005" << QDate(2004, 2, 29) << false;
        QTest::newRow("29 for February 2000") << 2 << "2000" << QDate(2005, 1, 29) << true;
        QTest::newRow("29 for February 1900") << 2 << "1900" << QDate(2005, 1, 29) << false;
        QTest::newRow("31 for January") << 1 << "2005" << QDate(2005, 3, 31) << true;
    }
    void aDayTheMonthDoesNotHaveIsRefused()
    {
        QFETCH(int, month);
        QFETCH(QString, year);
        QFETCH(QDate, picked);
        QFETCH(bool, accepted);
        w->open(month, year);
        const QByteArray before = w->snapshot();
        w->pickDay(picked);
        if (accepted) {
            QCOMPARE(w->takeMessages(), QString());
            QCOMPARE(w->storedDays(), 1);
            return;
        }
        QCOMPARE(w->takeMessages(), kw::dialogs::NoSuchDayMessage);
        QVERIFY(Workspace::newDay()->isVisible());
        QVERIFY(!Workspace::add()->isVisible());
        QCOMPARE(w->snapshot(), before);
        QCOMPARE(Workspace::main()->commandState(), CommandState::EmptyPeriod);
    }

    void withNoPeriodOpenTheEnginesMessageIsShownAndTheDialogStays()
    {
        TForm3D *d = Workspace::newDay();
        d->show();
        d->Button3->click();
        QCOMPARE(w->takeMessages(), QStringLiteral("Cannot perform this operation on a closed dataset"));
        QVERIFY(d->isVisible());
        QCOMPARE(w->storedDays(), 0);
    }

    void aPendingRemarkIsPostedBeforeTheNewDay()
    {
        w->open(3, "2004");
        w->pickDay(QDate(2004, 3, 8));
        Workspace::type(Workspace::add()->DBEdit1, "bilet");
        w->pickDay(QDate(2004, 3, 9));
        w->close();
        w->open(3, "2004");
        QCOMPARE(Workspace::day().fieldValue("UWAGI").toString(), QStringLiteral("bilet"));
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());
    }

    void theCalendarAndItsButtons()
    {
        TForm3D *d = Workspace::newDay();
        QCOMPARE(d->size(), QSize(228, 267));
        QCOMPARE(d->windowTitle(), QStringLiteral("Dzień"));
        QCOMPARE(d->Calendar1->selectedDate(), QDate::currentDate());
        QCOMPARE(d->Edit2->text(), QString::number(QDate::currentDate().day()));
        QVERIFY(d->Edit2->isReadOnly());
        QVERIFY(!(d->Edit2->focusPolicy() & Qt::TabFocus));
        QVERIFY(!d->Button1->isEnabled());
        QCOMPARE(d->Calendar1->firstDayOfWeek(), Qt::Sunday);
        QCOMPARE(d->SpeedButton1->toolTip(), QStringLiteral("Poprzedni miesiąc"));
        QCOMPARE(d->SpeedButton2->toolTip(), QStringLiteral("Następny miesiąc"));

        // The header row holds the locale's short day names, Sunday first.
        auto *grid = d->Calendar1->findChild<QTableView *>();
        QVERIFY(grid);
        const QLocale pl = d->Calendar1->locale();
        QCOMPARE(grid->model()->index(0, 0).data().toString(), pl.dayName(7, QLocale::ShortFormat));
        QCOMPARE(grid->model()->index(0, 1).data().toString(), pl.dayName(1, QLocale::ShortFormat));

        d->Calendar1->setSelectedDate(QDate(2004, 3, 5));
        QCOMPARE(d->Edit2->text(), QStringLiteral("5"));
        QCOMPARE(d->Label2->text(), QStringLiteral("05  %1  2004").arg(pl.monthName(3, QLocale::LongFormat)));
        QVERIFY(d->Button1->isEnabled());
        d->Button1->click();
        QCOMPARE(d->Calendar1->selectedDate(), QDate::currentDate());
        QVERIFY(!d->Button1->isEnabled());
        d->SpeedButton1->click();
        QVERIFY(d->Button1->isEnabled());
        d->SpeedButton2->click();
        QVERIFY2(!d->Button1->isEnabled() || QDate::currentDate().day() > 28, "back on today");

        const auto step = [d](QDate from, QToolButton *button) {
            d->Calendar1->setSelectedDate(from);
            button->click();
            return d->Calendar1->selectedDate();
        };
        QCOMPARE(step(QDate(2004, 1, 31), d->SpeedButton2), QDate(2004, 2, 29));
        QCOMPARE(step(QDate(2005, 1, 31), d->SpeedButton2), QDate(2005, 2, 28));
        QCOMPARE(step(QDate(2004, 3, 31), d->SpeedButton1), QDate(2004, 2, 29));
        QCOMPARE(step(QDate(2004, 12, 15), d->SpeedButton2), QDate(2005, 1, 15));
        QCOMPARE(d->Edit2->text(), QStringLiteral("15"));

        // "Anuluj" and the close box only hide it; the date is kept for the next showing.
        d->show();
        d->Button2->click();
        QVERIFY(!d->isVisible());
        d->show();
        d->close();
        QVERIFY(!d->isVisible());
        QCOMPARE(d->Calendar1->selectedDate(), QDate(2005, 1, 15));
        QCOMPARE(w->storedDays(), 0);

        if (const QByteArray dir = qgetenv("KW_PNG_DIR"); !dir.isEmpty()) {
            d->Calendar1->setSelectedDate(QDate(2004, 3, 5));
            d->show();
            d->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("Form3D.png")));
        }
    }

    // The dialog left open over midnight: "Dzisiejsza data" wakes up for the new day, and a day
    // created then carries the new date.
    void todayIsCheckedAgainAfterMidnight()
    {
        QDateTime clock(QDate(2004, 3, 5), QTime(23, 59, 30));
        kw::setClock([&] { return clock; });
        w->open(3, "2004");
        TForm3D *d = Workspace::newDay();
        d->Calendar1->setSelectedDate(QDate(2004, 3, 5));
        d->show();
        QVERIFY(!d->Button1->isEnabled());
        auto *midnight = d->findChild<QTimer *>(QStringLiteral("MidnightTimer"));
        QVERIFY(midnight && midnight->isActive());
        QVERIFY2(midnight->interval() >= 30'000 && midnight->interval() <= 32'000,
                 qPrintable(QString::number(midnight->interval())));

        clock = QDateTime(QDate(2004, 3, 6), QTime(0, 0, 1));
        d->midnightPassed();
        QVERIFY(d->Button1->isEnabled());
        QVERIFY(midnight->isActive());
        QVERIFY(midnight->interval() > 86'000'000);
        d->Button1->click();
        QCOMPARE(d->Calendar1->selectedDate(), QDate(2004, 3, 6));
        QVERIFY(!d->Button1->isEnabled());
        d->Button3->click();
        QCOMPARE(Workspace::day().fieldValue("DZIEN").toInt(), 6);
        QCOMPARE(Workspace::day().fieldValue("DATA").toDate(), QDate(2004, 3, 6));
        // Hidden, it waits for nothing; shown again on a later day, it looks at once.
        QVERIFY(!d->isVisible());
        QVERIFY(!midnight->isActive());
        clock = QDateTime(QDate(2004, 3, 9), QTime(8, 0));
        d->show();
        QVERIFY(d->Button1->isEnabled());
    }
};

QTEST_MAIN(NewDayTest)
#include "NewDayTest.moc"
