#include "reports/statements/Statements.h"
#include "ledger/EngineError.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"
#include "ledger/OutputFile.h"
#include "reports/engine/ReportPainter.h"
#include "reports/statements/StatementLayouts.h"

#include <QDir>
#include <QFileInfo>
#include <stdexcept>

namespace kw::statements {

QString statementTitle(Statement kind)
{
    switch (kind) {
    case Statement::Monthly:
        return QStringLiteral("Zestawienie miesięczne");
    case Statement::Yearly:
        return QStringLiteral("Zestawienie roczne");
    case Statement::MultiYear:
        break;
    }
    return QStringLiteral("Zestawienie wieloletnie");
}

QString documentTitle(Statement kind, const QString &monthText, const QString &yearText)
{
    switch (kind) {
    case Statement::Monthly:
        return statementTitle(kind) + QStringLiteral(" %1/%2").arg(monthText, yearText);
    case Statement::Yearly:
        return statementTitle(kind) + QLatin1Char(' ') + yearText;
    case Statement::MultiYear:
        break;
    }
    return statementTitle(kind);
}

QString emptyPreviewText(Statement kind)
{
    return kind == Statement::MultiYear
               ? QStringLiteral("Brak zapisanych lat – zestawienie jest puste i nie ma czego drukować.")
               : QStringLiteral("Brak wpisów za ten okres – zestawienie jest puste i nie ma czego drukować.");
}

QString emptyReason(Statement kind)
{
    return kind == Statement::MultiYear ? QStringLiteral("brak zapisanych lat")
                                        : QStringLiteral("brak wpisów za ten okres");
}

kw::RecordFilter statementFilter(Statement kind, const kw::ledger::PeriodSource &period)
{
    switch (kind) {
    case Statement::Monthly:
        return kw::ledger::dayPeriodFilter(period);
    case Statement::Yearly:
        // Every month sum of the year; the month plays no part.
        return kw::ledger::monthSumsOfYearFilter(period);
    case Statement::MultiYear:
        break;
    }
    return {};
}

void setUpStatementTable(Statement kind, kw::Table &table)
{
    using namespace kw::ledger;
    // No order of its own: the lines come in the order the records are stored.
    table.setIndexFieldName(QString());
    switch (kind) {
    case Statement::Monthly:
        table.setTableName(QStringLiteral("Wydatki.DBF"));
        table.setRequiredFields(dayRequirements());
        break;
    case Statement::Yearly:
        table.setTableName(QStringLiteral("Suma.DBF"));
        table.setRequiredFields(monthRequirements());
        break;
    case Statement::MultiYear:
        table.setTableName(YearFile);
        table.setRequiredFields(yearRequirements());
        break;
    }
}

PeriodTables::PeriodTables(Statement kind, const QString &directory, const QString &monthText,
                           const QString &yearText)
    : period_(monthText, yearText), data_(std::make_unique<kw::Table>())
{
    setUpStatementTable(kind, *data_);
    data_->setDirectory(directory);
    if (kind != Statement::MultiYear) {
        data_->setOnFilterRecord(statementFilter(kind, period_));
        data_->setFiltered(true);
    }
    data_->open();
    if (kind == Statement::Monthly)
        sums_ = openPeriodSums(directory, period_);
}

PeriodSums openPeriodSums(const QString &directory, const kw::ledger::PeriodSource &period)
{
    // Found as the main window finds them when the period is open.
    PeriodSums sums{std::make_unique<kw::Table>(), std::make_unique<kw::Table>()};
    kw::ledger::setUpMonthTable(*sums.month);
    kw::ledger::setUpYearTable(*sums.year);
    sums.month->setOnFilterRecord(kw::ledger::monthPeriodFilter(period));
    sums.year->setOnFilterRecord(kw::ledger::yearPeriodFilter(period));
    for (kw::Table *t : {sums.month.get(), sums.year.get()}) {
        t->setDirectory(directory);
        t->open();
        t->setFiltered(true);
    }
    return sums;
}

PeriodTables::~PeriodTables() = default;

namespace {

using namespace kw::report;
namespace L = kw::statements::layout;

QString utf8(const char *text)
{
    return QString::fromUtf8(text);
}

FontSpec fontOf(L::Font f)
{
    FontSpec spec; // Arial 8 pt, the statements' default
    if (f == L::Font::TitleBold) {
        spec.pointSize = 14;
        spec.bold = true;
    }
    return spec;
}

Align alignOf(L::Align a)
{
    switch (a) {
    case L::Align::Left:
        return Align::Left;
    case L::Align::Centre:
        return Align::Center;
    case L::Align::BandCentre:
        break;
    }
    return Align::BandCenter;
}

void style(Element &e, const L::Text &t, double height = L::CellHeight)
{
    if (t.font != L::Font::Normal)
        e.font = fontOf(t.font);
    e.height = t.font == L::Font::Normal ? height : 0; // a title line is as high as its font
    e.autoSize = t.width == 0;
}

Element &label(Band &band, const L::Text &t)
{
    Element &e = band.addLabel(t.left, t.top, t.width, utf8(t.text), alignOf(t.align));
    style(e, t);
    return e;
}

Element &field(Band &band, const QString &dataSet, const L::Text &t)
{
    Element &e = band.addField(t.left, t.top, t.width, dataSet, utf8(t.text), alignOf(t.align));
    style(e, t);
    return e;
}

// The date and time of printing. It sizes itself to its text: the width the layout gives it holds
// the date alone, and the time would be lost.
void printTime(Band &band, const L::Text &label_, const L::Text &value)
{
    label(band, label_);
    Element &e = band.addSystemData(value.left, value.top, value.width, SystemDataKind::DateTime);
    style(e, value);
    e.autoSize = true;
}

// Boxed captions over groups of columns: lines above, left and right, standing on the title band's
// bottom edge so that the column header's top line closes each box.
void groupCaptions(Band &title, double titleHeight, const std::array<L::Text, 3> &groups)
{
    for (const L::Text &g : groups) {
        Element &e = label(title, g);
        e.height = titleHeight - g.top;
        e.frame.top = e.frame.left = e.frame.right = true;
    }
}

// The five bands in printing order. Elements are added once every band is in place: adding a band
// may move the others.
void addBands(ReportDefinition &def, const L::Bands &bands)
{
    // The statements' cells name the table they walk as the windows name it.
    def.dataSetName = QStringLiteral("Table1");
    def.addBand(BandKind::Title, bands.title);
    def.addBand(BandKind::ColumnHeader, bands.header, FrameLines{true, true, false, false});
    def.addBand(BandKind::Detail, bands.detail);
    def.addBand(BandKind::Summary, bands.summary, FrameLines{true, false, false, false});
    def.addBand(BandKind::PageFooter, bands.footer);
}

Band &band(ReportDefinition &def, BandKind kind)
{
    for (Band &b : def.bands)
        if (b.kind == kind)
            return b;
    throw std::logic_error("a statement band is missing");
}

template <std::size_t N>
void columnGrid(ReportDefinition &def, double detailTop, const std::array<L::Column, N> &columns)
{
    Band &header = band(def, BandKind::ColumnHeader), &detail = band(def, BandKind::Detail),
         &summary = band(def, BandKind::Summary);
    for (const L::Column &c : columns) {
        header.addLabel(c.left, L::HeadingTop, c.width, utf8(c.heading), Align::Center).height =
            L::CellHeight;
        detail.addExpression(c.left, detailTop, c.width, QString::fromLatin1(c.detail), Align::Center)
            .height = L::CellHeight;
        if (c.summary)
            summary
                .addExpression(c.left, L::SummaryTop, c.width, QString::fromLatin1(c.summary), Align::Center)
                .height = L::CellHeight;
    }
}

ReportDefinition monthlyDefinition()
{
    namespace M = L::monthly;
    ReportDefinition def;
    def.name = QStringLiteral("Report1");
    addBands(def, M::bands);
    Band &title = band(def, BandKind::Title);
    printTime(title, M::dateLabel, M::dateValue);
    label(title, M::title);
    label(title, M::yearLabel);
    field(title, QString(), M::yearField); // the year of the first day entry printed
    columnGrid(def, M::DetailTop, M::columns);
    label(band(def, BandKind::ColumnHeader), M::remarkHeading);
    field(band(def, BandKind::Detail), QString(), M::remarkField);
    label(band(def, BandKind::Summary), M::sumLabel);
    Band &footer = band(def, BandKind::PageFooter);
    for (const L::Text &t : M::footerLabels)
        label(footer, t);
    for (const L::Text &t : M::footerMonthFields)
        field(footer, QStringLiteral("TableS"), t);
    for (const L::Text &t : M::footerYearFields)
        field(footer, QStringLiteral("Table4R"), t);
    return def;
}

ReportDefinition yearlyDefinition()
{
    namespace Y = L::yearly;
    ReportDefinition def;
    def.name = QStringLiteral("Report1");
    addBands(def, Y::bands); // the page footer holds nothing
    Band &title = band(def, BandKind::Title);
    printTime(title, Y::dateLabel, Y::dateValue);
    label(title, Y::title);
    label(title, Y::yearLabel);
    field(title, QString(), Y::yearField); // the year of the first month sum printed
    groupCaptions(title, Y::bands.title, Y::groups);
    columnGrid(def, Y::DetailTop, Y::columns);
    label(band(def, BandKind::Summary), Y::sumLabel);
    return def;
}

ReportDefinition multiYearDefinition()
{
    namespace W = L::multiyear;
    ReportDefinition def;
    def.name = QStringLiteral("Report1");
    addBands(def, W::bands); // the page footer holds nothing
    Band &title = band(def, BandKind::Title);
    label(title, W::title);
    printTime(title, W::dateLabel, W::dateValue);
    groupCaptions(title, W::bands.title, W::groups);
    columnGrid(def, W::DetailTop, W::columns);
    label(band(def, BandKind::Summary), W::sumLabel);
    return def;
}

} // namespace

ReportDefinition statementDefinition(Statement kind)
{
    ReportDefinition def = kind == Statement::Monthly  ? monthlyDefinition()
                           : kind == Statement::Yearly ? yearlyDefinition()
                                                       : multiYearDefinition();
    // A4 landscape, 10 mm margins, Arial 8 pt; the page footer closes the last page too, and a
    // statement without a line has no page.
    def.pageLayout = ReportDefinition::defaultPageLayout();
    def.defaultFont = FontSpec{};
    def.options.printIfEmpty = false;
    def.options.pageFooterOnLastPage = true;
    return def;
}

StatementReport::StatementReport(Statement kind, const StatementTables &tables, QObject *parent)
    : Report(parent), kind_(kind), data_(tables.data), monthSum_(const_cast<kw::Table *>(tables.monthSum)),
      yearSum_(const_cast<kw::Table *>(tables.yearSum))
{
    // Judged before anything is laid out: a damaged number stops the statement rather than print
    // as its own formula or count as 0.
    if (tables.data)
        kw::ledger::checkVisibleRecords(*tables.data);
    for (const kw::Table *sum : {tables.monthSum, tables.yearSum})
        if (sum)
            kw::ledger::checkCurrentRecord(*sum);
    setDefinition(statementDefinition(kind));
    setDataSet(&data_);
    if (kind == Statement::Monthly) {
        // The sums' fields are currency fields of the ledger; the statement's own fields print as stored.
        for (const auto &[sum, level] : {std::pair{&monthSum_, kw::ledger::Level::Month},
                                         std::pair{&yearSum_, kw::ledger::Level::Year}}) {
            const kw::ledger::DerivedFields &d = kw::ledger::derivedFields(level);
            sum->setCurrencyFields(
                {QLatin1String(d.income), QLatin1String(d.expenses), QLatin1String(d.budget)});
        }
        addDataSet(QStringLiteral("TableS"), &monthSum_);
        addDataSet(QStringLiteral("Table4R"), &yearSum_);
    }
}

int writeStatementPdf(Statement kind, const StatementTables &tables, const QString &path,
                      const QString &dataDirectory, const QString &title)
{
    const StatementReport report(kind, tables);
    const LaidOutReport pages = report.layout();
    if (pages.pages.empty())
        return 0;
    // Written aside and put in place at the end, so a failure leaves an earlier file as it was; never
    // onto the ledger's own files or onto anything that is not a PDF.
    kw::output::AtomicOutput out(path, kw::output::FileKind::Pdf, dataDirectory);
    QString error;
    if (!kw::report::writePdf(pages, out.device(), title.isEmpty() ? statementTitle(kind) : title, &error))
        out.fail(error);
    out.commit();
    return int(pages.pages.size());
}

int writeStatementPdf(const StatementRequest &request)
{
    const QString dir = request.directory.isEmpty() ? QDir::currentPath() : request.directory;
    // Refused before any work: the pages of a statement that may not be written are never laid out.
    if (const QString why = kw::output::refusal(request.output, kw::output::FileKind::Pdf, dir);
        !why.isEmpty())
        throw EngineError(why, EngineError::Kind::Refused);
    const PeriodTables tables(request.kind, dir, request.monthText, request.yearText);
    return writeStatementPdf(request.kind, tables.tables(), request.output, dir,
                             documentTitle(request.kind, request.monthText, request.yearText));
}

} // namespace kw::statements
