#include "reports/engine/Report.h"

#include "reports/engine/ReportPainter.h"

namespace kw::report {

bool Report::writePdf(const QString &path, QString *error) const
{
    const LaidOutReport pages = layout();
    return kw::report::writePdf(pages, path, error);
}

QImage Report::renderPage(int pageNumber, double dotsPerInch) const
{
    const LaidOutReport pages = layout();
    return renderPageImage(pages, pageNumber - 1, dotsPerInch);
}

} // namespace kw::report
