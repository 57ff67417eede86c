#include "app/Unit1.h"
#include "app/Forms.h"
#include "dialogs/UnitM.h"
#include "framework/Messages.h"
#include "framework/Regional.h"
#include "ledger/Booking.h"
#include "ledger/LedgerSchema.h"
#include "ledger/Rollup.h"
#include "ledger/Unit2S.h"
#include "ledger/Unit4R.h"
#include "reports/UnitR1.h"
#include "reports/UnitR2.h"

#include <QCloseEvent>
#include <QDate>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {
kw::ledger::LedgerTables ledgerTables()
{
    const kw::Forms &f = kw::forms();
    return {f.form1->Table1, f.form2S->TableS, f.form4R->Table4R};
}
} // namespace

TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent), Table1(new kw::Table(this)), DataSource1(new kw::DataSource(this)), Timer1(new QTimer(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kw::appTitle());
    Table1->setObjectName(QStringLiteral("Table1"));
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    kw::ledger::setUpDayTable(*Table1);
    Table1->setOnFilterRecord([this](const kw::RecordView &r) { return Table1FilterRecord(r); });
    Table1->beforeEdit = [this](kw::Table &) { Table1BeforeEdit(); };
    Table1->beforePost = [this](kw::Table &) { Table1BeforePost(); };
    Table1->beforeDelete = [this](kw::Table &) { Table1BeforeDelete(); };
    DataSource1->setDataSet(Table1);

    auto *bar = addToolBar(QStringLiteral("ToolBar1"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    Panel1 = new QLabel(bar);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedSize(80, 22);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setAlignment(Qt::AlignCenter);
    bar->addWidget(Panel1);

    Label43 = new QLabel(this);
    Label43->setObjectName(QStringLiteral("Label43"));

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(status);
    DatePanel = new QLabel(status);
    DatePanel->setFixedWidth(100);
    DatePanel->setAlignment(Qt::AlignCenter);
    HintPanel = new QLabel(status);
    HintPanel->setAlignment(Qt::AlignCenter);
    status->addWidget(DatePanel);
    status->addWidget(HintPanel, 1);
    // The date is taken once, at start-up; the clock alone follows the time.
    DatePanel->setText(kw::regional::shortDate(QDate::currentDate()));

    light_[0] = light_[1] = QColor(0, 255, 0);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();
}

TForm1::~TForm1() = default;

void TForm1::Timer1Timer() { Panel1->setText(kw::regional::longTime(QTime::currentTime())); }

bool TForm1::Table1FilterRecord(const kw::RecordView &record) const
{
    if (!filter_)
        filter_.emplace(*kw::forms().formM, QStringLiteral("MIESIAC"), QStringLiteral("ROK"));
    return (*filter_)(record);
}

void TForm1::Table1BeforeEdit() { kw::ledger::rollupBeforeEdit(ledgerTables()); }
void TForm1::Table1BeforePost() { kw::ledger::rollupBeforePost(ledgerTables()); }
void TForm1::Table1BeforeDelete() { kw::ledger::rollupBeforeDelete(ledgerTables()); }

void TForm1::setCommandState(CommandState s) { state_ = s; }

void TForm1::testCommandState(bool openingPeriod)
{
    if (kw::ledger::noDayEntry(*Table1))
        setCommandState(CommandState::EmptyPeriod);
    else if (openingPeriod)
        setCommandState(CommandState::PeriodWithDays);
}

QColor TForm1::lightColor(int which) const { return light_[which == 1 ? 0 : 1]; }

void TForm1::refreshLights()
{
    // A missing balance counts as below zero; exactly zero is lime.
    const auto colour = [](const QVariant &v) {
        return v.isNull() || v.toDouble() < 0 ? QColor(255, 0, 0) : QColor(0, 255, 0);
    };
    light_[1] = colour(kw::forms().form2S->TableS->fieldValue("ROZNICA"));
    light_[0] = colour(kw::forms().form4R->Table4R->fieldValue("RROZNICA"));
}

void TForm1::setYearLabel(const QString &year) { Label43->setText(year); }

void TForm1::closeTables()
{
    const kw::Forms &f = kw::forms();
    for (kw::Table *t : {Table1, f.form2S ? f.form2S->TableS : nullptr, f.form4R ? f.form4R->Table4R : nullptr,
                         f.formR1 ? f.formR1->Table1 : nullptr, f.formR2 ? f.formR2->Table1 : nullptr}) {
        if (!t)
            continue;
        t->setFiltered(false);
        t->close();
    }
}

void TForm1::closeEvent(QCloseEvent *e)
{
    // A pending change of the day entry is posted, with its sums, when the filters go off.
    kw::runCommand([this] { closeTables(); });
    e->accept();
}
