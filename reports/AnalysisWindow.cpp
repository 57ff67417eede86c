#include "reports/AnalysisWindow.h"
#include "framework/FileDialogs.h"
#include "framework/Messages.h"
#include "regional/Regional.h"
#include "reports/AnalysisCharts.h"
#include "tools/help/HelpViewer.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

using namespace kw::analysis;
using kw::ledger::Period;

namespace {

const char *const HelpTopic = "analiza";

// The plan's columns: the category, the two amounts the user types, what the month shows.
enum PlanColumn
{
    PlanCategory,
    PlanEveryMonth,
    PlanOwnMonth,
    PlanActual,
    PlanLeft,
    PlanUsed,
    PlanColumns
};

// What each column of a table needs for its texts, as the last fill measured it.
QList<int> naturalWidths(const QTableWidget &t)
{
    QList<int> out;
    for (const QVariant &w : t.property("kwColumnWidths").toList())
        out << w.toInt();
    return out;
}

// The room a table has beyond what its columns need goes to every column alike, so on a wide window
// the figures stay near the names they belong to instead of the first column taking it all.
void spreadColumns(QTableWidget &t)
{
    const QList<int> natural = naturalWidths(t);
    const int n = int(natural.size());
    if (n == 0 || n != t.columnCount())
        return;
    int total = 0;
    for (int w : natural)
        total += w;
    const int extra = std::max(0, t.viewport()->width() - total);
    for (int c = 0; c < n; ++c)
        t.horizontalHeader()->resizeSection(c, natural[c] + extra / n + (c < extra % n ? 1 : 0));
}

// Runs `fitted` whenever the widget gets a new size or comes into sight: a page of the tabs is
// only given its size when it comes to the front, so what depends on it is measured then.
class ResizeWatch : public QObject
{
public:
    ResizeWatch(QWidget *watched, std::function<void()> fitted) : QObject(watched), fitted_(std::move(fitted))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Resize || e->type() == QEvent::Show)
            fitted_();
        return false;
    }

private:
    std::function<void()> fitted_;
};

// The height that shows every row of a table, its header included.
int rowsHeight(const QTableWidget &t)
{
    int h = 2 * t.frameWidth() +
            (t.horizontalHeader()->isVisible() ? t.horizontalHeader()->sizeHint().height() : 0);
    for (int r = 0; r < t.rowCount(); ++r)
        h += t.rowHeight(r);
    return h;
}

// The width that shows every column whole, with room for a scroll bar where the table may need one.
int columnsWidth(const QTableWidget &t)
{
    int w = 2 * t.frameWidth();
    if (t.verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
        w += t.verticalScrollBar()->sizeHint().width();
    for (int c : naturalWidths(t))
        w += c;
    return w;
}

// A table under its chart: as high as its rows, but never more than its share of a small page.
void fitUnderChart(QTableWidget &t)
{
    t.setFixedHeight(std::min(rowsHeight(t), t.parentWidget()->height() * 2 / 5));
}

QTableWidget *figureTableWidget(const QString &name, QWidget *parent)
{
    auto *t = new QTableWidget(parent);
    // Spread again whenever the width the columns are shown in changes (a resize, a scroll bar
    // coming or going).
    new ResizeWatch(t->viewport(), [t] { spreadColumns(*t); });
    t->setObjectName(name);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::NoSelection);
    t->setAlternatingRowColors(true);
    t->verticalHeader()->setVisible(false);
    t->horizontalHeader()->setHighlightSections(false);
    t->setWordWrap(false);
    return t;
}

QColor alertColour(const QPalette &palette)
{
    return palette.color(QPalette::Base).lightness() < 128 ? QColor(0xef, 0x29, 0x29)
                                                           : QColor(0xcc, 0x00, 0x00);
}

