#include "reports/engine/ReportPainter.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>

namespace kw::report {

namespace {

// Frame lines are a fixed hair on paper, and never thinner than one device pixel.
constexpr double LineWidth = 5.0; // layout units, about 0.18 mm

void paintScaled(QPainter &painter, const LaidOutReport &report, int index, double sx, double sy)
{
    if (index < 0 || index >= int(report.pages.size()))
        return;
    const Page &page = report.pages[std::size_t(index)];
    painter.save();
    painter.scale(sx, sy);
    QPen pen(Qt::black);
    pen.setWidthF(std::max(LineWidth, 1.0 / std::min(sx, sy)));
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    for (const QLineF &line : page.lines)
        painter.drawLine(line);

    painter.setPen(Qt::black);
    std::vector<double> lineHeights;
    lineHeights.reserve(report.fonts.size());
    for (const QFont &f : report.fonts)
        lineHeights.push_back(QFontMetricsF(f).height());
    int current = -1;
    for (const PlacedText &t : page.texts) {
        if (t.font != current && t.font >= 0 && t.font < int(report.fonts.size())) {
            current = t.font;
            painter.setFont(report.fonts[std::size_t(current)]);
        }
        const bool tooTall = current >= 0 && lineHeights[std::size_t(current)] > t.rect.height() + 1e-6;
        if (tooTall) {
            painter.save();
            painter.setClipRect(t.rect, Qt::IntersectClip);
        }
        painter.drawText(t.rect, t.flags | Qt::TextSingleLine | Qt::TextDontClip, t.text);
        if (tooTall)
            painter.restore();
    }
    painter.restore();
}

QImage blankPage(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

void paintPage(QPainter &painter, const LaidOutReport &report, int index, double deviceUnitsPerLayoutUnit)
{
    paintScaled(painter, report, index, deviceUnitsPerLayoutUnit, deviceUnitsPerLayoutUnit);
}

void paintPage(QPainter &painter, const LaidOutReport &report, int index, double sx, double sy)
{
    paintScaled(painter, report, index, sx, sy);
}

QImage renderPageImage(const LaidOutReport &report, int index, double dotsPerInch)
{
    if (index < 0 || index >= int(report.pages.size()) || dotsPerInch <= 0)
        return QImage();
    const double k = dotsPerInch / UnitsPerInch;
    const QSize size(std::max(1, qRound(report.paperSize.width() * k)),
                     std::max(1, qRound(report.paperSize.height() * k)));
    QImage image = blankPage(size);
    const int dpm = qRound(dotsPerInch / 0.0254);
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    paintScaled(p, report, index, k, k);
    return image;
}

QImage renderPageImage(const LaidOutReport &report, int index, const QSize &size)
{
    if (index < 0 || index >= int(report.pages.size()) || size.isEmpty() || report.paperSize.isEmpty())
        return QImage();
    QImage image = blankPage(size);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    paintScaled(p, report, index, size.width() / report.paperSize.width(),
                size.height() / report.paperSize.height());
    return image;
}

bool paintToDevice(const LaidOutReport &report, QPagedPaintDevice &device, int firstPage, int lastPage,
                   const PageCallback &onPage, QString *error)
{
    const int count = int(report.pages.size());
    int from = 1;
    int to = count;
    if (firstPage > 0 || lastPage > 0) {
        from = std::max(1, firstPage);
        to = std::min(count, lastPage > 0 ? lastPage : count);
    }
    if (from > to)
        return true; // nothing of the range exists
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error)
            *error =
                QCoreApplication::translate("kw::report", "Nie można rozpocząć drukowania na tym urządzeniu. "
                                                          "Sprawdź drukarkę lub plik docelowy.");
        return false;
    }
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    // The painter starts at the corner of the printable area; the pages are laid out from the
    // paper's corner.
    const int dpi = device.logicalDpiX();
    const QPageLayout layout = device.pageLayout();
    const QRectF full = layout.fullRectPoints();
    const QRectF paint = layout.paintRectPoints();
    const double k = dpi / UnitsPerInch;
    const double ky = device.logicalDpiY() / UnitsPerInch;
    for (int n = from; n <= to; ++n) {
        if (onPage && !onPage(n - from + 1, to - from + 1)) {
            if (painter.isActive())
                painter.end();
            return false;
        }
        if (!painter.isActive())
            return false; // the device gave up (a cancelled printer job)
        if (n > from && !device.newPage()) {
            if (error)
                *error =
                    QCoreApplication::translate("kw::report", "Nie można rozpocząć nowej strony wydruku.");
            painter.end();
            return false;
        }
        painter.save();
        painter.translate(-(paint.left() - full.left()) * dpi / 72.0,
                          -(paint.top() - full.top()) * device.logicalDpiY() / 72.0);
        paintScaled(painter, report, n - 1, k, ky);
        painter.restore();
    }
    return painter.end();
}

bool writePdf(const LaidOutReport &report, QIODevice &device, const QString &title, QString *error)
{
    QPdfWriter writer(&device);
    writer.setResolution(int(UnitsPerInch));
    writer.setPageLayout(report.pageLayout);
    writer.setCreator(QStringLiteral("Kwotnik 2.1"));
    if (!title.isEmpty())
        writer.setTitle(title);
    return paintToDevice(report, writer, 0, 0, {}, error);
}

bool writePdf(const LaidOutReport &report, const QString &path, QString *error)
{
    if (report.pages.empty())
        return true;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error =
                QCoreApplication::translate("kw::report", "Nie można zapisać pliku %1: %2. Wybierz inny plik "
                                                          "lub folder, do którego wolno pisać.")
                    .arg(path, file.errorString());
        return false;
    }
    if (!writePdf(report, file, QString(), error)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = QCoreApplication::translate("kw::report",
                                                 "Nie można zapisać pliku %1: %2. Sprawdź, czy na dysku "
                                                 "jest miejsce.")
                         .arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace kw::report
