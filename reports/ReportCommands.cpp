// The main window's report commands hand over here once the statement's window is chosen.
#include "reports/ReportCommands.h"
#include "reports/StatementForm.h"

namespace kw {

void showReport(StatementForm &form)
{
    if (form.kind() == statements::Statement::MultiYear) {
        form.showReport(false); // reads the file afresh: years added since start-up included
        return;
    }
    kw::Table *table = form.Table1;
    const bool fresh = !table->active();
    try {
        // Filtered from its first read: the records of opening and then filtering, in one pass.
        table->setFiltered(true);
        table->open();
        form.showReport(fresh);
    } catch (...) {
        // No preview came up: a table opened for it alone goes back to rest.
        form.restTableIfIdle();
        throw;
    }
}

} // namespace kw