// Puts a table of text into the widget: its cells, their alignment, red rows where it alerts.
void fill(QTableWidget &widget, const FigureTable &table, bool header = true)
{
    // Rows as high as the font the table has now: the font may have changed since the last fill.
    widget.verticalHeader()->setDefaultSectionSize(widget.fontMetrics().height() + 6);
    widget.setColumnCount(int(table.header.size()));
    widget.setRowCount(int(table.rows.size()));
    if (header)
        widget.setHorizontalHeaderLabels(table.header);
    widget.horizontalHeader()->setVisible(header);
    const QColor alert = alertColour(widget.palette());
    for (int r = 0; r < table.rows.size(); ++r)
        for (int c = 0; c < table.header.size(); ++c) {
            auto *item = widget.item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                widget.setItem(r, c, item);
            }
            item->setText(table.rows[r].value(c));
            item->setTextAlignment((table.numeric.value(c) ? Qt::AlignRight : Qt::AlignLeft) |
                                   Qt::AlignVCenter);
            item->setForeground(table.alert.value(r) ? QBrush(alert) : QBrush());
        }
    QHeaderView *h = widget.horizontalHeader();
    h->setStretchLastSection(false);
    h->setSectionResizeMode(QHeaderView::Interactive);
    widget.resizeColumnsToContents();
    QVariantList natural;
    for (int c = 0; c < widget.columnCount(); ++c)
        natural << h->sectionSize(c);
    widget.setProperty("kwColumnWidths", natural);
    spreadColumns(widget);
}

// A chart view asks for no more than its least size: a plain view asks for the size it last had,
// so a page that scrolls would never let it shrink again after the window did.
class FigureChartView : public QChartView
{
public:
    using QChartView::QChartView;
    QSize sizeHint() const override { return minimumSize(); }
};

QChartView *chartView(const QString &name, QWidget *parent)
{
    auto *view = new FigureChartView(new QChart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(200, 160);
    view->setFrameShape(QFrame::NoFrame);
    return view;
}

QString plainAmount(const std::optional<double> &v)
{
    return v ? kw::regional::formatCurrency(*v) : QString();
}

// The plan's amount cells: typed as plain numbers, shown as currency; what was typed goes to the
// window, which writes it or says what is wrong with it.
class PlanDelegate : public QStyledItemDelegate
{
public:
    using Edited = std::function<void(int row, int column, const QString &text)>;
    PlanDelegate(QObject *parent, Edited edited) : QStyledItemDelegate(parent), edited_(std::move(edited)) {}

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            const QVariant v = index.data(Qt::UserRole);
            line->setText(v.isValid() ? kw::regional::formatGeneral(v.toDouble()) : QString());
            line->selectAll();
        }
    }
    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            edited_(index.row(), index.column(), line->text());
    }

private:
    Edited edited_;
};

} // namespace

AnalysisWindow::AnalysisWindow(kw::ledger::Books &books, QWidget *parent)
    : QWidget(parent, Qt::Window), books_(books)
{
    setObjectName(QStringLiteral("Analiza"));
    setWindowTitle(QStringLiteral("Analiza wydatków - %1").arg(kw::appTitle()));
    setMinimumSize(640, 480);
    resize(960, 680);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    buildTop();
    Tabs = new QTabWidget(this);
    Tabs->setObjectName(QStringLiteral("Tabs"));
    Tabs->addTab(buildMonthTab(), QStringLiteral("&Miesiąc"));
    Tabs->addTab(buildYearTab(), QStringLiteral("&Rok"));
    Tabs->addTab(buildYearsTab(), QStringLiteral("&Lata"));
    Tabs->addTab(buildPlanTab(), QStringLiteral("&Plan"));
    layout->addWidget(Tabs, 1);
    connect(Tabs, &QTabWidget::currentChanged, this, [this] {
        updateControls();
        refresh();
    });
    connect(&books_, &kw::ledger::Books::changed, this, &AnalysisWindow::booksChanged);

    const QDate today = QDate::currentDate();
    period_ = Period::of(today.month(), today.year());
    fillYearBox();
    syncBoxes();
    updateControls();
}

AnalysisWindow::~AnalysisWindow() = default;

