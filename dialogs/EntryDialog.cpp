#include "dialogs/EntryDialog.h"
#include "framework/DataControls.h"
#include "framework/MainWindowLink.h"
#include "framework/Messages.h"
#include "regional/Regional.h"
#include "ledger/EngineError.h"
#include "ledger/LedgerSchema.h"

#include <QCoreApplication>
#include <QDate>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <algorithm>

// The pictures live in the static application library, whose resource object is linked only
// when something names it.
static void initDialogPictures()
{
    Q_INIT_RESOURCE(dialogs);
}

namespace kw::dialogs {

bool hasDayEntry(const Table *day)
{
    return day && day->active() && !day->isEmpty() && day->recNo() >= 0 &&
           day->state() != Table::State::Insert;
}

int daysInPeriodMonth(const ledger::PeriodSource &period)
{
    bool monthOk = false, yearOk = false;
    const int month = period.monthText().toInt(&monthOk);
    const int year = period.yearText().trimmed().toInt(&yearOk);
    const QDate first(year, month, 1);
    return monthOk && yearOk && first.isValid() ? first.daysInMonth() : 0;
}

std::optional<kw::ledger::AmountSet>
convertAmounts(const std::array<QLineEdit *, kw::ledger::Categories.size()> &boxes)
{
    kw::ledger::AmountSet amounts{};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const std::optional<double> v = kw::regional::parseNumber(boxes[i]->text());
        if (!v)
            return std::nullopt;
        amounts[i] = *v;
    }
    return amounts;
}

void useDialogFont(QWidget *dialog)
{
    QFont f = dialog->font();
    f.setPointSize(8);
    dialog->setFont(f);
}

void endAfterFailedEntry(MainWindowLink &main)
{
    showMessage(FormatFailureMessage);
    for (Table *table : main.programTables()) {
        const bool wasOpen = table->active();
        try {
            table->close();
            if (wasOpen)
                table->open();
        } catch (const std::exception &e) {
            // The program is ending; a table that will not open again has nothing left to lose.
            qWarning("%s", e.what());
        }
    }
    if (main.mainWidget()->close())
        QCoreApplication::exit(1);
}

bool bookOrReport(const std::function<void()> &booking)
{
    try {
        booking();
        return true;
    } catch (const kw::EngineError &e) {
        showMessage(e.message());
    } catch (const std::exception &e) {
        reportError(e);
    }
    return false;
}

namespace {
constexpr int LeftX = 8;
constexpr int LeftWidth = 113;
constexpr int RightX = 128;
constexpr int BoxHeight = 21;
constexpr int CaptionTop = 18;
constexpr int CaptionToBox = 15;
constexpr int ButtonTop = 198;
constexpr int ButtonHeight = 27;
constexpr int ButtonStep = 31;

constexpr const char *Captions[kw::ledger::Categories.size()] = {
    "Przychód :", "Koszt :",  "Koszt okresowy :", "Opłaty :",   "Żywność :",
    "Używki :",   "Odzież :", "Śr.czystości :",   "Samochód :", "Inne :"};
} // namespace

