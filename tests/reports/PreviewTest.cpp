// The print preview window: zoom rules, page changes while pages still arrive, status and gauge,
// keys, closing, and printing through the standard-dialog seam to a PDF file.

#include "ReportFixture.h"
#include "framework/FileDialogs.h"
#include "reports/StandardPreview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cmath>

using namespace kwtest;

namespace {

struct Fixture
{
    ReportTable data;
    Report report;
    TableSource own{&data.table};
    explicit Fixture(int records) : data(records)
    {
        report.setDefinition(sampleDefinition());
        report.setDataSet(&own);
    }
};

QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class PreviewTest : public QObject
{
    Q_OBJECT

    // A preview shown at a fixed size; `slow` makes the engine lay out a little per event-loop turn.
    TStandardPreview *open(Report &report, bool slow = false, QSize size = QSize(800, 600))
    {
        auto *w = new TStandardPreview(&report);
        w->resize(size);
        w->show();
        if (slow)
            w->layoutRun()->setSliceMilliseconds(0);
        w->start();
        return w;
    }
    static QToolButton *button(TStandardPreview *w, const char *name)
    {
        return w->findChild<QToolButton *>(QString::fromLatin1(name));
    }
    static QString status(TStandardPreview *w)
    {
        return w->findChild<QLabel *>(QStringLiteral("Status"))->text();
    }
    static QWidget *pageImage(TStandardPreview *w)
    {
        return w->findChild<QWidget *>(QStringLiteral("PageImage"));
    }
    static QScrollArea *area(TStandardPreview *w)
    {
        return w->findChild<QScrollArea *>(QStringLiteral("PagePreview"));
    }
    static QSize expectedImage(TStandardPreview *w, int zoom)
    {
        const QSizeF p = w->pageSizeAt100();
        return QSize(int(std::lround(p.width() * zoom / 100.0)) + 4,
                     int(std::lround(p.height() * zoom / 100.0)) + 4);
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland)); }

    void windowHasItsControls()
    {
        Fixture f(3);
        QPointer<TStandardPreview> w = open(f.report);
        QVERIFY(w->testAttribute(Qt::WA_DeleteOnClose));
        QCOMPARE(w->findChild<QToolBar *>(QStringLiteral("Toolbar"))->height(), 33);
        const QList<QPair<const char *, QString>> tips = {{"ZoomToFit", "Cała strona"},
                                                          {"ZoomTo100", "100%"},
                                                          {"ZoomToWidth", "Szerokość strony"},
                                                          {"FirstPage", "Pierwsza strona"},
                                                          {"PrevPage", "Poprzednia strona"},
                                                          {"NextPage", "Następna strona"},
                                                          {"LastPage", "Ostatnia strona"},
                                                          {"PrintSetup", "Ustawienie drukowania"},
                                                          {"Print", "Drukuj"}};
        for (const auto &[name, tip] : tips) {
            QToolButton *b = button(w, name);
            QVERIFY2(b, name);
            QCOMPARE(b->toolTip(), tip);
            QCOMPARE(b->size(), QSize(25, 25));
            QVERIFY(!b->icon().isNull());
        }
        QCOMPARE(button(w, "Exit")->text(), QStringLiteral("Zamknij"));
        QCOMPARE(button(w, "Exit")->width(), 75);
        QCOMPARE(w->findChild<QWidget *>(QStringLiteral("StatusPanel"))->height(), 19);
        QCOMPARE(w->findChild<QProgressBar *>()->width(), 100);
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("Status"))->width(), 128);
        QVERIFY(button(w, "ZoomToWidth")->isChecked());
        w->close();
        QTRY_VERIFY(w.isNull());
    }

    void statusStartsWorkingThenCountsPages()
    {
        Fixture f(1);
        QPointer<TStandardPreview> w = open(f.report);
        QCOMPARE(status(w), QStringLiteral("Working..."));
        QSignalSpy finished(w.data(), &TStandardPreview::layoutFinished);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().at(0).toInt(), 1);
        QCOMPARE(status(w), QStringLiteral("Page 1 of 1"));
        QVERIFY(!w->findChild<QProgressBar *>()->isVisible());
        delete w;
    }

    void firstPageZoomsToWidthAndZoomModesFollowTheirRules()
    {
        QCOMPARE(TStandardPreview::roundHalfEven(2.5), 2);
        QCOMPARE(TStandardPreview::roundHalfEven(3.5), 4);
        QCOMPARE(TStandardPreview::roundHalfEven(84.5), 84);
        QCOMPARE(TStandardPreview::roundHalfEven(84.51), 85);
        QCOMPARE(TStandardPreview::roundHalfEven(63.4999), 63);

        Fixture f(5);
        QPointer<TStandardPreview> w = open(f.report);
        QTRY_COMPARE(w->pageCount(), 1);
        const QSizeF page = w->pageSizeAt100();
        // A4 landscape at the screen's resolution.
        QVERIFY(qAbs(page.width() - 297 / 25.4 * w->logicalDpiX()) < 0.01);
        QSize a = w->pageAreaSize();
        QCOMPARE(w->zoomMode(), TStandardPreview::ZoomMode::PageWidth);
        QCOMPARE(w->zoom(), TStandardPreview::roundHalfEven(a.width() / page.width() * 90));
        QCOMPARE(pageImage(w)->size(), expectedImage(w, w->zoom()));

        button(w, "ZoomToFit")->click();
        const int z1 = TStandardPreview::roundHalfEven(a.width() / page.width() * 95);
        const int z2 = TStandardPreview::roundHalfEven(a.height() / page.height() * 95);
        QCOMPARE(w->zoom(), std::min(z1, z2));
        QCOMPARE(w->zoomMode(), TStandardPreview::ZoomMode::WholePage);
        QVERIFY(button(w, "ZoomToFit")->isChecked());
        QVERIFY(!button(w, "ZoomToWidth")->isChecked());
        QCOMPARE(pageImage(w)->size(), expectedImage(w, w->zoom()));
        // Smaller than the area: centred along both axes.
        const QRect img = pageImage(w)->geometry();
        const QSize view = area(w)->viewport()->size();
        QVERIFY(qAbs(img.center().x() - view.width() / 2) <= 1);
        QVERIFY(qAbs(img.center().y() - view.height() / 2) <= 1);

        button(w, "ZoomTo100")->click();
        QCOMPARE(w->zoom(), 100);
        QCOMPARE(w->zoomMode(), TStandardPreview::ZoomMode::Fixed);
        QCOMPARE(pageImage(w)->size(), expectedImage(w, 100));
        // Larger than the area: placed at the start, scroll bars at the start.
        QCOMPARE(pageImage(w)->pos(), QPoint(0, 0));
        QCOMPARE(area(w)->horizontalScrollBar()->value(), 0);

        // The limits: 2 and 2000 are taken, 1 and 2001 change nothing.
        w->setZoom(1);
        QCOMPARE(w->zoom(), 100);
        w->setZoom(2001);
        QCOMPARE(w->zoom(), 100);
        w->setZoom(2);
        QCOMPARE(w->zoom(), 2);
        QCOMPARE(pageImage(w)->size(), expectedImage(w, 2));
        w->setZoom(2000);
        QCOMPARE(w->zoom(), 2000);
        QCOMPARE(pageImage(w)->size(), expectedImage(w, 2000));
        QCOMPARE(w->zoomMode(), TStandardPreview::ZoomMode::Fixed);

        // A zoom scrolled away returns to the start on the next zoom.
        area(w)->horizontalScrollBar()->setValue(500);
        area(w)->verticalScrollBar()->setValue(500);
        w->setZoom(300);
        QCOMPARE(area(w)->horizontalScrollBar()->value(), 0);
        QCOMPARE(area(w)->verticalScrollBar()->value(), 0);
        delete w;
    }

    void resizingRezoomsExceptInFixedMode()
    {
        Fixture f(5);
        QPointer<TStandardPreview> w = open(f.report);
        QTRY_COMPARE(w->pageCount(), 1);
        const QSizeF page = w->pageSizeAt100();
        for (QSize size : {QSize(1000, 700), QSize(640, 900), QSize(1280, 1024)}) {
            w->resize(size);
            QCoreApplication::processEvents();
            const QSize a = w->pageAreaSize();
            QCOMPARE(w->zoom(), TStandardPreview::roundHalfEven(a.width() / page.width() * 90));
            // The page is exactly as wide as the rule gives.
            QCOMPARE(pageImage(w)->width(), int(std::lround(page.width() * w->zoom() / 100.0)) + 4);
        }
        w->zoomToFit();
        for (QSize size : {QSize(900, 400), QSize(500, 900)}) {
            w->resize(size);
            QCoreApplication::processEvents();
            const QSize a = w->pageAreaSize();
            QCOMPARE(w->zoom(), std::min(TStandardPreview::roundHalfEven(a.width() / page.width() * 95),
                                         TStandardPreview::roundHalfEven(a.height() / page.height() * 95)));
        }
        w->zoomTo100();
        w->resize(700, 500);
        QCoreApplication::processEvents();
        QCOMPARE(w->zoom(), 100);
        QCOMPARE(w->zoomMode(), TStandardPreview::ZoomMode::Fixed);
        delete w;
    }

    void pageImageHasOutlineAndShadow()
    {
        Fixture f(2);
        QPointer<TStandardPreview> w = open(f.report);
        QTRY_COMPARE(w->pageCount(), 1);
        w->setZoom(20);
        const QImage img = pageImage(w)->grab().toImage();
        const int W = img.width() - 4; // the page itself
        const int H = img.height() - 4;
        QCOMPARE(img.pixelColor(0, 0), QColor(Qt::black));
        QCOMPARE(img.pixelColor(W + 1, H / 2), QColor(Qt::black)); // the outline's right edge
        QCOMPARE(img.pixelColor(W / 2, H + 1), QColor(Qt::black));
        QCOMPARE(img.pixelColor(2, 2), QColor(Qt::white));         // inside the margin: white paper
        QCOMPARE(img.pixelColor(W + 3, H + 3), QColor(Qt::black)); // the shadow
        QCOMPARE(img.pixelColor(W + 2, H / 2), QColor(Qt::black));
        QVERIFY(img.pixelColor(W + 3, 0) != QColor(Qt::black)); // the shadow starts two pixels down
        QVERIFY(img.pixelColor(0, H + 3) != QColor(Qt::black));
        delete w;
    }

    void pageChangesFollowTheRulesWhilePagesArrive()
    {
        Fixture f(400);
        QPointer<TStandardPreview> w = open(f.report, true);
        QSignalSpy arrived(w->layoutRun(), &LayoutRun::pageAvailable);
        while (arrived.count() < 2)
            QVERIFY(arrived.wait(5000));
        QVERIFY(w->rendering());
        QCOMPARE(w->currentPage(), 1);
        QVERIFY(status(w).startsWith(QLatin1String("Page 1 of ")));
        QVERIFY(w->findChild<QProgressBar *>()->isVisible());

        button(w, "PrevPage")->click(); // below 1: ignored
        QCOMPARE(w->currentPage(), 1);
        button(w, "LastPage")->click(); // the last page rendered so far
        const int sofar = w->currentPage();
        QVERIFY(sofar >= 2);
        QVERIFY(w->rendering());
        QCOMPARE(status(w), QStringLiteral("Page %1 of %2").arg(sofar).arg(w->pageCount()));
        w->showPage(w->pageCount() + 1); // above the rendered pages: ignored
        QVERIFY(w->currentPage() <= w->pageCount());

        // Scroll bars return to the start when the page changes, not when it stays.
        w->zoomTo100();
        QScrollBar *bar = area(w)->verticalScrollBar();
        QVERIFY(bar->maximum() > 10);
        bar->setValue(bar->maximum() / 2);
        w->showPage(w->currentPage()); // the page already shown: ignored
        QCOMPARE(bar->value(), bar->maximum() / 2);
        button(w, "FirstPage")->click();
        QCOMPARE(w->currentPage(), 1);
        QCOMPARE(area(w)->verticalScrollBar()->value(), 0);

        QSignalSpy finished(w.data(), &TStandardPreview::layoutFinished);
        QVERIFY(finished.wait(20000));
        const int all = w->pageCount();
        QVERIFY(all > sofar);
        QCOMPARE(status(w), QStringLiteral("Page 1 of %1").arg(all));
        QVERIFY(!w->findChild<QProgressBar *>()->isVisible());
        button(w, "NextPage")->click();
        QCOMPARE(w->currentPage(), 2);
        button(w, "LastPage")->click();
        QCOMPARE(w->currentPage(), all);
        button(w, "NextPage")->click(); // after the last: ignored
        QCOMPARE(w->currentPage(), all);
        QCOMPARE(status(w), QStringLiteral("Page %1 of %1").arg(all));
        delete w;
    }

    void keysPageAndClose()
    {
        Fixture f(200);
        QPointer<TStandardPreview> w = open(f.report);
        QSignalSpy finished(w.data(), &TStandardPreview::layoutFinished);
        QVERIFY(finished.wait(10000));
        const int all = w->pageCount();
        QVERIFY(all >= 5);
        // Keys go to the page area's viewport, which would scroll on them: the window sees them first.
        QWidget *target = area(w)->viewport();
        QTest::keyClick(target, Qt::Key_PageDown);
        QCOMPARE(w->currentPage(), 2);
        QTest::keyClick(target, Qt::Key_PageDown);
        QCOMPARE(w->currentPage(), 3);
        QTest::keyClick(target, Qt::Key_PageUp);
        QCOMPARE(w->currentPage(), 2);
        QTest::keyClick(target, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(w->currentPage(), all);
        QTest::keyClick(target, Qt::Key_PageUp, Qt::ControlModifier | Qt::ShiftModifier); // a plain Page Up
        QCOMPARE(w->currentPage(), all - 1);
        QTest::keyClick(target, Qt::Key_PageDown,
                        Qt::ControlModifier | Qt::ShiftModifier); // a plain Page Down
        QCOMPARE(w->currentPage(), all);
        QTest::keyClick(target, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(w->currentPage(), 1);
        QTest::keyClick(target, Qt::Key_End);
        QCOMPARE(w->currentPage(), all);
        QTest::keyClick(w.data(), Qt::Key_Home);
        QCOMPARE(w->currentPage(), 1);
        QSignalSpy after(&f.report, &Report::afterPreview);
        QTest::keyClick(target, Qt::Key_Escape);
        QTRY_VERIFY(w.isNull());
        QCOMPARE(after.count(), 1);
    }

    void closingDuringRenderingStopsAndNotifiesOnce()
    {
        Fixture f(600);
        QSignalSpy after(&f.report, &Report::afterPreview);
        QPointer<TStandardPreview> w = open(f.report, true);
        QSignalSpy closed(w.data(), &TStandardPreview::closed);
        QSignalSpy arrived(w->layoutRun(), &LayoutRun::pageAvailable);
        QVERIFY(arrived.wait(5000));
        QVERIFY(w->rendering());
        QPointer<LayoutRun> run = w->layoutRun();
        const int recordBefore = f.data.table.recNo();
        button(w, "Exit")->click();
        QTRY_VERIFY(w.isNull());
        QVERIFY(run.isNull());
        QCOMPARE(closed.count(), 1);
        QCOMPARE(after.count(), 1);
        // Nothing reads the table any more.
        const int recordAfterClose = f.data.table.recNo();
        QTest::qWait(50);
        QCOMPARE(f.data.table.recNo(), recordAfterClose);
        QVERIFY(recordAfterClose >= recordBefore);
        QVERIFY(!f.data.table.eof());
    }

    void emptyReportSaysSo()
    {
        Fixture f(0);
        QPointer<TStandardPreview> w = new TStandardPreview(&f.report);
        w->setEmptyText(QStringLiteral("Brak wpisów"));
        w->resize(800, 600);
        w->show();
        QSignalSpy finished(w.data(), &TStandardPreview::layoutFinished);
        w->start();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().at(0).toInt(), 0);
        QCOMPARE(status(w), QStringLiteral("Page 0 of 0"));
        button(w, "NextPage")->click();
        button(w, "LastPage")->click();
        QCOMPARE(w->currentPage(), 0);
        delete w;
    }

    void printSetupKeepsRangeCopiesAndPrintPrintsThem()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("poppler-utils is not installed");
        Fixture f(200);
        QPointer<TStandardPreview> w = open(f.report);
        QSignalSpy finished(w.data(), &TStandardPreview::layoutFinished);
        QVERIFY(finished.wait(10000));
        const int all = w->pageCount();
        const QString out = QDir(f.data.dir.path()).filePath(QStringLiteral("wydruk.pdf"));

        kw::PrintDialogRequest seen;
        int presetFrom = -1, presetTo = -1;
        kw::setPrintSetupHandler([&](QPrinter *printer, const kw::PrintDialogRequest &request) {
            seen = request;
            presetFrom = printer->fromPage();
            presetTo = printer->toPage();
            printer->setOutputFileName(out);
            printer->setPrintRange(QPrinter::PageRange);
            printer->setFromTo(2, 3);
            printer->setCopyCount(2);
            return true;
        });
        button(w, "PrintSetup")->click();
        QCOMPARE(seen.minPage, 1);
        QCOMPARE(seen.maxPage, all);
        QVERIFY(seen.pageRange && seen.selection);
        QCOMPARE(presetFrom, 1);
        QCOMPARE(presetTo, all);
        const PrintSettings &s = f.report.printSettings();
        QCOMPARE(s.firstPage, 2);
        QCOMPARE(s.lastPage, 3);
        QCOMPARE(s.copies, 2);
        QCOMPARE(s.orientation, QPageLayout::Landscape);

        button(w, "Print")->click();
        const QStringList pages = pdfText(out).split(u'\f', Qt::SkipEmptyParts);
        QCOMPARE(pages.size(), 4); // pages 2 and 3, twice
        for (int copy = 0; copy < 2; ++copy) {
            QVERIFY(!pages[copy * 2].contains(QStringLiteral("Zestawienie próbne")));
            QVERIFY(pages[copy * 2].contains(QStringLiteral("pozycja 40")));
            QVERIFY(pages[copy * 2 + 1].contains(QStringLiteral("Dochód miesięczny")));
        }

        // Any choice but a page range prints every page again; cancelling changes nothing.
        kw::setPrintSetupHandler([&](QPrinter *printer, const kw::PrintDialogRequest &) {
            printer->setOutputFileName(out);
            printer->setPrintRange(QPrinter::AllPages);
            printer->setCopyCount(1);
            return true;
        });
        button(w, "PrintSetup")->click();
        QCOMPARE(s.firstPage, 0);
        QCOMPARE(s.lastPage, 0);
        kw::setPrintSetupHandler([&](QPrinter *printer, const kw::PrintDialogRequest &) {
            printer->setCopyCount(9);
            return false;
        });
        button(w, "PrintSetup")->click();
        QCOMPARE(s.copies, 1);
        kw::setPrintSetupHandler(nullptr);
        button(w, "Print")->click();
        QCOMPARE(pdfText(out).split(u'\f', Qt::SkipEmptyParts).size(), all);
        delete w;
    }

    // The set-up stores settings only: its accept button says "OK", and reopened it shows the range
    // and the copies chosen before.
    void printSetupShowsWhatWasChosenAndPromisesNoPrint()
    {
        Fixture f(200);
        QPointer<TStandardPreview> w = open(f.report);
        QSignalSpy finished(w.data(), &TStandardPreview::layoutFinished);
        QVERIFY(finished.wait(10000));
        kw::setPrintSetupHandler([&](QPrinter *printer, const kw::PrintDialogRequest &) {
            printer->setPrintRange(QPrinter::PageRange);
            printer->setFromTo(2, 3);
            printer->setCopyCount(3);
            return true;
        });
        button(w, "PrintSetup")->click();
        kw::setPrintSetupHandler(nullptr);

        // The system's own dialog, looked at while it is up, then closed without a choice.
        QString okText, shownRange;
        int shownFrom = -1, shownTo = -1, shownCopies = -1;
        QTimer::singleShot(300, [&] {
            auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (auto *buttons = dialog->findChild<QDialogButtonBox *>())
                okText = buttons->button(QDialogButtonBox::Ok)->text();
            shownFrom = dialog->printer()->fromPage();
            shownTo = dialog->printer()->toPage();
            shownCopies = dialog->printer()->copyCount();
            shownRange = dialog->printRange() == QAbstractPrintDialog::PageRange ? QStringLiteral("pages")
                                                                                 : QStringLiteral("other");
            dialog->reject();
        });
        button(w, "PrintSetup")->click();
        QCOMPARE(okText, QStringLiteral("OK"));
        QCOMPARE(shownRange, QStringLiteral("pages"));
        QCOMPARE(shownFrom, 2);
        QCOMPARE(shownTo, 3);
        QCOMPARE(shownCopies, 3);
        // Closed without a choice: what was chosen stays.
        QCOMPARE(f.report.printSettings().firstPage, 2);
        QCOMPARE(f.report.printSettings().copies, 3);
        delete w;
    }

    void cancelStopsThePrintJob()
    {
        Fixture f(400);
        QPointer<TStandardPreview> w = open(f.report);
        QSignalSpy finished(w.data(), &TStandardPreview::layoutFinished);
        QVERIFY(finished.wait(10000));
        const QString out = QDir(f.data.dir.path()).filePath(QStringLiteral("przerwany.pdf"));
        f.report.printSettings().outputFileName = out;
        // Press Cancel as soon as the progress dialog shows, and look at it while it does.
        bool sawDialog = false;
        QTimer presser;
        presser.setInterval(0);
        connect(&presser, &QTimer::timeout, this, [&] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (top->objectName() != QLatin1String("PrintProgress") || !top->isVisible())
                    continue;
                sawDialog = true;
                QCOMPARE(top->windowTitle(), QStringLiteral("Printing progress"));
                QVERIFY(top->windowFlags() & Qt::WindowStaysOnTopHint);
                QCOMPARE(top->findChild<QLabel *>(QStringLiteral("Info"))->alignment() & Qt::AlignHCenter,
                         Qt::AlignHCenter);
                auto *cancel = top->findChild<QAbstractButton *>(QStringLiteral("Cancel"));
                QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
                cancel->click();
                presser.stop();
            }
        });
        presser.start();
        button(w, "Print")->click();
        QVERIFY(sawDialog);
        // The job stopped: no file, or one without the later pages.
        if (QFile::exists(out) && !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QVERIFY(!pdfText(out).contains(QStringLiteral("pozycja 400")));
        QVERIFY(w); // the preview stays open
        delete w;
    }
};

QTEST_MAIN(PreviewTest)
#include "PreviewTest.moc"