void AnalysisWindow::buildTop()
{
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    PrevButton = new QToolButton(this);
    PrevButton->setObjectName(QStringLiteral("PrevButton"));
    PrevButton->setText(QStringLiteral("<"));
    NextButton = new QToolButton(this);
    NextButton->setObjectName(QStringLiteral("NextButton"));
    NextButton->setText(QStringLiteral(">"));
    MonthBox = new QComboBox(this);
    MonthBox->setObjectName(QStringLiteral("MonthBox"));
    for (int m = 1; m <= 12; ++m)
        MonthBox->addItem(monthName(m));
    MonthBox->setToolTip(QStringLiteral("Miesiąc"));
    YearBox = new QComboBox(this);
    YearBox->setObjectName(QStringLiteral("YearBox"));
    YearBox->setEditable(true);
    YearBox->setInsertPolicy(QComboBox::NoInsert);
    YearBox->setToolTip(QStringLiteral("Rok: wybierz z listy lub wpisz"));
    YearBox->setMinimumContentsLength(5);
    SaveChartButton = new QPushButton(QStringLiteral("&Zapisz wykres…"), this);
    SaveChartButton->setObjectName(QStringLiteral("SaveChartButton"));
    SaveChartButton->setToolTip(QStringLiteral("Zapisuje widoczny wykres do pliku PNG lub SVG"));
    PrintButton = new QPushButton(QStringLiteral("&Drukuj…"), this);
    PrintButton->setObjectName(QStringLiteral("PrintButton"));
    PrintButton->setToolTip(QStringLiteral("Drukuje widoczny wykres"));
    for (QWidget *w : std::initializer_list<QWidget *>{SaveChartButton, PrintButton})
        w->setFocusPolicy(Qt::TabFocus);

    row->addWidget(PrevButton);
    row->addWidget(MonthBox);
    row->addWidget(YearBox);
    row->addWidget(NextButton);
    row->addStretch(1);
    row->addWidget(SaveChartButton);
    row->addWidget(PrintButton);
    static_cast<QVBoxLayout *>(layout())->addLayout(row);

    connect(PrevButton, &QToolButton::clicked, this, &AnalysisWindow::PrevClick);
    connect(NextButton, &QToolButton::clicked, this, &AnalysisWindow::NextClick);
    connect(SaveChartButton, &QPushButton::clicked, this, &AnalysisWindow::SaveChartClick);
    connect(PrintButton, &QPushButton::clicked, this, &AnalysisWindow::PrintClick);
    connect(MonthBox, &QComboBox::currentIndexChanged, this, &AnalysisWindow::periodBoxesChanged);
    connect(YearBox, &QComboBox::activated, this, &AnalysisWindow::periodBoxesChanged);
    connect(YearBox->lineEdit(), &QLineEdit::editingFinished, this, &AnalysisWindow::periodBoxesChanged);
}

QWidget *AnalysisWindow::buildMonthTab()
{
    auto *page = new QWidget;
    auto *layout = new QHBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    MonthChart = chartView(QStringLiteral("MonthChart"), page);
    // The two tables are always as high as their rows, so none is ever hidden inside a table; where
    // a window is lower than both (large fonts), the column they stand in scrolls as a whole.
    MonthSide = new QScrollArea(page);
    MonthSide->setObjectName(QStringLiteral("MonthSide"));
    MonthSide->setFrameShape(QFrame::NoFrame);
    MonthSide->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MonthSide->setWidgetResizable(true);
    auto *side = new QWidget;
    auto *column = new QVBoxLayout(side);
    column->setContentsMargins(0, 0, 0, 0);
    MonthTable = figureTableWidget(QStringLiteral("MonthTable"), side);
    SummaryTable = figureTableWidget(QStringLiteral("SummaryTable"), side);
    SummaryTable->setAlternatingRowColors(false);
    for (QTableWidget *t : {MonthTable, SummaryTable}) {
        t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        column->addWidget(t);
    }
    column->addStretch(1);
    MonthSide->setWidget(side);
    layout->addWidget(MonthChart, 1);
    layout->addWidget(MonthSide);
    new ResizeWatch(page, [this] { fitMonthTab(); });
    return page;
}

