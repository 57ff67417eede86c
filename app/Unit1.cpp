#include "app/Unit1.h"
#include "app/AnalysisCommand.h"
#include "app/Forms.h"
#include "app/Icons.h"
#include "app/ToolCommands.h"
#include "dialogs/ImportUndoDialog.h"
#include "dialogs/ImportWindow.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit3D.h"
#include "dialogs/UnitM.h"
#include "framework/ComboEdit.h"
#include "framework/Hints.h"
#include "framework/Messages.h"
#include "regional/Regional.h"
#include "framework/Shape.h"
#include "ledger/Booking.h"
#include "ledger/Books.h"
#include "ledger/LedgerSchema.h"
#include "ledger/Rollup.h"
#include "reports/ReportCommands.h"
#include "reports/UnitR1.h"
#include "reports/UnitR2.h"
#include "reports/UnitR3.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QGroupBox>
#include <QSignalBlocker>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

// Fixed geometry of the window, in pixels of its client area.
constexpr int ClientWidth = 602;
constexpr int ToolBarHeight = 33;
constexpr int BandHeight = 57;
constexpr int WorkHeight = 308;
constexpr int StatusHeight = 24;
constexpr int GridWidth = 118;
constexpr int YearWidth = 160;
constexpr int MonthWidth = 160;
constexpr int DayWidth = 164;

const QColor BandColour(240, 202, 166);
const QColor GridColour(192, 220, 192);
const QColor Red(255, 0, 0);
const QColor Lime(0, 255, 0);

// One row of a balance box.
enum class RowKind
{
    Amount,
    Income,
    Expenses,
    Budget,
    Rule,
    Remark
};
struct Row
{
    const char *label;
    const char *field;
    RowKind kind;
};

// The captions of the ten categories in the balance boxes, in the schema's order.
constexpr const char *BoxCaptions[kw::ledger::Categories.size()] = {
    "Przych. :", "Koszt :",  "Koszt okr. :", "Opłaty :",  "Żywność :",
    "Używki :",  "Odzież :", "Śr.czyst. :",  "Samoch. :", "Inne :"};
// The day list's column titles of the ten categories.
constexpr const char *GridCaptions[kw::ledger::Categories.size()] = {
    "Przychód", "Koszt",  "Koszt okr.",   "Opłaty",   "Żywność",
    "Używki",   "Odzież", "Śr.czystości", "Samochód", "Inne"};

// The rows of a balance box: the income kinds, the expense kinds, each group under a rule. A sum box
// adds the income after the income kinds, and the expenses and the budget at the end; the day box
// ends with the remark, and its "Żywność" has no colon.
std::vector<Row> boxRows(kw::ledger::Level level)
{
    using kw::ledger::Categories;
    using kw::ledger::IncomeKinds;
    const bool day = level == kw::ledger::Level::Day;
    const Row rule{nullptr, nullptr, RowKind::Rule};
    std::vector<Row> rows;
    for (int i = 0; i < int(Categories.size()); ++i) {
        if (i == IncomeKinds) {
            rows.push_back(rule);
            if (!day) {
                rows.push_back({"Dochód :", kw::ledger::derivedFields(level).income, RowKind::Income});
                rows.push_back(rule);
            }
        }
        const char *caption = day && i == 4 ? "Żywność" : BoxCaptions[i];
        rows.push_back({caption, Categories[std::size_t(i)].field(level), RowKind::Amount});
    }
    rows.push_back(rule);
    if (day) {
        rows.push_back({"Uwagi :", kw::ledger::DayRecord.remark, RowKind::Remark});
    } else {
        rows.push_back({"Wydatki :", kw::ledger::derivedFields(level).expenses, RowKind::Expenses});
        rows.push_back(rule);
        rows.push_back({"Budżet :", kw::ledger::derivedFields(level).budget, RowKind::Budget});
    }
    return rows;
}

constexpr int RowHeight = 17;
constexpr int RuleHeight = 6;
constexpr int BoxTop = 18; // first row under the group box's caption
constexpr int BoxMargin = 6;

QFont sizedFont(const QFont &base, int points)
{
    QFont f = base;
    f.setPointSize(points);
    return f;
}

// The window is laid out in pixels for a small dialog font; a font with the metrics of Arial keeps
// every text inside its place whatever the desktop's own font is.
QFont windowFont()
{
    QFont f(QApplication::font());
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    return f;
}

// A value wider than its row (an amount in the millions) is drawn smaller rather than cut off.
class FittedText : public kw::DBText
{
public:
    using kw::DBText::DBText;

protected:
    void paintEvent(QPaintEvent *e) override
    {
        const QRect r = contentsRect();
        QFont f = font();
        if (text().isEmpty() || QFontMetrics(f).horizontalAdvance(text()) <= r.width()) {
            kw::DBText::paintEvent(e);
            return;
        }
        while (f.pointSizeF() > 4 && QFontMetrics(f).horizontalAdvance(text()) > r.width())
            f.setPointSizeF(f.pointSizeF() - 0.5);
        QPainter p(this);
        p.setFont(f);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(r, int(alignment()), text());
    }
};

