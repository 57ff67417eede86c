#include "reports/StandardPreview.h"

#include "framework/FileDialogs.h"
#include "framework/Messages.h"
#include "framework/Pictures.h"
#include "ledger/EngineError.h"
#include "ledger/OutputFile.h"
#include "reports/engine/ReportPainter.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

using namespace kw::report;

namespace {

// The tool-bar pictures, drawn on a 16 x 16 grid like the program's other pictures.
using namespace kw::pictures;
const QColor Glass(190, 220, 250);

// A sheet ruled every two units down to a unit above its foot.
void ruledSheet(QPainter &p, const QRectF &r)
{
    kw::pictures::sheet(p, r);
    const qreal first = r.top() + 2.5;
    const int count = std::max(0, int(std::ceil((r.bottom() - 1 - first) / 2)));
    lines(p, r.left() + 2, r.right() - 2, first, count, 2);
}

void magnifier(QPainter &p, const QPointF &c, qreal radius)
{
    p.setPen(QPen(QColor(120, 80, 10), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(radius * 0.7, radius * 0.7), c + QPointF(radius * 1.7, radius * 1.7));
    p.setPen(QPen(Outline, 1));
    p.setBrush(Glass);
    p.drawEllipse(c, radius, radius);
}

void arrowHead(QPainter &p, qreal tipX, qreal y, qreal dir, const QColor &colour)
{
    QPainterPath t;
    t.moveTo(tipX, y);
    t.lineTo(tipX - dir * 5, y - 5);
    t.lineTo(tipX - dir * 5, y + 5);
    t.closeSubpath();
    p.setPen(QPen(colour.darker(150), 1));
    p.setBrush(colour);
    p.drawPath(t);
}

void printer(QPainter &p)
{
    p.setPen(QPen(Outline, 1));
    p.setBrush(Paper);
    p.drawRect(QRectF(4.5, 1.5, 7, 5)); // paper going in
    p.setBrush(QColor(170, 170, 180));
    p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1.5, 1.5);
    p.setBrush(Paper);
    p.drawRect(QRectF(4.5, 10.5, 7, 4.5)); // the printed sheet
    p.setPen(QPen(PaperShade.darker(125), 1));
    p.drawLine(QPointF(6, 12.5), QPointF(10, 12.5));
    p.setPen(Qt::NoPen);
    p.setBrush(Green);
    p.drawRect(QRectF(12, 8, 1.5, 1.5));
}

void drawPicture(QPainter &p, const QByteArray &name)
{
    if (name == "ZOOMTOFITBITMAP") {
        ruledSheet(p, QRectF(2.5, 0.5, 9, 12));
        magnifier(p, QPointF(9.5, 9.5), 3.5);
    } else if (name == "ZOOMTO100BITMAP") {
        magnifier(p, QPointF(6.5, 6.5), 5.5);
        p.setPen(QPen(Outline, 1.2));
        p.drawLine(QPointF(5, 4.5), QPointF(6.5, 3.5));
        p.drawLine(QPointF(6.5, 3.5), QPointF(6.5, 9.5));
        p.drawLine(QPointF(5, 9.5), QPointF(8, 9.5));
    } else if (name == "ZOOMTOWIDTHBITMAP") {
        ruledSheet(p, QRectF(3.5, 0.5, 9, 15));
        p.setPen(QPen(Blue, 1.5));
        p.drawLine(QPointF(2, 8), QPointF(14, 8));
        arrowHead(p, 1, 8, -1, Blue);
        arrowHead(p, 15, 8, 1, Blue);
    } else if (name == "FIRSTPAGEBITMAP") {
        p.setPen(Qt::NoPen);
        p.setBrush(Blue.darker(120));
        p.drawRect(QRectF(2.5, 3, 2, 10));
        arrowHead(p, 5, 8, -1, Blue);
        arrowHead(p, 10, 8, -1, Blue);
    } else if (name == "PREVPAGEBITMAP") {
        arrowHead(p, 5.5, 8, -1, Blue);
    } else if (name == "NEXTPAGEBITMAP") {
        arrowHead(p, 10.5, 8, 1, Blue);
    } else if (name == "LASTPAGEBITMAP") {
        arrowHead(p, 6, 8, 1, Blue);
        arrowHead(p, 11, 8, 1, Blue);
        p.setPen(Qt::NoPen);
        p.setBrush(Blue.darker(120));
        p.drawRect(QRectF(11.5, 3, 2, 10));
    } else if (name == "PRINTSETUPBITMAP") {
        printer(p);
        // A check mark for "settings chosen".
        p.setPen(QPen(Green.darker(110), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(9, 3), QPointF(11, 5), QPointF(15, 0.8)}));
    } else if (name == "PRINTBITMAP") {
        printer(p);
    }
}

