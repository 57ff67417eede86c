// The report engine alone: expressions, paging, totals, formats, cutting, empty reports,
// incremental runs and PDF output read back with poppler's tools.

#include "ReportFixture.h"
#include "regional/Regional.h"
#include "reports/engine/ReportPainter.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace kwtest;
using kw::regional::formatGeneral;

namespace {

QStringList textsOf(const Page &page)
{
    QStringList out;
    for (const PlacedText &t : page.texts)
        out << t.text;
    return out;
}

const PlacedText *findText(const Page &page, const QString &text)
{
    for (const PlacedText &t : page.texts)
        if (t.text == text)
            return &t;
    return nullptr;
}

// A source whose values come from a list of maps: for tests that need odd values.
struct ListSource : RecordSource
{
    QList<QVariantMap> rows;
    int at = 0;
    QSet<QString> currency;
    void first() override { at = 0; }
    void next() override { ++at; }
    bool eof() const override { return at >= rows.size(); }
    int recordCount() const override { return int(rows.size()); }
    bool hasField(const QString &f) const override { return rows.isEmpty() || rows.first().contains(f); }
    QVariant value(const QString &f) const override { return eof() ? QVariant() : rows.at(at).value(f); }
    bool isCurrency(const QString &f) const override { return currency.contains(f); }
};

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class EngineTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland)); }

    void arialResolvesToAMetricCompatibleFace()
    {
        const QFontInfo info(layoutFont(FontSpec{}));
        QVERIFY2(info.family() == QLatin1String("Arial") || info.family() == QLatin1String("Liberation Sans"),
                 qPrintable(info.family()));
    }

    void expressionForms_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("shown");
        QTest::newRow("own dataset by name") << "Table1.NR"
                                             << "7";
        QTest::newRow("name in any case") << "table1.nr"
                                          << "7";
        QTest::newRow("square brackets") << "[KWOTA]"
                                         << "2,5";
        QTest::newRow("parentheses") << "(KWOTA)"
                                     << "2,5";
        QTest::newRow("another dataset") << "TableS.DOCHOD"
                                         << "100";
        QTest::newRow("precedence") << "1 + 2 * 3"
                                    << "7";
        QTest::newRow("parenthesised") << "(1 + 2) * 3"
                                       << "9";
        QTest::newRow("unary minus") << "-[KWOTA] - 1"
                                     << "-3,5";
        QTest::newRow("division") << "Table1.NR / 2"
                                  << "3,5";
        QTest::newRow("binary fraction sum") << "0.1 + 0.2"
                                             << "0,3";
        QTest::newRow("large") << "10000000000000000" << formatGeneral(1e16);
        QTest::newRow("integer") << "3.0"
                                 << "3";
        QTest::newRow("blank field counts 0 in arithmetic") << "[PUSTE] + 1"
                                                            << "1";
        QTest::newRow("blank field alone prints nothing") << "[PUSTE]"
                                                          << "";
        QTest::newRow("text unchanged") << "[UWAGI]"
                                        << "ala ma kota";
        QTest::newRow("text literal") << "'A ''B'''"
                                      << "A 'B'";
        QTest::newRow("date") << "[DATA]" << kw::regional::shortDate(QDate(2004, 3, 9));
        // What cannot be evaluated prints its own text.
        QTest::newRow("unknown field") << "Table1.NIEMA"
                                       << "Table1.NIEMA";
        QTest::newRow("unknown dataset") << "Inna.NR"
                                         << "Inna.NR";
        QTest::newRow("bad syntax") << "1 +"
                                    << "1 +";
        QTest::newRow("unbalanced") << "(1 + 2"
                                    << "(1 + 2";
        QTest::newRow("junk after") << "1 2"
                                    << "1 2";
        QTest::newRow("text in arithmetic") << "[UWAGI] + 1"
                                            << "[UWAGI] + 1";
        QTest::newRow("division by zero") << "1 / 0"
                                          << "1 / 0";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("sum of sum") << "SUM(SUM(1))"
                                    << "SUM(SUM(1))";
    }
    void expressionForms()
    {
        QFETCH(QString, expression);
        QFETCH(QString, shown);
        const FieldLookup lookup = [](const QString &set, const QString &field) -> QVariant {
            if (set == QLatin1String("TABLES"))
                return field == QLatin1String("DOCHOD") ? QVariant(100.0) : QVariant();
            if (!set.isEmpty())
                return QVariant();
            if (field == QLatin1String("NR"))
                return 7.0;
            if (field == QLatin1String("KWOTA"))
                return 2.5;
            if (field == QLatin1String("UWAGI"))
                return QStringLiteral("ala ma kota");
            if (field == QLatin1String("DATA"))
                return QDate(2004, 3, 9);
            if (field == QLatin1String("PUSTE"))
                return QVariant(QMetaType(QMetaType::Double));
            return QVariant();
        };
        QCOMPARE(Expression::parse(expression, QStringLiteral("Table1")).display(lookup), shown);
    }

    void sumRunsOverEveryAccumulationAndBreaksOnText()
    {
        double value = 0;
        QVariant text;
        const FieldLookup lookup = [&](const QString &, const QString &f) -> QVariant {
            return f == QLatin1String("T") ? text : QVariant(value);
        };
        Expression e = Expression::parse(QStringLiteral("SUM(Table1.A * 2) + 1"), QStringLiteral("Table1"));
        QVERIFY(e.hasSum());
        QCOMPARE(e.display(lookup), QStringLiteral("1"));
        for (value = 1; value <= 4; ++value)
            e.accumulate(lookup);
        QCOMPARE(e.display(lookup), QStringLiteral("21"));
        e.resetSums();
        QCOMPARE(e.display(lookup), QStringLiteral("1"));

        Expression t = Expression::parse(QStringLiteral("SUM([T])"));
        text = 2.0;
        t.accumulate(lookup);
        text = QStringLiteral("abc");
        t.accumulate(lookup);
        QCOMPARE(t.display(lookup), QStringLiteral("SUM([T])"));
    }

    void pagingRepeatsHeaderAndFooterAndCountsEachDetailOnce()
    {
        ReportTable data(200);
        ListSource sums;
        sums.rows = {QVariantMap{{QStringLiteral("KWOTA"), 1234.5}}};
        sums.currency = {QStringLiteral("KWOTA")};
        DataSets sets;
        sets.own = nullptr;
        TableSource own(&data.table);
        sets.own = &own;
        sets.add(QStringLiteral("TableS"), &sums);

        LayoutRun run(sampleDefinition(), sets);
        QSignalSpy pages(&run, &LayoutRun::pageAvailable);
        QSignalSpy done(&run, &LayoutRun::finished);
        run.run();
        QCOMPARE(done.count(), 1);
        const LaidOutReport &r = run.result();
        QVERIFY(r.pages.size() >= 4);
        QCOMPARE(pages.count(), int(r.pages.size()));
        for (int i = 0; i < pages.count(); ++i)
            QCOMPARE(pages.at(i).at(0).toInt(), i + 1);

        const double paperBottom = r.paperSize.height() - mmToUnits(10);
        const double footerTop = paperBottom - mmToUnits(15.9);
        int expected = 1;
        double total = 0;
        for (std::size_t p = 0; p < r.pages.size(); ++p) {
            const Page &page = r.pages[p];
            const QStringList texts = textsOf(page);
            QCOMPARE(texts.count(QStringLiteral("Kwota")), 1);
            QCOMPARE(texts.count(QStringLiteral("Zestawienie próbne")), p == 0 ? 1 : 0);
            const PlacedText *footer = findText(page, QStringLiteral("Dochód miesięczny :"));
            QVERIFY2(footer, qPrintable(QStringLiteral("no footer on page %1").arg(p + 1)));
            QVERIFY(qAbs(footer->rect.top() - (footerTop + mmToUnits(2.1))) < 0.01);
            QVERIFY(findText(page, kw::regional::formatCurrency(1234.5)));
            // The header has its two lines on every page.
            QVERIFY(page.lines.size() >= 2);
            for (const PlacedText &t : page.texts) {
                if (!t.text.startsWith(QLatin1String("pozycja ")))
                    continue;
                QCOMPARE(t.text, QStringLiteral("pozycja %1").arg(expected));
                QVERIFY2(t.rect.bottom() <= footerTop + 0.01, "a detail runs into the page footer");
                total += ReportTable::amountOf(expected);
                ++expected;
            }
        }
        QCOMPARE(expected, 201);
        const Page &last = r.pages.back();
        QVERIFY(findText(last, QStringLiteral("SUMA :")));
        QVERIFY2(findText(last, formatGeneral(total)), qPrintable(textsOf(last).join(u'|')));
        // The caption centred on the band's full width stands in the middle of the paper.
        const PlacedText *caption = findText(r.pages.front(), QStringLiteral("Zestawienie próbne"));
        QVERIFY(qAbs(caption->rect.center().x() - r.paperSize.width() / 2) < 0.01);
        QCOMPARE(caption->rect.width(), mmToUnits(61.1));
        // Expressions of the three forms on the first detail line.
        const QStringList first = textsOf(r.pages.front());
        QVERIFY(first.contains(QStringLiteral("1")));
        QVERIFY(first.contains(formatGeneral(ReportTable::amountOf(1))));
        QVERIFY(first.contains(kw::regional::shortDate(QDate(2004, 3, 1))));
    }

    void summaryMovedToANewPageStillTotalsEveryDetail()
    {
        // Find how many details fill the first two pages, then print exactly that many.
        int perTwoPages = 0;
        {
            ReportTable probe(200);
            TableSource own(&probe.table);
            DataSets sets;
            sets.own = &own;
            const LaidOutReport r = layoutReport(sampleDefinition(), sets);
            for (int p = 0; p < 2; ++p)
                for (const PlacedText &t : r.pages[std::size_t(p)].texts)
                    perTwoPages += t.text.startsWith(QLatin1String("pozycja ")) ? 1 : 0;
        }
        ReportTable data(perTwoPages);
        TableSource own(&data.table);
        DataSets sets;
        sets.own = &own;
        const LaidOutReport r = layoutReport(sampleDefinition(), sets);
        QCOMPARE(int(r.pages.size()), 3);
        double total = 0;
        for (int i = 1; i <= perTwoPages; ++i)
            total += ReportTable::amountOf(i);
        const Page &last = r.pages.back();
        QVERIFY(findText(last, QStringLiteral("SUMA :")));
        QVERIFY(findText(last, formatGeneral(total)));
        QVERIFY(findText(last, QStringLiteral("Kwota")));
        QVERIFY(findText(last, QStringLiteral("Dochód miesięczny :")));
        for (const PlacedText &t : last.texts)
            QVERIFY(!t.text.startsWith(QLatin1String("pozycja ")));
    }

    void footerOptionalOnTheLastPage()
    {
        ReportTable data(3);
        TableSource own(&data.table);
        DataSets sets;
        sets.own = &own;
        ReportDefinition def = sampleDefinition();
        def.options.pageFooterOnLastPage = false;
        const LaidOutReport r = layoutReport(def, sets);
        QCOMPARE(int(r.pages.size()), 1);
        QVERIFY(!findText(r.pages[0], QStringLiteral("Dochód miesięczny :")));
    }

    void dataFieldsFormatByKind()
    {
        ListSource src;
        src.rows = {QVariantMap{{QStringLiteral("KWOTA"), -1234.5},
                                {QStringLiteral("ILE"), 1234.5},
                                {QStringLiteral("DATA"), QDate(2004, 12, 31)},
                                {QStringLiteral("UWAGI"), QStringLiteral("bez zmian 1.5")},
                                {QStringLiteral("PUSTE"), QVariant(QMetaType(QMetaType::QString))}}};
        src.currency = {QStringLiteral("KWOTA")};
        ReportDefinition def;
        Band &d = def.addBand(BandKind::Detail, 5);
        for (const char *f : {"KWOTA", "ILE", "DATA", "UWAGI", "PUSTE", "NIEMA"})
            d.addField(0, 0, 100, QString(), QString::fromLatin1(f));
        DataSets sets;
        sets.own = &src;
        const LaidOutReport r = layoutReport(def, sets);
        QCOMPARE(int(r.pages.size()), 1);
        QCOMPARE(
            textsOf(r.pages[0]),
            (QStringList{kw::regional::formatCurrency(-1234.5), QStringLiteral("1234,5"),
                         kw::regional::shortDate(QDate(2004, 12, 31)), QStringLiteral("bez zmian 1.5")}));
    }

    void cellsCutTheirTextAtTheWidthOnOneLine()
    {
        ListSource src;
        const QString longText =
            QStringLiteral("Bardzo długa uwaga, która nie mieści się w kolumnie\nnowa linia");
        src.rows = {QVariantMap{{QStringLiteral("UWAGI"), longText}}};
        ReportDefinition def;
        Band &d = def.addBand(BandKind::Detail, 5);
        d.addField(10, 0, 30, QString(), QStringLiteral("UWAGI"), Align::Right).height = 4;
        d.addLabel(10, 0, 0, QStringLiteral("Etykieta sama się mierzy")).autoSize = true;
        DataSets sets;
        sets.own = &src;
        const LaidOutReport r = layoutReport(def, sets);
        const PlacedText &cut = r.pages[0].texts[0];
        const QFontMetricsF fm(r.fonts[std::size_t(cut.font)]);
        QVERIFY(cut.text.size() > 5);
        QVERIFY(longText.startsWith(cut.text));
        QVERIFY(!cut.text.contains(u'\n'));
        QVERIFY(fm.horizontalAdvance(cut.text) <= cut.rect.width() + 1e-6);
        QVERIFY(fm.horizontalAdvance(longText.left(cut.text.size() + 1)) > cut.rect.width());
        QCOMPARE(cut.flags & Qt::AlignHorizontal_Mask, int(Qt::AlignLeft));
        QCOMPARE(cut.rect.height(), mmToUnits(4));

        const PlacedText &label = r.pages[0].texts[1];
        QCOMPARE(label.text, QStringLiteral("Etykieta sama się mierzy"));
        QVERIFY(qAbs(label.rect.width() - fm.horizontalAdvance(label.text)) < 1e-6);
    }

    // A number never loses digits: too wide for its cell, it is drawn in a smaller size of the same
    // font (on the line's baseline), down to 5 pt; narrower still, the cell shows "###". Text is cut.
    void numbersShrinkToFitAndNeverGetCut()
    {
        ListSource src;
        src.rows = {QVariantMap{{QStringLiteral("N"), 123456789.12},
                                {QStringLiteral("T"), QStringLiteral("123456789,12")}}};
        ReportDefinition def;
        Band &d = def.addBand(BandKind::Detail, 5);
        d.addExpression(0, 0, 30, QStringLiteral("N"), Align::Center).height = 4;        // fits as it is
        d.addExpression(40, 0, 12, QStringLiteral("N"), Align::Center).height = 4;       // fits smaller
        d.addField(60, 0, 12, QString(), QStringLiteral("N"), Align::Center).height = 4; // a field too
        d.addExpression(80, 0, 6, QStringLiteral("N"), Align::Center).height = 4;        // not even at 5 pt
        d.addExpression(100, 0, 12, QStringLiteral("T"), Align::Center).height = 4;      // text: cut
        DataSets sets;
        sets.own = &src;
        const LaidOutReport r = layoutReport(def, sets);
        const std::vector<PlacedText> &t = r.pages[0].texts;
        QCOMPARE(int(t.size()), 5);
        const QString whole = kw::regional::formatGeneral(123456789.12);
        const QFont &base = r.fonts[std::size_t(t[0].font)];
        QCOMPARE(t[0].text, whole);
        for (const PlacedText &smaller : {t[1], t[2]}) {
            QCOMPARE(smaller.text, whole);
            const QFont &f = r.fonts[std::size_t(smaller.font)];
            QVERIFY(f.pixelSize() < base.pixelSize());
            QVERIFY(f.pixelSize() >= qRound(5 * UnitsPerInch / 72.0));
            QCOMPARE(f.family(), base.family());
            QVERIFY(QFontMetricsF(f).horizontalAdvance(whole) <= smaller.rect.width() + 1e-6);
            QVERIFY(f.pixelSize() > base.pixelSize() / 2); // not smaller than it needs to be
            // Same baseline as the full-size cell of the line.
            QVERIFY(qAbs((smaller.rect.top() + QFontMetricsF(f).ascent()) -
                         (t[0].rect.top() + QFontMetricsF(base).ascent())) < 1e-6);
        }
        QCOMPARE(t[1].font, t[2].font); // one smaller font, made once
        QCOMPARE(t[3].text, QStringLiteral("###"));
        QVERIFY(t[4].text.size() < whole.size() && whole.startsWith(t[4].text));
        QCOMPARE(t[4].font, t[0].font);

        // The screen and paper draw the smaller size too: the cell's ink stays inside it.
        const QImage img = renderPageImage(r, 0, 300.0);
        const double k = 300.0 / UnitsPerInch;
        int outside = 0;
        for (int y = int(t[1].rect.top() * k); y < int(t[1].rect.bottom() * k); ++y)
            for (int x = int(t[1].rect.right() * k) + 2; x < int(t[2].rect.left() * k) - 1; ++x)
                outside += qGray(img.pixel(x, y)) < 128;
        QCOMPARE(outside, 0);
    }

    void paintingStaysInsideTheCutCell()
    {
        ListSource src;
        src.rows = {
            QVariantMap{{QStringLiteral("UWAGI"), QStringLiteral("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW")}}};
        ReportDefinition def;
        def.pageLayout = QPageLayout(QPageSize(QPageSize::A6), QPageLayout::Portrait,
                                     QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
        def.addBand(BandKind::Detail, 5).addField(0, 0, 20, QString(), QStringLiteral("UWAGI")).height = 4;
        DataSets sets;
        sets.own = &src;
        const LaidOutReport r = layoutReport(def, sets);
        for (double dpi : {96.0, 300.0, 600.0}) {
            const QImage img = renderPageImage(r, 0, dpi);
            const double k = dpi / UnitsPerInch;
            const QRectF cell = r.pages[0].texts[0].rect;
            int inside = 0, outside = 0;
            for (int y = int(cell.top() * k); y < int(cell.bottom() * k); ++y)
                for (int x = 0; x < img.width(); ++x) {
                    if (qGray(img.pixel(x, y)) > 128)
                        continue;
                    (x < cell.right() * k + 1 ? inside : outside)++;
                }
            QVERIFY(inside > 0);
            QCOMPARE(outside, 0);
        }
    }

    void emptyReportHasNoPagesUnlessAsked()
    {
        ReportTable data(0);
        TableSource own(&data.table);
        DataSets sets;
        sets.own = &own;
        ReportDefinition def = sampleDefinition();
        {
            LayoutRun run(def, sets);
            QSignalSpy done(&run, &LayoutRun::finished);
            QSignalSpy progress(&run, &LayoutRun::progress);
            run.run();
            QCOMPARE(run.pageCount(), 0);
            QCOMPARE(done.count(), 1);
            QCOMPARE(progress.last().at(0).toInt(), 100);
        }
        def.options.printIfEmpty = true;
        const LaidOutReport r = layoutReport(def, sets);
        QCOMPARE(int(r.pages.size()), 1);
        const QStringList texts = textsOf(r.pages[0]);
        for (const char *t : {"Zestawienie próbne", "Kwota", "SUMA :", "0", "Dochód miesięczny :"})
            QVERIFY2(texts.contains(QString::fromUtf8(t)), t);
        // A closed table reads as empty too.
        data.table.close();
        def.options.printIfEmpty = false;
        QCOMPARE(int(layoutReport(def, sets).pages.size()), 0);
    }

    void incrementalRunAnnouncesPagesAndStopsCleanly()
    {
        ReportTable data(150);
        TableSource own(&data.table);
        DataSets sets;
        sets.own = &own;
        const int allPages = int(layoutReport(sampleDefinition(), sets).pages.size());
        {
            LayoutRun run(sampleDefinition(), sets);
            run.setSliceMilliseconds(0); // one small step per event-loop turn
            QSignalSpy pages(&run, &LayoutRun::pageAvailable);
            QSignalSpy progress(&run, &LayoutRun::progress);
            QSignalSpy done(&run, &LayoutRun::finished);
            run.start();
            QVERIFY(run.running());
            QCOMPARE(pages.count(), 0); // nothing happens before the event loop turns
            QVERIFY(done.wait(10000));
            QCOMPARE(pages.count(), allPages);
            int before = -1;
            for (const auto &p : progress) {
                QVERIFY(p.at(0).toInt() >= before);
                before = p.at(0).toInt();
            }
            QCOMPARE(progress.first().at(0).toInt(), 0);
            QCOMPARE(before, 100);
            QVERIFY(progress.count() > 3);
        }
        {
            LayoutRun run(sampleDefinition(), sets);
            run.setSliceMilliseconds(0);
            QSignalSpy pages(&run, &LayoutRun::pageAvailable);
            QSignalSpy done(&run, &LayoutRun::finished);
            connect(&run, &LayoutRun::pageAvailable, &run, [&run](int n) {
                if (n == 1)
                    run.stop();
            });
            run.start();
            QTRY_VERIFY(!run.running());
            QTest::qWait(50);
            QCOMPARE(pages.count(), 1);
            QCOMPARE(done.count(), 0);
            QCOMPARE(run.pageCount(), 1);
            QVERIFY(!run.result().complete);
        }
    }

    void pagesPaintAtAnyResolution()
    {
        ReportTable data(5);
        TableSource own(&data.table);
        DataSets sets;
        sets.own = &own;
        const LaidOutReport r = layoutReport(sampleDefinition(), sets);
        const QImage a = renderPageImage(r, 0, 72);
        QCOMPARE(a.size(), QSize(842, 595)); // A4 landscape in points
        const QImage b = renderPageImage(r, 0, QSize(421, 298));
        QCOMPARE(b.size(), QSize(421, 298));
        QVERIFY(renderPageImage(r, 1, 72).isNull());
        // Something dark was drawn, and the margin stays white.
        int dark = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                dark += qGray(a.pixel(x, y)) < 128 ? 1 : 0;
        QVERIFY(dark > 500);
        for (int x = 0; x < a.width(); ++x)
            QCOMPARE(a.pixel(x, 5), qRgb(255, 255, 255));
    }

    void pdfReadsBackWithTheSameTextAndPages()
    {
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
        if (pdftotext.isEmpty() || pdfinfo.isEmpty())
            QSKIP("poppler-utils is not installed");
        ReportTable data(120);
        Report report;
        report.setDefinition(sampleDefinition());
        TableSource own(&data.table);
        report.setDataSet(&own);
        const int pages = int(report.layout().pages.size());
        QVERIFY(pages >= 2);
        const QString path = QDir(data.dir.path()).filePath(QStringLiteral("raport.pdf"));
        QString error;
        QVERIFY2(report.writePdf(path, &error), qPrintable(error));
        const QString info = run(pdfinfo, {path});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\b").arg(pages))),
                 qPrintable(info));
        QVERIFY2(info.contains(
                     QRegularExpression(QStringLiteral("Page size:\\s+84[12](\\.\\d+)? x 595(\\.\\d+)?"))),
                 qPrintable(info));
        const QString text = run(pdftotext, {QStringLiteral("-layout"), path, QStringLiteral("-")});
        const QStringList perPage = text.split(u'\f', Qt::SkipEmptyParts);
        QCOMPARE(perPage.size(), pages);
        for (const QString &p : perPage) {
            QVERIFY(p.contains(QStringLiteral("Kwota")));
            QVERIFY(p.contains(QStringLiteral("Dochód miesięczny :")));
        }
        QVERIFY(perPage.first().contains(QStringLiteral("Zestawienie próbne")));
        QVERIFY(perPage.first().contains(QStringLiteral("pozycja 1")));
        double total = 0;
        for (int i = 1; i <= 120; ++i)
            total += ReportTable::amountOf(i);
        QVERIFY(perPage.last().contains(
            QRegularExpression(QStringLiteral("SUMA :\\s+%1").arg(formatGeneral(total)))));
        QVERIFY(perPage.last().contains(QStringLiteral("pozycja 120")));

        // A folder that does not exist: a clear message, no file.
        const QString bad = QDir(data.dir.path()).filePath(QStringLiteral("brak/raport.pdf"));
        QVERIFY(!report.writePdf(bad, &error));
        QVERIFY(error.contains(bad));
        QVERIFY(!QFile::exists(bad));
    }
};

QTEST_MAIN(EngineTest)
#include "EngineTest.moc"