// Fills a balance box with its rows; returns the value labels created, in row order. The remark
// memo of the day box is returned through `memo`.
QList<kw::DBText *> fillBox(QGroupBox *box, const std::vector<Row> &rows, kw::DBMemo **memo)
{
    const QFontMetrics fm(box->font());
    int labelWidth = 0;
    for (const Row &r : rows)
        if (r.label)
            labelWidth = std::max(labelWidth, fm.horizontalAdvance(QString::fromUtf8(r.label)));
    const int inner = box->width() - 2 * BoxMargin;
    const int valueX = BoxMargin + labelWidth + 4;
    const int valueWidth = BoxMargin + inner - valueX;
    const QColor infoBack = QApplication::palette().color(QPalette::ToolTipBase);

    QList<kw::DBText *> values;
    int y = BoxTop;
    for (const Row &r : rows) {
        if (r.kind == RowKind::Rule) {
            auto *rule = new QFrame(box);
            rule->setFrameStyle(QFrame::HLine | QFrame::Sunken);
            rule->setGeometry(BoxMargin - 2, y + 1, inner + 4, 2);
            y += RuleHeight;
            continue;
        }
        auto *label = new QLabel(QString::fromUtf8(r.label), box);
        label->setObjectName(QStringLiteral("Label_%1").arg(QLatin1String(r.field)));
        label->setGeometry(BoxMargin, y, labelWidth + 2, RowHeight - 2);
        if (r.kind == RowKind::Income || r.kind == RowKind::Expenses || r.kind == RowKind::Budget) {
            QPalette p = label->palette();
            p.setColor(QPalette::WindowText, r.kind == RowKind::Income     ? QColor(0, 0, 128)
                                             : r.kind == RowKind::Expenses ? QColor(128, 0, 128)
                                                                           : QColor(0, 0, 0));
            label->setPalette(p);
        }
        if (r.kind == RowKind::Remark) {
            auto *m = new kw::DBMemo(box);
            m->setObjectName(QStringLiteral("DBMemo1"));
            m->setReadOnly(true);
            m->setFrameStyle(QFrame::NoFrame);
            m->setGeometry(BoxMargin, y + RowHeight, 129, 49);
            m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            m->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            m->viewport()->setAutoFillBackground(false);
            m->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
            m->setProperty("kwField", QString::fromLatin1(r.field));
            *memo = m;
            y += RowHeight + 49;
            continue;
        }
        auto *value = new FittedText(box);
        value->setObjectName(QStringLiteral("DBText%1").arg(QLatin1String(r.field)));
        value->setProperty("kwField", QString::fromLatin1(r.field));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setGeometry(valueX, y, valueWidth, RowHeight - 2);
        if (r.kind != RowKind::Amount) {
            value->setAutoFillBackground(true);
            QPalette p = value->palette();
            p.setColor(QPalette::Window, infoBack);
            value->setPalette(p);
        }
        values << value;
        y += RowHeight;
    }
    return values;
}

void bindAll(const QList<kw::DBText *> &labels, kw::DataSource *source)
{
    for (kw::DBText *t : labels)
        t->bind(source, t->property("kwField").toString());
}

// An empty widget standing for a gap between groups of the tool bar.
QWidget *gap(QWidget *parent, int width)
{
    auto *w = new QWidget(parent);
    w->setFixedWidth(width);
    return w;
}

} // namespace

TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent), Table1(new kw::Table(this)), DataSource1(new kw::DataSource(this)),
      Timer1(new QTimer(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kw::appTitle());
    setFont(windowFont());
    // A fixed single border: the user cannot resize or maximise the window.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    Table1->setObjectName(QStringLiteral("Table1"));
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    kw::ledger::setUpDayTable(*Table1);
    // The period filter and the roll-up hooks are put on by the start-up wiring (connectForms).
    DataSource1->setDataSet(Table1);

    buildMenu();
    buildToolBar();
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    central->setFixedSize(ClientWidth, BandHeight + WorkHeight);
    buildSummaryBand(central);
    buildWorkingArea(central);
    setCentralWidget(central);
    buildStatusBar();

    // The date is taken once, at start-up; the clock alone follows the time.
    DatePanel->setText(kw::regional::shortDate(QDate::currentDate()));

    light_[0] = light_[1] = Lime;
    Shape1->setBrushColor(Lime);
    Shape2->setBrushColor(Lime);
    setCommandState(CommandState::NoPeriod);

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();

    setFixedSize(ClientWidth,
                 menuBar()->sizeHint().height() + ToolBarHeight + BandHeight + WorkHeight + StatusHeight);
}

TForm1::~TForm1()
{
    // The import's windows work on the books, which go with this window's members.
    delete importWindow_;
    delete importUndo_;
}

