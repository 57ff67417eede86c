// The main window's report commands hand over here once the statement's table is ready.
#include "app/Forms.h"
#include "app/ToolCommands.h"
#include "reports/UnitR1.h"
#include "reports/UnitR2.h"
#include "reports/UnitR3.h"

namespace kw {

void showReport(int which)
{
    Forms &f = forms();
    StatementForm *form = which == 1   ? static_cast<StatementForm *>(f.formR1)
                          : which == 2 ? static_cast<StatementForm *>(f.formR2)
                                       : static_cast<StatementForm *>(f.formR3);
    try {
        form->showReport();
    } catch (...) {
        // No preview came up: a table opened for it alone goes back to rest.
        if (form->previews().isEmpty()) {
            if (which == 1)
                f.formR1->Report1AfterPreview();
            else if (which == 2)
                f.formR2->Report1AfterPreview();
        }
        throw;
    }
}

} // namespace kw