// A chart over its table; the table as high as its rows, within the share of the page it may take.
static QWidget *chartOverTable(QChartView *&chart, QTableWidget *&table, const QString &chartName,
                               const QString &tableName)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    chart = chartView(chartName, page);
    table = figureTableWidget(tableName, page);
    layout->addWidget(chart, 1);
    layout->addWidget(table);
    QTableWidget *t = table;
    new ResizeWatch(page, [t] { fitUnderChart(*t); });
    return page;
}

QWidget *AnalysisWindow::buildYearTab()
{
    return chartOverTable(YearChart, YearTable, QStringLiteral("YearChart"), QStringLiteral("YearTable"));
}

QWidget *AnalysisWindow::buildYearsTab()
{
    return chartOverTable(YearsChart, YearsTable, QStringLiteral("YearsChart"), QStringLiteral("YearsTable"));
}

QWidget *AnalysisWindow::buildPlanTab()
{
    // The table the plan is typed into, whole, and the chart under it at a height it can be read at:
    // on a low window the page scrolls to the chart.
    PlanPage = new QScrollArea;
    PlanPage->setObjectName(QStringLiteral("PlanPage"));
    PlanPage->setFrameShape(QFrame::NoFrame);
    PlanPage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PlanPage->setWidgetResizable(true);
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    PlanTable = figureTableWidget(QStringLiteral("PlanTable"), page);
    PlanTable->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed);
    PlanTable->setSelectionMode(QAbstractItemView::SingleSelection);
    PlanTable->setSelectionBehavior(QAbstractItemView::SelectItems);
    PlanTable->setItemDelegate(new PlanDelegate(
        PlanTable, [this](int row, int column, const QString &text) { planEdited(row, column, text); }));
    PlanNote = new QLabel(page);
    PlanNote->setObjectName(QStringLiteral("PlanNote"));
    PlanNote->setWordWrap(true);
    PlanChart = chartView(QStringLiteral("PlanChart"), page);
    layout->addWidget(PlanTable);
    layout->addWidget(PlanNote);
    layout->addWidget(PlanChart, 1);
    PlanPage->setWidget(page);
    return PlanPage;
}

void AnalysisWindow::fitMonthTab()
{
    // Beside the chart, as wide as the columns and as high as the rows; the column scrolls only
    // when the page is lower than the two tables.
    const int side = std::max(columnsWidth(*MonthTable), columnsWidth(*SummaryTable));
    MonthTable->setFixedSize(side, rowsHeight(*MonthTable));
    SummaryTable->setFixedSize(side, rowsHeight(*SummaryTable));
    const QWidget *inside = MonthSide->widget();
    const int needed = inside->layout()->minimumSize().height();
    const int bar = needed > MonthSide->height() ? MonthSide->verticalScrollBar()->sizeHint().width() : 0;
    MonthSide->setFixedWidth(side + bar);
}

void AnalysisWindow::fitPlanTab()
{
    PlanTable->setFixedHeight(rowsHeight(*PlanTable));
    // Two bars a category, with the title, the amount axis and the legend around them.
    int shown = 0;
    for (const PlanLine &l : plan_.lines)
        shown += isSpending(l.category) && l.planned ? 1 : 0;
    const int line = PlanChart->fontMetrics().height();
    PlanChart->setMinimumHeight(std::max(160, 7 * line + 2 * line * shown));
}

void AnalysisWindow::fitTab(Tab tab)
{
    switch (tab) {
    case MonthTab:
        fitMonthTab();
        break;
    case YearTab:
    case YearsTab:
        fitUnderChart(tab == YearTab ? *YearTable : *YearsTable);
        break;
    case PlanTab:
        fitPlanTab();
        break;
    }
}

void AnalysisWindow::setPeriod(const Period &period)
{
    if (period.month.isEmpty() || period.year.isEmpty())
        return;
    period_ = period;
    stale_.fill(true);
    syncBoxes();
    updateControls();
    refresh();
}

