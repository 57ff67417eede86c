// export: the books out to a spreadsheet file, by the same code as the window "Eksport".
#include "cli/Commands.h"
#include "ledger/LedgerSchema.h"
#include "export/SheetExport.h"

#include <QDir>
#include <cstdio>
#include <exception>

namespace kw::cli {

int runExport(const Invocation &call)
{
    const Command *command = findCommand(call.command);
    const QString year = call.options.value(QStringLiteral("year"));
    const QString month = call.options.value(QStringLiteral("month"));
    sheets::Scope scope;
    if (!month.isEmpty() && year.isEmpty())
        return wrongUsage(QStringLiteral("--month wymaga --year: podaj też rok miesiąca."), command);
    if (!year.isEmpty()) {
        if (!kw::ledger::isYearText(year))
            return wrongUsage(QStringLiteral("zły rok „%1”: podaj rok cyframi (najwyżej 5 cyfr).").arg(year),
                              command);
        scope.year = year;
    }
    if (!month.isEmpty()) {
        const std::optional<QString> m = canonicalMonth(month);
        if (!m)
            return wrongUsage(QStringLiteral("zły miesiąc „%1”: podaj numer miesiąca od 1 do 12.").arg(month),
                              command);
        scope.month = *m;
    }
    const QString file = call.args.value(0);
    if (!sheets::formatOf(file))
        return wrongUsage(
            QStringLiteral("nieznany format pliku „%1”: nadaj mu rozszerzenie .xlsx albo .csv.").arg(file),
            command);
    try {
        const ledger::Books books(call.directory.isEmpty() ? QDir::currentPath() : call.directory);
        const sheets::Exported n = sheets::exportBooks(books, scope, file);
        std::printf("%s\n", sheets::describe(n, *sheets::formatOf(file)).toUtf8().constData());
        return Done;
    } catch (const std::exception &e) {
        printError(QString::fromUtf8(e.what()));
        return Failed;
    }
}

} // namespace kw::cli
