// analysis: a month's expenses by category with their shares, plan and what is left, as text, from
// the month sum and the plan as the analysis window shows them.
#include "cli/Commands.h"
#include "ledger/LedgerSchema.h"
#include "ledger/Books.h"
#include "ledger/BudgetPlan.h"
#include "reports/analysis/AnalysisFigures.h"

#include <QDir>
#include <cstdio>
#include <exception>

namespace kw::cli {

int runAnalysis(const Invocation &call)
{
    const Command *self = findCommand(call.command);
    const std::optional<QString> month = canonicalMonth(call.args[0]);
    if (!month)
        return wrongUsage(
            QStringLiteral("zły miesiąc „%1”: podaj numer miesiąca od 1 do 12.").arg(call.args[0]), self);
    if (!kw::ledger::isYearText(call.args[1]))
        return wrongUsage(
            QStringLiteral("zły rok „%1”: podaj rok cyframi (najwyżej 5 cyfr).").arg(call.args[1]), self);
    try {
        ledger::Books books(call.directory.isEmpty() ? QDir::currentPath() : call.directory);
        const ledger::Period period{*month, call.args[1]};
        const analysis::MonthFigures figures = analysis::monthFigures(books, period);
        if (!figures.booked) {
            printError(QStringLiteral("brak sum za %1: ten miesiąc nigdy nie był otwarty.")
                           .arg(analysis::periodTitle(period)));
            return Failed;
        }
        const analysis::PlanFigures plan = analysis::planFigures(figures, ledger::BudgetPlan::read(books));
        QString out = QStringLiteral("Analiza wydatków – %1\n\n").arg(analysis::periodTitle(period));
        out += analysis::plainText(analysis::analysisTable(figures, plan));
        out += QLatin1Char('\n');
        analysis::FigureTable summary = analysis::summaryTable(figures);
        summary.header = QStringList{QStringLiteral("Miesiąc"), QStringLiteral("Kwota")};
        out += analysis::plainText(summary);
        const QByteArray bytes = out.toUtf8();
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
        return Done;
    } catch (const std::exception &e) {
        printError(QString::fromUtf8(e.what()));
        return Failed;
    }
}

} // namespace kw::cli
