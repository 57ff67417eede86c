#include "app/Forms.h"
#include "app/Startup.h"
#include "app/Unit1.h"
#include "framework/Messages.h"
#include "ledger/Backup.h"
#include "ledger/LedgerSchema.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// The copy of the tables that the program makes when it starts.
class BackupStartupTest : public QObject
{
    Q_OBJECT
    QString previous_;
    QStringList messages_;

    // One whole run of the program in the directory, ended as soon as its message loop runs.
    int runOnce(const QString &dir)
    {
        QDir::setCurrent(dir);
        // Start-up itself runs events (the splash is painted), so wait for the main window.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, qApp, [] {
            if (kw::forms().form1() && kw::forms().form1()->isVisible())
                QCoreApplication::quit();
        });
        poll.start(10);
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
        QCOMPARE(runOnce(dir.path()), 0);
        QCOMPARE(kw::backup::copies(dir.path()).size(), 1);
    }

    // The copy is the first thing a start does: a journal waiting from an unfinished change is in
    // the copy, although creating the windows rolls it back.
    void theCopyIsTakenBeforeAnUnfinishedChangeIsRolledBack()
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
        QFile copied(QDir(dir.path())
                         .filePath(kw::backup::FolderName + QLatin1Char('/') + copies[0] + "/Kwotnik.jrn"));
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("KWJRNL01"));
    }

    void aCopyThatFailsIsToldAndTheProgramStillRuns()
    {
        QTemporaryDir dir;
        kw::ledger::createEmptyTables(dir.path());
        QFile blocker(QDir(dir.path()).filePath(kw::backup::FolderName));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QCOMPARE(runOnce(dir.path()), 0);
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].contains(QDir::toNativeSeparators(blocker.fileName())),
                 qPrintable(messages_[0]));
        QVERIFY2(messages_[0].startsWith(QStringLiteral("Nie można zrobić kopii zapasowej")),
                 qPrintable(messages_[0]));
    }
};

QTEST_MAIN(BackupStartupTest)
#include "BackupStartupTest.moc"
