#include "reports/engine/ReportDefinition.h"

namespace kw::report {

namespace {

Element &addElement(Band &band, ElementKind kind, double left, double top, double width, Align align)
{
    Element e;
    e.kind = kind;
    e.left = left;
    e.top = top;
    e.width = width;
    e.align = align;
    band.elements.push_back(std::move(e));
    return band.elements.back();
}

} // namespace

Element &Band::addLabel(double left, double top, double width, const QString &caption, Align align)
{
    Element &e = addElement(*this, ElementKind::Label, left, top, width, align);
    e.text = caption;
    return e;
}

Element &Band::addField(double left, double top, double width, const QString &dataSet, const QString &field,
                        Align align)
{
    Element &e = addElement(*this, ElementKind::DataField, left, top, width, align);
    e.dataSet = dataSet;
    e.field = field;
    return e;
}

Element &Band::addExpression(double left, double top, double width, const QString &expression, Align align)
{
    Element &e = addElement(*this, ElementKind::Expression, left, top, width, align);
    e.text = expression;
    return e;
}

Element &Band::addSystemData(double left, double top, double width, SystemDataKind what, Align align)
{
    Element &e = addElement(*this, ElementKind::SystemData, left, top, width, align);
    e.systemData = what;
    return e;
}

Band &ReportDefinition::addBand(BandKind kind, double heightMm, FrameLines frame)
{
    Band b;
    b.kind = kind;
    b.height = heightMm;
    b.frame = frame;
    bands.push_back(std::move(b));
    return bands.back();
}

const Band *ReportDefinition::band(BandKind kind) const
{
    for (const Band &b : bands)
        if (b.kind == kind)
            return &b;
    return nullptr;
}

QPageLayout ReportDefinition::defaultPageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

} // namespace kw::report
