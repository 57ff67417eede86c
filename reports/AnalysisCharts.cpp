#include "reports/AnalysisCharts.h"
#include "regional/Regional.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QHorizontalBarSeries>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QToolTip>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace kw::analysis {

namespace {

const char *const HoverProperty = "kwHoverTexts";

// Years beyond this many get lines over a thinned axis: bars for a century are slivers.
constexpr int MostYearsAsBars = 12;

QString amountAxisTitle()
{
    return QStringLiteral("Kwota (%1)").arg(regional::locale().currencySymbol());
}

void clear(QChart &chart)
{
    chart.removeAllSeries();
    const auto axes = chart.axes();
    for (QAbstractAxis *a : axes) {
        chart.removeAxis(a);
        delete a;
    }
}

// Whether the chart already has the series and axes of `shape`, styled in these colours: then only
// its values change. Building it anew costs far more than the new values, and the items taken out
// of a chart's scene linger until the event loop comes round, each painted meanwhile.
bool keepsShape(QChart &chart, const QString &shape, const ChartColours &c)
{
    const QString key = QStringList{shape, c.background.name(), c.text.name(), c.grid.name()}.join(u'|');
    if (chart.property("kwShape").toString() == key)
        return true;
    chart.setProperty("kwShape", key);
    return false;
}

void begin(QChart &chart, const ChartColours &c, const QString &title)
{
    clear(chart);
    chart.setAnimationOptions(QChart::NoAnimation);
    chart.setBackgroundRoundness(0);
    chart.setBackgroundBrush(c.background);
    chart.setBackgroundPen(Qt::NoPen);
    chart.setPlotAreaBackgroundVisible(false);
    chart.setMargins(QMargins(4, 4, 4, 4));
    chart.setLocalizeNumbers(true);
    chart.setLocale(regional::locale());
    chart.setTitle(title);
    chart.setTitleBrush(c.text);
    QFont f = chart.titleFont();
    f.setBold(true);
    chart.setTitleFont(f);
    chart.legend()->setLabelColor(c.text);
    chart.legend()->setAlignment(Qt::AlignBottom);
    chart.legend()->setVisible(true);
}

void styleAxis(QAbstractAxis *axis, const ChartColours &c, const QString &title)
{
    // The names of categories and months are short: whole, never cut to "...".
    axis->setTruncateLabels(false);
    axis->setLabelsColor(c.text);
    axis->setTitleText(title);
    axis->setTitleBrush(c.text);
    axis->setGridLineColor(c.grid);
    axis->setLinePenColor(c.grid);
    QFont f = axis->titleFont();
    f.setBold(false);
    axis->setTitleFont(f);
}

// Round steps over the axis's values with about as many ticks as the length has room for.
void tuneTicks(QValueAxis *axis, qreal length)
{
    const int ticks = std::clamp(int(length / axis->property("kwPerTick").toReal()) + 1, 2, 11);
    // Asked once per count: the nice numbers move the range, which moves the plot area again.
    if (axis->property("kwTicks").toInt() == ticks)
        return;
    axis->setProperty("kwTicks", ticks);
    axis->setRange(axis->property("kwLo").toDouble(), axis->property("kwHi").toDouble());
    axis->setTickCount(ticks);
    axis->applyNiceNumbers();
}

qreal axisLength(const QChart &chart, Qt::Orientation along)
{
    const QRectF area = chart.plotArea();
    if (area.isEmpty())
        return along == Qt::Horizontal ? 400 : 200; // not laid out yet
    return along == Qt::Horizontal ? area.width() : area.height();
}

// An amount axis, with 0 always in sight and round steps; its labels never run into each other,
// whatever room the chart gets. Its values are given by setAmounts.
QValueAxis *amountAxis(QChart &chart, const ChartColours &c, Qt::Orientation along)
{
    auto *axis = new QValueAxis;
    axis->setLabelFormat(QStringLiteral("%.0f"));
    styleAxis(axis, c, amountAxisTitle());
    // A label such as "-12 000" takes about seven digits' width across, one line's height up.
    const QFontMetricsF metrics(axis->labelsFont());
    axis->setProperty("kwPerTick", along == Qt::Horizontal
                                       ? metrics.horizontalAdvance(QStringLiteral("-00 000")) * 1.6
                                       : metrics.height() * 2.2);
    QObject::connect(&chart, &QChart::plotAreaChanged, axis, [axis, along](const QRectF &area) {
        tuneTicks(axis, along == Qt::Horizontal ? area.width() : area.height());
    });
    return axis;
}

// The amount axis along `along` spans the values anew.
void setAmounts(QChart &chart, Qt::Orientation along, const std::vector<double> &values)
{
    auto *axis = qobject_cast<QValueAxis *>(chart.axes(along).value(0));
    if (!axis)
        return;
    double lo = 0, hi = 0;
    for (const double v : values) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (hi - lo < 1)
        hi = lo + 100; // an empty month still gets a scale
    axis->setProperty("kwLo", lo);
    axis->setProperty("kwHi", hi);
    axis->setProperty("kwTicks", 0);
    tuneTicks(axis, axisLength(chart, along));
}

void setCategories(QChart &chart, Qt::Orientation along, const QStringList &labels)
{
    if (auto *axis = qobject_cast<QBarCategoryAxis *>(chart.axes(along).value(0)))
        if (axis->categories() != labels)
            axis->setCategories(labels);
}

void setHover(QObject *item, const QStringList &texts)
{
    item->setProperty(HoverProperty, texts);
}

void showHover(const QObject *item, int index)
{
    const QString text = item->property(HoverProperty).toStringList().value(index);
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(QCursor::pos(), text);
}

QBarSet *barSet(const QString &label, const QColor &colour)
{
    auto *set = new QBarSet(label);
    set->setColor(colour);
    set->setBorderColor(colour.darker(120));
    QObject::connect(set, &QBarSet::hovered, set, [set](bool on, int index) {
        if (on)
            showHover(set, index);
        else
            QToolTip::hideText();
    });
    return set;
}

QLineSeries *lineSeries(const QString &label, const QColor &colour)
{
    auto *line = new QLineSeries;
    line->setName(label);
    QPen pen(colour);
    pen.setWidthF(2.5);
    line->setPen(pen);
    line->setPointsVisible(true);
    QObject::connect(line, &QLineSeries::hovered, line, [line](const QPointF &p, bool on) {
        if (on)
            showHover(line, int(std::lround(p.x())));
        else
            QToolTip::hideText();
    });
    return line;
}

QString money(double v)
{
    return regional::formatCurrency(v);
}

// A bar set's values and hover texts replaced, the bars that keep their value left alone.
void setBars(QBarSet *set, const std::vector<double> &values, const QStringList &hover)
{
    if (set->count() == int(values.size())) {
        for (int i = 0; i < set->count(); ++i)
            if (set->at(i) != values[std::size_t(i)])
                set->replace(i, values[std::size_t(i)]);
    } else {
        if (set->count() > 0)
            set->remove(0, set->count());
        set->append(QList<qreal>(values.begin(), values.end()));
    }
    setHover(set, hover);
}

void setPoints(QXYSeries *line, const std::vector<QPointF> &points, const QStringList &hover)
{
    line->replace(QList<QPointF>(points.begin(), points.end()));
    setHover(line, hover);
}

QList<QBarSet *> barSetsOf(const QChart &chart)
{
    for (QAbstractSeries *s : chart.series())
        if (auto *bars = qobject_cast<QAbstractBarSeries *>(s))
            return bars->barSets();
    return {};
}

// Horizontal bars: the categories up the left, the amounts along the bottom.
void addCategoryBars(QChart &chart, QHorizontalBarSeries *series, const ChartColours &c)
{
    chart.addSeries(series);
    auto *y = new QBarCategoryAxis;
    styleAxis(y, c, QStringLiteral("Kategoria"));
    chart.addAxis(y, Qt::AlignLeft);
    QValueAxis *x = amountAxis(chart, c, Qt::Horizontal);
    chart.addAxis(x, Qt::AlignBottom);
    series->attachAxis(y);
    series->attachAxis(x);
}

// Income and expenses side by side per period, the budget as a line over them; a long run of
// periods as lines over an axis labelled every few of them.
void drawPeriods(QChart &chart, const QString &title, const std::vector<PeriodRow> &rows,
                 const QStringList &labels, const QString &axisTitle, const ChartColours &c)
{
    std::vector<double> income, expenses, all;
    std::vector<QPointF> in, out, budget;
    QStringList inHover, outHover, budgetHover;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const PeriodRow &r = rows[i];
        income.push_back(r.income);
        expenses.push_back(r.expenses);
        in.emplace_back(double(i), r.income);
        out.emplace_back(double(i), r.expenses);
        inHover << (r.booked ? QStringLiteral("%1 – dochód: %2").arg(r.title, money(r.income)) : QString());
        outHover << (r.booked ? QStringLiteral("%1 – wydatki: %2").arg(r.title, money(r.expenses))
                              : QString());
        budgetHover << (r.booked ? QStringLiteral("%1 – budżet: %2").arg(r.title, money(r.budget))
                                 : QString());
        if (r.booked)
            budget.emplace_back(double(i), r.budget);
        all.insert(all.end(), {r.income, r.expenses, r.budget});
    }
    const bool bars = int(rows.size()) <= MostYearsAsBars;
    // The thinned axis's labels are part of the shape: they are set once, when it is built.
    const QString shape =
        bars ? QStringLiteral("bars-") + axisTitle : QStringLiteral("lines-") + axisTitle + labels.join(u',');
    if (!keepsShape(chart, shape, c)) {
        begin(chart, c, title);
        QValueAxis *y = amountAxis(chart, c, Qt::Vertical);
        chart.addAxis(y, Qt::AlignLeft);
        QAbstractAxis *x = nullptr;
        if (bars) {
            auto *series = new QBarSeries;
            series->append(barSet(QStringLiteral("Dochód"), c.income));
            series->append(barSet(QStringLiteral("Wydatki"), c.expenses));
            chart.addSeries(series);
            x = new QBarCategoryAxis;
            chart.addAxis(x, Qt::AlignBottom);
            series->attachAxis(x);
            series->attachAxis(y);
        } else {
            // A label every few years, so that they never run into each other.
            auto *thinned = new QCategoryAxis;
            thinned->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
            const int every = int(std::ceil(double(rows.size()) / 8.0));
            for (int i = 0; i < int(rows.size()); i += every)
                thinned->append(labels.value(i), i);
            thinned->setRange(-0.5, double(rows.size()) - 0.5);
            x = thinned;
            chart.addAxis(x, Qt::AlignBottom);
            for (QLineSeries *l : {lineSeries(QStringLiteral("Dochód"), c.income),
                                   lineSeries(QStringLiteral("Wydatki"), c.expenses)}) {
                l->setPointsVisible(false);
                chart.addSeries(l);
                l->attachAxis(x);
                l->attachAxis(y);
            }
        }
        styleAxis(x, c, axisTitle);
        QLineSeries *line = lineSeries(QStringLiteral("Budżet"), c.budget);
        chart.addSeries(line);
        line->attachAxis(x);
        line->attachAxis(y);
    }
    chart.setTitle(title);
    const QList<QAbstractSeries *> series = chart.series();
    if (bars) {
        const QList<QBarSet *> sets = barSetsOf(chart);
        setBars(sets[0], income, inHover);
        setBars(sets[1], expenses, outHover);
        setCategories(chart, Qt::Horizontal, labels);
    } else {
        setPoints(static_cast<QXYSeries *>(series[0]), in, inHover);
        setPoints(static_cast<QXYSeries *>(series[1]), out, outHover);
    }
    setPoints(static_cast<QXYSeries *>(series.back()), budget, budgetHover);
    setAmounts(chart, Qt::Vertical, all);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(
            QStringLiteral("Nie można zapisać wykresu do pliku %1. Sprawdź, czy folder istnieje i czy "
                           "wolno w nim zapisywać, albo wybierz inne miejsce.")
                .arg(QDir::toNativeSeparators(path))
                .toStdString());
}

} // namespace

