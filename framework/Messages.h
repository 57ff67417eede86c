#pragma once

#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace kw {

inline const QString &appTitle()
{
    static const QString title = QStringLiteral("Kwotnik 2.1");
    return title;
}

// Every message box of the program goes through here, so tests can answer them without a person.
enum class MsgIcon { None, Information, Warning, Critical, Question };
enum MsgButton { Ok = 0x1, Yes = 0x2, No = 0x4, Cancel = 0x8 };

struct MessageRequest
{
    QString title;
    QString text;
    MsgIcon icon = MsgIcon::None;
    int buttons = Ok;
};

using MessageHandler = std::function<int(const MessageRequest &)>;

// Shows a modal message box; returns the button pressed (one of MsgButton).
int messageBox(const QString &title, const QString &text, MsgIcon icon = MsgIcon::None, int buttons = Ok);
// A message titled with the application title, no icon, one OK button.
void showMessage(const QString &text);
// The default error report: the error's text in a message box titled with the application title.
void reportError(const QString &text);
void reportError(const std::exception &e);

// Runs a command; an error it does not catch ends it and is shown by the default error report.
// Returns false when the command ended in an error.
bool runCommand(const std::function<void()> &command);

// For tests: answer message boxes instead of a person. Pass nullptr to restore the real boxes.
// Returns the handler that was installed before.
MessageHandler setMessageHandler(MessageHandler handler);

// The default beep, behind the same seam (tests count beeps).
void beep();
std::function<void()> setBeepHandler(std::function<void()> handler);

} // namespace kw