void TForm1::buildMenu()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    const auto menu = [&](const char *name, const char *text) {
        QMenu *m = bar->addMenu(QString::fromUtf8(text));
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QStringLiteral("%1Action").arg(QLatin1String(name)));
        return m;
    };
    const auto item = [&](QMenu *m, const char *name, const char *text, void (TForm1::*handler)(),
                          const QKeySequence &key = {}) {
        QAction *a = m->addAction(QString::fromUtf8(text));
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return a;
    };

    Dane1 = menu("Dane1", "Dane");
    Otworz1 = item(Dane1, "Otworz1", "Otwórz miediąc i rok", &TForm1::ToolButton1Click,
                   QKeySequence(Qt::CTRL | Qt::Key_O));
    Dane1->addSeparator();
    Eksportuj1 = item(Dane1, "Eksportuj1", "Eksportuj…", &TForm1::Eksportuj1Click);
    ImportujWyciag1 = item(Dane1, "ImportujWyciag1", "Importuj wyciąg…", &TForm1::ImportujWyciag1Click);
    CofnijImport1 = item(Dane1, "CofnijImport1", "Cofnij import…", &TForm1::CofnijImport1Click);
    Dane1->addSeparator();
    Zamknij2 = item(Dane1, "Zamknij2", "Zamknij program", &TForm1::Zamknij2Click);

    Edycja1 = menu("Edycja1", "Edycja");
    Nowydzien1 = item(Edycja1, "Nowydzien1", "Nowy dzień", &TForm1::ToolButton2Click,
                      QKeySequence(Qt::CTRL | Qt::Key_N));
    Edycja1->addSeparator();
    DodajOdejmij1 = item(Edycja1, "DodajOdejmij1", "Dodaj / Odejmij", &TForm1::ToolButton3Click);
    Zmien1 = item(Edycja1, "Zmien1", "Zmień", &TForm1::ToolButton4Click);
    Usun1 = item(Edycja1, "Usun1", "Usuń", &TForm1::ToolButton5Click, QKeySequence(Qt::Key_Delete));

    Raporty1 = menu("Raporty1", "Raporty");
    Miesieczne1 = item(Raporty1, "Miesieczne1", "Zestawienie miesięczne", &TForm1::ToolButton6Click);
    Roczne1 = item(Raporty1, "Roczne1", "Zestawienie roczne", &TForm1::ToolButton7Click);
    Wieloletnie1 = item(Raporty1, "Wieloletnie1", "Zestawienie wieloletnie", &TForm1::ToolButton8Click);
    Raporty1->addSeparator();
    Analiza1 = item(Raporty1, "Analiza1", "Analiza wydatków", &TForm1::Analiza1Click);

    Kalkulatory1 = menu("Kalkulatory1", "Kalkulatory");
    Kalkulator1 = item(Kalkulatory1, "Kalkulator1", "Kalkulator", &TForm1::ComboEdit1ButtonClick);
    Kalkulatorbankowy1 =
        item(Kalkulatory1, "Kalkulatorbankowy1", "Kalkulator bankowy", &TForm1::ToolButton10Click);

    Pomoc1 = menu("Pomoc1", "Pomoc");
    TematyPomocy1 = item(Pomoc1, "TematyPomocy1", "Tematy Pomocy", &TForm1::ToolButton11Click);
    Pomoc1->addSeparator();
    Informacje1 = item(Pomoc1, "Informacje1", "About", &TForm1::Informacje1Click);
}

QToolButton *TForm1::addToolButton(const QString &name, int image, const QString &tip, const QString &hint,
                                   void (TForm1::*handler)())
{
    auto *b = new QToolButton(ToolBar1);
    b->setObjectName(name);
    b->setIcon(kw::icons::toolIcon(static_cast<kw::icons::ToolImage>(image)));
    b->setIconSize(QSize(16, 16));
    b->setAutoRaise(true);
    b->setFixedSize(25, 25);
    b->setToolTip(tip);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
    ToolBar1->addWidget(b);
    setHint(b, hint);
    return b;
}