ChartColours ChartColours::of(const QPalette &palette)
{
    ChartColours c;
    c.background = palette.color(QPalette::Base);
    c.text = palette.color(QPalette::Text);
    c.grid = palette.color(QPalette::Mid);
    // Mid tones that read on a light and on a dark background alike.
    const bool dark = c.background.lightness() < 128;
    c.income = dark ? QColor(0x73, 0xd2, 0x16) : QColor(0x4e, 0x9a, 0x06);
    c.expenses = dark ? QColor(0x72, 0x9f, 0xcf) : QColor(0x34, 0x65, 0xa4);
    c.budget = dark ? QColor(0xfc, 0xaf, 0x3e) : QColor(0xce, 0x5c, 0x00);
    c.plan = palette.color(QPalette::Mid);
    c.over = dark ? QColor(0xef, 0x29, 0x29) : QColor(0xcc, 0x00, 0x00);
    return c;
}

void drawMonthChart(QChart &chart, const MonthFigures &figures, const ChartColours &c)
{
    const QString title =
        figures.booked ? QStringLiteral("Wydatki – %1").arg(periodTitle(figures.period))
                       : QStringLiteral("Wydatki – %1 (brak zapisów)").arg(periodTitle(figures.period));
    if (!keepsShape(chart, QStringLiteral("month"), c)) {
        begin(chart, c, title);
        chart.legend()->setVisible(false);
        auto *series = new QHorizontalBarSeries;
        series->append(barSet(QStringLiteral("Wydatki"), c.expenses));
        series->setBarWidth(0.7);
        addCategoryBars(chart, series, c);
    }
    chart.setTitle(title);
    // Horizontal bars run from the bottom up: the largest is appended last to stand on top.
    std::vector<double> values;
    QStringList labels, hover;
    for (auto it = figures.expenses.rbegin(); it != figures.expenses.rend(); ++it) {
        values.push_back(it->amount);
        labels << categoryLabel(it->category);
        hover << (it->share ? QStringLiteral("%1: %2 (%3 wydatków miesiąca)")
                                  .arg(categoryLabel(it->category), money(it->amount),
                                       regional::formatPercent(*it->share))
                            : QStringLiteral("%1: %2").arg(categoryLabel(it->category), money(it->amount)));
    }
    setBars(barSetsOf(chart)[0], values, hover);
    setCategories(chart, Qt::Vertical, labels);
    setAmounts(chart, Qt::Horizontal, values);
}

