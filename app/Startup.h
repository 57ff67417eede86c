#pragma once

#include <QString>
#include <functional>
#include <memory>

class QApplication;
class QWidget;

namespace kw {

namespace ledger {
class Books;
}

// Creates every window once, in the program's order, the main window first. Throws when a window
// cannot be created (the multi-year statement cannot open Sum.DBF): the caller reports it.
// `created` is told the class name of each window as it is made (tests follow the order). The
// windows show and write the given books, or books opened on the working directory.
void createForms(const std::function<void(const char *)> &created = {});
void createForms(const std::function<void(const char *)> &created, std::unique_ptr<ledger::Books> books);
// Destroys them in the opposite order of creation.
void destroyForms();

// The whole program: the books of the working directory (locked, copied when they changed), splash,
// windows, message loop. Returns the exit code.
int runProgram(QApplication &app);
// Everything up to the message loop: returns 0 with the main window shown, or the exit code of a
// start that failed (the windows are gone again). `created` is told each window as it is made.
// Without books of the caller's, those of the working directory. (Overloads rather than a default
// argument: a null `unique_ptr` default would need the whole `Books` at every call.)
int startProgram(QApplication &app, const std::function<void(const char *)> &created = {});
int startProgram(QApplication &app, const std::function<void(const char *)> &created,
                 std::unique_ptr<ledger::Books> books);

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