void AnalysisWindow::showTab(Tab tab)
{
    Tabs->setCurrentIndex(int(tab));
}

AnalysisWindow::Tab AnalysisWindow::currentTab() const
{
    return Tab(Tabs->currentIndex());
}

QChartView *AnalysisWindow::visibleChart() const
{
    switch (currentTab()) {
    case MonthTab:
        return MonthChart;
    case YearTab:
        return YearChart;
    case YearsTab:
        return YearsChart;
    case PlanTab:
        return PlanChart;
    }
    return MonthChart;
}

QString AnalysisWindow::visibleTitle() const
{
    const QString title = visibleChart()->chart()->title();
    return title.isEmpty() ? windowTitle() : title;
}

void AnalysisWindow::fillYearBox()
{
    const bool was = syncing_;
    syncing_ = true;
    QStringList years;
    kw::runCommand([&] { years = books_.years(); });
    if (!years.contains(period_.year))
        years << period_.year;
    std::sort(years.begin(), years.end(), [](const QString &a, const QString &b) {
        return Period{QString(), a} < Period{QString(), b};
    });
    const QString text = YearBox->currentText();
    YearBox->clear();
    YearBox->addItems(years);
    YearBox->setEditText(text.isEmpty() ? period_.year : text);
    syncing_ = was;
}

void AnalysisWindow::syncBoxes()
{
    const bool was = syncing_;
    syncing_ = true;
    const int m = period_.monthNumber();
    if (m >= 1 && m <= 12)
        MonthBox->setCurrentIndex(m - 1);
    if (YearBox->findText(period_.year) < 0)
        YearBox->addItem(period_.year);
    YearBox->setCurrentIndex(YearBox->findText(period_.year));
    YearBox->setEditText(period_.year);
    syncing_ = was;
}

void AnalysisWindow::periodBoxesChanged()
{
    if (syncing_)
        return;
    const QString year = YearBox->currentText().trimmed();
    if (year.isEmpty()) {
        syncBoxes();
        return;
    }
    const Period p{QString::number(MonthBox->currentIndex() + 1), year};
    if (p == period_)
        return;
    setPeriod(p);
}

void AnalysisWindow::updateControls()
{
    const Tab tab = currentTab();
    MonthBox->setEnabled(tab == MonthTab || tab == PlanTab);
    YearBox->setEnabled(tab != YearsTab);
    const bool months = tab == MonthTab || tab == PlanTab;
    const bool canStep =
        tab != YearsTab && (months ? stepMonth(period_, 1).has_value() || stepMonth(period_, -1).has_value()
                                   : stepYear(period_.year, 1).has_value());
    PrevButton->setEnabled(canStep);
    NextButton->setEnabled(canStep);
    PrevButton->setToolTip(months ? QStringLiteral("Poprzedni miesiąc") : QStringLiteral("Poprzedni rok"));
    NextButton->setToolTip(months ? QStringLiteral("Następny miesiąc") : QStringLiteral("Następny rok"));
}

void AnalysisWindow::PrevClick()
{
    const Tab tab = currentTab();
    if (tab == MonthTab || tab == PlanTab) {
        if (auto p = stepMonth(period_, -1))
            setPeriod(*p);
    } else if (tab == YearTab) {
        if (auto y = stepYear(period_.year, -1))
            setPeriod(Period{period_.month, *y});
    }
}

void AnalysisWindow::NextClick()
{
    const Tab tab = currentTab();
    if (tab == MonthTab || tab == PlanTab) {
        if (auto p = stepMonth(period_, 1))
            setPeriod(*p);
    } else if (tab == YearTab) {
        if (auto y = stepYear(period_.year, 1))
            setPeriod(Period{period_.month, *y});
    }
}

void AnalysisWindow::refreshAll()
{
    booksChanged();
}