void TForm1::buildToolBar()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(ToolBarHeight);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1->toggleViewAction()->setVisible(false);
    ToolBar1->setContentsMargins(0, 0, 0, 0);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    ToolBar1->addSeparator();
    ToolButton1 = addToolButton(
        QStringLiteral("ToolButton1"), 0, QStringLiteral("Miesiąc / Rok"),
        QStringLiteral("Przycisk otwiera okno dialogowe umożliwiające wybranie roku i miesiąca"),
        &TForm1::ToolButton1Click);
    ToolBar1->addSeparator();
    ToolButton2 = addToolButton(QStringLiteral("ToolButton2"), 1, QStringLiteral("Dzień"),
                                QStringLiteral("Przycisk otwiera okno dialogowe umożliwiające wybranie dnia"),
                                &TForm1::ToolButton2Click);
    ToolBar1->addSeparator();
    ToolButton3 = addToolButton(
        QStringLiteral("ToolButton3"), 2, QStringLiteral("Dodaj / Odejmij"),
        QStringLiteral("Przycisk otwiera okno dialogowe umożliwiające dodanie nowych dochodów i wydatków"),
        &TForm1::ToolButton3Click);
    ToolButton4 = addToolButton(
        QStringLiteral("ToolButton4"), 3, QStringLiteral("Zmień"),
        QStringLiteral("Przycisk otwiera okno dialogowe umożliwiające zmianę istniejącego wpisu"),
        &TForm1::ToolButton4Click);
    ToolButton5 = addToolButton(QStringLiteral("ToolButton5"), 4, QStringLiteral("Usuń"),
                                QStringLiteral("Przycisk usuwa zaznaczony wpis z bazy danych"),
                                &TForm1::ToolButton5Click);
    ToolBar1->addSeparator();
    ToolButton6 =
        addToolButton(QStringLiteral("ToolButton6"), 5, QStringLiteral("Zestawienie miesięczne"),
                      QStringLiteral("Przycisk otwiera zestawienie miesięczne"), &TForm1::ToolButton6Click);
    ToolButton7 =
        addToolButton(QStringLiteral("ToolButton7"), 6, QStringLiteral("Zestawienie roczne"),
                      QStringLiteral("Przycisk otwiera zestawienie roczne"), &TForm1::ToolButton7Click);
    ToolButton8 =
        addToolButton(QStringLiteral("ToolButton8"), 7, QStringLiteral("Zestawienie wieloletnie"),
                      QStringLiteral("Przycisk otwiera zestawienie wieloletnie"), &TForm1::ToolButton8Click);
    ToolBar1->addSeparator();

    ComboEdit1 = new kw::ComboEdit(ToolBar1);
    ComboEdit1->setObjectName(QStringLiteral("ComboEdit1"));
    ComboEdit1->setFixedSize(129, 22);
    ComboEdit1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ComboEdit1->setText(QStringLiteral("0"));
    ComboEdit1->setToolTip(QStringLiteral("Kalkulator"));
    ComboEdit1->button()->setToolTip(QStringLiteral("Kalkulator"));
    ComboEdit1->setGlyph(kw::icons::toolIcon(kw::icons::ToolImage::Calculator));
    connect(ComboEdit1, &kw::ComboEdit::buttonClicked, this, &TForm1::ComboEdit1ButtonClick);
    ToolBar1->addWidget(ComboEdit1);
    setHint(ComboEdit1, QStringLiteral("Przycisk otwiera okno zawierające kalkulator"));
    setHint(ComboEdit1->button(), QStringLiteral("Przycisk otwiera okno zawierające kalkulator"));
    // Del belongs to the menu, even while the number box has the focus.
    ComboEdit1->installEventFilter(this);
    ToolBar1->addSeparator();

    ToolButton10 = addToolButton(QStringLiteral("ToolButton10"), 9, QStringLiteral("Kalkulator bankowy"),
                                 QStringLiteral("Przycisk otwiera okno zawierające kalkulator bankowy"),
                                 &TForm1::ToolButton10Click);
    ToolBar1->addSeparator();
    ToolButton9 = addToolButton(QStringLiteral("ToolButton9"), 8, QStringLiteral("Notatnik"),
                                QStringLiteral("Przycisk otwiera notatnik"), &TForm1::ToolButton9Click);
    ToolBar1->addSeparator();
    ToolButton11 = addToolButton(QStringLiteral("ToolButton11"), 10, QStringLiteral("Pomoc"),
                                 QStringLiteral("Przycisk otwiera okno pomocy"), &TForm1::ToolButton11Click);
    // A wider gap before the clock.
    ToolBar1->addSeparator();
    ToolBar1->addWidget(gap(ToolBar1, 16));

    Panel1 = new QLabel(ToolBar1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedSize(80, 22);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setAlignment(Qt::AlignCenter);
    ToolBar1->addWidget(Panel1);
    setHint(Panel1, QStringLiteral("Aktualny czas"));
}

