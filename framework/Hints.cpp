#include "framework/Hints.h"

#include <QApplication>
#include <QWidget>

namespace kw {

namespace {
const char *const HintProperty = "kwHint";
}

HintHub::HintHub()
{
    // Every control's enter and leave passes here, whichever window it is in.
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
}

HintHub &HintHub::instance()
{
    static HintHub hub;
    return hub;
}

void HintHub::setHint(const QString &hint)
{
    if (hint == hint_)
        return;
    hint_ = hint;
    emit hintChanged(hint_);
}

QString HintHub::pointerHint() const
{
    return underPointer_ ? controlHint(underPointer_) : QString();
}

bool HintHub::eventFilter(QObject *watched, QEvent *e)
{
    const QEvent::Type type = e->type();
    if ((type == QEvent::Enter || type == QEvent::Leave) && watched->isWidgetType()) {
        auto *w = static_cast<QWidget *>(watched);
        // Entering a control puts the pointer over it; leaving one puts it back over the control
        // around it, or over no window of the program at all. Several leaves and enters arrive
        // for one move, innermost last, so the control under the pointer has the last word.
        if (type == QEvent::Enter)
            underPointer_ = w;
        else
            underPointer_ = w->isWindow() ? nullptr : w->parentWidget();
        setHint(pointerHint());
    }
    return QObject::eventFilter(watched, e);
}

void setControlHint(QWidget *control, const QString &hint)
{
    control->setProperty(HintProperty, hint);
}

QString controlHint(const QWidget *control)
{
    if (!control || !control->isEnabled())
        return {};
    const QVariant own = control->property(HintProperty);
    if (own.isValid())
        return own.toString();
    if (!control->statusTip().isEmpty())
        return control->statusTip();
    return control->toolTip();
}

} // namespace kw
