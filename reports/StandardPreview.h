#pragma once

// The print preview: shows a report's pages while the engine is still laying them out, one page at
// a time under a zoom, and sets up the printer and prints. A window is made for every preview and
// destroyed when it closes; the report's afterPreview() then fires, once.

#include "reports/engine/Report.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class QButtonGroup;
class QLabel;
class QPrinter;
class QProgressBar;
class QScrollArea;
class QToolBar;
class QToolButton;
class PreviewPage;

class TStandardPreview : public QWidget
{
    Q_OBJECT
public:
    enum class ZoomMode
    {
        WholePage,
        PageWidth,
        Fixed
    };

    // Makes the window for the report, shows it maximised and starts laying the report out; returns
    // at once. The window deletes itself when closed.
    static TStandardPreview *preview(kw::report::Report *report);

    explicit TStandardPreview(kw::report::Report *report, QWidget *parent = nullptr);
    ~TStandardPreview() override;

    // Starts the layout run (preview() does this after showing the window).
    void start();

    int currentPage() const { return current_; }
    int pageCount() const; // pages laid out so far
    bool rendering() const;
    int zoom() const { return zoom_; }
    ZoomMode zoomMode() const { return mode_; }
    // The page's size in screen pixels at 100 %.
    QSizeF pageSizeAt100() const;
    // The size the zoom rules work with: the page area without its scroll bars.
    QSize pageAreaSize() const;
    const kw::report::LaidOutReport *pages() const;
    kw::report::LayoutRun *layoutRun() const { return run_; }

    // Page changes and zoom as the tool bar and the keys do them.
    void showPage(int pageNumber);
    void setZoom(int percent); // below 2 or above 2000: ignored
    void zoomToFit();
    void zoomToWidth();
    void zoomTo100();

    // A line shown in the middle of the page area when the report turns out to have no pages.
    void setEmptyText(const QString &text);

    // Rounds to the nearest integer, halves to the even neighbour.
    static int roundHalfEven(double value);

signals:
    void closed();                      // the window has been closed and is being destroyed
    void layoutFinished(int pageCount); // the last page is laid out (also when there is none)

protected:
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private slots:
    void ZoomToFitClick();
    void ZoomTo100Click();
    void ZoomToWidthClick();
    void FirstPageClick();
    void PrevPageClick();
    void NextPageClick();
    void LastPageClick();
    void PrintSetupClick();
    void PrintClick();
    void ExitClick();

private:
    void pageAvailable(int pageNumber);
    void progress(int percent);
    void runFinished();
    void updateStatus();
    void drawPage();
    void scrollToStart();
    void applyPrintSettings(QPrinter &printer) const;
    void setModeButton();
    bool handleKey(QKeyEvent *e);
    QToolButton *addButton(const char *name, const QString &tip, const char *picture);

    // A handler that runs a nested event loop (a dialog, a message box, printing) holds the window:
    // a close meanwhile hides it at once and destroys it only when the last such handler has
    // returned, so no handler ever runs on in a destroyed window.
    class Hold;
    int holds_ = 0;
    bool closeWhenFree_ = false;

    QPointer<kw::report::Report> report_;
    kw::report::LayoutRun *run_ = nullptr;
    int current_ = 1;
    bool imageShown_ = false;
    int zoom_ = 100;
    ZoomMode mode_ = ZoomMode::PageWidth;
    bool notified_ = false;
    bool printing_ = false;

    QToolBar *toolbar_ = nullptr;
    QButtonGroup *zoomGroup_ = nullptr;
    QScrollArea *pagePreview_ = nullptr;
    PreviewPage *pageImage_ = nullptr;
    QWidget *statusPanel_ = nullptr;
    QProgressBar *gauge_ = nullptr;
    QLabel *status_ = nullptr;
    QString emptyText_;
};
