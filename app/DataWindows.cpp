// The windows of the "Dane" menu beyond opening a period: made when first asked for, owned by the
// main window, over books of their own on the program's data folder.
#include "app/ToolCommands.h"
#include "export/ExportWindow.h"
#include "ledger/Books.h"

#include <QPointer>
#include <memory>

namespace kw {

void showExportWindow(QWidget *main, const QString &folder, const QString &month, const QString &year)
{
    static QPointer<sheets::ExportWindow> window;
    if (!window) {
        // The books only read here; they hold no lock, so the program's own hold on the folder
        // stays the one that counts.
        auto books = std::make_unique<ledger::Books>(folder);
        window = new sheets::ExportWindow(*books, main);
        books.release()->setParent(window);
    }
    window->showFor({month, year});
}

} // namespace kw
