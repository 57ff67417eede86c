#include "tools/calculators/UnitKalk.h"

#include "framework/Keys.h"
#include "framework/Messages.h"
#include "regional/Regional.h"
#include "tools/calculators/BankMath.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <algorithm>

namespace {
constexpr int ClientWidth = 199;
constexpr int ClientHeight = 259;
constexpr int Margin = 8;
// The right edge of the rate and period boxes, at the right margin so their captions have room.
constexpr int BoxRight = ClientWidth - Margin;

const QString Zero = QStringLiteral("0");
const QString ZeroResult = QStringLiteral("0 zł");

QString money(kw::bank::Fixed4 value)
{
    return kw::regional::formatGeneral(kw::bank::fixed4ToDouble(value)) + QStringLiteral(" zł");
}
} // namespace

TFormKalk::TFormKalk(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FormKalk"));
    setWindowTitle(QStringLiteral("Kalkulator bankowy"));
    setAttribute(Qt::WA_QuitOnClose, false); // closing it only hides it until the next showing
    QFont f = font();
    f.setPointSize(8);
    setFont(f);
    setFixedSize(ClientWidth, ClientHeight);

    auto label = [this](const char *name, const QString &text, const QRect &geometry) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(geometry);
        return l;
    };
    auto edit = [this](const char *name, const QRect &geometry) {
        auto *e = new QLineEdit(Zero, this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(geometry);
        return e;
    };

    Label1 = label("Label1", QStringLiteral("Kapitał początkowy (zł) :"), QRect(Margin, 8, 183, 15));
    Edit1 = edit("Edit1", QRect(Margin, 25, 145, 21));
    Label2 = label("Label2", QStringLiteral("Stopa procentowa (%)"),
                   QRect(Margin, 57, BoxRight - 33 - 4 - Margin, 15));
    Edit2 = edit("Edit2", QRect(BoxRight - 33, 54, 33, 21));
    Label3 = label("Label3", QStringLiteral("Okres kapitalizacji (w miesiącach) :"),
                   QRect(Margin, 81, BoxRight - 41 - 6 - Margin, 30));
    Label3->setWordWrap(true);
    // Broken after "kapitalizacji", not inside "(w miesiącach)".
    Label3->setFixedWidth(std::min(
        Label3->width(), Label3->fontMetrics().horizontalAdvance(QStringLiteral("Okres kapitalizacji")) + 2));
    Edit3 = edit("Edit3", QRect(BoxRight - 41, 85, 41, 21));
    Label2->setBuddy(Edit2);
    Label3->setBuddy(Edit3);

    Button1 = new QPushButton(QStringLiteral("Oblicz"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(Margin, 122, 88, 25);
    Button2 = new QPushButton(QStringLiteral("Wyzeruj"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(ClientWidth - Margin - 88, 122, 88, 25);
    connect(Button1, &QPushButton::clicked, this, &TFormKalk::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFormKalk::Button2Click);

    QFont resultFont = font();
    resultFont.setPointSize(12);
    Label5 = label("Label5", QStringLiteral("Kapitał końcowy :"), QRect(Margin, 158, 183, 15));
    Label4 = label("Label4", ZeroResult, QRect(Margin, 174, 183, 22));
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setFont(resultFont);
    Label6 = label("Label6", QStringLiteral("Różnica :"), QRect(Margin, 198, 183, 15));
    Label7 = label("Label7", ZeroResult, QRect(Margin, 214, 183, 22));
    Label7->setAlignment(Qt::AlignCenter);
    Label7->setFont(resultFont);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, ClientHeight - 20, ClientWidth, 20);
    auto *panel = new QLabel(QStringLiteral("Kapitalizacja prosta"), StatusBar1);
    panel->setObjectName(QStringLiteral("StatusPanel"));
    panel->setAlignment(Qt::AlignCenter);
    StatusBar1->addWidget(panel, 1);

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, Button1);
    setTabOrder(Button1, Button2);
    kw::enterPressesFocusedButton(this);
}

void TFormKalk::keyPressEvent(QKeyEvent *event)
{
    // Esc closes it like every other dialog of the program; the boxes and results stay.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TFormKalk::showCalculator()
{
    show();
    raise();
    activateWindow();
}

void TFormKalk::showEvent(QShowEvent *event)
{
    // Centred on the screen the first time; afterwards it comes back where the user left it.
    if (!placed_) {
        placed_ = true;
        const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
        if (s) {
            QRect r = frameGeometry();
            r.moveCenter(s->availableGeometry().center());
            move(r.topLeft());
        }
    }
    QWidget::showEvent(event);
}

void TFormKalk::Button1Click()
{
    kw::runCommand([this] { compute(); });
}

void TFormKalk::compute()
{
    if (Edit1->text().isEmpty() || Edit2->text().isEmpty() || Edit3->text().isEmpty())
        return;
    // Each box is read in turn, so the first one that is not a number is the one reported.
    const kw::bank::Fixed4 capital = kw::bank::toFixed4(kw::regional::toNumber(Edit1->text()),
                                                        "Kapitał początkowy jest poza zakresem obliczeń.");
    const double rate = kw::regional::toNumber(Edit2->text());
    const double months = kw::regional::toNumber(Edit3->text());
    const kw::bank::Interest r = kw::bank::simpleInterest(capital, rate, months);
    Label4->setText(money(r.final));
    Label7->setText(money(r.difference));
}

void TFormKalk::Button2Click()
{
    Edit1->setText(Zero);
    Edit2->setText(Zero);
    Edit3->setText(Zero);
    Label4->setText(ZeroResult);
    Label7->setText(ZeroResult);
}
