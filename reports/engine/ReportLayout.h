#pragma once

// Layout, then paint. A layout run walks the report's own dataset once, decides where every band
// falls and records each page as a list of placed items holding their evaluated texts. Painting
// (ReportPainter.h) only draws those lists, so the screen, the printer and PDF show the same pages.
//
// Every length of a laid-out page is in layout units of 1/720 inch, and every font is set by pixel
// size in the same unit with hinting off: text is measured once here, and each target paints
// through a plain scale, so a cell cuts its text at the same letter everywhere.

#include "reports/engine/Expression.h"
#include "reports/engine/RecordSource.h"
#include "reports/engine/ReportDefinition.h"

#include <QDateTime>
#include <QFont>
#include <QLineF>
#include <QMap>
#include <QObject>
#include <QRectF>
#include <QSizeF>
#include <memory>
#include <vector>

class QTimer;

namespace kw::report {

inline constexpr double UnitsPerInch = 720.0;
inline constexpr double UnitsPerMm = UnitsPerInch / 25.4;
inline double mmToUnits(double mm)
{
    return mm * UnitsPerMm;
}

// The font of a spec as the engine measures and paints it.
QFont layoutFont(const FontSpec &spec);

struct PlacedText
{
    QRectF rect;   // the cell, in layout units from the paper's top left corner
    QString text;  // already cut to what fits the cell's width
    int font = 0;  // index into LaidOutReport::fonts
    int flags = 0; // Qt::AlignmentFlag horizontal alignment | Qt::AlignTop
};

struct Page
{
    std::vector<PlacedText> texts;
    std::vector<QLineF> lines; // in layout units
};

struct LaidOutReport
{
    QSizeF paperSize; // in layout units, in the page layout's orientation
    QPageLayout pageLayout;
    std::vector<QFont> fonts;
    std::vector<Page> pages;
    bool complete = false; // the walk reached the end of the source
};

// The named datasets of one report: its own (walked) and others (read at their current record).
struct DataSets
{
    RecordSource *own = nullptr;
    QMap<QString, RecordSource *> others; // keyed by name in upper case
    void add(const QString &name, RecordSource *source) { others.insert(name.toUpper(), source); }
};

// One pass over the source. Run it to the end at once (run()), or in slices from the event loop
// (start()); then pages appear one by one through pageAvailable. Stopping (stop(), or destroying
// the object) ends a run between two records and leaves the pages laid out so far.
class LayoutRun : public QObject
{
    Q_OBJECT
public:
    LayoutRun(const ReportDefinition &definition, const DataSets &data, QObject *parent = nullptr);
    ~LayoutRun() override;

    // The time the system data elements show; set before the run starts (default: when created).
    void setPrintTime(const QDateTime &when) { printTime_ = when; }
    // How long one slice of start() may work before it yields to the event loop.
    void setSliceMilliseconds(int ms) { sliceMs_ = ms; }

    void run();   // to the end, now
    void start(); // in slices driven by a zero timer
    void stop();
    bool running() const;
    bool isFinished() const { return state_ == State::Done; }

    const LaidOutReport &result() const { return *out_; }
    // Hands the pages over (the run keeps an empty result).
    std::shared_ptr<LaidOutReport> takeResult();
    std::shared_ptr<const LaidOutReport> shared() const { return out_; }
    // Complete pages; a stopped run may hold one more, unfinished, at the end of result().pages.
    int pageCount() const { return int(out_->pages.size()) - (pageOpen_ ? 1 : 0); }

signals:
    void pageAvailable(int pageNumber); // from 1, each page once, when it is complete
    void progress(int percent);         // 0 to 100
    void finished();                    // the last page is complete (or the report has none)

private:
    enum class State
    {
        Ready,
        Running,
        Stopped,
        Done
    };
    struct Prepared;
    bool step(int maxRecords); // false when the walk is over
    void slice();
    void beginPage();
    void endPage(bool last);
    void placeInBody(BandKind kind);
    void place(const Band &band, int preparedBand, double y);
    // The largest smaller size of the font in which the text fits the width, down to 5 pt; the font
    // itself when none does.
    int fittingFont(int font, const QString &text, double width);
    bool fits(double height) const;
    void finishRun();
    QVariant lookup(const QString &dataSet, const QString &field) const;

    ReportDefinition def_;
    DataSets data_;
    std::unique_ptr<Prepared> prep_;
    std::shared_ptr<LaidOutReport> out_;
    QDateTime printTime_;
    State state_ = State::Ready;
    bool started_ = false; // the walk has begun (first() was called)
    bool pageOpen_ = false;
    bool bodyEmpty_ = true; // nothing but title and column header on the page yet
    double y_ = 0;          // next band's top, layout units
    double limit_ = 0;      // where the page footer begins
    int recordsDone_ = 0;
    int lastProgress_ = -1;
    int sliceMs_ = 15;
    QTimer *timer_ = nullptr;
};

// Lays the whole report out at once.
LaidOutReport layoutReport(const ReportDefinition &definition, const DataSets &data,
                           const QDateTime &printTime = QDateTime::currentDateTime());

} // namespace kw::report