QIcon picture(const char *name)
{
    const QByteArray which(name);
    return kw::pictures::icon([&which](QPainter &p) { drawPicture(p, which); });
}

// The dialog that stays on top while a report prints; its Cancel really stops the job.
class PrintProgress : public QDialog
{
public:
    explicit PrintProgress(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint)
    {
        setObjectName(QStringLiteral("PrintProgress"));
        setWindowTitle(QStringLiteral("Printing progress"));
        auto *layout = new QVBoxLayout(this);
        info = new QLabel(this);
        info->setObjectName(QStringLiteral("Info"));
        info->setAlignment(Qt::AlignCenter);
        info->setMinimumWidth(260);
        layout->addWidget(info);
        auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
        cancel->setObjectName(QStringLiteral("Cancel"));
        layout->addWidget(cancel, 0, Qt::AlignHCenter);
        connect(cancel, &QPushButton::clicked, this, [this] { cancelled = true; });
    }
    void reject() override { cancelled = true; } // Esc and the close box cancel too
    QLabel *info = nullptr;
    bool cancelled = false;
};

} // namespace

class TStandardPreview::Hold
{
public:
    explicit Hold(TStandardPreview *window) : window_(window) { ++window->holds_; }
    ~Hold()
    {
        if (window_ && --window_->holds_ == 0 && window_->closeWhenFree_)
            window_->deleteLater();
    }
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;
    // The window was destroyed all the same (deleted outright by its owner): touch nothing of it.
    bool gone() const { return window_.isNull(); }

private:
    QPointer<TStandardPreview> window_;
};

// The page on screen: white paper with a one-pixel black outline and a two-pixel black shadow
// right and below, (page size x zoom) + 4 pixels in all. Only what is exposed is painted, straight
// from the placed items, so even 2000 % holds no page-sized image in memory.
class PreviewPage : public QWidget
{
public:
    using QWidget::QWidget;
    void setPage(const LaidOutReport *report, int index, const QSize &paper)
    {
        report_ = report;
        index_ = index;
        paper_ = paper;
        text_.clear();
        resize(paper.width() + 4, paper.height() + 4);
        update();
    }
    void setText(const QString &text, const QSize &area)
    {
        report_ = nullptr;
        text_ = text;
        resize(area);
        update();
    }
    QSize paperSize() const { return paper_; }

protected:
    void paintEvent(QPaintEvent *e) override
    {
        QPainter p(this);
        if (!report_) {
            p.setPen(palette().color(QPalette::BrightText));
            p.drawText(rect(), Qt::AlignCenter, text_);
            return;
        }
        const int w = paper_.width();
        const int h = paper_.height();
        p.fillRect(QRect(2, 2, w + 2, h + 2), Qt::black);
        p.fillRect(QRect(0, 0, w + 2, h + 2), Qt::black);
        p.fillRect(QRect(1, 1, w, h), Qt::white);
        if (w <= 0 || h <= 0 || report_->paperSize.isEmpty())
            return;
        p.setClipRect(QRect(1, 1, w, h).intersected(e->rect()));
        p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        p.translate(1, 1);
        paintPage(p, *report_, index_, w / report_->paperSize.width(), h / report_->paperSize.height());
    }

private:
    const LaidOutReport *report_ = nullptr;
    int index_ = 0;
    QSize paper_;
    QString text_;
};

