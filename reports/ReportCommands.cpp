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
    if (which == 3) {
        f.formR3()->showReport(false); // reads the file afresh: years added since start-up included
        return;
    }
    StatementForm *form =
        which == 1 ? static_cast<StatementForm *>(f.formR1()) : static_cast<StatementForm *>(f.formR2());
    kw::Table *table = form->Table1;
    const bool fresh = !table->active();
    try {
        // Filtered from its first read: the records of opening and then filtering, in one pass.
        table->setFiltered(true);
        table->open();
        form->showReport(fresh);
    } catch (...) {
        // No preview came up: a table opened for it alone goes back to rest.
        form->restTableIfIdle();
        throw;
    }
}

} // namespace kw
