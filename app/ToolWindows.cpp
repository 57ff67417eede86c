// The windows of the tools library, created last at start-up, and the main window's commands
// that hand over to them.
#include "app/Forms.h"
#include "app/Startup.h"
#include "app/ToolCommands.h"
#include "app/Unit1.h"
#include "framework/Messages.h"
#include "tools/calculators/CalcDialog.h"
#include "tools/calculators/UnitKalk.h"
#include "tools/help/Artwork.h"
#include "tools/help/HelpViewer.h"
#include "tools/help/UnitA.h"
#include "tools/help/UnitLogo.h"
#include "tools/notepad/UnitNotatnik.h"

#include <QApplication>
#include <QWidget>

namespace kw {

QWidget *createSplash()
{
    return new TFormLogo;
}

void createToolWindows(const std::function<void(const char *)> &created)
{
    Forms &f = forms();
    f.formA = new TFormA;
    if (created)
        created("TFormA");
    // Kept above the main window by the window system, like the dialogs.
    f.formKalk = new TFormKalk(f.form1);
    if (created)
        created("TFormKalk");
    f.formNotatnik = new TFormNotatnik;
    if (created)
        created("TFormNotatnik");
}

namespace {
// The pocket calculator's dialog object keeps its value between uses for the whole run.
CalculatorDialog &calculator1()
{
    static CalculatorDialog calculator;
    return calculator;
}
} // namespace

void destroyToolWindows()
{
    Forms &f = forms();
    help::destroyViewer();
    delete f.formNotatnik;
    delete f.formKalk;
    delete f.formA;
    f.formNotatnik = nullptr;
    f.formKalk = nullptr;
    f.formA = nullptr;
}

void setUpApplicationIcon(QApplication &app)
{
    app.setWindowIcon(appIcon());
}

void setHelpFile(const QString &name)
{
    help::setHelpFile(name);
}

void showHelpTopics()
{
    help::setHelpFile(QStringLiteral("POMOC.HLP"));
    help::showTopics();
}

void showAbout()
{
    forms().formA->showAbout();
}

void showBankCalculator()
{
    forms().formKalk->showCalculator();
}

void runQuickCalculator(QLineEdit *box)
{
    runQuickCalculator(box, calculator1());
}

void showNotepad()
{
    TFormNotatnik *n = forms().formNotatnik;
    n->show();
    n->raise();
    n->activateWindow();
}

bool toolWindowsAllowExit()
{
    TFormNotatnik *n = forms().formNotatnik;
    return !n || n->mayEndProgram();
}

} // namespace kw