void TForm1::buildSummaryBand(QWidget *parent)
{
    Panel2 = new QFrame(parent);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(0, 0, ClientWidth, BandHeight);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel2->setAutoFillBackground(true);
    QPalette band = Panel2->palette();
    band.setColor(QPalette::Window, BandColour);
    Panel2->setPalette(band);
    setHint(Panel2, QString());

    GroupBox2 = new QGroupBox(QStringLiteral("Stan finansów od początku roku :"), Panel2);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(6, 3, 506, 50);
    setHint(GroupBox2, QStringLiteral("Na bieżąco aktualizowane roczne zestawienie"));
    const struct
    {
        const char *label;
        const char *field;
    } totals[] = {{"Dochód :", kw::ledger::YearSums.income},
                  {"Wydatki :", kw::ledger::YearSums.expenses},
                  {"Budżet :", kw::ledger::YearSums.budget}};
    const QFontMetrics fm(GroupBox2->font());
    int x = 10;
    for (const auto &t : totals) {
        auto *label = new QLabel(QString::fromUtf8(t.label), GroupBox2);
        label->setObjectName(QStringLiteral("Label_Total%1").arg(QLatin1String(t.field)));
        const int w = fm.horizontalAdvance(label->text()) + 2;
        label->setGeometry(x, 24, w, 15);
        auto *value = new FittedText(GroupBox2);
        value->setObjectName(QStringLiteral("DBTextTotal%1").arg(QLatin1String(t.field)));
        value->setProperty("kwField", QString::fromLatin1(t.field));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setGeometry(x + w + 4, 24, 150 - w, 15);
        yearValues_ << value;
        x += 166;
    }

    auto *lights = new QFrame(Panel2);
    lights->setObjectName(QStringLiteral("LightsFrame"));
    lights->setFrameStyle(QFrame::Box | QFrame::Sunken);
    lights->setGeometry(520, 7, 74, 44);
    const auto letter = [&](const QString &text, int x0) {
        auto *l = new QLabel(text, lights);
        l->setAlignment(Qt::AlignCenter);
        l->setGeometry(x0, 4, 17, 14);
        return l;
    };
    letter(QStringLiteral("R"), 14)->setObjectName(QStringLiteral("LabelR"));
    letter(QStringLiteral("M"), 43)->setObjectName(QStringLiteral("LabelM"));
    Shape1 = new kw::Shape(lights);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(14, 21, 17, 17);
    setHint(Shape1,
            QStringLiteral("Stan budżetu w skali roku (zielony - budżet dodatni, czerwony - budżet ujemny)"));
    Shape2 = new kw::Shape(lights);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setGeometry(43, 21, 17, 17);
    setHint(
        Shape2,
        QStringLiteral("Stan budżetu w skali miesiąca (zielony - budżet dodatni, czerwony - budżet ujemny)"));
}

void TForm1::buildWorkingArea(QWidget *parent)
{
    DBGrid1 = new kw::DBGrid(parent);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(0, BandHeight, GridWidth, WorkHeight);
    QPalette gp = DBGrid1->palette();
    gp.setColor(QPalette::Base, GridColour);
    DBGrid1->setPalette(gp);
    DBGrid1->verticalHeader()->hide();
    QList<kw::DataSetModel::Column> columns{
        {QString::fromLatin1(kw::ledger::DayRecord.day), QStringLiteral("Dzień")}};
    for (std::size_t i = 0; i < kw::ledger::Categories.size(); ++i)
        columns.append(
            {QString::fromLatin1(kw::ledger::Categories[i].day), QString::fromUtf8(GridCaptions[i])});
    columns.append({QString::fromLatin1(kw::ledger::DayRecord.remark), QStringLiteral("UWAGI")});
    DBGrid1->bind(DataSource1, columns);
    QHeaderView *h = DBGrid1->horizontalHeader();
    h->setDefaultSectionSize(90);
    h->resizeSection(0, 40);
    h->resizeSection(int(columns.size()) - 1, 300); // the remark
    DBGrid1->installEventFilter(this);

    const auto panel = [&](const char *name, int x, int width, const QString &hint) {
        auto *p = new QFrame(parent);
        p->setObjectName(QString::fromLatin1(name));
        p->setGeometry(x, BandHeight, width, WorkHeight);
        p->setFrameStyle(QFrame::Panel | QFrame::Raised);
        setHint(p, hint);
        return p;
    };
    const auto heading = [&](QFrame *p, const QString &text) {
        auto *l = new QLabel(text, p);
        l->setObjectName(QStringLiteral("Heading%1").arg(p->objectName()));
        l->setFont(sizedFont(font(), 10));
        l->setGeometry(8, 5, QFontMetrics(l->font()).horizontalAdvance(text) + 2, 20);
        return l;
    };
    const auto box = [&](QFrame *p, const char *name, const QString &title, const QString &hint) {
        auto *b = new QGroupBox(title, p);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(4, 28, p->width() - 8, WorkHeight - 32);
        setHint(b, hint);
        return b;
    };
    int x = GridWidth;

    Panel5 = panel("Panel5", x, YearWidth, QStringLiteral("Roczne zestawienie wydatków."));
    QLabel *yearHeading = heading(Panel5, QStringLiteral("Rok :"));
    Label43 = new QLabel(Panel5);
    Label43->setObjectName(QStringLiteral("Label43"));
    Label43->setFont(yearHeading->font());
    Label43->setGeometry(yearHeading->geometry().right() + 6, 5,
                         YearWidth - yearHeading->geometry().right() - 14, 20);
    GroupBox1 = box(Panel5, "GroupBox1", QStringLiteral("Bilans roczny :"),
                    QStringLiteral("Roczne zestawienie wydatków."));
    kw::DBMemo *unused = nullptr;
    yearValues_ << fillBox(GroupBox1, boxRows(kw::ledger::Level::Year), &unused);
    x += YearWidth;

    Panel4 = panel("Panel4", x, MonthWidth, QStringLiteral("Miesięczne zestawienie wydatków."));
    QLabel *monthHeading = heading(Panel4, QStringLiteral("Miesiąc :"));
    MonthHeading = new kw::DBText(Panel4);
    MonthHeading->setObjectName(QStringLiteral("DBTextMIESIAC"));
    MonthHeading->setFont(monthHeading->font());
    MonthHeading->setGeometry(monthHeading->geometry().right() + 6, 5,
                              MonthWidth - monthHeading->geometry().right() - 14, 20);
    MonthHeading->bind(DataSource1, QString::fromLatin1(kw::ledger::DayRecord.month));
    GroupBox4 = box(Panel4, "GroupBox4", QStringLiteral("Bilans miesięczny :"),
                    QStringLiteral("Miesięczne zestawienie wydatków."));
    monthValues_ = fillBox(GroupBox4, boxRows(kw::ledger::Level::Month), &unused);
    x += MonthWidth;

    Panel3 = panel("Panel3", x, DayWidth, QStringLiteral("Dzienne zestawienie wydatków."));
    QLabel *dayHeading = heading(Panel3, QStringLiteral("Dzień :"));
    DayHeading = new kw::DBText(Panel3);
    DayHeading->setObjectName(QStringLiteral("DBTextDZIEN"));
    DayHeading->setFont(dayHeading->font());
    DayHeading->setGeometry(dayHeading->geometry().right() + 6, 5,
                            DayWidth - dayHeading->geometry().right() - 14, 20);
    DayHeading->bind(DataSource1, QString::fromLatin1(kw::ledger::DayRecord.day));
    GroupBox3 = box(Panel3, "GroupBox3", QStringLiteral("Bilans dzienny :"),
                    QStringLiteral("Dzienne zestawienie wydatków."));
    DBMemo1 = nullptr;
    const QList<kw::DBText *> dayValues = fillBox(GroupBox3, boxRows(kw::ledger::Level::Day), &DBMemo1);
    bindAll(dayValues, DataSource1);
    DBMemo1->bind(DataSource1, QString::fromLatin1(kw::ledger::DayRecord.remark));
    DBMemo1->installEventFilter(this);

    const QList<kw::DBText *> *lists[] = {&yearValues_, &monthValues_, &dayValues};
    for (const QList<kw::DBText *> *list : lists)
        for (kw::DBText *t : *list)
            if (t->parent() != GroupBox2)
                values_.insert(t->property("kwField").toString(), t);
}

