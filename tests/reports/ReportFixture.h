#pragma once

// A small report over a table made in a temporary directory, shared by the engine and preview tests.

#include "ledger/DbfFile.h"
#include "ledger/Table.h"
#include "reports/engine/Report.h"
#include "reports/statements/TableSource.h"

#include <QDate>
#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <memory>

namespace kwtest {

using namespace kw::report;

// Records of NR (whole number), KWOTA (amount with two decimals), DATA (date) and UWAGI (text).
struct ReportTable
{
    QTemporaryDir dir;
    kw::Table table;

    explicit ReportTable(int records = 0, const QString &name = QStringLiteral("Pozycje.dbf"))
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        kw::DbfFile::create(
            QDir(dir.path()).filePath(name),
            {{"NR", 'N', 6, 0}, {"KWOTA", 'N', 14, 2}, {"DATA", 'D', 8, 0}, {"UWAGI", 'C', 60, 0}});
        table.setTableName(name);
        table.setDirectory(dir.path());
        table.open();
        for (int i = 1; i <= records; ++i)
            add(i, amountOf(i), QDate(2004, 3, 1).addDays(i - 1), QStringLiteral("pozycja %1").arg(i));
    }
    // Amounts with cents, so sums test the general number format too.
    static double amountOf(int i) { return i * 1.25 + (i % 3) * 0.1; }

    void add(int nr, double amount, const QDate &date, const QString &remark)
    {
        table.insert();
        table.setFieldValue("NR", nr);
        table.setFieldValue("KWOTA", amount);
        table.setFieldValue("DATA", date);
        table.setFieldValue("UWAGI", remark);
        table.post();
    }
};

// A report in the statements' shape: A4 landscape, 10 mm margins, title, column header with
// lines, detail, summary with a line and totals, page footer with fields of a second dataset.
inline ReportDefinition sampleDefinition()
{
    ReportDefinition def;
    def.name = QStringLiteral("Report1");
    def.dataSetName = QStringLiteral("Table1");
    Band &title = def.addBand(BandKind::Title, 10.6);
    title.addLabel(19.3, 2.1, 20.6, QStringLiteral("Data / Godzina :"));
    title.addSystemData(40.5, 2.1, 34.8);
    Element &caption =
        title.addLabel(108.0, 0, 61.1, QStringLiteral("Zestawienie próbne"), Align::BandCenter);
    caption.font = FontSpec{QStringLiteral("Arial"), 14, true};

    Band &header = def.addBand(BandKind::ColumnHeader, 7.1, FrameLines{true, true});
    header.addLabel(0.3, 2.1, 12, QStringLiteral("Nr"), Align::Center).height = 4.0;
    header.addLabel(15, 2.1, 30, QStringLiteral("Kwota"), Align::Center).height = 4.0;
    header.addLabel(50, 2.1, 25, QStringLiteral("Data"), Align::Center).height = 4.0;
    header.addLabel(80, 2.1, 40, QStringLiteral("Uwagi"), Align::Left).height = 4.0;

    Band &detail = def.addBand(BandKind::Detail, 4.5);
    detail.addExpression(0.3, 0, 12, QStringLiteral("Table1.NR"), Align::Center).height = 4.0;
    detail.addExpression(15, 0, 30, QStringLiteral("[KWOTA]"), Align::Center).height = 4.0;
    detail.addExpression(50, 0, 25, QStringLiteral("(DATA)"), Align::Center).height = 4.0;
    detail.addField(80, 0, 40, QStringLiteral("Table1"), QStringLiteral("UWAGI")).height = 4.0;

    Band &summary = def.addBand(BandKind::Summary, 9.3, FrameLines{true, false});
    summary.addLabel(0, 2.1, 12, QStringLiteral("SUMA :")).height = 4.0;
    summary.addExpression(15, 2.1, 30, QStringLiteral("SUM(Table1.KWOTA)"), Align::Center).height = 4.0;

    Band &footer = def.addBand(BandKind::PageFooter, 15.9);
    footer.addLabel(12.7, 2.1, 0, QStringLiteral("Dochód miesięczny :")).autoSize = true;
    footer.addField(42.3, 2.1, 0, QStringLiteral("TableS"), QStringLiteral("KWOTA")).autoSize = true;
    return def;
}

} // namespace kwtest
