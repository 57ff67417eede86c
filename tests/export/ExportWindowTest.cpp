// The window "Eksport" driven as a user drives it, with the file dialog and the message boxes
// answered through their seams: it opens on the program's period, writes the format the name asks
// for, asks before replacing a file, refuses what it must not write, and opens its help topic.
#include "export/ExportWindow.h"
#include "framework/FileDialogs.h"
#include "framework/Messages.h"
#include "ledger/Books.h"
#include "ledger/LedgerSchema.h"
#include "tools/help/HelpViewer.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace kw::ledger;
using kw::sheets::ExportWindow;

class ExportWindowTest : public QObject
{
    Q_OBJECT

    QTemporaryDir data_, out_;
    std::unique_ptr<Books> books_;
    std::unique_ptr<ExportWindow> window_;
    QList<kw::MessageRequest> messages_;
    int answer_ = kw::Yes;
    QList<kw::FileDialogRequest> dialogs_;
    kw::FileDialogAnswer file_;

    QString out(const QString &name) const { return QDir(out_.path()).filePath(name); }
    static QByteArray bytes(const QString &path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    // Answers the save dialog with this file and the file type at `filter`.
    void choose(const QString &path, int filter = 0)
    {
        file_.accepted = true;
        file_.path = path;
        file_.filterIndex = filter;
    }
    QString summary() const { return window_->summary->text(); }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        createEmptyTables(data_.path());
        books_ = std::make_unique<Books>(data_.path());
        for (const Period &p : {Period::of(3, 2024), Period::of(4, 2024), Period::of(12, 2023)}) {
            books_->openPeriod(p);
            for (int d : {1, 2})
                books_->add(books_->newDay(p, d, QDate(p.yearNumber(), p.monthNumber(), d)),
                            Amounts{10.5, 0, 0, 2.25}, Sign::Add);
        }
        kw::setMessageHandler([this](const kw::MessageRequest &r) {
            messages_.append(r);
            return r.buttons & kw::Yes ? answer_ : int(kw::Ok);
        });
        kw::setFileDialogHandler([this](const kw::FileDialogRequest &r) {
            dialogs_.append(r);
            return file_;
        });
        window_ = std::make_unique<ExportWindow>(*books_);
    }

    void init()
    {
        messages_.clear();
        dialogs_.clear();
        answer_ = kw::Yes;
        file_ = {};
    }

    void cleanupTestCase()
    {
        window_.reset();
        kw::help::destroyViewer();
        kw::setMessageHandler(nullptr);
        kw::setFileDialogHandler(nullptr);
    }

    void opensOnTheProgramsPeriodWithTheBooksYears()
    {
        window_->showFor(Period::of(4, 2024));
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QCOMPARE(window_->objectName(), QStringLiteral("Eksport"));
        QVERIFY(window_->monthButton->isChecked());
        QCOMPARE(window_->monthBox->currentText(), QStringLiteral("kwiecień"));
        QCOMPARE(window_->yearBox->currentText(), QStringLiteral("2024"));
        QCOMPARE(window_->yearBox->count(), 2);
        QCOMPARE(window_->yearBox->itemText(0), QStringLiteral("2023"));
        QVERIFY(summary().contains(QStringLiteral("kwiecień 2024")));
        if (const QString dir = qEnvironmentVariable("KW_RENDER_DIR"); !dir.isEmpty())
            window_->grab().save(QDir(dir).filePath(QStringLiteral("Eksport.png")));

        // Another period later: the window follows it; "Wszystkie lata" needs no year.
        window_->showFor(Period::of(12, 2023));
        QCOMPARE(window_->monthBox->currentText(), QStringLiteral("grudzień"));
        window_->yearBox->setEditText(QString());
        QVERIFY(!window_->exportButton->isEnabled());
        window_->allButton->click();
        QVERIFY(window_->exportButton->isEnabled());
        QVERIFY(!window_->yearBox->isEnabled());
        QVERIFY(!window_->monthBox->isEnabled());
        window_->yearBox->setEditText(QStringLiteral("2024"));
        window_->monthButton->click();
    }

