#include "app/Forms.h"
#include "app/Unit1.h"
#include "app/Unit2S.h"
#include "app/Unit4R.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit3D.h"
#include "dialogs/UnitM.h"
#include "ledger/Books.h"
#include "ledger/Period.h"
#include "ledger/Rollup.h"
#include "reports/UnitR1.h"
#include "reports/UnitR2.h"
#include "reports/UnitR3.h"

namespace kw {

Forms &forms()
{
    static Forms f;
    return f;
}

Forms::~Forms()
{
    clear();
}

void Forms::clear()
{
    complete_ = false;
    while (!owned_.empty()) {
        Owned last = std::move(owned_.back());
        owned_.pop_back();
        // The slot is emptied first: nothing the window does on its way out finds itself in here.
        last.forget();
        last.window.reset();
    }
    books_.reset();
}

void connectForms(Forms &f)
{
    TFormM &period = *f.formM();
    TForm1 &main = *f.form1();

    // The sums first: the day table's roll-up handlers reach the sum tables through them.
    main.bindSums(f.form2S()->DataSourceS, f.form4R()->DataSource4R);
    // Whatever the three tables would write, the books write.
    main.attachBooks(*f.books());
    main.connectWindows({f.form3D(), f.formM(), f.form3(), f.form2(), f.formR1(), f.formR2(), f.formR3()});
    // Every table of the open period reads the period from the month and year dialog, afresh for
    // each record, through its window's filter handler.
    main.installTableHandlers(period);
    f.form2S()->followPeriod(period);
    f.form4R()->followPeriod(period);
    f.formR1()->setPeriod(period);
    f.formR2()->setPeriod(period);

    main.setStatementTables({f.formR1()->Table1, f.formR2()->Table1});

    f.formM()->connectMainWindow(main);
    f.form2()->connectMainWindow(main, period);
    f.form3()->connectMainWindow(main, period);
    f.form3D()->connectMainWindow(main, period, *f.form3());
}

ledger::LedgerTables ledgerTables()
{
    return forms().form1()->ledgerTables();
}

} // namespace kw
