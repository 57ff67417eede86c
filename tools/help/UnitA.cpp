#include "tools/help/UnitA.h"

#include "framework/Messages.h"
#include "tools/help/Artwork.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

namespace {
constexpr int ClientWidth = 250;
constexpr int ClientHeight = 281;

QLabel *makeLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

void colour(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}
} // namespace

QString TFormA::legalNotice()
{
    return QStringLiteral("Kwotnik, wersja 2.1 – domowa książka przychodów i wydatków. "
                          "Twoje dane są zapisywane wyłącznie na tym komputerze, w katalogu "
                          "roboczym programu, i nigdzie nie są wysyłane. "
                          "Licencja MIT; program jest dostarczany bez żadnej gwarancji.");
}

TFormA::TFormA(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FormA"));
    setWindowTitle(QStringLiteral("  About"));
    setModal(false);
    setAttribute(Qt::WA_QuitOnClose, false); // the main window alone decides when the program ends
    setFixedSize(ClientWidth, ClientHeight);
    setSizeGripEnabled(false);
    setWindowIcon(kw::appIcon());

    auto *bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bevel->setLineWidth(2);
    bevel->setGeometry(8, 8, ClientWidth - 16, 42);

    auto *title = makeLabel(QStringLiteral("Label1"), kw::appTitle(), this);
    QFont titleFont = font();
    titleFont.setPointSize(14);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    title->setFont(titleFont);
    colour(title, QColor(0, 128, 128));
    title->setGeometry(bevel->geometry().adjusted(3, 3, -3, -3));

    auto *systems = makeLabel(QStringLiteral("Label2"), QStringLiteral("Windows 95, 98, Me, 2000, NT"), this);
    systems->setGeometry(8, 56, ClientWidth - 16, 18);

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("Image1"));
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(kw::appIcon().pixmap(QSize(32, 32), devicePixelRatioF()));
    icon->setGeometry((ClientWidth - 36) / 2, 78, 36, 36);

    auto *notice = makeLabel(QStringLiteral("Label3"), legalNotice(), this);
    notice->setWordWrap(true);
    colour(notice, QColor(128, 0, 128));
    notice->setGeometry(12, 118, ClientWidth - 24, 104);

    auto *close = new QPushButton(QStringLiteral("Zamknij"), this);
    close->setObjectName(QStringLiteral("Button1"));
    close->setGeometry((ClientWidth - 75) / 2, 228, 75, 25);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &TFormA::Button1Click);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setSizeGripEnabled(false);
    status->setGeometry(0, ClientHeight - 19, ClientWidth, 19);
    // Empty, but visible as the bar along the bottom edge.
    status->setStyleSheet(QStringLiteral("QStatusBar { border-top: 1px solid palette(mid); }"));
}

void TFormA::Button1Click()
{
    close();
}

void TFormA::showAbout()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void TFormA::showEvent(QShowEvent *event)
{
    // Centred on the screen the first time; where the user moves it afterwards, it stays.
    if (!placed_) {
        placed_ = true;
        if (QScreen *s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::showEvent(event);
}
