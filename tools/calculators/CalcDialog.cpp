#include "tools/calculators/CalcDialog.h"

#include "framework/Messages.h"
#include "regional/Regional.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QToolButton>

namespace {
constexpr int ClientWidth = 242;
constexpr int ClientHeight = 159;
constexpr int ButtonWidth = 36;
constexpr int ButtonHeight = 22;
constexpr int WideButtonWidth = 44;

// Columns of the key rows: memory keys, three digit columns, operations, functions.
constexpr int Columns[6] = {6, 46, 84, 122, 162, 200};
constexpr int Rows[5] = {34, 60, 84, 108, 132};

const QColor Purple(128, 0, 128);
const QColor Teal(0, 128, 128);

QIcon acceptPicture()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 128, 0), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(2.5, 8.5), QPointF(6.5, 12.5), QPointF(13.5, 3.5)}));
    return QIcon(pixmap);
}

QIcon closePicture()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(192, 0, 0), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
    return QIcon(pixmap);
}

// The input a key gives, or 0 for a key the calculator does not use.
QChar keyInput(const QKeyEvent *event, QChar separator)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return {};
    switch (event->key()) {
    case Qt::Key_Backspace:
        return QChar(CalcEngine::Backspace);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QChar(u'=');
    case Qt::Key_Escape:
        return QChar(u'C');
    // The keypad's decimal key arrives as one of these, with the keypad modifier.
    case Qt::Key_Comma:
    case Qt::Key_Period:
        return separator;
    default:
        break;
    }
    const QString text = event->text();
    if (text.size() != 1)
        return {};
    const QChar c = text.front();
    if (c == QLatin1Char(',') || c == QLatin1Char('.') || c == separator)
        return separator;
    if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || QStringLiteral("+-*/%=cC").contains(c))
        return c;
    return {};
}
} // namespace

TCalculatorForm::TCalculatorForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      engine_(kw::regional::decimalSeparator(),
              [](const QString &text) { return kw::regional::toNumber(text); })
{
    setObjectName(QStringLiteral("CalculatorForm"));
    setWindowTitle(QStringLiteral("Kalkulator"));
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont f = font();
    f.setPointSize(8);
    setFont(f);
    setFixedSize(ClientWidth, ClientHeight);
    setSizeGripEnabled(false);
    // The window takes every key itself: none of its buttons can hold the focus.
    setFocusPolicy(Qt::StrongFocus);
    // Flat keys: no bevel, only a thin outline so each key reads as one, lit under the pointer.
    setStyleSheet(
        QStringLiteral("QToolButton { border: 1px solid #c4c4c4; border-radius: 2px; background: #f4f4f4; }"
                       "QToolButton:hover { border-color: #7a7a7a; background: #ffffff; }"
                       "QToolButton:pressed { background: #d8d8d8; }"));

    DisplayLabel = new QLabel(QStringLiteral("0"), this);
    DisplayLabel->setObjectName(QStringLiteral("DisplayLabel"));
    DisplayLabel->setGeometry(6, 6, 230, 24);
    DisplayLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    DisplayLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    DisplayLabel->setIndent(4);
    DisplayLabel->setAutoFillBackground(true);
    QPalette white = DisplayLabel->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    DisplayLabel->setPalette(white);
    QFont displayFont = font();
    displayFont.setPointSize(10);
    DisplayLabel->setFont(displayFont);

    MemoryLabel = new QLabel(this);
    MemoryLabel->setObjectName(QStringLiteral("MemoryLabel"));
    MemoryLabel->setGeometry(Columns[0] + 6, Rows[0] + 2, 24, 18);
    MemoryLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    MemoryLabel->setAlignment(Qt::AlignCenter);

    OkButton = addButton(QStringLiteral("OkButton"), QString(), Columns[1], Rows[0], ButtonWidth, QColor());
    OkButton->setIcon(acceptPicture());
    OkButton->setToolTip(QStringLiteral("Dodaj"));
    connect(OkButton, &QToolButton::clicked, this, &TCalculatorForm::OkButtonClick);
    CancelButton =
        addButton(QStringLiteral("CancelButton"), QString(), Columns[2], Rows[0], ButtonWidth, QColor());
    CancelButton->setIcon(closePicture());
    CancelButton->setToolTip(QStringLiteral("Zamknij"));
    connect(CancelButton, &QToolButton::clicked, this, &TCalculatorForm::CancelButtonClick);

    const int right = 6 + 230;
    auto *back = addButton(QStringLiteral("BackButton"), QStringLiteral("Back"),
                           right - 2 * WideButtonWidth - 2, Rows[0], WideButtonWidth, Purple);
    connect(back, &QToolButton::clicked, this, [this] { press(QChar(CalcEngine::Backspace)); });
    auto *clear = addButton(QStringLiteral("ClearButton"), QStringLiteral("C"), right - WideButtonWidth,
                            Rows[0], WideButtonWidth, Purple);
    connect(clear, &QToolButton::clicked, this, [this] { press(QChar(u'C')); });

    // The key rows: caption, object name and what the key does.
    struct Key
    {
        const char *caption;
        const char *name;
        std::function<void(TCalculatorForm *)> action;
    };
    auto input = [](char16_t c) { return [c](TCalculatorForm *form) { form->press(QChar(c)); }; };
    auto engineCall = [](void (CalcEngine::*call)()) {
        return [call](TCalculatorForm *form) { form->run([form, call] { (form->engine_.*call)(); }); };
    };
    const QString separator(kw::regional::decimalSeparator());
    const Key keys[4][6] = {
        {{"MC", "MCButton", engineCall(&CalcEngine::memoryClear)},
         {"7", "Button7", input(u'7')},
         {"8", "Button8", input(u'8')},
         {"9", "Button9", input(u'9')},
         {"/", "DivideButton", input(u'/')},
         {"sqrt", "SqrtButton", engineCall(&CalcEngine::squareRoot)}},
        {{"MR", "MRButton", engineCall(&CalcEngine::memoryRecall)},
         {"4", "Button4", input(u'4')},
         {"5", "Button5", input(u'5')},
         {"6", "Button6", input(u'6')},
         {"*", "MultiplyButton", input(u'*')},
         {"%", "PercentButton", input(u'%')}},
        {{"MS", "MSButton", engineCall(&CalcEngine::memoryStore)},
         {"1", "Button1", input(u'1')},
         {"2", "Button2", input(u'2')},
         {"3", "Button3", input(u'3')},
         {"-", "MinusButton", input(u'-')},
         {"1/x", "ReciprocalButton", engineCall(&CalcEngine::reciprocal)}},
        {{"M+", "MPlusButton", engineCall(&CalcEngine::memoryAdd)},
         {"0", "Button0", input(u'0')},
         {"+/-", "SignButton", input(CalcEngine::SignChange)},
         {nullptr, "SeparatorButton", input(separator.front().unicode())},
         {"+", "PlusButton", input(u'+')},
         {"=", "EqualsButton", input(u'=')}},
    };
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 6; ++column) {
            const Key &key = keys[row][column];
            const QString caption = key.caption ? QString::fromLatin1(key.caption) : separator;
            auto *button = addButton(QString::fromLatin1(key.name), caption, Columns[column], Rows[row + 1],
                                     ButtonWidth, column == 0 ? Teal : QColor());
            connect(button, &QToolButton::clicked, this, [this, action = key.action] { action(this); });
        }

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Kopiuj1 = PopupMenu1->addAction(QStringLiteral("&Kopiuj"), this, &TCalculatorForm::Kopiuj1Click);
    Kopiuj1->setObjectName(QStringLiteral("Kopiuj1"));
    Kopiuj1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    Wklej1 = PopupMenu1->addAction(QStringLiteral("&Wklej"), this, &TCalculatorForm::Wklej1Click);
    Wklej1->setObjectName(QStringLiteral("Wklej1"));
    Wklej1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    // The shortcuts work while the menu is closed too.
    addAction(Kopiuj1);
    addAction(Wklej1);
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        connect(clipboard, &QClipboard::dataChanged, this, &TCalculatorForm::updatePaste);
    updatePaste();
    refresh();
}