void drawYearChart(QChart &chart, const YearFigures &figures, const ChartColours &c)
{
    bool any = false;
    for (const PeriodRow &r : figures.months)
        any = any || r.booked;
    QStringList labels;
    std::vector<PeriodRow> rows = figures.months;
    for (int m = 1; m <= 12; ++m) {
        labels << monthWord(m, QLocale::ShortFormat);
        rows[std::size_t(m - 1)].title =
            QStringLiteral("%1 %2").arg(rows[std::size_t(m - 1)].title, figures.year);
    }
    drawPeriods(chart,
                any ? QStringLiteral("Rok %1 – dochód, wydatki i budżet").arg(figures.year)
                    : QStringLiteral("Rok %1 (brak zapisów)").arg(figures.year),
                rows, labels, QStringLiteral("Miesiąc"), c);
}

void drawYearsChart(QChart &chart, const std::vector<PeriodRow> &years, const ChartColours &c)
{
    QStringList labels;
    for (const PeriodRow &r : years)
        labels << r.title;
    drawPeriods(chart,
                years.empty() ? QStringLiteral("Wszystkie lata (brak zapisów)")
                              : QStringLiteral("Lata %1–%2 – dochód, wydatki i budżet")
                                    .arg(years.front().title, years.back().title),
                years, labels, QStringLiteral("Rok"), c);
}

