#include "app/Startup.h"
#include "app/Forms.h"
#include "app/Unit1.h"
#include "app/Unit2S.h"
#include "app/Unit4R.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit3D.h"
#include "dialogs/UnitM.h"
#include "framework/Messages.h"
#include "ledger/Booking.h"
#include "ledger/LedgerSchema.h"
#include "ledger/WorkLock.h"
#include "reports/UnitR1.h"
#include "reports/UnitR2.h"
#include "reports/UnitR3.h"
#include "tools/calculators/UnitKalk.h"
#include "tools/help/UnitA.h"
#include "tools/help/UnitLogo.h"
#include "tools/notepad/UnitNotatnik.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// Start-up and shutdown on a real working directory.
class StartupTest : public QObject
{
    Q_OBJECT
    QTemporaryDir dir_;
    QString previous_;
    QStringList messages_;

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        previous_ = QDir::currentPath();
        kw::ledger::createEmptyTables(dir_.path());
        QDir::setCurrent(dir_.path());
        messages_.clear();
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            messages_ << r.text;
            return int(kw::Ok);
        });
    }
    void cleanup()
    {
        kw::destroyForms();
        QDir::setCurrent(previous_);
        for (const QString &f : QDir(dir_.path()).entryList(QDir::Files))
            QFile::remove(QDir(dir_.path()).filePath(f));
        kw::setMessageHandler(nullptr);
    }

    void windowsAreCreatedOnceInOrderWithTheMainWindowFirst()
    {
        QStringList order;
        kw::createForms([&](const char *name) { order << QString::fromLatin1(name); });
        const QStringList expected{"TForm1", "TForm2S",   "TForm3D",      "TFormM",  "TForm4R",
                                   "TForm2", "TForm3",    "TFormR1",      "TFormR2", "TFormR3",
                                   "TFormA", "TFormKalk", "TFormNotatnik"};
        QCOMPARE(order, expected);
        const kw::Forms &f = kw::forms();
        QCOMPARE(f.form1()->windowTitle(), QStringLiteral("Kwotnik 2.1"));
        QVERIFY(!f.form1()->Table1->active());
        QVERIFY(!f.form2S()->TableS->active());
        QVERIFY2(f.formR3()->Table1->active(), "the multi-year statement's table is open from the start");
        QCOMPARE(f.form1()->commandState(), CommandState::NoPeriod);
        // The month and year dialog holds the current month and year from start-up on.
        QCOMPARE(f.formM()->monthText(), QString::number(QDate::currentDate().month()));
        QCOMPARE(f.formM()->yearText(), QString::number(QDate::currentDate().year()));
    }

    // The registry lets the windows go the last created first, each slot empty before its window
    // goes; a failed start leaves nothing behind, and the windows can be created again.
    void windowsGoInReverseOrderOfCreation()
    {
        QStringList created;
        kw::createForms([&](const char *name) { created << QString::fromLatin1(name); });
        QVERIFY(kw::forms().created());
        QStringList gone;
        for (QWidget *w : std::initializer_list<QWidget *>{
                 kw::forms().form1(), kw::forms().form2S(), kw::forms().form3D(), kw::forms().formM(),
                 kw::forms().form4R(), kw::forms().form2(), kw::forms().form3(), kw::forms().formR1(),
                 kw::forms().formR2(), kw::forms().formR3(), kw::forms().formA(), kw::forms().formKalk(),
                 kw::forms().formNotatnik()}) {
            const QString name = QString::fromLatin1(w->metaObject()->className());
            connect(w, &QObject::destroyed, this, [&gone, name] { gone << name; });
        }
        kw::destroyForms();
        QStringList reversed(created.rbegin(), created.rend());
        QCOMPARE(gone, reversed);
        QVERIFY(!kw::forms().created());
        QVERIFY(!kw::forms().form1() && !kw::forms().formM() && !kw::forms().formNotatnik());

        kw::createForms();
        QVERIFY(kw::forms().created());
        QCOMPARE(kw::forms().form1()->commandState(), CommandState::NoPeriod);
    }

    void theSplashIsPaintedBeforeTheFirstWindowAndGoneBeforeTheMainWindowShows()
    {
        const auto splash = [] {
            TFormLogo *found = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *logo = qobject_cast<TFormLogo *>(w))
                    found = logo;
            return found;
        };
        QStringList seen;
        bool mainVisibleWhileSplash = true;
        QCOMPARE(kw::startProgram(*qApp,
                                  [&](const char *name) {
                                      TFormLogo *logo = splash();
                                      if (name == QLatin1String("TForm1"))
                                          seen << (logo && logo->isVisible() && logo->isPainted()
                                                       ? "splash painted"
                                                       : "no splash");
                                      if (name == QLatin1String("TFormNotatnik"))
                                          mainVisibleWhileSplash = kw::forms().form1()->isVisible();
                                  }),
                 0);
        QCOMPARE(seen, QStringList{"splash painted"});
        QVERIFY2(!mainVisibleWhileSplash, "no working window shows while the splash is up");
        QVERIFY2(!splash(), "the splash is destroyed before the loop starts");
        QVERIFY(kw::forms().form1()->isVisible());
    }

    void mainWindowShowsTheDateAndStartsItsClock()
    {
        kw::createForms();
        TForm1 *main = kw::forms().form1();
        QCOMPARE(main->DatePanel->text(), QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
        QVERIFY(main->Panel1->text().isEmpty());
        QCOMPARE(main->Timer1->interval(), 1000);
        QVERIFY(main->Timer1->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(!main->Panel1->text().isEmpty(), 2500);
        QVERIFY(main->Panel1->text().contains(QRegularExpression("^\\d{1,2}:\\d{2}:\\d{2}")));
    }

    void aMissingYearTableEndsTheStartUpWithTheEnginesMessage()
    {
        QFile::remove(QDir(dir_.path()).filePath("Sum.DBF"));
        const int code = kw::runProgram(*qApp);
        QVERIFY(code != 0);
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].contains("Sum.DBF"), qPrintable(messages_[0]));
        QVERIFY2(!kw::forms().form1() && !kw::forms().form2S() && !kw::forms().created(),
                 "no window is left");
    }

    void aSecondCopyOnTheSameDirectoryIsToldAndWritesNothing()
    {
        kw::WorkLock first;
        QVERIFY(first.acquire(dir_.path()));
        const auto snapshot = [&] {
            QByteArray all;
            for (const QString &f : QDir(dir_.path()).entryList(QDir::Files)) {
                QFile file(QDir(dir_.path()).filePath(f));
                file.open(QIODevice::ReadOnly);
                all += f.toUtf8() + file.readAll();
            }
            return all;
        };
        const QByteArray before = snapshot();
        QCOMPARE(kw::runProgram(*qApp), 2);
        QCOMPARE(messages_, QStringList{QStringLiteral("Dane są już otwarte w innym oknie programu.")});
        QCOMPARE(snapshot(), before);
    }

    // A journal that does not check is set aside at start: the program starts, and the user reads
    // why and what the ledger check found before any window exists to write a table.
    void aDamagedJournalIsSetAsideAtStartAndToldBeforeAnythingIsWritten()
    {
        const QDir dir(dir_.path());
        QFile journal(dir.filePath(QStringLiteral("Kwotnik.jrn")));
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write("KWJRNL02\x01\x00\x00\x00 to nie jest dziennik");
        journal.close();
        const auto tables = [&] {
            QByteArray all;
            for (const char *name : {"Wydatki.dbf", "Suma.dbf", "Sum.DBF"}) {
                QFile f(dir.filePath(QString::fromLatin1(name)));
                f.open(QIODevice::ReadOnly);
                all += f.readAll();
            }
            return all;
        };
        const QByteArray before = tables();
        bool toldFirst = false;
        kw::setMessageHandler([&](const kw::MessageRequest &r) {
            messages_ << r.text;
            if (r.text.contains(QStringLiteral("Kwotnik.jrn")))
                toldFirst = !kw::forms().form1() && tables() == before;
            return int(kw::Ok);
        });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, qApp, [] {
            if (kw::forms().form1() && kw::forms().form1()->isVisible())
                QCoreApplication::quit();
        });
        poll.start(10);
        QCOMPARE(kw::runProgram(*qApp), 0);
        const QStringList told = messages_.filter(QStringLiteral("Kwotnik.jrn"));
        QCOMPARE(told.size(), 1);
        QVERIFY2(toldFirst, "the message came before the windows");
        QVERIFY2(told[0].contains(QStringLiteral("uszkodzony")), qPrintable(told[0]));
        QVERIFY2(told[0].contains(QStringLiteral("Sprawdzenie tabel nie wykazało różnic")),
                 qPrintable(told[0]));
        QVERIFY(!journal.exists());
        QCOMPARE(dir.entryList({QStringLiteral("Kwotnik-odlozony-*.jrn")}, QDir::Files).size(), 1);
        QCOMPARE(tables(), before);
    }

    void closingWithNoPeriodIsSafeAndClosingWithAPendingRemarkSavesIt()
    {
        kw::createForms();
        TForm1 *main = kw::forms().form1();
        main->close(); // no period open: nothing to close
        QVERIFY(messages_.isEmpty());

        const kw::ledger::LedgerTables t{main->Table1, kw::forms().form2S()->TableS,
                                         kw::forms().form4R()->Table4R};
        kw::forms().formM()->Edit1->setText("2004");
        kw::forms().formM()->RadioButtonClick(3);
        kw::ledger::openPeriod(t, "3", "2004");
        kw::ledger::addDay(t, 5, "3", "2004", QDate::currentDate());
        main->Table1->edit();
        main->Table1->setFieldValue("UWAGI", QStringLiteral("Nie zgubić"));
        main->close();
        QVERIFY(!main->Table1->active());
        QVERIFY(!kw::forms().form2S()->TableS->active());
        kw::ledger::openPeriod(t, "3", "2004");
        QCOMPARE(main->Table1->fieldValue("UWAGI").toString(), QStringLiteral("Nie zgubić"));
        QCOMPARE(kw::forms().form2S()->TableS->state(), kw::Table::State::Browse);
        QVERIFY(messages_.isEmpty());
    }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
