#pragma once

// What a banded report is made of: bands stacked down the page, each holding elements placed in
// millimetres from the band's left edge (the left margin) and top. A definition is plain data; a
// layout run (ReportLayout.h) turns it and its record sources into pages.

#include <QMarginsF>
#include <QPageLayout>
#include <QString>
#include <optional>
#include <vector>

namespace kw::report {

enum class BandKind
{
    Title,        // once, at the top of the first page
    ColumnHeader, // at the top of every page, under the title on page one
    Detail,       // once per accepted record, in the source's order
    Summary,      // once, after the last detail
    PageFooter    // at the bottom of every page
};

enum class ElementKind
{
    Label,      // fixed text
    DataField,  // one field of the current record of a named dataset
    SystemData, // the date and time at which the report is laid out
    Expression  // field references, numbers, + - * / and SUM(...)
};

enum class Align
{
    Left,
    Center,
    Right,
    BandCenter // the element itself is centred on the band's full width, its text centred in it
};

enum class SystemDataKind
{
    DateTime, // short date, a blank, long time
    Date,
    Time
};

// Lines along the edges of a band or an element.
struct FrameLines
{
    bool top = false;
    bool bottom = false;
    bool left = false;
    bool right = false;
    bool any() const { return top || bottom || left || right; }
};

struct FontSpec
{
    QString family = QStringLiteral("Arial");
    double pointSize = 8.0;
    bool bold = false;
    bool italic = false;
    bool operator==(const FontSpec &) const = default;
};

struct Element
{
    ElementKind kind = ElementKind::Label;
    QString name;
    // Millimetres from the band's left edge and top.
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0; // 0: one line of the element's font
    // Label: the caption. Expression: the expression as stored.
    QString text;
    // DataField: the dataset's name (empty: the report's own dataset) and the field.
    QString dataSet;
    QString field;
    SystemDataKind systemData = SystemDataKind::DateTime;
    std::optional<FontSpec> font; // none: the report's default font
    Align align = Align::Left;
    // The element takes the width of its text (its left edge stays where it is).
    bool autoSize = false;
    FrameLines frame;
};

struct Band
{
    BandKind kind = BandKind::Detail;
    double height = 0; // millimetres
    FrameLines frame;  // lines across the band's full width (top and bottom) or down its sides
    std::vector<Element> elements;

    // Builders returning the element just added, for further settings.
    Element &addLabel(double left, double top, double width, const QString &caption,
                      Align align = Align::Left);
    Element &addField(double left, double top, double width, const QString &dataSet, const QString &field,
                      Align align = Align::Left);
    Element &addExpression(double left, double top, double width, const QString &expression,
                           Align align = Align::Left);
    Element &addSystemData(double left, double top, double width,
                           SystemDataKind what = SystemDataKind::DateTime, Align align = Align::Left);
};

struct ReportOptions
{
    bool printIfEmpty = false;        // with no accepted record: one page (on) or no pages (off)
    bool pageFooterOnLastPage = true; // the page footer also closes the last page
};

struct ReportDefinition
{
    QString name;
    QString title;                                  // the preview's caption when not empty
    QString dataSetName; // how expressions and data fields name the own dataset (none: by field only)
    QPageLayout pageLayout = defaultPageLayout();
    FontSpec defaultFont;
    ReportOptions options;
    std::vector<Band> bands; // at most one of each kind counts: the first

    Band &addBand(BandKind kind, double heightMm, FrameLines frame = {});
    const Band *band(BandKind kind) const;

    // A4 landscape with 10 mm margins, in millimetres.
    static QPageLayout defaultPageLayout();
};

} // namespace kw::report
