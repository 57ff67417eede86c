#include "framework/Messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace kw {

namespace {
MessageHandler &handler()
{
    static MessageHandler h;
    return h;
}
std::function<void()> &beepHandler()
{
    static std::function<void()> h;
    return h;
}

int showRealBox(const MessageRequest &r)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(r.title);
    box.setText(r.text);
    switch (r.icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    QMessageBox::StandardButtons b;
    if (r.buttons & Ok)
        b |= QMessageBox::Ok;
    if (r.buttons & Yes)
        b |= QMessageBox::Yes;
    if (r.buttons & No)
        b |= QMessageBox::No;
    if (r.buttons & Cancel)
        b |= QMessageBox::Cancel;
    box.setStandardButtons(b);
    switch (box.exec()) {
    case QMessageBox::Yes: return Yes;
    case QMessageBox::No: return No;
    case QMessageBox::Cancel: return Cancel;
    default: return (r.buttons & Ok) ? Ok : (r.buttons & Cancel) ? Cancel : No;
    }
}
} // namespace

int messageBox(const QString &title, const QString &text, MsgIcon icon, int buttons)
{
    const MessageRequest r{title, text, icon, buttons};
    if (handler())
        return handler()(r);
    return showRealBox(r);
}

void showMessage(const QString &text) { messageBox(appTitle(), text, MsgIcon::None, Ok); }

void reportError(const QString &text) { messageBox(appTitle(), text, MsgIcon::Critical, Ok); }

void reportError(const std::exception &e) { reportError(QString::fromUtf8(e.what())); }

bool runCommand(const std::function<void()> &command)
{
    try {
        command();
        return true;
    } catch (const std::exception &e) {
        reportError(e);
    }
    return false;
}

MessageHandler setMessageHandler(MessageHandler h)
{
    MessageHandler old = std::move(handler());
    handler() = std::move(h);
    return old;
}

void beep()
{
    if (beepHandler())
        beepHandler()();
    else
        QApplication::beep();
}

std::function<void()> setBeepHandler(std::function<void()> h)
{
    auto old = std::move(beepHandler());
    beepHandler() = std::move(h);
    return old;
}

} // namespace kw
