#include "app/Forms.h"
#include "app/Unit1.h"
#include "app/Unit2S.h"
#include "app/Unit4R.h"
#include "ledger/Rollup.h"

namespace kw {

Forms &forms()
{
    static Forms f;
    return f;
}

ledger::LedgerTables ledgerTables()
{
    const Forms &f = forms();
    return {f.form1 ? f.form1->Table1 : nullptr, f.form2S ? f.form2S->TableS : nullptr,
            f.form4R ? f.form4R->Table4R : nullptr};
}

} // namespace kw