EntryDialog::EntryDialog(const QString &caption, const QSize &clientSize, QWidget *parent) : QDialog(parent)
{
    initDialogPictures();
    useDialogFont(this);
    setWindowTitle(caption);
    setFixedSize(clientSize);
    const int width = clientSize.width();

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(LeftX, 8, LeftWidth, 33);
    Label1 = new QLabel(QStringLiteral("Dzień :"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 6, 44, BoxHeight);

    GroupBox1 = new QGroupBox(QStringLiteral("Dochód "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(LeftX, 46, LeftWidth, 146);
    GroupBox2 = new QGroupBox(QStringLiteral("Wydatki "), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(RightX, 8, width - RightX - 8, 280);

    for (int i = 0; i < int(kw::ledger::Categories.size()); ++i) {
        const bool income = i < kw::ledger::IncomeKinds;
        QGroupBox *group = income ? GroupBox1 : GroupBox2;
        const int row = income ? i : i - kw::ledger::IncomeKinds;
        const int step = income ? 42 : 37;
        auto *label = new QLabel(QString::fromUtf8(Captions[i]), group);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 2));
        label->setGeometry(8, CaptionTop + row * step, group->width() - 16, 15);
        Edit[std::size_t(i)] = new QLineEdit(QStringLiteral("0"), group);
        Edit[std::size_t(i)]->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
        Edit[std::size_t(i)]->setGeometry(8, CaptionTop + CaptionToBox + row * step, group->width() - 16,
                                          BoxHeight);
        label->setBuddy(Edit[std::size_t(i)]);
    }

    Label12 = new QLabel(QStringLiteral("Uwagi :"), this);
    Label12->setObjectName(QStringLiteral("Label12"));
    Label12->setGeometry(LeftX, 292, 60, 15);
    DBEdit1 = new kw::DBEdit(this);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->setGeometry(LeftX, 308, width - 2 * LeftX, BoxHeight);
    // The width of UWAGI.
    DBEdit1->setMaxLength(50);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, clientSize.height() - 20, width, 20);

    followDayEntry();
}

void EntryDialog::connectMainWindow(MainWindowLink &main, const ledger::PeriodSource &period)
{
    main_ = &main;
    period_ = &period;
    DBEdit1->bind(main.dayDataSource(), QString::fromLatin1(kw::ledger::DayRecord.remark));
    // Every move, post, state change, open and close of the day table arrives here.
    connect(main.dayDataSource(), &kw::DataSource::recordChanged, this, &EntryDialog::followDayEntry);
    followDayEntry();
}

ledger::LedgerTables EntryDialog::ledgerTables() const
{
    return main_ ? main_->ledgerTables() : ledger::LedgerTables{};
}

bool EntryDialog::hasDayEntry() const
{
    return dialogs::hasDayEntry(ledgerTables().day);
}

QPushButton *EntryDialog::addButton(const QString &objectName, const QString &text, const QString &picture,
                                    int row)
{
    auto *b = new QPushButton(text, this);
    b->setObjectName(objectName);
    b->setGeometry(LeftX, ButtonTop + row * ButtonStep, LeftWidth, ButtonHeight);
    // Enter in an amount box must not book anything by itself.
    b->setAutoDefault(false);
    if (!picture.isEmpty()) {
        b->setIcon(QIcon(picture));
        b->setIconSize(QSize(16, 15));
    }
    return b;
}

void EntryDialog::followDayEntry()
{
    // Typing into the remark box of a period without days would start a blank day entry.
    DBEdit1->setReadOnly(!hasDayEntry());
}

QPoint EntryDialog::placeBeside(const QRect &mainFrame, const QSize &frame, const QRect &screen,
                                const QRect &taken)
{
    constexpr int Gap = 4;
    const int roomRight = screen.right() - mainFrame.right() - Gap;
    const int roomLeft = mainFrame.left() - screen.left() - Gap;
    const int y = std::clamp(mainFrame.top(), screen.top(),
                             std::max(screen.top(), screen.bottom() + 1 - frame.height()));
    const int right = mainFrame.right() + 1 + Gap;
    const int left = mainFrame.left() - Gap - frame.width();
    const bool rightFree = !QRect(QPoint(right, y), frame).intersects(taken);
    const bool leftFree = !QRect(QPoint(left, y), frame).intersects(taken);
    int x;
    if (roomRight >= frame.width() && (rightFree || roomLeft < frame.width() || !leftFree))
        x = right;
    else if (roomLeft >= frame.width())
        x = left;
    else if (roomRight >= frame.width())
        x = right;
    else if (roomRight >= roomLeft)
        x = screen.right() + 1 - frame.width();
    else
        x = screen.left();
    return QPoint(x, y);
}

void EntryDialog::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    const QWidget *main = main_ ? main_->mainWidget() : nullptr;
    if (e->spontaneous() || !main || !main->isVisible())
        return;
    // The balances change with every booking: the dialog goes beside the main window the first
    // time, and again whenever it would cover the balances; elsewhere it stays where the user put it.
    const QRect mainFrame = main->frameGeometry();
    const QRect balances = main_->balancesArea();
    // Before its first showing the dialog's own frame is not known yet; the main window's is alike.
    const QSize frame = size() + (mainFrame.size() - main->geometry().size());
    if (placed_ && !QRect(frameGeometry().topLeft(), frame).intersects(balances))
        return;
    placed_ = true;
    const QScreen *s = main->screen();
    if (!s)
        return;
    // The other entry dialog, when it is open, keeps its place: this one takes the other side.
    QRect taken;
    for (const EntryDialog *other :
         parentWidget() ? parentWidget()->findChildren<EntryDialog *>(Qt::FindDirectChildrenOnly)
                        : QList<EntryDialog *>{})
        if (other != this && other->isVisible())
            taken |= other->frameGeometry();
    const QPoint at = placeBeside(mainFrame, frame, s->availableGeometry(), taken);
    move(at);
}

bool EntryDialog::anyBoxEmpty() const
{
    for (const QLineEdit *e : Edit)
        if (e->text().isEmpty())
            return true;
    return false;
}

} // namespace kw::dialogs