    void theNameDecidesTheFormatAndTheWindowSaysWhatItWrote()
    {
        window_->showFor(Period::of(3, 2024));
        // A name without an extension takes the file type chosen in the dialog: CSV here.
        choose(out(QStringLiteral("marzec")), 1);
        QTest::mouseClick(window_->exportButton, Qt::LeftButton);
        QCOMPARE(dialogs_.size(), 1);
        QCOMPARE(dialogs_[0].kind, kw::FileDialogKind::Save);
        QVERIFY(dialogs_[0].directory.endsWith(QStringLiteral("Kwotnik-2024-03.xlsx")));
        const QByteArray csv = bytes(out(QStringLiteral("marzec.csv")));
        QVERIFY(csv.startsWith("\xEF\xBB\xBFRok;"));
        QCOMPARE(csv.count("\r\n2024;3;"), 2);
        QVERIFY(!csv.contains("2024;4;"));
        QVERIFY2(summary().contains(QStringLiteral("2 wpisy")), qPrintable(summary()));
        QVERIFY(messages_.isEmpty());

        // The year as a workbook; the dialog now offers CSV and the year's name in the same folder.
        window_->yearButton->click();
        choose(out(QStringLiteral("rok.XLSX")), 1);
        QVERIFY(window_->exportToFile());
        QVERIFY(dialogs_[1].directory.endsWith(out(QStringLiteral("Kwotnik-2024.csv"))));
        QVERIFY(bytes(out(QStringLiteral("rok.XLSX"))).startsWith("PK\x03\x04"));
        QVERIFY2(summary().contains(QStringLiteral("4 wpisy, 2 sumy miesięcy, 1 suma roku")),
                 qPrintable(summary()));
        window_->monthButton->click();
    }

    void aFileThatExistsIsReplacedOnlyWhenTheUserSaysSo()
    {
        const QString file = out(QStringLiteral("stary.csv"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("stara zawartość\n");
        f.close();
        choose(file);
        answer_ = kw::No;
        QVERIFY(!window_->exportToFile());
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].text.contains(QStringLiteral("już istnieje")));
        QCOMPARE(bytes(file), QByteArray("stara zawartość\n"));

        answer_ = kw::Yes;
        QVERIFY(window_->exportToFile());
        QVERIFY(bytes(file).startsWith("\xEF\xBB\xBF"));
    }

    void whatMustNotBeWrittenIsRefusedWithAMessageAndNothingChanges()
    {
        window_->showFor(Period::of(3, 2024));
        const QString table = QDir(data_.path()).filePath(DayFile);
        const QByteArray before = bytes(table);
        struct Case
        {
            QString path;
            QString says;
        };
        const QString pdf = out(QStringLiteral("zestawienie.csv"));
        QFile p(pdf);
        QVERIFY(p.open(QIODevice::WriteOnly));
        p.write("%PDF-1.4\n");
        p.close();
        QVERIFY(QFile::link(table, out(QStringLiteral("tabela.xlsx"))));
        const QList<Case> cases{
            {QDir(data_.path()).filePath(QStringLiteral("wydatki.DBF.csv")), QString()}, // another name
            {QDir(data_.path()).filePath(QStringLiteral("WYDATKI.DBF")), QStringLiteral(".xlsx")},
            {out(QStringLiteral("tabela.xlsx")), QStringLiteral("plik danych")},
            {out(QStringLiteral("zestawienie.txt")), QStringLiteral(".xlsx")},
            {pdf, QStringLiteral("zestawienie.csv")},
            {out(QStringLiteral("brak/folder/x.csv")), QStringLiteral("x.csv")},
        };
        for (const Case &c : cases) {
            messages_.clear();
            choose(c.path);
            const bool written = window_->exportToFile();
            if (c.says.isEmpty()) {
                QVERIFY2(written, qPrintable(c.path));
                QFile::remove(c.path);
                continue;
            }
            QVERIFY2(!written, qPrintable(c.path));
            QCOMPARE(messages_.size(), 1);
            QVERIFY2(messages_.last().text.contains(c.says), qPrintable(messages_.last().text));
        }
        QCOMPARE(bytes(table), before);
        QCOMPARE(bytes(pdf), QByteArray("%PDF-1.4\n"));
        QCOMPARE(QDir(out_.path()).entryList({QStringLiteral("*.txt")}, QDir::Files), QStringList());

        // A month with neither days nor sums writes no file.
        window_->monthBox->setCurrentIndex(0);
        messages_.clear();
        choose(out(QStringLiteral("styczen.xlsx")));
        QVERIFY(!window_->exportToFile());
        QVERIFY(messages_.last().text.contains(QStringLiteral("styczeń 2024")));
        QVERIFY(!QFile::exists(out(QStringLiteral("styczen.xlsx"))));
    }

    void f1OpensTheExportTopic()
    {
        QTemporaryDir work;
        QVERIFY(QFile::copy(QStringLiteral(KW_HELP_FILE),
                            QDir(work.path()).filePath(QStringLiteral("POMOC.HLP"))));
        const QString was = QDir::currentPath();
        QDir::setCurrent(work.path());
        window_->showFor(Period::of(3, 2024));
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QTest::keyClick(window_.get(), Qt::Key_F1);
        QDir::setCurrent(was);
        QVERIFY(kw::help::viewer());
        QCOMPARE(kw::help::viewer()->currentTopic(), QStringLiteral("eksport"));
        QVERIFY(messages_.isEmpty());
    }
};

QTEST_MAIN(ExportWindowTest)
#include "ExportWindowTest.moc"
