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

void createToolWindows(Forms &f, const std::function<void(const char *)> &created)
{
    f.adopt(std::make_unique<TFormA>(), &Forms::formA_);
    if (created)
        created("TFormA");
    // Kept above the main window by the window system, like the dialogs.
    f.adopt(std::make_unique<TFormKalk>(f.form1()), &Forms::formKalk_);
    if (created)
        created("TFormKalk");
    f.adopt(std::make_unique<TFormNotatnik>(), &Forms::formNotatnik_);
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

void releaseToolWindows()
{
    help::destroyViewer();
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
    forms().formA()->showAbout();
}

void showBankCalculator()
{
    forms().formKalk()->showCalculator();
}

void runQuickCalculator(QLineEdit *box)
{
    runQuickCalculator(box, calculator1());
}

void showNotepad()
{
    TFormNotatnik *n = forms().formNotatnik();
    n->show();
    n->raise();
    n->activateWindow();
}

bool toolWindowsAllowExit()
{
    return forms().formNotatnik()->mayEndProgram();
}

} // namespace kw
