// The statements through the real main window: each command opens a preview of its own, closing it
// puts the statement's table back to rest, and the ledger goes on undisturbed.
#include "framework/FileDialogs.h"
#include "regional/Regional.h"
#include "ledger/LedgerCheck.h"
#include "reports/StandardPreview.h"
#include "reports/UnitR1.h"
#include "reports/UnitR2.h"
#include "reports/UnitR3.h"
#include "tests/app/WindowFixture.h"
#include "tests/ledger/RawFields.h"

#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <memory>

using kw::ledger::AmountSet;
using kwtest::Workspace;

namespace {

QList<TStandardPreview *> openPreviews()
{
    QList<TStandardPreview *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *p = qobject_cast<TStandardPreview *>(w); p && p->isVisible())
            out << p;
    return out;
}

// Waits until the preview has laid out every page.
bool settle(TStandardPreview *p)
{
    return QTest::qWaitFor([p] { return !p->rendering(); }, 10000);
}

// Every text of every page, one line per page joined by blanks.
QStringList pageTexts(TStandardPreview *p)
{
    QStringList out;
    if (!p->pages())
        return out;
    for (const kw::report::Page &page : p->pages()->pages) {
        QStringList texts;
        for (const kw::report::PlacedText &t : page.texts)
            texts << t.text;
        out << texts.join(QLatin1Char(' '));
    }
    return out;
}

// Where the preview's Print button writes: a PDF file, chosen through the printer set-up seam.
void printTo(TStandardPreview *p, const QString &pdf)
{
    kw::setPrintSetupHandler([pdf](QPrinter *printer, const kw::PrintDialogRequest &) {
        printer->setOutputFileName(pdf);
        return true;
    });
    p->findChild<QToolButton *>(QStringLiteral("PrintSetup"))->click();
    kw::setPrintSetupHandler(nullptr);
}

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).simplified().replace(QChar(0x00A0), u' ');
}

QString footer(const char *label, double amount)
{
    return QStringLiteral("%1 : %2")
        .arg(QString::fromUtf8(label), kw::regional::formatCurrency(amount))
        .replace(QChar(0x00A0), u' ')
        .simplified();
}

void closePreview(TStandardPreview *p)
{
    QPointer<TStandardPreview> guard(p);
    p->close();
    QVERIFY(QTest::qWaitFor([&] { return guard.isNull(); }, 5000));
}

} // namespace

class StatementWindowsTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<Workspace> w;

    static TForm1 *main() { return Workspace::main(); }
    static kw::Table &r1() { return *kw::forms().formR1()->Table1; }
    static kw::Table &r2() { return *kw::forms().formR2()->Table1; }
    static kw::Table &r3() { return *kw::forms().formR3()->Table1; }

    void marchWithTwoDays()
    {
        Workspace::open(3, "2004");
        Workspace::addDay(9, AmountSet{1500, 0, 0, 0, 42.5, 0, 0, 0, 0, 0}, QStringLiteral("targ"));
        Workspace::addDay(2, AmountSet{0, 0, 0, 300, 0, 0, 0, 0, 0, 0});
        Workspace::open(3, "2004"); // a period with days: the report commands are on
    }

