#include "framework/ComboEdit.h"

#include <QStyle>
#include <QToolButton>

namespace kw {

namespace {
constexpr int ButtonWidth = 19;
}

ComboEdit::ComboEdit(QWidget *parent) : QLineEdit(parent), button_(new QToolButton(this))
{
    button_->setObjectName(QStringLiteral("Button"));
    button_->setCursor(Qt::ArrowCursor);
    // The button is reached with the mouse; the keyboard stays in the text.
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setIconSize(QSize(14, 14));
    connect(button_, &QToolButton::clicked, this, &ComboEdit::buttonClicked);
    // The text never runs under the button.
    setTextMargins(0, 0, ButtonWidth, 0);
    placeButton();
}

void ComboEdit::setGlyph(const QIcon &icon)
{
    button_->setIcon(icon);
}

void ComboEdit::resizeEvent(QResizeEvent *e)
{
    QLineEdit::resizeEvent(e);
    placeButton();
}

void ComboEdit::placeButton()
{
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int m = std::max(1, frame);
    button_->setGeometry(width() - ButtonWidth - m, m, ButtonWidth, std::max(0, height() - 2 * m));
}

} // namespace kw