void TForm1::buildStatusBar()
{
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(StatusHeight);
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
    setStatusBar(StatusBar1);
    DatePanel = new QLabel(StatusBar1);
    DatePanel->setObjectName(QStringLiteral("DatePanel"));
    DatePanel->setFixedWidth(100);
    DatePanel->setAlignment(Qt::AlignCenter);
    DatePanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    HintPanel = new QLabel(StatusBar1);
    HintPanel->setObjectName(QStringLiteral("HintPanel"));
    HintPanel->setAlignment(Qt::AlignCenter);
    HintPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    // A long hint is cut at the panel's end rather than widening the window.
    HintPanel->setMinimumWidth(1);
    HintPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusBar1->addWidget(DatePanel);
    StatusBar1->addWidget(HintPanel, 1);
}

void TForm1::attachBooks(kw::ledger::Books &books)
{
    books_ = &books;
    cursors_.reset();
    cursors_ = std::make_unique<kw::ledger::CursorBooks>(books, ledgerTables());
    // The day list and the sums follow the tables by themselves; the lights and the command state
    // are worked out here, after every change of the books.
    connect(books_, &kw::ledger::Books::changed, this, &TForm1::followBooks, Qt::UniqueConnection);
}

void TForm1::bindSums(kw::DataSource *month, kw::DataSource *year)
{
    monthSums_ = month;
    yearSums_ = year;
    bindAll(monthValues_, month);
    bindAll(yearValues_, year);
}

void TForm1::installTableHandlers(const kw::ledger::PeriodSource &period)
{
    periodFilter_ = kw::ledger::dayPeriodFilter(period);
    Table1->setOnFilterRecord([this](const kw::RecordView &record) { return Table1FilterRecord(record); });
    Table1->beforeEdit = [this](kw::Table &table) { Table1BeforeEdit(table); };
    Table1->beforePost = [this](kw::Table &table) { Table1BeforePost(table); };
    Table1->beforeDelete = [this](kw::Table &table) { Table1BeforeDelete(table); };
}

void TForm1::Table1BeforeEdit(kw::Table &)
{
    kw::ledger::rollupBeforeEdit(ledgerTables());
}

void TForm1::Table1BeforePost(kw::Table &)
{
    kw::ledger::rollupBeforePost(ledgerTables());
}

void TForm1::Table1BeforeDelete(kw::Table &)
{
    kw::ledger::rollupBeforeDelete(ledgerTables());
}

kw::ledger::LedgerTables TForm1::ledgerTables() const
{
    return {Table1, monthSums_ ? monthSums_->dataSet() : nullptr, yearSums_ ? yearSums_->dataSet() : nullptr};
}

