#pragma once

#include <QString>
#include <functional>

class QApplication;
class QWidget;

namespace kw {

// Creates every window once, in the program's order, the main window first. Throws when a window
// cannot be created (the multi-year statement cannot open Sum.DBF): the caller reports it.
// `created` is told the class name of each window as it is made (tests follow the order).
void createForms(const std::function<void(const char *)> &created = {});
// Destroys them in the opposite order of creation.
void destroyForms();

// The whole program: lock the working directory, splash, windows, message loop. Returns the exit code.
int runProgram(QApplication &app);
// Everything up to the message loop: returns 0 with the main window shown, or the exit code of a
// start that failed (the windows are gone again). `created` is told each window as it is made.
int startProgram(QApplication &app, const std::function<void(const char *)> &created = {});

class Forms;

// Tool windows and the splash, which live in the tools library.
QWidget *createSplash();
// Creates the tool windows into the registry, after the program's own windows.
void createToolWindows(Forms &f, const std::function<void(const char *)> &created);
// What the tool windows keep outside the registry (the help viewer) goes before the windows do.
void releaseToolWindows();
void setUpApplicationIcon(QApplication &app);
void setHelpFile(const QString &name);

} // namespace kw
