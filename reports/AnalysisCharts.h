#pragma once

// The analysis window's charts, drawn from the figures: the month's expenses by category, the
// twelve months of a year, every year, and the month's plan against what was spent. Each follows
// the palette it is given, names its axes in Polish and tells the value under the pointer.

#include "reports/analysis/AnalysisFigures.h"

#include <QColor>
#include <QPalette>
#include <QString>

class QChart;
class QChartView;
class QPainter;
class QPaintDevice;
class QWidget;

namespace kw::analysis {

// The colours a chart takes from the window's palette, and those of its series.
struct ChartColours
{
    QColor background;
    QColor text;
    QColor grid;
    QColor income;
    QColor expenses;
    QColor budget;
    QColor plan;
    QColor over; // spending past its plan
    static ChartColours of(const QPalette &palette);
};

// Each shows the figures in the chart. A chart drawn before in the same colours keeps its series and
// axes and gets the new values, names and scale; any other is built anew.
void drawMonthChart(QChart &chart, const MonthFigures &figures, const ChartColours &colours);
void drawYearChart(QChart &chart, const YearFigures &figures, const ChartColours &colours);
void drawYearsChart(QChart &chart, const std::vector<PeriodRow> &years, const ChartColours &colours);
void drawPlanChart(QChart &chart, const PlanFigures &figures, const ChartColours &colours);

// The text shown while the pointer rests on a bar or a point of the chart's series `series`, at
// `index` (the bar's category or the point's place); empty where there is none.
QString hoverText(const QChart &chart, int series, int index);

// The chart as the view shows it: a PNG of the view's size, or an SVG drawing of it. Throws
// std::runtime_error with a Polish text naming the file when it cannot be written.
void saveChartPng(QChartView &view, const QString &path);
void saveChartSvg(QChartView &view, const QString &path, const QString &title);
// Paints the chart into the page area with a title line above it.
void paintChartPage(QChartView &view, QPainter &painter, const QRect &page, const QString &title);

} // namespace kw::analysis
