#include "app/Forms.h"
#include "app/Startup.h"
#include "app/Unit1.h"
#include "app/Unit2S.h"
#include "app/Unit4R.h"
#include "framework/Messages.h"
#include "ledger/Backup.h"
#include "ledger/Booking.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <atomic>

// The copy of the data that the program makes when it starts: in the background, once the main
// window is up, followed in the status bar.
class BackupStartupTest : public QObject
{
    Q_OBJECT
    QString previous_;
    QStringList messages_;
    QStringList panelTexts_; // what the status bar's copy panel said, in order
    bool windowUpBeforeCopy_ = false;

    static QLabel *panel()
    {
        return kw::forms().form1() ? kw::forms().form1()->findChild<QLabel *>(QStringLiteral("BackupPanel"))
                                   : nullptr;
    }

    // With KW_RENDER_DIR set, saves the main window with its status bar, for a person to review.
    static void render(const QString &name)
    {
        const QString dir = qEnvironmentVariable("KW_RENDER_DIR");
        if (!dir.isEmpty())
            kw::forms().form1()->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
    }

    // One whole run of the program in the directory, ended once the copy has ended.
    int runOnce(const QString &dir)
    {
        QDir::setCurrent(dir);
        panelTexts_.clear();
        windowUpBeforeCopy_ = false;
        // Start-up itself runs events (the splash is painted), so wait for the main window.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, qApp, [this] {
            QLabel *p = panel();
            if (!p || !kw::forms().form1()->isVisible())
                return;
            if (panelTexts_.isEmpty() || panelTexts_.last() != p->text()) {
                if (panelTexts_.isEmpty())
                    windowUpBeforeCopy_ = p->text().contains(QStringLiteral("w toku"));
                panelTexts_ << p->text();
                render(QStringLiteral("main-backup-%1").arg(panelTexts_.size()));
            }
            if (!p->text().contains(QStringLiteral("w toku")) || p->isHidden())
                QCoreApplication::quit();
        });
        poll.start(1);
        return kw::runProgram(*qApp);
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        previous_ = QDir::currentPath();
        messages_.clear();
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            messages_ << r.text;
            return int(kw::Ok);
        });
    }
    void cleanup()
    {
        QDir::setCurrent(previous_);
        kw::setMessageHandler(nullptr);
    }

    void aCopyIsMadeAtStartOnlyWhenTheTablesChanged()
    {
        QTemporaryDir dir;
        kw::ledger::createEmptyTables(dir.path());
        QCOMPARE(runOnce(dir.path()), 0);
        QCOMPARE(kw::backup::copies(dir.path()).size(), 1);
        QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join('\n')));
        QVERIFY2(windowUpBeforeCopy_, "the main window is up while the copy runs");
        QCOMPARE(panelTexts_.last(), QStringLiteral("Kopia zapasowa zrobiona"));
        QVERIFY(panel() == nullptr); // the windows are gone again
        QCOMPARE(runOnce(dir.path()), 0);
        QCOMPARE(kw::backup::copies(dir.path()).size(), 1);
        QCOMPARE(panelTexts_.last(), QStringLiteral("Kopia zapasowa aktualna"));
    }

    // The copy is taken once the windows are up, after the start dealt with a journal left by an
    // unfinished change: it holds the tables as the program will work on them.
    void theCopyIsTakenAfterTheStartDealtWithAnUnfinishedChange()
    {
        QTemporaryDir dir;
        kw::ledger::createEmptyTables(dir.path());
        const QString journal = QDir(dir.path()).filePath(QStringLiteral("Kwotnik.jrn"));
        QFile f(journal);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("KWJRNL01");
        f.close();
        QCOMPARE(runOnce(dir.path()), 0);
        QVERIFY2(QFileInfo(journal).size() == 0, "the start dealt with the journal");
        const QStringList copies = kw::backup::copies(dir.path());
        QCOMPARE(copies.size(), 1);
        const QDir copy(QDir(dir.path()).filePath(kw::backup::FolderName + QLatin1Char('/') + copies[0]));
        QCOMPARE(copy.entryList(QDir::Files, QDir::Name),
                 (QStringList{"Sum.DBF.zst", "Suma.dbf.zst", "Wydatki.dbf.zst", "kopia.lst"}));
    }

    // The program stays usable while the copy runs: a period opens and a day is booked meanwhile,
    // and the copy holds the tables from before the booking or after it, never half of it.
    void theProgramIsUsableWhileTheCopyRuns()
    {
        QTemporaryDir dir;
        kw::ledger::createEmptyTables(dir.path());
        QDir::setCurrent(dir.path());
        bool booked = false;
        std::atomic<bool> copying{false};
        kw::backup::setCopyObserver([&](int attempt, const QString &file) {
            // Slow enough for the window to work beside it the first time round.
            if (attempt == 1 && file == kw::ledger::DayFile) {
                copying = true;
                QThread::msleep(300);
            }
        });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, qApp, [&] {
            QLabel *p = panel();
            if (!p || !kw::forms().form1()->isVisible())
                return;
            if (!booked && copying && p->text().contains(QStringLiteral("w toku"))) {
                booked = true;
                kw::ledger::LedgerTables t{kw::forms().form1()->Table1, kw::forms().form2S()->TableS,
                                           kw::forms().form4R()->Table4R};
                // The period the month and year dialog starts on.
                const QDate today = QDate::currentDate();
                const QString month = QString::number(today.month()), year = QString::number(today.year());
                kw::ledger::openPeriod(t, month, year);
                kw::ledger::addDay(t, 1, month, year, QDate(today.year(), today.month(), 1));
                kw::ledger::closePeriod(t);
            }
            if (!p->text().contains(QStringLiteral("w toku")))
                QCoreApplication::quit();
        });
        poll.start(1);
        QCOMPARE(kw::runProgram(*qApp), 0);
        kw::backup::setCopyObserver(nullptr);
        QVERIFY(booked);
        const QStringList copies = kw::backup::copies(dir.path());
        QCOMPARE(copies.size(), 1);
        QVERIFY2(kw::ledger::verifyLedger(dir.path()).isEmpty(), "the booking landed");
        QTemporaryDir unpacked;
        const QDir copy(QDir(dir.path()).filePath(kw::backup::FolderName + QLatin1Char('/') + copies[0]));
        for (const QString &t : {kw::ledger::DayFile, kw::ledger::MonthFile, kw::ledger::YearFile}) {
            QProcess zstd;
            zstd.start(QStringLiteral("zstd"),
                       {"-d", "-q", copy.filePath(t + ".zst"), "-o", unpacked.filePath(t)});
            QVERIFY(zstd.waitForFinished(30000) && zstd.exitCode() == 0);
        }
        const QStringList problems = kw::ledger::verifyLedger(unpacked.path());
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    }

    // The copy begins a moment after the window shows, so that it does not slow the start; a run
    // ended before that moment still leaves its copy.
    void aRunEndedBeforeTheCopyBeganStillLeavesIt()
    {
        QTemporaryDir dir;
        kw::ledger::createEmptyTables(dir.path());
        QDir::setCurrent(dir.path());
        bool copyAtFirstSight = true;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, qApp, [&] {
            if (!panel() || !kw::forms().form1()->isVisible())
                return;
            copyAtFirstSight = !kw::backup::copies(dir.path()).isEmpty();
            QCoreApplication::quit();
        });
        poll.start(1);
        QCOMPARE(kw::runProgram(*qApp), 0);
        QVERIFY2(!copyAtFirstSight, "the copy waits for the window");
        QCOMPARE(kw::backup::copies(dir.path()).size(), 1);
        QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join('\n')));
    }

    void aCopyThatFailsIsToldAndTheProgramStillRuns()
    {
        QTemporaryDir dir;
        kw::ledger::createEmptyTables(dir.path());
        QFile blocker(QDir(dir.path()).filePath(kw::backup::FolderName));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QCOMPARE(runOnce(dir.path()), 0);
        QCOMPARE(panelTexts_.last(), QStringLiteral("Kopia zapasowa nie powiodła się"));
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].contains(QDir::toNativeSeparators(blocker.fileName())),
                 qPrintable(messages_[0]));
        QVERIFY2(messages_[0].startsWith(QStringLiteral("Nie można zrobić kopii zapasowej")),
                 qPrintable(messages_[0]));
    }
};

QTEST_MAIN(BackupStartupTest)
#include "BackupStartupTest.moc"
