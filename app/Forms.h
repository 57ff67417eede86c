#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

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
class Books;
struct LedgerTables;
} // namespace ledger

// The single instance of every window. The registry owns them from creation, in the program's
// order, to the end of the run, and releases them in the reverse order, so a window never outlives
// one it was created after. While the windows exist every accessor returns a window; before
// `createForms()` and after `destroyForms()` they all return null and `created()` is false.
class Forms
{
public:
    Forms() = default;
    Forms(const Forms &) = delete;
    Forms &operator=(const Forms &) = delete;
    ~Forms();

    bool created() const { return complete_; }

    // The program's books, on the working directory, from before the first window to after the last.
    ledger::Books *books() const { return books_.get(); }

    TForm1 *form1() const { return form1_; }
    TForm2S *form2S() const { return form2S_; }
    TForm3D *form3D() const { return form3D_; }
    TFormM *formM() const { return formM_; }
    TForm4R *form4R() const { return form4R_; }
    TForm2 *form2() const { return form2_; }
    TForm3 *form3() const { return form3_; }
    TFormR1 *formR1() const { return formR1_; }
    TFormR2 *formR2() const { return formR2_; }
    TFormR3 *formR3() const { return formR3_; }
    TFormA *formA() const { return formA_; }
    TFormKalk *formKalk() const { return formKalk_; }
    TFormNotatnik *formNotatnik() const { return formNotatnik_; }

    // Takes a newly created window into the registry, after every window created before it.
    template <class T> T *adopt(std::unique_ptr<T> window, T *Forms::*slot)
    {
        T *w = window.get();
        owned_.push_back(
            {std::unique_ptr<QWidget>(window.release()), [this, slot] { this->*slot = nullptr; }});
        this->*slot = w;
        return w;
    }

    // Releases the windows, the last created first, then the books; the accessors return null
    // afterwards.
    void clear();

private:
    friend void createForms(const std::function<void(const char *)> &created,
                            std::unique_ptr<ledger::Books> books);
    friend void createToolWindows(Forms &f, const std::function<void(const char *)> &created);

    struct Owned
    {
        std::unique_ptr<QWidget> window;
        std::function<void()> forget; // empties the window's slot
    };
    std::unique_ptr<ledger::Books> books_;
    std::vector<Owned> owned_; // in order of creation
    bool complete_ = false;
    TForm1 *form1_ = nullptr;
    TForm2S *form2S_ = nullptr;
    TForm3D *form3D_ = nullptr;
    TFormM *formM_ = nullptr;
    TForm4R *form4R_ = nullptr;
    TForm2 *form2_ = nullptr;
    TForm3 *form3_ = nullptr;
    TFormR1 *formR1_ = nullptr;
    TFormR2 *formR2_ = nullptr;
    TFormR3 *formR3_ = nullptr;
    TFormA *formA_ = nullptr;
    TFormKalk *formKalk_ = nullptr;
    TFormNotatnik *formNotatnik_ = nullptr;
};

Forms &forms();

// Connects the windows once, after the last one is created: the books the ledger tables write
// through, the period filters of every table that follows the month and year dialog, the roll-up
// hooks of the day table, the main window's sum displays and the windows its commands open, the
// dialogs' and the statements' links to the main window and the period. The program and the tests
// both get here through `createForms()`.
void connectForms(Forms &f);

// The main window's day table with the two holders' sum tables: the records every writer changes.
ledger::LedgerTables ledgerTables();

} // namespace kw
