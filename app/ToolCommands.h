#pragma once

class QLineEdit;
class QString;
class QWidget;

// The main window's commands that hand over to the tool windows and to the statements. They live
// with those windows; the main window only calls them.
namespace kw {

void showNotepad();
// Before the program ends: the notepad asks about unsaved changes; false keeps the program running.
bool toolWindowsAllowExit();
void showBankCalculator();
// Opens the help viewer on the program's help file at its topics (contents and index).
void showHelpTopics();
void showAbout();
// The window "Eksport" (DataWindows.cpp), made on first use over the books of `folder` and kept
// beside `main`; each call shows it on the given period ("3", "2024"; empty texts: none open).
void showExportWindow(QWidget *main, const QString &folder, const QString &month, const QString &year);
// The quick calculator, working on the number in the box and writing its result back.
void runQuickCalculator(QLineEdit *box);

} // namespace kw