int TStandardPreview::roundHalfEven(double value)
{
    const double r = std::nearbyint(value); // the default rounding mode goes to the even neighbour
    return int(std::clamp(r, -1e9, 1e9));
}

TStandardPreview *TStandardPreview::preview(Report *report)
{
    auto *w = new TStandardPreview(report);
    w->showMaximized();
    w->start();
    return w;
}

TStandardPreview::TStandardPreview(Report *report, QWidget *parent)
    : QWidget(parent, Qt::Window), report_(report)
{
    setObjectName(QStringLiteral("StandardPreview"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(571, 472);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    if (report && !report->definition().title.isEmpty())
        setWindowTitle(report->definition().title);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName(QStringLiteral("Toolbar"));
    toolbar_->setFixedHeight(33);
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    zoomGroup_ = new QButtonGroup(this);
    zoomGroup_->setExclusive(true);
    QToolButton *fit = addButton("ZoomToFit", QStringLiteral("Cała strona"), "ZOOMTOFITBITMAP");
    QToolButton *at100 = addButton("ZoomTo100", QStringLiteral("100%"), "ZOOMTO100BITMAP");
    QToolButton *width = addButton("ZoomToWidth", QStringLiteral("Szerokość strony"), "ZOOMTOWIDTHBITMAP");
    for (QToolButton *b : {fit, at100, width}) {
        b->setCheckable(true);
        zoomGroup_->addButton(b);
    }
    width->setChecked(true);
    toolbar_->addSeparator();
    QToolButton *first = addButton("FirstPage", QStringLiteral("Pierwsza strona"), "FIRSTPAGEBITMAP");
    QToolButton *prev = addButton("PrevPage", QStringLiteral("Poprzednia strona"), "PREVPAGEBITMAP");
    QToolButton *next = addButton("NextPage", QStringLiteral("Następna strona"), "NEXTPAGEBITMAP");
    QToolButton *last = addButton("LastPage", QStringLiteral("Ostatnia strona"), "LASTPAGEBITMAP");
    toolbar_->addSeparator();
    QToolButton *setup = addButton("PrintSetup", QStringLiteral("Ustawienie drukowania"), "PRINTSETUPBITMAP");
    QToolButton *print = addButton("Print", QStringLiteral("Drukuj"), "PRINTBITMAP");
    toolbar_->addSeparator();
    QToolButton *exit = addButton("Exit", QString(), nullptr);
    exit->setText(QStringLiteral("Zamknij"));
    exit->setToolButtonStyle(Qt::ToolButtonTextOnly);
    exit->setFixedWidth(75);
    connect(fit, &QToolButton::clicked, this, &TStandardPreview::ZoomToFitClick);
    connect(at100, &QToolButton::clicked, this, &TStandardPreview::ZoomTo100Click);
    connect(width, &QToolButton::clicked, this, &TStandardPreview::ZoomToWidthClick);
    connect(first, &QToolButton::clicked, this, &TStandardPreview::FirstPageClick);
    connect(prev, &QToolButton::clicked, this, &TStandardPreview::PrevPageClick);
    connect(next, &QToolButton::clicked, this, &TStandardPreview::NextPageClick);
    connect(last, &QToolButton::clicked, this, &TStandardPreview::LastPageClick);
    connect(setup, &QToolButton::clicked, this, &TStandardPreview::PrintSetupClick);
    connect(print, &QToolButton::clicked, this, &TStandardPreview::PrintClick);
    connect(exit, &QToolButton::clicked, this, &TStandardPreview::ExitClick);
    layout->addWidget(toolbar_);

    pagePreview_ = new QScrollArea(this);
    pagePreview_->setObjectName(QStringLiteral("PagePreview"));
    pagePreview_->setAlignment(Qt::AlignCenter); // a page smaller than the area stands in its middle
    pagePreview_->setWidgetResizable(false);
    pagePreview_->setBackgroundRole(QPalette::Dark);
    pagePreview_->horizontalScrollBar()->setTracking(true);
    pagePreview_->verticalScrollBar()->setTracking(true);
    pageImage_ = new PreviewPage;
    pageImage_->setObjectName(QStringLiteral("PageImage"));
    pageImage_->resize(0, 0);
    pagePreview_->setWidget(pageImage_);
    pagePreview_->installEventFilter(this);
    layout->addWidget(pagePreview_, 1);

    statusPanel_ = new QWidget(this);
    statusPanel_->setObjectName(QStringLiteral("StatusPanel"));
    statusPanel_->setFixedHeight(19);
    auto *strip = new QHBoxLayout(statusPanel_);
    strip->setContentsMargins(2, 1, 2, 1);
    strip->setSpacing(4);
    gauge_ = new QProgressBar(statusPanel_);
    gauge_->setObjectName(QStringLiteral("Gauge"));
    gauge_->setFixedWidth(100);
    gauge_->setRange(0, 100);
    gauge_->setTextVisible(false);
    gauge_->setVisible(false);
    strip->addWidget(gauge_);
    strip->addStretch(1);
    status_ = new QLabel(QStringLiteral("Working..."), statusPanel_);
    status_->setObjectName(QStringLiteral("Status"));
    status_->setFixedWidth(128);
    status_->setFrameShape(QFrame::Panel);
    status_->setFrameShadow(QFrame::Sunken);
    strip->addWidget(status_);
    layout->addWidget(statusPanel_);

    // Keys reach the window before its controls: the page area would scroll on Page Up otherwise.
    qApp->installEventFilter(this);

    if (report_) {
        run_ = report_->createRun(this);
        connect(run_, &LayoutRun::pageAvailable, this, &TStandardPreview::pageAvailable);
        connect(run_, &LayoutRun::progress, this, &TStandardPreview::progress);
        connect(run_, &LayoutRun::finished, this, &TStandardPreview::runFinished);
    }
}

TStandardPreview::~TStandardPreview()
{
    qApp->removeEventFilter(this);
    if (run_) {
        run_->stop();
        delete run_;
        run_ = nullptr;
    }
    if (!notified_) {
        notified_ = true;
        emit closed();
        if (report_)
            report_->notifyPreviewClosed();
    }
}

QToolButton *TStandardPreview::addButton(const char *name, const QString &tip, const char *pictureName)
{
    auto *b = new QToolButton(toolbar_);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoRaise(true);
    b->setToolTip(tip);
    b->setFixedHeight(25);
    b->setMinimumWidth(25);
    if (pictureName) {
        b->setFixedSize(25, 25);
        b->setIcon(picture(pictureName));
    }
    b->setFocusPolicy(Qt::NoFocus);
    toolbar_->addWidget(b);
    return b;
}

void TStandardPreview::start()
{
    if (run_ && !run_->running() && !run_->isFinished())
        run_->start();
}

int TStandardPreview::pageCount() const
{
    return run_ ? run_->pageCount() : 0;
}
bool TStandardPreview::rendering() const
{
    return run_ && run_->running();
}
const LaidOutReport *TStandardPreview::pages() const
{
    return run_ ? &run_->result() : nullptr;
}

QSizeF TStandardPreview::pageSizeAt100() const
{
    QSizeF paper;
    if (run_)
        paper = run_->result().paperSize;
    else if (report_) {
        const QSizeF mm = report_->definition().pageLayout.fullRect(QPageLayout::Millimeter).size();
        paper = QSizeF(mmToUnits(mm.width()), mmToUnits(mm.height()));
    }
    return QSizeF(paper.width() * logicalDpiX() / UnitsPerInch,
                  paper.height() * logicalDpiY() / UnitsPerInch);
}

QSize TStandardPreview::pageAreaSize() const
{
    return pagePreview_->maximumViewportSize();
}

void TStandardPreview::pageAvailable(int pageNumber)
{
    updateStatus();
    if (pageNumber == current_ && !imageShown_)
        zoomToWidth();
}

void TStandardPreview::progress(int percent)
{
    gauge_->setValue(percent);
    gauge_->setVisible(percent > 0 && percent < 100);
}

void TStandardPreview::runFinished()
{
    if (pageCount() == 0) {
        // Nothing to page through: say so instead of naming a page that does not exist.
        current_ = 0;
        updateStatus();
        if (!emptyText_.isEmpty()) {
            pageImage_->setText(emptyText_, pageAreaSize());
        }
    }
    emit layoutFinished(pageCount());
}

void TStandardPreview::setEmptyText(const QString &text)
{
    emptyText_ = text;
}

void TStandardPreview::updateStatus()
{
    status_->setText(QStringLiteral("Page %1 of %2").arg(current_).arg(pageCount()));
}

void TStandardPreview::showPage(int pageNumber)
{
    if (pageNumber < 1 || pageNumber > pageCount() || (pageNumber == current_ && imageShown_))
        return;
    current_ = pageNumber;
    drawPage();
    scrollToStart();
    updateStatus();
}

void TStandardPreview::setZoom(int percent)
{
    if (percent < 2 || percent > 2000)
        return;
    zoom_ = percent;
    drawPage();
    scrollToStart();
}

void TStandardPreview::zoomToFit()
{
    const QSizeF page = pageSizeAt100();
    const QSize area = pageAreaSize();
    if (page.isEmpty())
        return;
    const int z1 = roundHalfEven(area.width() / page.width() * 95);
    const int z2 = roundHalfEven(area.height() / page.height() * 95);
    const int z = std::min(z1, z2);
    if (z < 2 || z > 2000)
        return setModeButton();
    mode_ = ZoomMode::WholePage;
    setModeButton();
    setZoom(z);
}

void TStandardPreview::zoomToWidth()
{
    const QSizeF page = pageSizeAt100();
    if (page.isEmpty())
        return;
    const int z = roundHalfEven(pageAreaSize().width() / page.width() * 90);
    if (z < 2 || z > 2000)
        return setModeButton();
    mode_ = ZoomMode::PageWidth;
    setModeButton();
    setZoom(z);
}

void TStandardPreview::zoomTo100()
{
    mode_ = ZoomMode::Fixed;
    setModeButton();
    setZoom(100);
}

void TStandardPreview::setModeButton()
{
    const char *name = mode_ == ZoomMode::WholePage ? "ZoomToFit"
                       : mode_ == ZoomMode::Fixed   ? "ZoomTo100"
                                                    : "ZoomToWidth";
    if (auto *b = toolbar_->findChild<QToolButton *>(QString::fromLatin1(name)))
        b->setChecked(true);
}

void TStandardPreview::drawPage()
{
    if (!run_ || current_ < 1 || current_ > pageCount())
        return;
    const QSizeF page = pageSizeAt100();
    const int w = int(std::lround(page.width() * zoom_ / 100.0));
    const int h = int(std::lround(page.height() * zoom_ / 100.0));
    pageImage_->setPage(&run_->result(), current_ - 1, QSize(w, h));
    imageShown_ = true;
}

void TStandardPreview::scrollToStart()
{
    pagePreview_->horizontalScrollBar()->setValue(0);
    pagePreview_->verticalScrollBar()->setValue(0);
}

bool TStandardPreview::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == pagePreview_ && e->type() == QEvent::Resize) {
        if (!imageShown_ && run_ && run_->isFinished() && pageCount() == 0 && !emptyText_.isEmpty())
            pageImage_->setText(emptyText_, pageAreaSize());
        else if (imageShown_ && mode_ == ZoomMode::WholePage)
            zoomToFit();
        else if (imageShown_ && mode_ == ZoomMode::PageWidth)
            zoomToWidth();
        return false;
    }
    if (e->type() == QEvent::KeyPress && watched->isWidgetType() && !printing_) {
        auto *w = static_cast<QWidget *>(watched);
        if (w == this || (w->window() == this && isAncestorOf(w)))
            return handleKey(static_cast<QKeyEvent *>(e));
    }
    return QWidget::eventFilter(watched, e);
}

