#pragma once

class TForm1;
class TForm2S;
class TForm3D;
class TFormM;
class TForm4R;
class TForm2;
class TForm3;
class TFormR1;
class TFormR2;
class TFormR3;
class TFormA;
class TFormKalk;
class TFormNotatnik;

namespace kw {
namespace ledger {
struct LedgerTables;
}

// The single instance of every window, created once at start-up in this order and living until
// exit; windows reach each other only through here.
struct Forms
{
    TForm1 *form1 = nullptr;
    TForm2S *form2S = nullptr;
    TForm3D *form3D = nullptr;
    TFormM *formM = nullptr;
    TForm4R *form4R = nullptr;
    TForm2 *form2 = nullptr;
    TForm3 *form3 = nullptr;
    TFormR1 *formR1 = nullptr;
    TFormR2 *formR2 = nullptr;
    TFormR3 *formR3 = nullptr;
    TFormA *formA = nullptr;
    TFormKalk *formKalk = nullptr;
    TFormNotatnik *formNotatnik = nullptr;
};

Forms &forms();

// The main window's day table with the two holders' sum tables: the records every writer changes.
ledger::LedgerTables ledgerTables();

} // namespace kw