void AnalysisWindow::booksChanged()
{
    stale_.fill(true);
    // Plan.dbf is read again after any change of the books, the window's own plan edits included,
    // and after refreshAll, which the program calls when it wrote through books of its own.
    budgetPlan_.reset();
    fillYearBox();
    syncBoxes();
    if (isVisible())
        refresh();
}

void AnalysisWindow::refresh()
{
    const Tab tab = currentTab();
    if (!stale_[std::size_t(tab)])
        return;
    stale_[std::size_t(tab)] = false;
    draw(tab);
    fitTab(tab);
}

void AnalysisWindow::draw(Tab tab)
{
    const ChartColours colours = ChartColours::of(palette());
    // An error of the books (a damaged table) is told once and leaves the tab as it was.
    kw::runCommand([&] {
        switch (tab) {
        case MonthTab: {
            const MonthFigures f = monthFigures(books_, period_);
            drawMonthChart(*MonthChart->chart(), f, colours);
            fill(*MonthTable, monthTable(f));
            fill(*SummaryTable, summaryTable(f), false);
            break;
        }
        case YearTab: {
            const YearFigures f = yearFigures(books_, period_.year);
            drawYearChart(*YearChart->chart(), f, colours);
            fill(*YearTable, yearTable(f));
            break;
        }
        case YearsTab: {
            const std::vector<PeriodRow> f = yearsFigures(books_);
            drawYearsChart(*YearsChart->chart(), f, colours);
            fill(*YearsTable, yearsTable(f));
            break;
        }
        case PlanTab: {
            const MonthFigures month = monthFigures(books_, period_);
            if (!budgetPlan_)
                budgetPlan_ = kw::ledger::BudgetPlan::read(books_);
            plan_ = planFigures(month, *budgetPlan_);
            drawPlanChart(*PlanChart->chart(), plan_, colours);
            FigureTable t = planTable(plan_);
            // The two amounts the user types stand where the table of text has the plan that holds.
            const QString month_ = monthWord(period_.monthNumber());
            t.header = QStringList{t.header[0],
                                   QStringLiteral("Co miesiąc"),
                                   QStringLiteral("Tylko %1").arg(month_),
                                   t.header[2],
                                   t.header[3],
                                   t.header[4]};
            t.numeric.insert(1, true);
            for (int r = 0; r < t.rows.size(); ++r) {
                const std::size_t c = std::size_t(plan_.lines[std::size_t(r)].category);
                t.rows[r].replace(1, plainAmount(plan_.everyMonth[c]));
                t.rows[r].insert(2, plainAmount(plan_.ownMonth[c]));
            }
            const bool was = syncing_;
            syncing_ = true;
            fill(*PlanTable, t);
            for (int r = 0; r < PlanTable->rowCount(); ++r) {
                const std::size_t c = std::size_t(plan_.lines[std::size_t(r)].category);
                for (int col = 0; col < PlanTable->columnCount(); ++col) {
                    QTableWidgetItem *item = PlanTable->item(r, col);
                    const bool editable = col == PlanEveryMonth || col == PlanOwnMonth;
                    item->setFlags(editable ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                                            : Qt::ItemIsEnabled);
                    const auto &amount = col == PlanEveryMonth ? plan_.everyMonth[c] : plan_.ownMonth[c];
                    item->setData(Qt::UserRole, editable && amount ? QVariant(*amount) : QVariant());
                }
            }
            syncing_ = was;
            PlanNote->setText(QStringLiteral("Wpisz kwotę i naciśnij Enter. „Tylko %1” zastępuje plan „Co "
                                             "miesiąc”; puste pole – bez planu.")
                                  .arg(month_));
            PlanNote->setToolTip(
                QStringLiteral("„Co miesiąc” to plan na każdy miesiąc roku %1; plan „Tylko %2” "
                               "go zastępuje w tym jednym miesiącu. Plan zapisuje się od razu "
                               "w pliku Plan.dbf.")
                    .arg(period_.year, month_));
            break;
        }
        }
    });
}