bool TStandardPreview::handleKey(QKeyEvent *e)
{
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const bool ctrlAlone = mods == Qt::ControlModifier;
    switch (e->key()) {
    case Qt::Key_PageUp:
        ctrlAlone ? FirstPageClick() : PrevPageClick();
        return true;
    case Qt::Key_PageDown:
        ctrlAlone ? LastPageClick() : NextPageClick();
        return true;
    case Qt::Key_Home:
        FirstPageClick();
        return true;
    case Qt::Key_End:
        LastPageClick();
        return true;
    case Qt::Key_Escape:
        close();
        return true;
    default:
        return false;
    }
}

void TStandardPreview::closeEvent(QCloseEvent *e)
{
    if (printing_) {
        e->ignore(); // the print job's own dialog cancels it
        return;
    }
    // The source is left where it stands; nothing more is read from it.
    if (run_)
        run_->stop();
    if (holds_ > 0) {
        // A handler is still waiting in a nested event loop (a message box, a dialog): the window
        // goes from the screen now and is destroyed when that handler has returned.
        setAttribute(Qt::WA_DeleteOnClose, false);
        closeWhenFree_ = true;
    }
    e->accept();
}

void TStandardPreview::ZoomToFitClick()
{
    zoomToFit();
}
void TStandardPreview::ZoomTo100Click()
{
    zoomTo100();
}
void TStandardPreview::ZoomToWidthClick()
{
    zoomToWidth();
}
void TStandardPreview::FirstPageClick()
{
    showPage(1);
}
void TStandardPreview::PrevPageClick()
{
    showPage(current_ - 1);
}
void TStandardPreview::NextPageClick()
{
    showPage(current_ + 1);
}
void TStandardPreview::LastPageClick()
{
    showPage(pageCount());
}
void TStandardPreview::ExitClick()
{
    close();
}