QList<kw::Table *> TForm1::programTables() const
{
    const kw::ledger::LedgerTables t = ledgerTables();
    QList<kw::Table *> all{t.day, t.month, t.year};
    all << statementTables_;
    all.removeAll(nullptr);
    return all;
}

QRect TForm1::balancesArea() const
{
    QRect balances;
    for (const QWidget *w : std::initializer_list<const QWidget *>{Panel2, Panel5, Panel4, Panel3})
        balances |= QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
    return balances;
}

void TForm1::refreshDayList()
{
    Table1->refresh();
}

// --- status hints ---------------------------------------------------------------------------

void TForm1::setHint(QWidget *control, const QString &text)
{
    hints_.insert(control, text);
    kw::setControlHint(control, text);
    control->setMouseTracking(true);
    control->installEventFilter(this);
}

void TForm1::showStatusHint(const QString &text)
{
    // The application's hint follows the pointer by itself; this panel keeps the last listed text.
    HintPanel->setText(text);
}

QString TForm1::statusHint() const
{
    return HintPanel->text();
}

bool TForm1::eventFilter(QObject *watched, QEvent *e)
{
    switch (e->type()) {
    case QEvent::MouseMove: {
        // Only the control under the pointer counts: a label or value inside a listed control,
        // or a control not listed, leaves the text as it was. A listed control keeps the move to
        // itself, so the control around it does not put its own text back.
        const auto it = hints_.constFind(watched);
        auto *m = static_cast<QMouseEvent *>(e);
        if (it == hints_.constEnd() || m->buttons() != Qt::NoButton)
            break;
        if (!static_cast<QWidget *>(watched)->isEnabled())
            break;
        showStatusHint(it.value());
        e->accept();
        return true;
    }
    case QEvent::ShortcutOverride: {
        // The number box would keep Del for itself; the menu's shortcut goes first.
        auto *k = static_cast<QKeyEvent *>(e);
        if (k->key() == Qt::Key_Delete && (k->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            e->ignore();
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        // Del reaches a control only when the menu item is disabled: it is used up doing nothing.
        auto *k = static_cast<QKeyEvent *>(e);
        if (k->key() == Qt::Key_Delete && (k->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier)
            return true;
        break;
    }
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, e);
}

// --- operations other windows call ----------------------------------------------------------

void TForm1::Timer1Timer()
{
    Panel1->setText(kw::regional::longTime(QTime::currentTime()));
}

void TForm1::setCommandState(CommandState s)
{
    state_ = s;
    const bool period = s != CommandState::NoPeriod;
    const bool days = s == CommandState::PeriodWithDays;
    ToolButton2->setEnabled(period);
    for (QToolButton *b : {ToolButton3, ToolButton4, ToolButton5, ToolButton6, ToolButton7, ToolButton8})
        b->setEnabled(days);
    // A disabled menu also silences the shortcuts of its items.
    for (QMenu *m : {Edycja1, Raporty1}) {
        m->menuAction()->setEnabled(days);
        for (QAction *a : m->actions())
            a->setEnabled(days);
    }
}

void TForm1::testCommandState(bool openingPeriod)
{
    if (kw::ledger::noDayEntry(*Table1))
        setCommandState(CommandState::EmptyPeriod);
    else if (openingPeriod)
        setCommandState(CommandState::PeriodWithDays);
}

QColor TForm1::lightColor(int which) const
{
    return light_[which == 1 ? 0 : 1];
}

void TForm1::refreshLights()
{
    // A missing balance counts as below zero; exactly zero is lime.
    const auto colour = [](const QVariant &v) { return v.isNull() || v.toDouble() < 0 ? Red : Lime; };
    const kw::ledger::LedgerTables t = ledgerTables();
    light_[1] = colour(t.month->fieldValue(kw::ledger::MonthSums.budget));
    light_[0] = colour(t.year->fieldValue(kw::ledger::YearSums.budget));
    Shape2->setBrushColor(light_[1]);
    Shape1->setBrushColor(light_[0]);
    // The lights are refreshed after every booking: the plan is held against the month then too.
    const QString overPlan = kw::analysisAfterBooking(*this);
    if (!overPlan.isEmpty())
        showStatusHint(overPlan);
}

void TForm1::setYearLabel(const QString &year)
{
    Label43->setText(year);
}

void TForm1::closeTables()
{
    // A pending change is posted first, with its sums, while the displays still follow it.
    for (kw::Table *t : programTables())
        if (t->active())
            t->checkBrowseMode();
    // The window goes with its tables: its displays need not be laid out again, empty, first.
    for (kw::Table *t : programTables()) {
        const QSignalBlocker quiet(t);
        t->closeWithFilterOff();
    }
}

void TForm1::closeEvent(QCloseEvent *e)
{
    // The notepad's text would end with the program: its question comes first, and Cancel, or a
    // save that did not happen, keeps everything as it was.
    if (!kw::toolWindowsAllowExit()) {
        e->ignore();
        return;
    }
    // A pending change of the day entry is posted, with its sums, when the filters go off.
    kw::runCommand([this] { closeTables(); });
    e->accept();
    // The main window alone keeps the program alive: every other window goes with it, and the
    // message loop ends even while a tool window or a dialog is still showing.
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible())
            w->hide();
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

// --- commands -------------------------------------------------------------------------------

namespace {
void showWindow(QWidget *w)
{
    w->show();
    w->raise();
    w->activateWindow();
}
} // namespace

void TForm1::ToolButton1Click()
{
    const bool closed = kw::runCommand([&] {
        windows_.newDay->close();
        kw::ledger::closePeriod(ledgerTables());
    });
    if (!closed)
        return;
    // No command may reach the closed tables until a period is opened again.
    setCommandState(CommandState::NoPeriod);
    Label43->clear();
    showWindow(windows_.period);
}

void TForm1::ToolButton2Click()
{
    showWindow(windows_.newDay);
}

void TForm1::ToolButton3Click()
{
    showWindow(windows_.add);
}

void TForm1::ToolButton4Click()
{
    TForm2 *change = windows_.change;
    showWindow(change);
    kw::runCommand([&] { change->fillFromDayEntry(); });
}

void TForm1::ToolButton5Click()
{
    kw::runCommand([this] {
        kw::beep();
        const int answer = kw::messageBox(QStringLiteral("Pytanie"),
                                          QStringLiteral("Czy na pewno usunąć zaznaczony rekord ???"),
                                          kw::MsgIcon::Question, kw::Yes | kw::No);
        if (answer == kw::Yes) {
            kw::ledger::deleteDay(ledgerTables());
            refreshLights();
        }
        testCommandState(false);
    });
}

void TForm1::ToolButton6Click()
{
    // The statement's own table is opened, filtered, and shown in a preview.
    kw::runCommand([this] { kw::showReport(*windows_.monthly); });
}

void TForm1::ToolButton7Click()
{
    // The statement's own table is opened, filtered, and shown in a preview.
    kw::runCommand([this] { kw::showReport(*windows_.yearly); });
}

void TForm1::ToolButton8Click()
{
    kw::runCommand([this] { kw::showReport(*windows_.multiYear); });
}

void TForm1::Analiza1Click()
{
    kw::runCommand([this] { kw::showAnalysis(*this); });
}

void TForm1::ComboEdit1ButtonClick()
{
    kw::runCommand([this] { kw::runQuickCalculator(ComboEdit1); });
}

void TForm1::ToolButton10Click()
{
    kw::runCommand([] { kw::showBankCalculator(); });
}

void TForm1::ToolButton9Click()
{
    kw::runCommand([] { kw::showNotepad(); });
}

void TForm1::ToolButton11Click()
{
    kw::runCommand([] { kw::showHelpTopics(); });
}

void TForm1::Informacje1Click()
{
    kw::runCommand([] { kw::showAbout(); });
}

void TForm1::Zamknij2Click()
{
    close();
}

void TForm1::Eksportuj1Click()
{
    kw::runCommand([this] {
        // The export reads the files: a day entry still being typed reaches them first.
        if (Table1->active())
            Table1->checkBrowseMode();
        kw::showExportWindow(this, Table1->directoryPath(), windows_.period->monthText(),
                             windows_.period->yearText());
    });
}

// --- bank-statement import --------------------------------------------------------------------

kw::ledger::Books &TForm1::books()
{
    if (!books_) {
        ownBooks_ = std::make_unique<kw::ledger::Books>(QDir::currentPath());
        attachBooks(*ownBooks_);
    }
    return *books_;
}

void TForm1::postPendingEdits()
{
    // A remark being typed holds the day and both sums in edit; posted after a batch, their
    // buffers would put back what the batch had just changed.
    const kw::ledger::LedgerTables t = ledgerTables();
    for (kw::Table *table : {t.day, t.month, t.year})
        if (table && table->active())
            table->checkBrowseMode();
}

void TForm1::followBooks()
{
    if (state_ == CommandState::NoPeriod || !Table1->active())
        return;
    refreshLights();
    testCommandState(true);
}

void TForm1::ImportujWyciag1Click()
{
    if (importWindow_ && importWindow_->isVisible()) {
        showWindow(importWindow_);
        return;
    }
    if (!importWindow_) {
        importWindow_ = new kw::ImportWindow(books(), this);
        connect(importWindow_, &kw::ImportWindow::aboutToChangeBooks, this, &TForm1::postPendingEdits);
    }
    if (importWindow_->chooseFile())
        showWindow(importWindow_);
}

void TForm1::CofnijImport1Click()
{
    if (!importUndo_) {
        importUndo_ = new kw::ImportUndoDialog(books(), this);
        connect(importUndo_, &kw::ImportUndoDialog::aboutToChangeBooks, this, &TForm1::postPendingEdits);
    } else {
        importUndo_->refresh();
    }
    showWindow(importUndo_);
}
