#include "framework/Keys.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

namespace kw {

namespace {
class EnterPresses : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        const auto *k = static_cast<QKeyEvent *>(e);
        if ((k->key() != Qt::Key_Return && k->key() != Qt::Key_Enter) ||
            (k->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || k->isAutoRepeat())
            return false;
        auto *button = qobject_cast<QAbstractButton *>(watched);
        if (!button || !button->hasFocus() || !button->isEnabled())
            return false;
        // A button without a default role would pass Enter to its dialog, which would press the
        // default button instead of the one the user is on.
        button->click();
        return true;
    }
};

EnterPresses &filter()
{
    static EnterPresses f;
    return f;
}
} // namespace

void enterPressesFocusedButton(QWidget *window)
{
    // Radio buttons and check boxes are choices, not commands: Enter on them goes to the window.
    for (QAbstractButton *b : window->findChildren<QAbstractButton *>())
        if (qobject_cast<QPushButton *>(b) || qobject_cast<QToolButton *>(b))
            b->installEventFilter(&filter());
}

} // namespace kw