void TStandardPreview::applyPrintSettings(QPrinter &printer) const
{
    const PrintSettings &s = report_->printSettings();
    if (!s.printerName.isEmpty())
        printer.setPrinterName(s.printerName);
    if (!s.outputFileName.isEmpty())
        printer.setOutputFileName(s.outputFileName);
    QPageLayout layout = report_->definition().pageLayout;
    if (s.orientationChosen)
        layout.setOrientation(s.orientation);
    printer.setPageLayout(layout);
    printer.setCopyCount(std::max(1, s.copies));
}

void TStandardPreview::PrintSetupClick()
{
    if (!report_)
        return;
    const Hold hold(this);
    QPrinter printer(QPrinter::HighResolution);
    applyPrintSettings(printer);
    kw::PrintDialogRequest request;
    request.minPage = 1;
    request.maxPage = std::max(1, pageCount());
    request.pageRange = true;
    request.selection = true;
    // Reopened, the dialog shows the range chosen before (copies come with the settings above).
    const PrintSettings &before = report_->printSettings();
    if (before.firstPage > 0 && before.firstPage <= request.maxPage) {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(before.firstPage, std::clamp(before.lastPage, before.firstPage, request.maxPage));
    } else {
        printer.setFromTo(request.minPage, request.maxPage);
    }
    const bool accepted = kw::runPrintDialog(this, &printer, request);
    if (hold.gone() || !accepted || !report_)
        return;
    PrintSettings &s = report_->printSettings();
    s.copies = std::max(1, printer.copyCount());
    s.printerName = printer.outputFormat() == QPrinter::NativeFormat ? printer.printerName() : QString();
    s.outputFileName = printer.outputFileName();
    s.orientation = printer.pageLayout().orientation();
    s.orientationChosen = true;
    if (printer.printRange() == QPrinter::PageRange) {
        s.firstPage = printer.fromPage();
        s.lastPage = printer.toPage();
    } else {
        s.firstPage = 0;
        s.lastPage = 0;
    }
}

