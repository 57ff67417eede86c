// The windows of the tools library, created last at start-up.
#include "app/Forms.h"
#include "app/Startup.h"

#include <QApplication>
#include <QWidget>

namespace kw {

QWidget *createSplash() { return nullptr; }

void createToolWindows(const std::function<void(const char *)> &) {}

void destroyToolWindows() {}

void setUpApplicationIcon(QApplication &) {}

void setHelpFile(const QString &) {}

} // namespace kw
