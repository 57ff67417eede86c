#pragma once

// Painting laid-out pages: to an image (the preview's page on screen), to any paged device (the
// printer, PDF). Every target draws the same placed items through a plain scale transform.

#include "reports/engine/ReportLayout.h"

#include <QImage>
#include <QString>
#include <functional>

class QIODevice;
class QPainter;
class QPagedPaintDevice;

namespace kw::report {

// Paints page `index` (from 0) with the painter's origin at the paper's top left corner and
// `deviceUnitsPerLayoutUnit` device units per layout unit. The paper itself is not filled.
void paintPage(QPainter &painter, const LaidOutReport &report, int index, double deviceUnitsPerLayoutUnit);
// The same, stretched by different factors across and down.
void paintPage(QPainter &painter, const LaidOutReport &report, int index, double sx, double sy);

// The page (from 0) as an image at the given resolution, on white paper.
QImage renderPageImage(const LaidOutReport &report, int index, double dotsPerInch);
// The page (from 0) stretched to an image of exactly this size, on white paper.
QImage renderPageImage(const LaidOutReport &report, int index, const QSize &size);

// Called before each page is painted, with the page's number (from 1) and how many pages the job
// paints; returning false cancels the job.
using PageCallback = std::function<bool(int pageNumber, int pageCount)>;

// Paints pages first..last (from 1; 0 and 0 for all) onto a paged device whose page layout is
// already set, one sheet per page. False when cancelled or when the device cannot be painted on;
// `error` then says why in Polish.
bool paintToDevice(const LaidOutReport &report, QPagedPaintDevice &device, int firstPage = 0,
                   int lastPage = 0, const PageCallback &onPage = {}, QString *error = nullptr);

// Writes every page to a PDF file. False, with the reason in `error`, when the file cannot be written.
bool writePdf(const LaidOutReport &report, const QString &path, QString *error = nullptr);
// Writes every page as PDF to an open device, the document titled `title`. False, with the reason in
// `error`, when the pages cannot be painted; the device's own write errors are the device's to report.
bool writePdf(const LaidOutReport &report, QIODevice &device, const QString &title, QString *error = nullptr);

} // namespace kw::report
