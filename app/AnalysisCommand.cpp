#include "app/AnalysisCommand.h"
#include "app/Forms.h"
#include "app/Unit1.h"
#include "dialogs/UnitM.h"
#include "ledger/Books.h"
#include "reports/AnalysisWindow.h"

#include <QDate>
#include <QDir>
#include <QPointer>
#include <optional>

namespace kw {

namespace {

// The window and what it reads, on the working directory the ledger tables are opened in. The
// books belong to the window and go with it.
struct Analysis
{
    QPointer<AnalysisWindow> window;
    analysis::OverPlanWatch watch;
    ledger::Books *books = nullptr;
};

Analysis &state(TForm1 &main)
{
    static QPointer<TForm1> owner;
    static Analysis a;
    // A new main window (the tests make many) starts without one.
    if (owner != &main) {
        owner = &main;
        a = Analysis{};
    }
    return a;
}

bool periodOpen(TForm1 &main)
{
    const ledger::LedgerTables t = main.ledgerTables();
    return t.day && t.day->active();
}

ledger::Period openPeriod()
{
    TFormM *m = forms().formM();
    return ledger::Period{m->monthText(), m->yearText()};
}

} // namespace

void showAnalysis(TForm1 &main)
{
    Analysis &a = state(main);
    if (!a.window) {
        auto *w = new AnalysisWindow(*new ledger::Books(QDir::currentPath()), &main);
        // The books were made for the window: handed over to it, they go when it goes.
        a.books = &w->books();
        a.books->setParent(w);
        a.window = w;
    }
    AnalysisWindow *w = a.window;
    if (!w->isVisible()) {
        const QDate today = QDate::currentDate();
        w->setPeriod(periodOpen(main) ? openPeriod() : ledger::Period::of(today.month(), today.year()));
    }
    w->show();
    w->raise();
    w->activateWindow();
}

QString analysisAfterBooking(TForm1 &main)
{
    Analysis &a = state(main);
    if (a.window)
        a.window->refreshAll();
    if (!periodOpen(main))
        return {};
    QString hint;
    // A plan that cannot be read keeps no booking from its lights; the window tells what is wrong.
    try {
        // The main window's own books, which have just written the booking: opening books of
        // the folder anew at every switch and booking cost more than the figures themselves.
        const TForm1 &shown = main;
        std::optional<ledger::Books> own;
        ledger::Books *books = shown.books();
        if (!books)
            books = &own.emplace(QDir::currentPath());
        hint = a.watch.afterBooking(*books, openPeriod());
    } catch (const std::exception &) {
        a.watch.forget();
    }
    return hint;
}

} // namespace kw