void AnalysisWindow::planEdited(int row, int column, const QString &typed)
{
    if (syncing_ || (column != PlanEveryMonth && column != PlanOwnMonth) || row < 0 ||
        row >= int(plan_.lines.size()))
        return;
    const QString text = typed.trimmed();
    const int category = plan_.lines[std::size_t(row)].category;
    std::optional<double> amount;
    if (!text.isEmpty()) {
        amount = kw::regional::parseNumber(text);
        if (!amount || *amount < 0) {
            kw::messageBox(kw::appTitle(),
                           QStringLiteral("Plan na „%1” musi być kwotą nie mniejszą od zera, np. 1200,50. "
                                          "Puste pole oznacza brak planu.")
                               .arg(categoryLabel(category)),
                           kw::MsgIcon::Warning);
            return;
        }
    }
    kw::ledger::PlanEntry entry;
    entry.year = period_.year;
    if (column == PlanOwnMonth)
        entry.month = period_.month;
    entry.amounts = column == PlanOwnMonth ? plan_.ownMonth : plan_.everyMonth;
    entry.amounts[std::size_t(category)] = amount;
    kw::runCommand([&] { kw::ledger::savePlan(books_, {entry}); });
}

void AnalysisWindow::SaveChartClick()
{
    QChartView *view = visibleChart();
    kw::FileDialogRequest request;
    request.kind = kw::FileDialogKind::Save;
    request.title = QStringLiteral("Zapisz wykres");
    request.filter = QStringLiteral("Obraz PNG|*.png|Rysunek SVG|*.svg");
    QString base = QStringLiteral("analiza-%1").arg(visibleTitle());
    base.replace(QRegularExpression(QStringLiteral("[^\\w]+")), QStringLiteral("-"));
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString folder = QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
    request.directory = QDir(folder).filePath(base.toLower() + QStringLiteral(".png"));
    const kw::FileDialogAnswer answer = kw::runFileDialog(this, request);
    if (!answer.accepted || answer.path.isEmpty())
        return;
    QString path = answer.path;
    QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("svg")) {
        // A name without one of the two extensions gets the one of the type chosen in the dialog.
        suffix = answer.filterIndex == 1 ? QStringLiteral("svg") : QStringLiteral("png");
        path += QLatin1Char('.') + suffix;
    }
    if (QFileInfo::exists(path) &&
        kw::messageBox(kw::appTitle(), QStringLiteral("Czy zamienić istniejący plik %1?").arg(path),
                       kw::MsgIcon::Question, kw::Yes | kw::No) != kw::Yes)
        return;
    kw::runCommand([&] {
        if (suffix == QLatin1String("svg"))
            saveChartSvg(*view, path, visibleTitle());
        else
            saveChartPng(*view, path);
    });
}

void AnalysisWindow::PrintClick()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(visibleTitle());
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!kw::runPrintDialog(this, &printer))
        return;
    QPainter painter;
    if (!painter.begin(&printer)) {
        kw::messageBox(
            kw::appTitle(),
            QStringLiteral("Nie można drukować. Sprawdź drukarkę w oknie drukowania i spróbuj ponownie."),
            kw::MsgIcon::Warning);
        return;
    }
    // The painter's origin is the corner of the printable area.
    const QRect page(QPoint(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
    paintChartPage(*visibleChart(), painter, page,
                   QStringLiteral("%1 – %2").arg(windowTitle(), visibleTitle()));
    painter.end();
}

void AnalysisWindow::showHelp()
{
    if (kw::help::helpFile().isEmpty())
        kw::help::setHelpFile(QStringLiteral("POMOC.HLP"));
    kw::help::showTopic(QString::fromLatin1(HelpTopic));
}

void AnalysisWindow::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    if (e->key() == Qt::Key_F1) {
        showHelp();
        return;
    }
    QWidget::keyPressEvent(e);
}

void AnalysisWindow::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::PaletteChange || e->type() == QEvent::FontChange) {
        stale_.fill(true);
        if (isVisible())
            refresh();
    }
}

void AnalysisWindow::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    refresh();
}