QToolButton *TCalculatorForm::addButton(const QString &name, const QString &caption, int x, int y, int width,
                                        const QColor &colour)
{
    auto *button = new QToolButton(this);
    button->setObjectName(name);
    button->setText(caption);
    button->setGeometry(x, y, width, ButtonHeight);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextOnly);
    if (colour.isValid()) {
        QPalette p = button->palette();
        p.setColor(QPalette::ButtonText, colour);
        p.setColor(QPalette::WindowText, colour);
        button->setPalette(p);
    }
    return button;
}

void TCalculatorForm::run(const std::function<void()> &call)
{
    kw::runCommand(call);
    refresh();
}

void TCalculatorForm::refresh()
{
    DisplayLabel->setText(engine_.display());
    MemoryLabel->setText(engine_.memoryIndicator());
}

void TCalculatorForm::updatePaste()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    const QMimeData *data = clipboard ? clipboard->mimeData() : nullptr;
    Wklej1->setEnabled(data && data->hasText());
}

void TCalculatorForm::start(double value)
{
    engine_.start(value);
    refresh();
}

void TCalculatorForm::press(QChar input)
{
    run([this, input] { engine_.input(input); });
}

void TCalculatorForm::OkButtonClick()
{
    // The display is read as the user's number format reads it, so "Error" is refused here.
    if (kw::runCommand([this] { result_ = kw::regional::toNumber(engine_.display()); }))
        accept();
}

void TCalculatorForm::CancelButtonClick()
{
    reject();
}

void TCalculatorForm::Kopiuj1Click()
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setText(engine_.display());
}

void TCalculatorForm::Wklej1Click()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    const QString text = clipboard->text();
    run([this, text] { engine_.paste(text); });
}

void TCalculatorForm::keyPressEvent(QKeyEvent *event)
{
    const QChar input = keyInput(event, engine_.decimalSeparator());
    if (input.isNull()) {
        // Esc and Enter are calculator keys here, never close or accept; other keys are not used.
        event->ignore();
        return;
    }
    event->accept();
    press(input);
}

void TCalculatorForm::contextMenuEvent(QContextMenuEvent *event)
{
    updatePaste();
    PopupMenu1->popup(event->globalPos());
    event->accept();
}

void TCalculatorForm::showEvent(QShowEvent *event)
{
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    setFocus();
    QDialog::showEvent(event);
}

namespace kw {

bool CalculatorDialog::execute(QWidget *parent)
{
    TCalculatorForm form(parent);
    form.start(value_);
    if (form.exec() != QDialog::Accepted)
        return false;
    value_ = form.acceptedValue();
    return true;
}

void runQuickCalculator(QLineEdit *numberBox, CalculatorDialog &calculator)
{
    if (const auto value = kw::regional::parseNumber(numberBox->text()))
        calculator.setValue(*value);
    else
        numberBox->setText(QStringLiteral("0"));
    if (calculator.execute(numberBox->window()))
        numberBox->setText(kw::regional::formatGeneral(calculator.value()));
}

} // namespace kw