void TStandardPreview::PrintClick()
{
    if (!report_ || printing_)
        return;
    const Hold hold(this);
    // The source has one cursor: the preview's own run finishes before the printer's run starts.
    if (run_ && run_->running())
        run_->run();
    const PrintSettings s = report_->printSettings();
    // Printing to a file obeys the rule of every file the program writes: never onto the data
    // folder's own files or a file that is not a PDF, and an earlier file replaced whole.
    std::optional<kw::output::AtomicOutput> file;
    if (!s.outputFileName.isEmpty()) {
        try {
            file.emplace(s.outputFileName, kw::output::FileKind::Pdf, QDir::currentPath());
        } catch (const kw::EngineError &e) {
            kw::messageBox(kw::appTitle(), e.message(), kw::MsgIcon::Warning);
            return;
        }
    }
    printing_ = true;
    LaidOutReport pages = report_->layout();

    QPrinter printer(QPrinter::HighResolution);
    applyPrintSettings(printer);
    if (file)
        printer.setOutputFileName(file->temporaryPath());
    // The copies are painted one after another in one job: PDF output and virtual PDF printers
    // take a copy count and quietly make one copy.
    const int copies = std::max(1, s.copies);
    printer.setCopyCount(1);
    const QString name = report_->documentName();
    printer.setDocName(name.isEmpty() ? kw::appTitle() : name);
    int from = 1;
    int to = int(pages.pages.size());
    if (s.firstPage > 0 || s.lastPage > 0) {
        from = std::max(1, s.firstPage);
        to = std::min(to, s.lastPage > 0 ? s.lastPage : to);
    }
    LaidOutReport job;
    job.paperSize = pages.paperSize;
    job.pageLayout = pages.pageLayout;
    job.fonts = pages.fonts;
    for (int c = 0; c < copies; ++c)
        for (int n = from; n <= to; ++n)
            job.pages.push_back(pages.pages[std::size_t(n - 1)]);

    // Not a child of the window: nothing the window's end may do can destroy it under this handler.
    PrintProgress dialog(nullptr);
    dialog.setWindowModality(Qt::NonModal);
    dialog.info->setText(QStringLiteral("Przygotowanie wydruku..."));
    dialog.show();
    QString error;
    bool ok = true;
    if (!job.pages.empty()) {
        ok = paintToDevice(
            job, printer, 0, 0,
            [&](int page, int count) {
                dialog.info->setText(QStringLiteral("Drukowanie strony %1 z %2").arg(page).arg(count));
                QCoreApplication::processEvents();
                if (dialog.cancelled || hold.gone()) {
                    printer.abort();
                    return false;
                }
                return true;
            },
            &error);
    }
    dialog.hide();
    if (hold.gone())
        return;
    printing_ = false;
    if (file && ok && !dialog.cancelled) {
        try {
            file->commit();
        } catch (const kw::EngineError &e) {
            kw::messageBox(kw::appTitle(), e.message(), kw::MsgIcon::Warning);
        }
        return;
    }
    if (!ok && !dialog.cancelled)
        kw::messageBox(kw::appTitle(),
                       error.isEmpty() ? QStringLiteral("Drukowanie nie powiodło się. Sprawdź drukarkę "
                                                        "w oknie „Ustawienie drukowania”.")
                                       : error,
                       kw::MsgIcon::Warning);
}
