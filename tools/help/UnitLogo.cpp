#include "tools/help/UnitLogo.h"

#include "framework/Messages.h"
#include "tools/help/Artwork.h"

#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <qdrawutil.h>

namespace {
constexpr int ClientWidth = 301;
constexpr int ClientHeight = 201;
constexpr int LogoWidth = 281;
constexpr int LogoHeight = 185;
} // namespace

TFormLogo::TFormLogo(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("FormLogo"));
    setWindowTitle(kw::appTitle());
    setFixedSize(ClientWidth, ClientHeight);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);

    image1_ = new QLabel(this);
    image1_->setObjectName(QStringLiteral("Image1"));
    image1_->setGeometry((ClientWidth - LogoWidth) / 2, (ClientHeight - LogoHeight) / 2, LogoWidth,
                         LogoHeight);
    image1_->setAlignment(Qt::AlignCenter);
    image1_->setPixmap(kw::logoPicture(devicePixelRatioF()));

    label1_ = new QLabel(kw::appTitle(), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    QFont title = font();
    title.setPointSize(12);
    title.setBold(true);
    label1_->setFont(title);
    QPalette green = label1_->palette();
    green.setColor(QPalette::WindowText, QColor(0, 128, 0));
    label1_->setPalette(green);
    label1_->adjustSize();
    label1_->move(96, 8);
}

void TFormLogo::showEvent(QShowEvent *event)
{
    if (QScreen *s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - rect().center());
    }
    QWidget::showEvent(event);
}

void TFormLogo::paintEvent(QPaintEvent *)
{
    // The panel that fills the window: a single dark border, then a lowered bevel two pixels wide.
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().color(QPalette::Shadow));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    qDrawShadePanel(&painter, rect().adjusted(1, 1, -1, -1), palette(), true, 2);
    if (!painted_) {
        painted_ = true;
        emit painted();
    }
}
