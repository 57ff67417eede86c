#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "tests/app/WindowFixture.h"

#include <QGroupBox>
#include <QStatusBar>
#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using kwtest::Workspace;

// The add/subtract and change dialogs on real tables: what lands in the day entry and both sums,
// the refusals, and the failure path that ends the program with nothing of the failed step stored.
class EntryDialogsTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<Workspace> w;

    // March 2004 with day 5 holding 100 of income and 40 of food, and day 10 with nothing.
    void prepareMarch()
    {
        w->open(3, "2004");
        w->pickDay(QDate(2004, 3, 5));
        Workspace::typeAmounts(Workspace::add()->Edit, {"100", "0", "0", "0", "40"});
        Workspace::add()->Button1->click();
        w->pickDay(QDate(2004, 3, 10));
        QCOMPARE(w->takeMessages(), QString());
        Workspace::day().first();
    }
    static bool mainWindowClosed() { return !Workspace::main()->isVisible() && !Workspace::day().active(); }

private slots:
    void init()
    {
        w = std::make_unique<Workspace>();
        Workspace::main()->show();
    }
    void cleanup() { w.reset(); }

    void addBooksIntoTheDayAndBothSumsAndResetsTheBoxes()
    {
        prepareMarch();
        TForm3 *f = Workspace::add();
        Workspace::type(f->Edit[0], "10");
        Workspace::type(f->Edit[4], "12,50");
        Workspace::type(f->Edit[1], "1 000,25"); // digit grouping typed with an ordinary space
        f->Button1->click();
        QCOMPARE(w->takeMessages(), QString());
        QCOMPARE(Workspace::value(Workspace::day(), "PRZYCHOD"), 110.0);
        QCOMPARE(Workspace::value(Workspace::day(), "ZYWNOSC"), 52.5);
        QCOMPARE(Workspace::value(Workspace::month(), "SPRZYCH"), 110.0);
        QCOMPARE(Workspace::value(Workspace::year(), "RPRZYCH"), 110.0);
        QCOMPARE(Workspace::value(Workspace::month(), "SKOSZT"), 1000.25);
        QCOMPARE(Workspace::value(Workspace::month(), "DOCHOD"), 110.0 - 1000.25);
        QCOMPARE(Workspace::value(Workspace::year(), "RWYDATKI"), 52.5);
        QCOMPARE(Workspace::value(Workspace::year(), "RROZNICA"), 110.0 - 1000.25 - 52.5);
        for (QLineEdit *e : f->Edit)
            QCOMPARE(e->text(), QStringLiteral("0"));
        for (kw::Table *t : {&Workspace::day(), &Workspace::month(), &Workspace::year()})
            QCOMPARE(t->state(), kw::Table::State::Browse);
        QCOMPARE(Workspace::main()->lightColor(2), QColor(255, 0, 0));
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());

        // A negative amount reverses the operation for its category; subtracting what was added
        // restores every field, and a budget of exactly 0 is lime.
        Workspace::typeAmounts(f->Edit, {"10", "1000,25", "0", "0", "-12,5"});
        f->Button3->click();
        QCOMPARE(Workspace::value(Workspace::day(), "ZYWNOSC"), 65.0);
        Workspace::typeAmounts(f->Edit, {"100", "0", "0", "0", "65"});
        f->Button3->click();
        for (const char *field : {"SPRZYCH", "SKOSZT", "SZYWNOSC", "DOCHOD", "WYDATKI", "ROZNICA"})
            QCOMPARE(Workspace::value(Workspace::month(), field), 0.0);
        QCOMPARE(Workspace::main()->lightColor(2), QColor(0, 255, 0));
        QCOMPARE(Workspace::main()->lightColor(1), QColor(0, 255, 0));
        QCOMPARE(w->takeMessages(), QString());
    }

    void theDialogActsOnTheDayThatIsCurrentAtThePress()
    {
        prepareMarch();
        TForm3 *f = Workspace::add();
        auto *shown = f->findChild<kw::DBText *>("DBText1");
        QCOMPARE(shown->text(), QStringLiteral("5"));
        Workspace::day().moveTo(1); // the user picks day 10 in the list while the dialog stays open
        QCOMPARE(shown->text(), QStringLiteral("10"));
        Workspace::type(f->Edit[3], "7");
        f->Button1->click();
        QCOMPARE(Workspace::value(Workspace::day(), "OPLATY"), 7.0);
        Workspace::day().moveTo(0);
        QCOMPARE(Workspace::value(Workspace::day(), "OPLATY"), 0.0);
        QCOMPARE(Workspace::value(Workspace::month(), "SOPLATY"), 7.0);
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());
    }

    void aTypedRemarkIsStoredByTheNextPostAndIsLimitedToFiftyCharacters()
    {
        prepareMarch();
        TForm3 *f = Workspace::add();
        f->show();
        Workspace::type(f->DBEdit1, "Zakupy na targu");
        QCOMPARE(Workspace::day().state(), kw::Table::State::Edit);
        QCOMPARE(Workspace::month().state(),
                 kw::Table::State::Edit); // the before-edit rule put both sums in edit
        QCOMPARE(Workspace::year().state(), kw::Table::State::Edit);
        f->Button1->click(); // every box "0"
        w->close();
        w->open(3, "2004");
        QCOMPARE(Workspace::day().fieldValue("UWAGI").toString(), QStringLiteral("Zakupy na targu"));

        Workspace::type(f->DBEdit1, QString(60, QLatin1Char('x')));
        QCOMPARE(f->DBEdit1->text().size(), 50);
    }

    void anEmptyBoxStopsAddWithAMessageButEndsTheProgramOnSubtract()
    {
        prepareMarch();
        TForm3 *f = Workspace::add();
        const QByteArray before = w->snapshot();
        Workspace::type(f->Edit[0], "5");
        Workspace::type(f->Edit[6], "");
        f->Button1->click();
        QCOMPARE(w->takeMessages(), kw::dialogs::EmptyBoxMessage);
        QCOMPARE(f->Edit[0]->text(), QStringLiteral("5")); // the texts stay as typed
        QVERIFY(Workspace::day().active());
        QCOMPARE(Workspace::value(Workspace::day(), "PRZYCHOD"), 100.0);

        f->Button3->click();
        QCOMPARE(w->takeMessages(), kw::dialogs::FormatFailureMessage);
        QVERIFY(mainWindowClosed());
        QCOMPARE(w->snapshot(), before);
    }

    void badTextEndsTheProgramWithNothingStored_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("subtract");
        QTest::addColumn<bool>("remark");
        QTest::newRow("blanks, add") << "   " << false << false;
        QTest::newRow("letters, add") << "abc" << false << false;
        QTest::newRow("letters, subtract") << "12zł" << true << false;
        QTest::newRow("no digits, subtract") << "," << true << false;
        QTest::newRow("a pending remark is dropped too") << "x" << false << true;
    }
    void badTextEndsTheProgramWithNothingStored()
    {
        QFETCH(QString, text);
        QFETCH(bool, subtract);
        QFETCH(bool, remark);
        prepareMarch();
        const QByteArray before = w->snapshot();
        TForm3 *f = Workspace::add();
        f->show();
        if (remark)
            Workspace::type(f->DBEdit1, "nie zapisze się");
        Workspace::typeAmounts(f->Edit, {"1", "2", "3", text}); // valid amounts before the bad one
        (subtract ? f->Button3 : f->Button1)->click();
        QCOMPARE(w->texts(), QStringList{kw::dialogs::FormatFailureMessage});
        QVERIFY(mainWindowClosed());
        QCOMPARE(w->snapshot(), before);
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());
    }

    void aFailedPostBetweenTheThreeLeavesNoneOfThemAndTheProgramGoesOn()
    {
        prepareMarch();
        const QByteArray before = w->snapshot();
        // The day entry and the month sum are written, then the year sum cannot be.
        kw::diskio::setFaultInjector([](kw::diskio::Op o, const QString &name) {
            if (o == kw::diskio::Op::Write && name == "Sum.DBF")
                throw kw::EngineError("Sum.DBF: dysk jest pełny");
            return 0;
        });
        TForm3 *f = Workspace::add();
        f->show();
        Workspace::typeAmounts(f->Edit, {"50"});
        f->Button1->click();
        QCOMPARE(w->texts(), QStringList{QStringLiteral("Sum.DBF: dysk jest pełny")});
        QVERIFY(!mainWindowClosed());
        QVERIFY(f->isVisible());
        QCOMPARE(f->Edit[0]->text(), QStringLiteral("50"));
        QCOMPARE(w->snapshot(), before);
        QCOMPARE(QFileInfo(QDir(w->dir()).filePath(kw::Journal::fileName())).size(), 0);
        kw::diskio::setFaultInjector(nullptr);
    }

    // A full disk, a read-only file or an I/O error on any of the three files, or on the journal:
    // the group is rolled back, the message names the file and the cause, the dialog stays open with
    // the texts as typed, and the same press books once the file can be written again.
    void aWriteTheSystemRefusesIsReportedAndCanBeRetried_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("message");
        const int write = int(kw::diskio::Op::Write), flush = int(kw::diskio::Op::Flush);
        QTest::newRow("day table full") << "Wydatki.dbf" << write << ENOSPC
                                        << "Nie można zapisać pliku Wydatki.dbf: brak miejsca na dysku. "
                                           "Nic nie zostało zapisane.";
        QTest::newRow("month sum read-only") << "Suma.dbf" << write << EACCES
                                             << "Nie można zapisać pliku Suma.dbf: brak prawa zapisu. "
                                                "Nic nie zostało zapisane.";
        QTest::newRow("year sum I/O error on flush")
            << "Sum.DBF" << flush << EIO
            << "Nie można zapisać pliku Sum.DBF: błąd odczytu lub zapisu "
               "na dysku. Nic nie zostało zapisane.";
        QTest::newRow("journal on a read-only mount")
            << "Kwotnik.jrn" << write << EROFS
            << "Nie można zapisać pliku Kwotnik.jrn: system plików jest tylko do "
               "odczytu. Nic nie zostało zapisane.";
    }
    void aWriteTheSystemRefusesIsReportedAndCanBeRetried()
    {
        QFETCH(QString, file);
        QFETCH(int, op);
        QFETCH(int, error);
        QFETCH(QString, message);
        prepareMarch();
        const QByteArray before = w->snapshot();
        bool failing = true;
        // The fault strikes once; the rollback that follows finds the disk working again.
        kw::diskio::setFaultInjector([&](kw::diskio::Op o, const QString &name) {
            if (!failing || int(o) != op || name != file)
                return 0;
            failing = false;
            return error;
        });
        TForm3 *f = Workspace::add();
        f->show();
        Workspace::typeAmounts(f->Edit, {"50", "0", "0", "0", "7"});
        f->Button1->click();
        QCOMPARE(w->takeMessages(), message);
        QVERIFY(!mainWindowClosed());
        QVERIFY(f->isVisible());
        QCOMPARE(f->Edit[0]->text(), QStringLiteral("50"));
        QCOMPARE(w->snapshot(), before);
        QCOMPARE(Workspace::value(Workspace::day(), "PRZYCHOD"), 100.0); // the displays show the disk
        for (kw::Table *t : {&Workspace::day(), &Workspace::month(), &Workspace::year()})
            QCOMPARE(t->state(), kw::Table::State::Browse);

        QVERIFY(!failing);
        f->Button1->click();
        kw::diskio::setFaultInjector(nullptr);
        QCOMPARE(w->takeMessages(), QString());
        QCOMPARE(Workspace::value(Workspace::day(), "PRZYCHOD"), 150.0);
        QCOMPARE(Workspace::value(Workspace::year(), "RZYWNOSC"), 47.0);
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());
    }

    void theChangeDialogStaysOpenAfterARefusedWrite()
    {
        prepareMarch();
        const QByteArray before = w->snapshot();
        kw::diskio::setFaultInjector([](kw::diskio::Op o, const QString &name) {
            return o == kw::diskio::Op::Write && name == "Suma.dbf" ? ENOSPC : 0;
        });
        TForm2 *f = Workspace::change();
        f->show();
        f->fillFromDayEntry();
        Workspace::type(f->Edit[0], "80");
        f->Button1->click();
        kw::diskio::setFaultInjector(nullptr);
        QVERIFY(w->takeMessages().startsWith("Nie można zapisać pliku Suma.dbf: brak miejsca na dysku."));
        QVERIFY(f->isVisible());
        QVERIFY(!mainWindowClosed());
        QCOMPARE(w->snapshot(), before);
    }

    void aProcessKilledBetweenThePostsLeavesAllOrNothing()
    {
        prepareMarch();
        w->close();
        const QByteArray before = w->snapshot();
        const pid_t pid = fork();
        if (pid == 0) {
            w->open(3, "2004");
            kw::diskio::setFaultInjector([](kw::diskio::Op o, const QString &name) {
                if (o == kw::diskio::Op::Write && name == "Sum.DBF")
                    raise(SIGKILL);
                return 0;
            });
            Workspace::typeAmounts(Workspace::add()->Edit, {"50", "0", "0", "0", "7"});
            Workspace::add()->Button1->click();
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        QVERIFY2(w->snapshot() != before, "the child wrote the day entry before it was killed");

        w->open(3, "2004"); // opening rolls the unfinished change back
        QCOMPARE(w->snapshot(), before);
        QCOMPARE(Workspace::value(Workspace::day(), "PRZYCHOD"), 100.0);
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());
    }

    void changeReplacesTheAmountsAndMovesTheSumsByTheDifference()
    {
        prepareMarch();
        TForm2 *f = Workspace::change();
        f->show();
        f->fillFromDayEntry();
        QCOMPARE(f->EditD->text(), QStringLiteral("5"));
        QCOMPARE(f->Edit[0]->text(), QStringLiteral("100"));
        const QVariant created = Workspace::day().fieldValue("DATA");

        // Untouched: every amount stays and the window closes.
        f->Button1->click();
        QVERIFY(!f->isVisible());
        QCOMPARE(Workspace::value(Workspace::month(), "SPRZYCH"), 100.0);

        f->show();
        f->fillFromDayEntry();
        Workspace::type(f->Edit[0], "80");
        Workspace::type(f->Edit[7], "2,5");
        f->Button1->click();
        QCOMPARE(w->takeMessages(), QString());
        QCOMPARE(Workspace::value(Workspace::day(), "PRZYCHOD"), 80.0);
        QCOMPARE(Workspace::value(Workspace::month(), "SPRZYCH"), 80.0);
        QCOMPARE(Workspace::value(Workspace::year(), "RPRZYCH"), 80.0);
        QCOMPARE(Workspace::value(Workspace::month(), "DOCHOD"), 80.0);
        QCOMPARE(Workspace::value(Workspace::year(), "RROZRYWKA"), 2.5);
        QCOMPARE(Workspace::value(Workspace::month(), "ROZNICA"), 80.0 - 40.0 - 2.5);

        // Clearing a box is refused; 0 in it takes the old amount out of both sums.
        f->show();
        f->fillFromDayEntry();
        Workspace::type(f->Edit[4], "");
        f->Button1->click();
        QCOMPARE(w->takeMessages(), kw::dialogs::EmptyBoxMessage);
        QVERIFY(f->isVisible());
        QCOMPARE(Workspace::value(Workspace::day(), "ZYWNOSC"), 40.0);
        Workspace::type(f->Edit[4], "0");
        f->Button1->click();
        QCOMPARE(Workspace::value(Workspace::month(), "SZYWNOSC"), 0.0);
        QCOMPARE(Workspace::value(Workspace::year(), "RWYDATKI"), 2.5);

        // A new day number moves the entry in the list; its entry date and period stay.
        f->show();
        f->fillFromDayEntry();
        Workspace::type(f->EditD, "20");
        f->Button1->click();
        Workspace::day().first();
        QCOMPARE(Workspace::value(Workspace::day(), "DZIEN"), 10.0);
        Workspace::day().last();
        QCOMPARE(Workspace::value(Workspace::day(), "DZIEN"), 20.0);
        QCOMPARE(Workspace::value(Workspace::day(), "PRZYCHOD"), 80.0);
        QCOMPARE(Workspace::day().fieldValue("DATA"), created);
        QCOMPARE(Workspace::day().fieldValue("MIESIAC").toString(), QStringLiteral("3"));
        QCOMPARE(Workspace::day().fieldValue("ROK").toString(), QStringLiteral("2004"));
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());
    }

    void changeActsOnTheDayThatIsCurrentAtThePress()
    {
        prepareMarch();
        TForm2 *f = Workspace::change();
        f->show();
        f->fillFromDayEntry(); // filled from day 5
        Workspace::day().moveTo(1);
        f->Button1->click();
        QCOMPARE(Workspace::value(Workspace::day(), "PRZYCHOD"), 100.0); // day 10 took the typed amounts
        QCOMPARE(Workspace::value(Workspace::day(), "DZIEN"), 5.0);
        QCOMPARE(Workspace::value(Workspace::month(), "SPRZYCH"), 200.0);
        Workspace::day().first();
        QCOMPARE(Workspace::value(Workspace::day(), "PRZYCHOD"), 100.0); // day 5 kept its own
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());
    }

    void aDayThatIsNotInThePeriodsMonthIsRefused_data()
    {
        QTest::addColumn<int>("month");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 3 << "0";
        QTest::newRow("negative") << 3 << "-3";
        QTest::newRow("fraction") << 3 << "2,5";
        QTest::newRow("32") << 3 << "32";
        QTest::newRow("31 in April") << 4 << "31";
        QTest::newRow("30 in February of a leap year") << 2 << "30";
        QTest::newRow("1000 would not fit three digits") << 3 << "1000";
    }
    void aDayThatIsNotInThePeriodsMonthIsRefused()
    {
        QFETCH(int, month);
        QFETCH(QString, text);
        w->open(month, "2004");
        w->pickDay(QDate(2004, month, 5));
        const QByteArray before = w->snapshot();
        TForm2 *f = Workspace::change();
        f->show();
        f->fillFromDayEntry();
        Workspace::type(f->Edit[0], "9");
        Workspace::type(f->EditD, text);
        f->Button1->click();
        QCOMPARE(w->takeMessages(), kw::dialogs::NoSuchDayMessage);
        QVERIFY(f->isVisible());
        QCOMPARE(w->snapshot(), before);
        QVERIFY(Workspace::day().active());
        for (kw::Table *t : {&Workspace::day(), &Workspace::month(), &Workspace::year()})
            QCOMPARE(t->state(), kw::Table::State::Browse);
    }

    void aDayBoxTheConversionRejectsEndsTheProgram_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("letters") << "piąty";
    }
    void aDayBoxTheConversionRejectsEndsTheProgram()
    {
        QFETCH(QString, text);
        prepareMarch();
        const QByteArray before = w->snapshot();
        TForm2 *f = Workspace::change();
        f->show();
        f->fillFromDayEntry();
        Workspace::type(f->Edit[0], "1");
        Workspace::type(f->EditD, text);
        f->Button1->click();
        QCOMPARE(w->texts(), QStringList{kw::dialogs::FormatFailureMessage});
        QVERIFY(mainWindowClosed());
        QCOMPARE(w->snapshot(), before);
    }

    void withoutADayEntryTheDialogsRefuseAndWriteNothing()
    {
        // A period that never had a day.
        w->open(6, "2004");
        QCOMPARE(Workspace::main()->commandState(), CommandState::EmptyPeriod);
        const QByteArray before = w->snapshot();
        TForm3 *add = Workspace::add();
        TForm2 *change = Workspace::change();
        add->show();
        QVERIFY2(add->DBEdit1->isReadOnly(), "typing a remark would start a blank day entry");
        QTest::keyClicks(add->DBEdit1, "abc");
        QCOMPARE(Workspace::day().state(), kw::Table::State::Browse);
        Workspace::typeAmounts(add->Edit, {"5"});
        add->Button1->click();
        add->Button3->click();
        change->show();
        change->Button1->click();
        QCOMPARE(w->texts(), QStringList(3, kw::dialogs::NoDayEntryMessage));
        QVERIFY(Workspace::day().isEmpty());
        QCOMPARE(w->snapshot(), before);
        w->takeMessages();

        // The last day of a period deleted while both dialogs stay open.
        w->pickDay(QDate(2004, 6, 1));
        QVERIFY(!add->DBEdit1->isReadOnly());
        Workspace::typeAmounts(add->Edit, {"5"});
        add->Button1->click();
        kw::ledger::deleteDay(Workspace::tables());
        const QByteArray afterDelete = w->snapshot();
        Workspace::typeAmounts(add->Edit, {"5"});
        add->Button1->click();
        change->Button1->click();
        QCOMPARE(w->texts(), QStringList(2, kw::dialogs::NoDayEntryMessage));
        QCOMPARE(w->snapshot(), afterDelete);
        QCOMPARE(w->storedDays(), 0);
        QVERIFY(kw::ledger::verifyLedger(w->dir()).isEmpty());

        // With the tables closed (the open-period command is on) there is no day entry either.
        w->close();
        w->takeMessages();
        add->Button1->click();
        QCOMPARE(w->takeMessages(), kw::dialogs::NoDayEntryMessage);
    }

    void layoutAndTabOrder()
    {
        TForm3 *add = Workspace::add();
        TForm2 *change = Workspace::change();
        prepareMarch(); // something to show in the day box and the remark box
        Workspace::type(add->DBEdit1, QStringLiteral("Zakupy w sklepie"));
        change->fillFromDayEntry();
        QCOMPARE(add->size(), QSize(267, 366));
        QCOMPARE(change->size(), QSize(266, 365));
        QCOMPARE(add->windowTitle(), QStringLiteral("Dodaj / Odejmij"));
        QCOMPARE(change->windowTitle(), QStringLiteral("Zamiana"));
        QCOMPARE(add->findChild<QGroupBox *>("GroupBox1")->title(), QStringLiteral("Dochód "));
        QCOMPARE(add->findChild<QGroupBox *>("GroupBox2")->title(), QStringLiteral("Wydatki "));
        QCOMPARE(add->findChild<QLabel *>("Label9")->text(), QStringLiteral("Śr.czystości :"));
        QVERIFY(!add->Button1->icon().isNull() && !add->Button3->icon().isNull() &&
                !change->Button1->icon().isNull());
        QCOMPARE(add->Button1->icon().availableSizes().value(0), QSize(16, 15));

        const auto tabChain = [](QWidget *from, int n) {
            QStringList names;
            QWidget *x = from;
            for (int i = 0; i < n; ++i) {
                names << x->objectName();
                do
                    x = x->nextInFocusChain();
                while (!(x->focusPolicy() & Qt::TabFocus) || !x->isEnabled());
            }
            return names;
        };
        QCOMPARE(tabChain(add->Edit[0], 15),
                 QStringList({"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6", "Edit7", "Edit8", "Edit9",
                              "Edit10", "DBEdit1", "Button1", "Button2", "Button3", "Edit1"}));
        QCOMPARE(tabChain(change->EditD, 14).join(' '),
                 QStringLiteral("EditD Edit1 Edit2 Edit3 Edit4 Edit5 Edit6 Edit7 Edit8 Edit9 Edit10 DBEdit1 "
                                "Button1 Button2"));

        // Every control lies inside the client area above the status bar, and no two overlap.
        for (QDialog *d : {static_cast<QDialog *>(add), static_cast<QDialog *>(change)}) {
            const QRect client(0, 0, d->width(), d->height() - 20);
            QList<QWidget *> top;
            for (QWidget *c : d->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                if (!qobject_cast<QStatusBar *>(c) && c->objectName().size() && !c->isWindow())
                    top << c;
            for (QWidget *c : top) {
                QVERIFY2(client.contains(c->geometry()), qPrintable(c->objectName()));
                for (QWidget *o : top)
                    QVERIFY2(c == o || !c->geometry().intersects(o->geometry()),
                             qPrintable(c->objectName() + " overlaps " + o->objectName()));
            }
            if (const QByteArray dir = qgetenv("KW_PNG_DIR"); !dir.isEmpty()) {
                d->show();
                d->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(d->objectName() + ".png"));
            }
        }
    }
};

QTEST_MAIN(EntryDialogsTest)
#include "EntryDialogsTest.moc"
