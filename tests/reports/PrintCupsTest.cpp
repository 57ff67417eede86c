// Printing from the preview to a real print queue: a private CUPS scheduler started by the test,
// a cups-pdf queue made default, and the pages that come out read back with pdftotext. Skips when
// the scheduler, the queue or poppler's tools cannot be had on this machine.

#include "ReportFixture.h"
#include "framework/FileDialogs.h"
#include "reports/StandardPreview.h"
#include "reports/engine/ReportPainter.h"

#include <QAbstractButton>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <unistd.h>

using namespace kwtest;

namespace {

bool writeFile(const QString &path, const QString &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) >= 0;
}

} // namespace

class PrintCupsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir root_;
    QProcess cupsd_;
    QString socket_;
    QString skipReason_;
    QString outDir_; // where cups-pdf puts the pages of the user printing
    QSet<QString> made_;

    int tool(const QString &program, const QStringList &args, QString *output = nullptr)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CUPS_SERVER"), socket_);
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        if (output)
            *output = QString::fromUtf8(p.readAll());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // The files there with their times: a job of a new scheduler may reuse an old file's name.
    QSet<QString> pdfsNow() const
    {
        QSet<QString> out;
        QDirIterator it(outDir_, {QStringLiteral("*.pdf")}, QDir::Files);
        while (it.hasNext()) {
            const QFileInfo f(it.next());
            out.insert(f.filePath() + u'|' + QString::number(f.lastModified().toMSecsSinceEpoch()));
        }
        return out;
    }

    // Waits for one new file that cups-pdf has finished writing.
    QString waitForNewPdf(const QSet<QString> &before)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000) {
            const QSet<QString> now = pdfsNow() - before;
            if (!now.isEmpty()) {
                const QString path = now.begin()->section(u'|', 0, 0);
                made_.insert(path);
                QString text, jobs;
                // The job is done when the queue holds nothing more.
                tool(QStringLiteral("lpstat"), {QStringLiteral("-o")}, &jobs);
                if (jobs.trimmed().isEmpty() && QFileInfo(path).size() > 0)
                    return path;
            }
            QTest::qWait(200);
        }
        return QString();
    }

    int pageCountOf(const QString &pdf)
    {
        QString info;
        tool(QStringLiteral("pdfinfo"), {pdf}, &info);
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }

    // The scheduler's filters turn the job into PostScript and cups-pdf turns that back into PDF
    // with glyphs as pictures, so the text cannot be read back; each page that came out is matched
    // against the report's own pages by picture instead: the content cut to its dark bounding box,
    // brought to one size, and compared pixel by pixel. Returns the best page's number (from 1).
    static QImage normalised(const QImage &source)
    {
        QImage g = source.convertToFormat(QImage::Format_Grayscale8);
        if (g.height() > g.width())
            g = g.transformed(QTransform().rotate(-90));
        int left = g.width(), right = -1, top = g.height(), bottom = -1;
        for (int y = 0; y < g.height(); ++y) {
            const uchar *line = g.constScanLine(y);
            for (int x = 0; x < g.width(); ++x)
                if (line[x] < 160) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        }
        if (right < left)
            return QImage();
        return g.copy(left, top, right - left + 1, bottom - top + 1)
            .scaled(600, 420, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    static double difference(const QImage &a, const QImage &b)
    {
        if (a.isNull() || b.isNull())
            return 1e9;
        double sum = 0;
        for (int y = 0; y < a.height(); ++y) {
            const uchar *la = a.constScanLine(y);
            const uchar *lb = b.constScanLine(y);
            for (int x = 0; x < a.width(); ++x)
                sum += std::abs(int(la[x]) - int(lb[x]));
        }
        return sum / (a.width() * a.height());
    }
    QList<int> identifyPages(const QString &pdf, const LaidOutReport &report, QImage *orientation = nullptr)
    {
        QList<QImage> own;
        for (int i = 0; i < int(report.pages.size()); ++i)
            own << normalised(renderPageImage(report, i, 100));
        QList<int> found;
        const int n = pageCountOf(pdf);
        for (int p = 1; p <= n; ++p) {
            const QString prefix = root_.filePath(QStringLiteral("page"));
            tool(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-gray"), QStringLiteral("-r"), QStringLiteral("100"),
                  QStringLiteral("-singlefile"), QStringLiteral("-f"), QString::number(p),
                  QStringLiteral("-l"), QString::number(p), pdf, prefix});
            const QImage printed(prefix + QStringLiteral(".pgm"));
            if (orientation && p == 1)
                *orientation = printed;
            QImage a = normalised(printed);
            QImage b = a.isNull() ? a : a.transformed(QTransform().rotate(180));
            int best = 0;
            double bestDiff = 1e9;
            for (int i = 0; i < own.size(); ++i)
                for (const QImage &candidate : {a, b}) {
                    const double d = difference(candidate, own[i]);
                    if (d < bestDiff) {
                        bestDiff = d;
                        best = i + 1;
                    }
                }
            found << best;
        }
        return found;
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        const QString cupsd = QStandardPaths::findExecutable(QStringLiteral("cupsd"), {"/usr/sbin", "/sbin"});
        const QString lpadmin =
            QStandardPaths::findExecutable(QStringLiteral("lpadmin"), {"/usr/sbin", "/sbin"});
        if (cupsd.isEmpty() || lpadmin.isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
            !QFile::exists(QStringLiteral("/usr/lib/cups/backend/cups-pdf"))) {
            skipReason_ = QStringLiteral("cups, printer-driver-cups-pdf or poppler-utils is not installed");
            return;
        }
        if (geteuid() != 0) {
            // The scheduler runs the cups-pdf backend as root only when it runs as root itself.
            skipReason_ = QStringLiteral("a private CUPS scheduler with cups-pdf needs root");
            return;
        }
        const QString d = root_.path();
        for (const char *sub : {"spool", "spool/tmp", "cache", "state", "ppd", "log", "tmp"})
            QDir(d).mkpath(QString::fromLatin1(sub));
        QFile::setPermissions(d + QStringLiteral("/tmp"), QFileDevice::Permissions(0x7777));
        QFile::setPermissions(d + QStringLiteral("/spool/tmp"), QFileDevice::Permissions(0x7777));
        // Local socket only: no port of the machine is taken.
        socket_ = d + QStringLiteral("/cups.sock");
        writeFile(d + QStringLiteral("/cupsd.conf"),
                  QStringLiteral("Listen %1\nLogLevel info\nWebInterface No\n"
                                 "Browsing No\n<Location />\n  Order allow,deny\n"
                                 "  Allow all\n</Location>\n<Location /admin>\n"
                                 "  Order allow,deny\n  Allow all\n</Location>\n")
                      .arg(socket_));
        writeFile(d + QStringLiteral("/cups-files.conf"),
                  QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nTempDir %1/tmp\nStateDir %1/state\n"
                                 "CacheDir %1/cache\nErrorLog %1/log/error_log\nAccessLog %1/log/access_log\n"
                                 "PageLog %1/log/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                                 "SystemGroup root\n")
                      .arg(d));
        cupsd_.setProcessChannelMode(QProcess::MergedChannels);
        cupsd_.start(cupsd, {QStringLiteral("-f"), QStringLiteral("-c"), d + QStringLiteral("/cupsd.conf"),
                             QStringLiteral("-s"), d + QStringLiteral("/cups-files.conf")});
        if (!cupsd_.waitForStarted(10000)) {
            skipReason_ = QStringLiteral("cupsd does not start");
            return;
        }
        QElapsedTimer clock;
        clock.start();
        QString state;
        while (clock.elapsed() < 15000 && cupsd_.state() == QProcess::Running &&
               !(QFile::exists(socket_) &&
                 tool(QStringLiteral("lpstat"), {QStringLiteral("-r")}, &state) == 0 &&
                 state.contains(QLatin1String("is running"))))
            QTest::qWait(100);
        if (cupsd_.state() != QProcess::Running || !state.contains(QLatin1String("is running"))) {
            skipReason_ =
                QStringLiteral("cupsd does not run here: %1").arg(QString::fromUtf8(cupsd_.readAll()));
            return;
        }
        QString out;
        if (tool(lpadmin,
                 {QStringLiteral("-p"), QStringLiteral("PDF"), QStringLiteral("-v"),
                  QStringLiteral("cups-pdf:/"), QStringLiteral("-m"),
                  QStringLiteral("lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"), QStringLiteral("-E")},
                 &out) != 0 ||
            tool(lpadmin, {QStringLiteral("-d"), QStringLiteral("PDF")}, &out) != 0) {
            skipReason_ = QStringLiteral("the cups-pdf queue cannot be made: %1").arg(out);
            return;
        }
        // Qt's printing reaches the scheduler through the C library of CUPS, which reads this.
        qputenv("CUPS_SERVER", socket_.toLocal8Bit());
        outDir_ = QDir::home().filePath(QStringLiteral("PDF"));
        QDir().mkpath(outDir_);
    }

    void cleanupTestCase()
    {
        for (const QString &f : std::as_const(made_))
            QFile::remove(f);
        if (cupsd_.state() != QProcess::NotRunning) {
            cupsd_.terminate();
            if (!cupsd_.waitForFinished(10000)) {
                cupsd_.kill();
                cupsd_.waitForFinished();
            }
        }
    }

    void printsEveryPageToTheDefaultQueue()
    {
        if (!skipReason_.isEmpty())
            QSKIP(qPrintable(skipReason_));
        ReportTable data(120);
        Report report;
        report.setDefinition(sampleDefinition());
        TableSource own(&data.table);
        report.setDataSet(&own);
        QPointer<TStandardPreview> w = new TStandardPreview(&report);
        w->show();
        QSignalSpy finished(w.data(), &TStandardPreview::layoutFinished);
        w->start();
        QVERIFY(finished.wait(10000));
        const int all = w->pageCount();

        const QSet<QString> before = pdfsNow();
        w->findChild<QToolButton *>(QStringLiteral("Print"))->click();
        const QString pdf = waitForNewPdf(before);
        QVERIFY2(!pdf.isEmpty(), "cups-pdf wrote no page");
        QList<int> expected;
        for (int i = 1; i <= all; ++i)
            expected << i;
        QCOMPARE(identifyPages(pdf, *w->pages()), expected);
        delete w;
    }

    void pageRangeAndTwoCopiesFromPrintSetup()
    {
        if (!skipReason_.isEmpty())
            QSKIP(qPrintable(skipReason_));
        ReportTable data(200);
        Report report;
        report.setDefinition(sampleDefinition());
        TableSource own(&data.table);
        report.setDataSet(&own);
        QPointer<TStandardPreview> w = new TStandardPreview(&report);
        w->show();
        QSignalSpy finished(w.data(), &TStandardPreview::layoutFinished);
        w->start();
        QVERIFY(finished.wait(10000));

        QString chosenPrinter;
        kw::setPrintSetupHandler([&](QPrinter *printer, const kw::PrintDialogRequest &) {
            chosenPrinter = printer->printerName();
            printer->setPrintRange(QPrinter::PageRange);
            printer->setFromTo(2, 3);
            printer->setCopyCount(2);
            return true;
        });
        w->findChild<QToolButton *>(QStringLiteral("PrintSetup"))->click();
        kw::setPrintSetupHandler(nullptr);
        QCOMPARE(chosenPrinter, QStringLiteral("PDF")); // the default queue
        QCOMPARE(report.printSettings().printerName, QStringLiteral("PDF"));

        const QSet<QString> before = pdfsNow();
        w->findChild<QToolButton *>(QStringLiteral("Print"))->click();
        const QString pdf = waitForNewPdf(before);
        QVERIFY2(!pdf.isEmpty(), "cups-pdf wrote no page");
        QCOMPARE(identifyPages(pdf, *w->pages()), (QList<int>{2, 3, 2, 3}));
        delete w;
    }

    // Cancel in "Printing progress" after the first page: painting stops there and the job is
    // aborted. Whatever reaches the queue is fewer pages than the report has (with Qt's CUPS
    // engine, which cannot withdraw a job, the pages painted before Cancel go out as a short job).
    void cancelAfterTheFirstPageLetsFewerPagesOut()
    {
        if (!skipReason_.isEmpty())
            QSKIP(qPrintable(skipReason_));
        ReportTable data(1500);
        Report report;
        report.setDefinition(sampleDefinition());
        TableSource own(&data.table);
        report.setDataSet(&own);
        QPointer<TStandardPreview> w = new TStandardPreview(&report);
        w->show();
        QSignalSpy finished(w.data(), &TStandardPreview::layoutFinished);
        w->start();
        QVERIFY(finished.wait(20000));
        const int all = w->pageCount();
        QVERIFY(all > 20);

        int cancelledAt = 0; // the page that was about to be painted
        QTimer presser;
        presser.setInterval(0);
        connect(&presser, &QTimer::timeout, this, [&] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (top->objectName() != QLatin1String("PrintProgress") || !top->isVisible())
                    continue;
                const QString info = top->findChild<QLabel *>(QStringLiteral("Info"))->text();
                const QRegularExpressionMatch m =
                    QRegularExpression(QStringLiteral("strony (\\d+) z")).match(info);
                if (!m.hasMatch() || m.captured(1).toInt() < 2)
                    continue; // the first page is on its way
                cancelledAt = m.captured(1).toInt();
                top->findChild<QAbstractButton *>(QStringLiteral("Cancel"))->click();
                presser.stop();
            }
        });
        const QSet<QString> before = pdfsNow();
        presser.start();
        w->findChild<QToolButton *>(QStringLiteral("Print"))->click();
        QVERIFY(cancelledAt >= 2);
        QVERIFY(w); // the preview stays

        // Give the scheduler time to print what it was given, then count it.
        QElapsedTimer clock;
        clock.start();
        QString jobs;
        QString pdf;
        while (clock.elapsed() < 20000 && pdf.isEmpty()) {
            QTest::qWait(500);
            const QSet<QString> now = pdfsNow() - before;
            tool(QStringLiteral("lpstat"), {QStringLiteral("-o")}, &jobs);
            if (!now.isEmpty() && jobs.trimmed().isEmpty())
                pdf = now.begin()->section(u'|', 0, 0);
            if (now.isEmpty() && jobs.trimmed().isEmpty() && clock.elapsed() > 8000)
                break; // nothing queued, nothing printed
        }
        if (!pdf.isEmpty()) {
            made_.insert(pdf);
            const int out = pageCountOf(pdf);
            qInfo("Cancel after page %d of %d: %d page(s) reached the queue", cancelledAt - 1, all, out);
            QVERIFY2(out < all, qPrintable(QStringLiteral("%1 of %2 pages printed").arg(out).arg(all)));
            QVERIFY(out < cancelledAt);
        } else {
            qInfo("Cancel after page %d of %d: nothing reached the queue", cancelledAt - 1, all);
        }
        delete w;
    }
};

QTEST_MAIN(PrintCupsTest)
#include "PrintCupsTest.moc"