private slots:
    void init() { w = std::make_unique<Workspace>(); }
    void cleanup()
    {
        for (TStandardPreview *p : openPreviews())
            closePreview(p);
        w.reset();
    }

    void eachCommandOpensAPreviewAndClosingPutsTheTableToRest()
    {
        marchWithTwoDays();
        main()->ToolButton6Click();
        QCOMPARE(openPreviews().size(), 1);
        TStandardPreview *monthly = openPreviews()[0];
        QVERIFY(settle(monthly));
        QVERIFY(r1().active());
        QVERIFY(r1().filtered());
        QCOMPARE(monthly->pageCount(), 1);
        const QString page = pageTexts(monthly).value(0);
        QVERIFY2(page.contains(QStringLiteral("Zestawienie miesięczne")), qPrintable(page));
        QVERIFY(page.contains(QStringLiteral("1500")));
        QVERIFY(page.contains(QStringLiteral("targ")));
        // The footer shows the month sum the main window shows, as currency.
        QVERIFY2(page.contains(kw::regional::formatCurrency(1500)), qPrintable(page));
        QVERIFY(monthly->isMaximized() || monthly->windowState() & Qt::WindowMaximized);

        main()->ToolButton7Click();
        main()->ToolButton8Click();
        QCOMPARE(openPreviews().size(), 3);
        TStandardPreview *yearly = kw::forms().formR2()->previews().value(0);
        TStandardPreview *years = kw::forms().formR3()->previews().value(0);
        QVERIFY(yearly && years);
        QVERIFY(settle(yearly) && settle(years));
        QVERIFY(pageTexts(yearly).value(0).contains(QStringLiteral("Zestawienie roczne")));
        QVERIFY(pageTexts(years).value(0).contains(QStringLiteral("Zestawienie wieloletnie")));
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->texts().join('\n')));
        Workspace::render(monthly, QStringLiteral("preview-monthly"));
        Workspace::render(yearly, QStringLiteral("preview-yearly"));
        Workspace::render(years, QStringLiteral("preview-multiyear"));

        closePreview(monthly);
        QVERIFY(!r1().active());
        QVERIFY(!r1().filtered());
        QVERIFY(r2().active());
        closePreview(yearly);
        QVERIFY(!r2().active());
        closePreview(years);
        QVERIFY2(r3().active(), "the multi-year table stays open for the whole run");
        QVERIFY(openPreviews().isEmpty());
    }

    void theMenuItemsRunTheSameCommands()
    {
        marchWithTwoDays();
        for (QAction *item : {main()->Miesieczne1, main()->Roczne1, main()->Wieloletnie1})
            item->trigger();
        QCOMPARE(openPreviews().size(), 3);
    }

    void twoPreviewsOfOneStatementAtOnce()
    {
        marchWithTwoDays();
        main()->ToolButton6Click();
        main()->ToolButton6Click();
        const QList<TStandardPreview *> both = kw::forms().formR1()->previews();
        QCOMPARE(both.size(), 2);
        QVERIFY(settle(both[0]) && settle(both[1]));
        // The same pages; the time of printing may have moved on by a second between the two.
        const auto untimed = [](QStringList pages) {
            return pages.replaceInStrings(QRegularExpression(QStringLiteral("\\d{1,2}:\\d{2}:\\d{2}")),
                                          QString());
        };
        QCOMPARE(untimed(pageTexts(both[0])), untimed(pageTexts(both[1])));
        closePreview(both[0]);
        QVERIFY2(r1().active(), "the other preview still reads the statement");
        QCOMPARE(both[1]->pageCount(), 1);
        closePreview(both[1]);
        QVERIFY(!r1().active());
    }

    // Money booked while a preview is open changes neither the preview nor the ledger's position.
    void bookingWhileAPreviewIsOpen()
    {
        marchWithTwoDays();
        main()->ToolButton6Click();
        TStandardPreview *p = openPreviews().value(0);
        QVERIFY(p && settle(p));
        const QStringList before = pageTexts(p);
        const QVariant current = Workspace::day().fieldValue("DZIEN");
        kw::ledger::bookAmounts(Workspace::tables(), AmountSet{0, 0, 0, 0, 0, 0, 0, 0, 0, 7.25},
                                kw::ledger::Sign::Add);
        Workspace::addDay(20, AmountSet{99, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        QTest::qWait(50);
        QCOMPARE(pageTexts(p), before);
        QCOMPARE(Workspace::day().fieldValue("DZIEN").toInt(), 20);
        Q_UNUSED(current);
        QVERIFY2(kw::ledger::verifyLedger(w->tmp.path()).isEmpty(),
                 qPrintable(kw::ledger::verifyLedger(w->tmp.path()).join('\n')));
        // A new preview shows the new day.
        main()->ToolButton6Click();
        TStandardPreview *again = kw::forms().formR1()->previews().value(1);
        QVERIFY(again && settle(again));
        QVERIFY(pageTexts(again).value(0).contains(QStringLiteral("99")));
        QVERIFY(pageTexts(again).value(0).contains(QStringLiteral("7,25")));
    }

    void multiYearShowsAYearBookedInTheRunningProgram()
    {
        marchWithTwoDays();
        Workspace::open(5, "2031");
        Workspace::addDay(1, AmountSet{0, 0, 0, 0, 0, 0, 0, 0, 0, 654.5});
        main()->ToolButton8Click();
        TStandardPreview *p = openPreviews().value(0);
        QVERIFY(p && settle(p));
        const QString page = pageTexts(p).value(0);
        QVERIFY2(page.contains(QStringLiteral("2031")), qPrintable(page));
        QVERIFY(page.contains(QStringLiteral("654,5")));
        QVERIFY(page.indexOf(QStringLiteral("2004")) < page.indexOf(QStringLiteral("2031")));
    }

    // An error of the table engine on open: the default error report, no preview, the table at rest.
    void anEngineErrorOnOpenShowsNoPreview()
    {
        QVERIFY(QFile::remove(QDir(w->tmp.path()).filePath(kw::ledger::DayFile)));
        main()->ToolButton6Click();
        QCOMPARE(w->messages.size(), 1);
        QVERIFY2(w->messages[0].text.contains(QStringLiteral("nie istnieje w katalogu")),
                 qPrintable(w->messages[0].text));
        QVERIFY(openPreviews().isEmpty());
        QVERIFY(!r1().active());

        // A month-sum file that is not a table.
        const QString sums = QDir(w->tmp.path()).filePath(kw::ledger::MonthFile);
        QFile f(sums);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("not a table");
        f.close();
        main()->ToolButton7Click();
        QCOMPARE(w->messages.size(), 2);
        QVERIFY(openPreviews().isEmpty());
        QVERIFY(!r2().active());
    }

    // A March preview prints March's footer, whatever period is open later or whether any is.
    void aPreviewPrintsItsOwnPeriodsFooter()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        marchWithTwoDays(); // March: 1500 in, 42,50 + 300 out
        Workspace::open(1, "2004");
        Workspace::addDay(5, AmountSet{4417.42, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        Workspace::open(3, "2004");
        main()->ToolButton6Click();
        TStandardPreview *p = openPreviews().value(0);
        QVERIFY(p && settle(p));
        const QString pdf = QDir(w->dir()).filePath(QStringLiteral("marzec.pdf"));
        printTo(p, pdf);

        Workspace::open(1, "2004"); // January open: the preview still shows March
        p->findChild<QToolButton *>(QStringLiteral("Print"))->click();
        QString text = pdfText(pdf);
        QVERIFY2(text.contains(footer("Dochód miesięczny", 1500)), qPrintable(text));
        QVERIFY(text.contains(footer("Wydatek miesięczny", 342.5)));
        QVERIFY(text.contains(footer("Dochód roczny", 1500 + 4417.42)));
        QVERIFY(!text.contains(footer("Dochód miesięczny", 4417.42)));

        // The open-period command closes the tables; "Anuluj" leaves none open.
        main()->ToolButton1Click();
        Workspace::dialog()->Button2->click();
        QVERIFY(!Workspace::day().active());
        QFile::remove(pdf);
        p->findChild<QToolButton *>(QStringLiteral("Print"))->click();
        text = pdfText(pdf);
        QVERIFY2(text.contains(footer("Budżet miesięczny", 1500 - 342.5)), qPrintable(text));
        QVERIFY(text.contains(footer("Dochód roczny", 1500 + 4417.42)));
        QVERIFY2(w->messages.isEmpty(), qPrintable(w->texts().join('\n')));
    }

    // A number that is not one stops the statement: the engine's error, no preview, the table at rest.
    void aDamagedAmountShowsTheErrorAndNoPreview()
    {
        marchWithTwoDays();
        Workspace::close();
        kwtest::putFieldText(QDir(w->dir()).filePath(kw::ledger::DayFile), 1, "PRZYCHOD", "1,5x");
        main()->ToolButton6Click();
        QCOMPARE(w->messages.size(), 1);
        const QString said = w->messages[0].text;
        QVERIFY2(
            said.startsWith(QStringLiteral("Plik Wydatki.dbf jest uszkodzony: w rekordzie nr 2 pole PRZYCHOD "
                                           "zawiera „1,5x”, co nie jest liczbą.")),
            qPrintable(said));
        QVERIFY(openPreviews().isEmpty());
        QVERIFY(!r1().active());

        // For a person to look at: the message as the program shows it.
        if (!qEnvironmentVariable("KW_RENDER_DIR").isEmpty()) {
            const kw::MessageHandler answered = kw::setMessageHandler(nullptr);
            QTimer::singleShot(200, [] {
                if (QWidget *box = QApplication::activeModalWidget()) {
                    Workspace::render(box, QStringLiteral("statement-damaged-amount"));
                    box->close();
                }
            });
            kw::reportError(said);
            kw::setMessageHandler(answered);
        }
    }

    // A message of the Print button is up (here: the folder to print into is gone) when the preview
    // is closed, as a log-out does: the window goes at once and is destroyed once the handler has
    // returned, never under it.
    void closingThePreviewFromInsideAPrintMessage()
    {
        marchWithTwoDays();
        main()->ToolButton6Click();
        QPointer<TStandardPreview> p = openPreviews().value(0);
        QVERIFY(p && settle(p));
        printTo(p, QStringLiteral("/nonexistent/kwotnik/marzec.pdf"));
        int shown = 0;
        const kw::MessageHandler answered = kw::setMessageHandler([&](const kw::MessageRequest &) {
            ++shown;
            p->close();
            // What the message box's own event loop would do meanwhile.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            return int(kw::Ok);
        });
        p->findChild<QToolButton *>(QStringLiteral("Print"))->click();
        kw::setMessageHandler(answered);
        QCOMPARE(shown, 1);
        QVERIFY(QTest::qWaitFor([&] { return p.isNull(); }, 5000));
        QVERIFY(!r1().active()); // closing ran its course: the statement's table is back at rest
    }

    // The main window closed while a statement prints: every window goes, the job ends, and the
    // program ends normally.
    void closingTheMainWindowDuringPrinting()
    {
        marchWithTwoDays();
        main()->ToolButton6Click();
        QPointer<TStandardPreview> p = openPreviews().value(0);
        QVERIFY(p && settle(p));
        const QString pdf = QDir(w->dir()).filePath(QStringLiteral("zamkniete.pdf"));
        printTo(p, pdf);
        QTimer::singleShot(0, [] { main()->close(); });
        p->findChild<QToolButton *>(QStringLiteral("Print"))->click();
        QVERIFY(!main()->isVisible());
        QVERIFY(p && !p->isVisible());
        QVERIFY(QFileInfo(pdf).size() > 0);
        delete p.data();
        QVERIFY(!r1().active());
    }

    // No line: no page; the page area says why instead of staying blank.
    void anEmptyStatementSaysSo()
    {
        Workspace::open(3, "2004");
        main()->ToolButton6Click();
        TStandardPreview *p = openPreviews().value(0);
        QVERIFY(p && settle(p));
        QCOMPARE(p->pageCount(), 0);
        auto *status = p->findChild<QLabel *>(QStringLiteral("Status"));
        QVERIFY(status);
        QCOMPARE(status->text(), QStringLiteral("Page 0 of 0"));
        auto *area = p->findChild<QScrollArea *>(QStringLiteral("PagePreview"));
        QVERIFY(area);
        QApplication::processEvents();
        // Something is written in the middle of the page area, and nothing elsewhere.
        const QImage shot = area->viewport()->grab().toImage();
        const QRgb background = shot.pixel(2, 2);
        int inked = 0, inkedOutside = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (shot.pixel(x, y) != background)
                    ++(qAbs(y - shot.height() / 2) < 20 ? inked : inkedOutside);
        QVERIFY2(inked > 50, "the page area of an empty statement is blank");
        QCOMPARE(inkedOutside, 0);
        Workspace::render(p, QStringLiteral("preview-empty-statement"));
    }
};

QTEST_MAIN(StatementWindowsTest)
#include "StatementWindowsTest.moc"
