#include "reports/engine/ReportLayout.h"

#include "regional/Regional.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <algorithm>
#include <array>
#include <map>

namespace kw::report {

QFont layoutFont(const FontSpec &spec)
{
    QFont f(spec.family);
    // A pixel size in layout units does not depend on any device's resolution.
    f.setPixelSize(std::max(1, qRound(spec.pointSize * UnitsPerInch / 72.0)));
    f.setBold(spec.bold);
    f.setItalic(spec.italic);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

namespace {

constexpr int BandKinds = 5;
constexpr double Slack = 1e-6;

int kindIndex(BandKind k)
{
    return int(k);
}

QString oneLine(QString s)
{
    for (QChar &c : s)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    return s;
}

// The smallest size a number is drawn in before it gives way to "###".
constexpr double SmallestNumberPoints = 5.0;

QString formatValue(const QVariant &v, bool currency)
{
    if (!v.isValid() || v.isNull())
        return QString();
    if (isNumber(v))
        return currency ? regional::formatCurrency(v.toDouble()) : regional::formatGeneral(v.toDouble());
    switch (v.typeId()) {
    case QMetaType::QDate:
        return regional::shortDate(v.toDate());
    case QMetaType::QDateTime:
        return regional::shortDate(v.toDateTime().date()) + QLatin1Char(' ') +
               regional::longTime(v.toDateTime().time());
    default:
        return v.toString();
    }
}

int qtAlign(Align a)
{
    switch (a) {
    case Align::Left:
        return Qt::AlignLeft;
    case Align::Right:
        return Qt::AlignRight;
    case Align::Center:
    case Align::BandCenter:
        return Qt::AlignHCenter;
    }
    return Qt::AlignLeft;
}

} // namespace

struct LayoutRun::Prepared
{
    struct Item
    {
        const Element *element = nullptr;
        int font = 0;
        Expression expression; // for expressions only
        QString fixedText;     // labels: the caption on one line
    };
    struct PreparedBand
    {
        const Band *band = nullptr;
        std::vector<Item> items;
    };
    std::array<PreparedBand, BandKinds> bands;
    std::vector<QFontMetricsF> metrics; // one per font of the result
    // Smaller sizes of a font for numbers too wide for their cells: (font, pixel size) to font.
    std::map<std::pair<int, int>, int> smaller;
    QRectF paintRect; // layout units
    FieldLookup lookup;
    int total = -1;
};

LayoutRun::LayoutRun(const ReportDefinition &definition, const DataSets &data, QObject *parent)
    : QObject(parent), def_(definition), data_(data), prep_(std::make_unique<Prepared>()),
      out_(std::make_shared<LaidOutReport>()), printTime_(QDateTime::currentDateTime())
{
    out_->pageLayout = def_.pageLayout;
    const QRectF full = def_.pageLayout.fullRect(QPageLayout::Millimeter);
    const QRectF paint = def_.pageLayout.paintRect(QPageLayout::Millimeter);
    out_->paperSize = QSizeF(mmToUnits(full.width()), mmToUnits(full.height()));
    prep_->paintRect = QRectF(mmToUnits(paint.left()), mmToUnits(paint.top()), mmToUnits(paint.width()),
                              mmToUnits(paint.height()));

    std::vector<FontSpec> specs;
    auto fontIndex = [&](const FontSpec &spec) {
        for (std::size_t i = 0; i < specs.size(); ++i)
            if (specs[i] == spec)
                return int(i);
        specs.push_back(spec);
        out_->fonts.push_back(layoutFont(spec));
        prep_->metrics.emplace_back(out_->fonts.back());
        return int(specs.size()) - 1;
    };
    fontIndex(def_.defaultFont);

    for (const Band &band : def_.bands) {
        Prepared::PreparedBand &pb = prep_->bands[std::size_t(kindIndex(band.kind))];
        if (pb.band)
            continue; // the first band of a kind counts
        pb.band = &band;
        for (const Element &e : band.elements) {
            Prepared::Item item;
            item.element = &e;
            item.font = fontIndex(e.font.value_or(def_.defaultFont));
            if (e.kind == ElementKind::Expression)
                item.expression = Expression::parse(e.text, def_.dataSetName);
            else if (e.kind == ElementKind::Label)
                item.fixedText = oneLine(e.text);
            pb.items.push_back(std::move(item));
        }
    }
    prep_->lookup = [this](const QString &dataSet, const QString &field) { return lookup(dataSet, field); };
}

LayoutRun::~LayoutRun() = default;

QVariant LayoutRun::lookup(const QString &dataSet, const QString &field) const
{
    RecordSource *src = nullptr;
    if (dataSet.isEmpty() || dataSet.compare(def_.dataSetName, Qt::CaseInsensitive) == 0)
        src = data_.own;
    else
        src = data_.others.value(dataSet.toUpper());
    if (!src || !src->hasField(field))
        return QVariant();
    return src->value(field);
}

bool LayoutRun::running() const
{
    return state_ == State::Running;
}

std::shared_ptr<LaidOutReport> LayoutRun::takeResult()
{
    auto r = out_;
    out_ = std::make_shared<LaidOutReport>();
    out_->pageLayout = r->pageLayout;
    out_->paperSize = r->paperSize;
    out_->fonts = r->fonts;
    return r;
}

bool LayoutRun::fits(double height) const
{
    return y_ + height <= limit_ + Slack;
}

void LayoutRun::beginPage()
{
    out_->pages.emplace_back();
    pageOpen_ = true;
    y_ = prep_->paintRect.top();
    limit_ = prep_->paintRect.bottom();
    // The footer's room is kept from the start, so no band ever runs into it.
    if (const Band *footer = prep_->bands[kindIndex(BandKind::PageFooter)].band)
        limit_ -= mmToUnits(std::max(0.0, footer->height));
    if (out_->pages.size() == 1)
        if (const Band *title = prep_->bands[kindIndex(BandKind::Title)].band)
            place(*title, kindIndex(BandKind::Title), y_);
    if (const Band *header = prep_->bands[kindIndex(BandKind::ColumnHeader)].band)
        place(*header, kindIndex(BandKind::ColumnHeader), y_);
    bodyEmpty_ = true;
}

void LayoutRun::endPage(bool last)
{
    if (!pageOpen_)
        return;
    if (const Band *footer = prep_->bands[kindIndex(BandKind::PageFooter)].band)
        if (!last || def_.options.pageFooterOnLastPage)
            place(*footer, kindIndex(BandKind::PageFooter), limit_);
    pageOpen_ = false;
    emit pageAvailable(int(out_->pages.size()));
}

void LayoutRun::placeInBody(BandKind kind)
{
    const Band *band = prep_->bands[kindIndex(kind)].band;
    if (!band)
        return;
    const double h = mmToUnits(std::max(0.0, band->height));
    // A band taller than an empty page still goes on it rather than on an endless run of pages.
    if (!fits(h) && !bodyEmpty_) {
        endPage(false);
        beginPage();
    }
    place(*band, kindIndex(kind), y_);
    bodyEmpty_ = false;
}

void LayoutRun::place(const Band &band, int preparedBand, double y)
{
    Page &page = out_->pages.back();
    const QRectF &area = prep_->paintRect;
    const double h = mmToUnits(std::max(0.0, band.height));
    const double left = area.left();
    const double right = area.right();

    if (band.frame.top)
        page.lines.emplace_back(left, y, right, y);
    if (band.frame.bottom)
        page.lines.emplace_back(left, y + h, right, y + h);
    if (band.frame.left)
        page.lines.emplace_back(left, y, left, y + h);
    if (band.frame.right)
        page.lines.emplace_back(right, y, right, y + h);

    for (Prepared::Item &item : prep_->bands[std::size_t(preparedBand)].items) {
        const Element &e = *item.element;
        QString text;
        bool numeric = false;
        switch (e.kind) {
        case ElementKind::Label:
            text = item.fixedText;
            break;
        case ElementKind::DataField: {
            RecordSource *src = nullptr;
            if (e.dataSet.isEmpty() || e.dataSet.compare(def_.dataSetName, Qt::CaseInsensitive) == 0)
                src = data_.own;
            else
                src = data_.others.value(e.dataSet.toUpper());
            if (src && src->hasField(e.field)) {
                const QVariant v = src->value(e.field);
                numeric = isNumber(v);
                text = oneLine(formatValue(v, src->isCurrency(e.field)));
            }
            break;
        }
        case ElementKind::SystemData:
            switch (e.systemData) {
            case SystemDataKind::DateTime:
                text = regional::shortDate(printTime_.date()) + QLatin1Char(' ') +
                       regional::longTime(printTime_.time());
                break;
            case SystemDataKind::Date:
                text = regional::shortDate(printTime_.date());
                break;
            case SystemDataKind::Time:
                text = regional::longTime(printTime_.time());
                break;
            }
            break;
        case ElementKind::Expression:
            text = oneLine(item.expression.display(prep_->lookup, &numeric));
            break;
        }

        int font = item.font;
        // A copy: fitting a number may add fonts, and with them move the list of metrics.
        const QFontMetricsF fm = prep_->metrics[std::size_t(font)];
        double textWidth = text.isEmpty() ? 0.0 : fm.horizontalAdvance(text);
        double w = e.autoSize ? textWidth : mmToUnits(std::max(0.0, e.width));
        const double cellH = e.height > 0 ? mmToUnits(e.height) : fm.height();
        double x = left + mmToUnits(e.left);
        if (e.align == Align::BandCenter)
            x = left + (area.width() - w) / 2;
        int flags = qtAlign(e.align);
        double drop = 0; // a smaller font sits on the same baseline as the line's other cells
        if (numeric && textWidth > w + Slack) {
            // A number cut would read as another number: it is drawn smaller until it fits, and
            // where even the smallest size does not fit, the cell says so.
            font = fittingFont(item.font, text, w);
            if (font == item.font) {
                text = QStringLiteral("###");
                textWidth = fm.horizontalAdvance(text);
            } else {
                drop = fm.ascent() - prep_->metrics[std::size_t(font)].ascent();
                textWidth = w;
            }
        }
        if (textWidth > w + Slack) {
            // One line, cut at the cell's width: the letters that fit stay, from the left.
            QTextBoundaryFinder bounds(QTextBoundaryFinder::Grapheme, text);
            qsizetype keep = 0;
            for (qsizetype at = bounds.toNextBoundary(); at > 0; at = bounds.toNextBoundary()) {
                if (fm.horizontalAdvance(text.left(at)) > w + Slack)
                    break;
                keep = at;
            }
            text.truncate(keep);
            flags = Qt::AlignLeft;
        }
        const QRectF cell(x, y + mmToUnits(e.top), w, cellH);
        if (!text.isEmpty())
            page.texts.push_back(
                PlacedText{drop > 0 ? cell.adjusted(0, drop, 0, 0) : cell, text, font, flags | Qt::AlignTop});
        if (e.frame.top)
            page.lines.emplace_back(cell.topLeft(), cell.topRight());
        if (e.frame.bottom)
            page.lines.emplace_back(cell.bottomLeft(), cell.bottomRight());
        if (e.frame.left)
            page.lines.emplace_back(cell.topLeft(), cell.bottomLeft());
        if (e.frame.right)
            page.lines.emplace_back(cell.topRight(), cell.bottomRight());
    }
    y_ = std::max(y_, y + h);
}

int LayoutRun::fittingFont(int font, const QString &text, double width)
{
    const QFont base = out_->fonts[std::size_t(font)]; // a copy: the list grows below
    const int smallest = qRound(SmallestNumberPoints * UnitsPerInch / 72.0);
    // Widths grow in step with the size (no hinting): the first guess nearly always fits, and each
    // size is measured only for a cell that needs it.
    const double full = prep_->metrics[std::size_t(font)].horizontalAdvance(text);
    for (int px = std::min(base.pixelSize() - 1, int(base.pixelSize() * width / full)); px >= smallest;
         --px) {
        auto [it, made] = prep_->smaller.try_emplace({font, px}, int(out_->fonts.size()));
        if (made) {
            QFont f = base;
            f.setPixelSize(px);
            out_->fonts.push_back(f);
            prep_->metrics.emplace_back(f);
        }
        if (prep_->metrics[std::size_t(it->second)].horizontalAdvance(text) <= width + Slack)
            return it->second;
    }
    return font;
}

bool LayoutRun::step(int maxRecords)
{
    if (state_ != State::Running)
        return false;
    RecordSource *own = data_.own;
    if (!started_) {
        started_ = true;
        if (own)
            own->first();
        prep_->total = own ? own->recordCount() : 0;
        if (!own || own->eof()) {
            if (def_.options.printIfEmpty) {
                beginPage();
                placeInBody(BandKind::Summary);
                endPage(true);
            }
            finishRun();
            return false;
        }
        beginPage();
    }
    for (int n = 0; n < maxRecords; ++n) {
        if (own->eof()) {
            placeInBody(BandKind::Summary);
            endPage(true);
            finishRun();
            return false;
        }
        const Band *detail = prep_->bands[kindIndex(BandKind::Detail)].band;
        if (detail && !fits(mmToUnits(std::max(0.0, detail->height))) && !bodyEmpty_) {
            endPage(false);
            beginPage();
        }
        // Totals count a detail once, when it is placed, after any page break it causes, so the
        // footer of the page before does not count it.
        for (auto &pb : prep_->bands)
            for (auto &item : pb.items)
                if (item.expression.hasSum())
                    item.expression.accumulate(prep_->lookup);
        placeInBody(BandKind::Detail);
        own->next();
        ++recordsDone_;
        if (prep_->total > 0) {
            const int p = std::min(99, int(qint64(recordsDone_) * 100 / prep_->total));
            if (p != lastProgress_) {
                lastProgress_ = p;
                emit progress(p);
            }
        }
        if (state_ != State::Running) // stopped from a slot of the signals above
            return false;
    }
    return true;
}

void LayoutRun::finishRun()
{
    if (timer_)
        timer_->stop();
    state_ = State::Done;
    out_->complete = true;
    lastProgress_ = 100;
    emit progress(100);
    emit finished();
}

void LayoutRun::run()
{
    if (state_ == State::Done || state_ == State::Stopped)
        return;
    state_ = State::Running;
    while (step(1024)) {
    }
}

void LayoutRun::start()
{
    if (state_ != State::Ready)
        return;
    state_ = State::Running;
    emit progress(0);
    lastProgress_ = 0;
    if (!timer_) {
        timer_ = new QTimer(this);
        timer_->setInterval(0);
        connect(timer_, &QTimer::timeout, this, &LayoutRun::slice);
    }
    timer_->start();
}

void LayoutRun::slice()
{
    QElapsedTimer clock;
    clock.start();
    // At least one step per turn, however short the slice.
    do {
        if (!step(16))
            break;
    } while (state_ == State::Running && clock.elapsed() < sliceMs_);
}

void LayoutRun::stop()
{
    if (timer_)
        timer_->stop();
    if (state_ != State::Done)
        state_ = State::Stopped; // the pages laid out so far stay; no further signal
}

LaidOutReport layoutReport(const ReportDefinition &definition, const DataSets &data,
                           const QDateTime &printTime)
{
    LayoutRun run(definition, data);
    run.setPrintTime(printTime);
    run.run();
    return std::move(*run.takeResult());
}

} // namespace kw::report