void drawPlanChart(QChart &chart, const PlanFigures &figures, const ChartColours &c)
{
    std::vector<const PlanLine *> shown;
    for (const PlanLine &l : figures.lines)
        if (isSpending(l.category) && l.planned)
            shown.push_back(&l);
    if (!keepsShape(chart, QStringLiteral("plan"), c)) {
        begin(chart, c, QString());
        auto *series = new QHorizontalBarSeries;
        series->append(barSet(QStringLiteral("Plan"), c.plan));
        QBarSet *spent = barSet(QStringLiteral("Wydano"), c.expenses);
        // Bars past their plan stand out in the warning colour.
        spent->setSelectedColor(c.over);
        series->append(spent);
        addCategoryBars(chart, series, c);
    }
    chart.setTitle(shown.empty()
                       ? QStringLiteral("Plan na %1 (brak planu wydatków)").arg(periodTitle(figures.period))
                       : QStringLiteral("Plan i wydatki – %1").arg(periodTitle(figures.period)));
    std::vector<double> planned, spent, all;
    QStringList labels, planHover, spentHover;
    QList<int> over;
    // From the bottom up, so the categories read top down in the ledger's order.
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
        const PlanLine &l = **it;
        const QString name = categoryLabel(l.category);
        labels << name;
        planned.push_back(l.planned.value_or(0));
        spent.push_back(l.actual);
        all.insert(all.end(), {l.planned.value_or(0), l.actual});
        planHover << (l.planned ? QStringLiteral("%1 – plan: %2").arg(name, money(*l.planned))
                                : QStringLiteral("%1 – bez planu").arg(name));
        spentHover << (l.used ? QStringLiteral("%1 – wydano: %2 (%3 planu)")
                                    .arg(name, money(l.actual), regional::formatPercent(*l.used))
                              : QStringLiteral("%1 – wydano: %2").arg(name, money(l.actual)));
        if (l.over)
            over << int(labels.size() - 1);
    }
    const QList<QBarSet *> sets = barSetsOf(chart);
    setBars(sets[0], planned, planHover);
    setBars(sets[1], spent, spentHover);
    if (sets[1]->selectedBars() != over) {
        sets[1]->deselectAllBars();
        sets[1]->selectBars(over);
    }
    setCategories(chart, Qt::Vertical, labels);
    setAmounts(chart, Qt::Horizontal, all);
}

