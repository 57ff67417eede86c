#pragma once

// A report as a statement holds it: the definition, its datasets, the printer settings the user
// chose in the preview, and the notification that the preview has closed. The preview window
// (reports/StandardPreview.h) shows a Report; without a window, writePdf() and renderPage() lay it
// out and paint it in one go.

#include "reports/engine/RecordSource.h"
#include "reports/engine/ReportDefinition.h"
#include "reports/engine/ReportLayout.h"

#include <QImage>
#include <QObject>
#include <QPageLayout>

namespace kw::report {

struct PrintSettings
{
    QString printerName;    // empty: the system's default printer
    QString outputFileName; // not empty: the print dialog chose printing to this PDF file
    int copies = 1;
    QPageLayout::Orientation orientation = QPageLayout::Landscape;
    bool orientationChosen = false; // false: the report's own orientation
    int firstPage = 0;              // 0 and 0: every page
    int lastPage = 0;
};

class Report : public QObject
{
    Q_OBJECT
public:
    explicit Report(QObject *parent = nullptr) : QObject(parent) {}

    ReportDefinition &definition() { return def_; }
    const ReportDefinition &definition() const { return def_; }
    void setDefinition(const ReportDefinition &def) { def_ = def; }

    // The dataset the report walks, named by definition().dataSetName in expressions.
    void setDataSet(RecordSource *source) { data_.own = source; }
    RecordSource *dataSet() const { return data_.own; }
    // A further dataset whose current record feeds data fields and expressions naming it.
    void addDataSet(const QString &name, RecordSource *source) { data_.add(name, source); }
    const DataSets &dataSets() const { return data_; }

    // What the print job and a PDF of the report are called: the name given here, else the
    // definition's title, else its name.
    void setDocumentName(const QString &name) { documentName_ = name; }
    QString documentName() const
    {
        return !documentName_.isEmpty() ? documentName_ : !def_.title.isEmpty() ? def_.title : def_.name;
    }

    PrintSettings &printSettings() { return print_; }
    const PrintSettings &printSettings() const { return print_; }

    // A layout run over the report's sources, not yet started; the caller owns it.
    LayoutRun *createRun(QObject *parent = nullptr) const { return new LayoutRun(def_, data_, parent); }
    // Lays the whole report out now.
    LaidOutReport layout() const { return layoutReport(def_, data_); }

    // Lays the report out and writes every page to a PDF file; false, with the reason, on failure.
    // A report with no pages writes no file and returns true.
    bool writePdf(const QString &path, QString *error = nullptr) const;
    // Lays the report out and paints page `pageNumber` (from 1); a null image when there is none.
    QImage renderPage(int pageNumber, double dotsPerInch) const;

    // Called by the preview once its window has closed.
    void notifyPreviewClosed() { emit afterPreview(); }

signals:
    void afterPreview();

private:
    ReportDefinition def_;
    DataSets data_;
    PrintSettings print_;
    QString documentName_;
};

} // namespace kw::report