QString hoverText(const QChart &chart, int series, int index)
{
    int n = 0;
    for (QAbstractSeries *s : chart.series()) {
        if (auto *bars = qobject_cast<QAbstractBarSeries *>(s)) {
            for (QBarSet *set : bars->barSets())
                if (n++ == series)
                    return set->property(HoverProperty).toStringList().value(index);
        } else if (n++ == series) {
            return s->property(HoverProperty).toStringList().value(index);
        }
    }
    return {};
}

void saveChartPng(QChartView &view, const QString &path)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    view.grab().toImage().save(&buffer, "PNG");
    writeFile(path, bytes);
}

void saveChartSvg(QChartView &view, const QString &path, const QString &title)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(view.size());
    // Written in millimetres; at the 96 dots an inch of the web a viewer shows it at the view's size.
    svg.setResolution(96);
    svg.setViewBox(QRect(QPoint(0, 0), view.size()));
    svg.setTitle(title);
    svg.setDescription(QStringLiteral("Kwotnik 2.1"));
    QPainter painter(&svg);
    view.render(&painter, QRectF(QPointF(0, 0), QSizeF(view.size())), view.viewport()->rect());
    painter.end();
    writeFile(path, bytes);
}

void paintChartPage(QChartView &view, QPainter &painter, const QRect &page, const QString &title)
{
    QFont font = painter.font();
    font.setPointSizeF(12);
    font.setBold(true);
    painter.setFont(font);
    const QFontMetrics metrics(font, painter.device());
    const int titleHeight = metrics.height() * 2;
    painter.drawText(QRect(page.left(), page.top(), page.width(), titleHeight), Qt::AlignLeft | Qt::AlignTop,
                     title);
    const QRect area(page.left(), page.top() + titleHeight, page.width(), page.height() - titleHeight);
    view.render(&painter, area, view.viewport()->rect(), Qt::KeepAspectRatio);
}

} // namespace kw::analysis
