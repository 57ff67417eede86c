// statement: a monthly, yearly or multi-year statement written as PDF, page for page as the
// preview shows it.
#include "cli/Commands.h"
#include "ledger/LedgerSchema.h"
#include "reports/statements/Statements.h"

#include <QDir>
#include <cstdio>
#include <exception>

namespace kw::cli {

using kw::statements::Statement;
using kw::statements::StatementRequest;

std::optional<QString> canonicalMonth(const QString &text)
{
    if (text.isEmpty() || text.size() > 2)
        return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const int month = text.toInt();
    if (month < 1 || month > 12)
        return std::nullopt;
    return QString::number(month);
}

std::optional<StatementRequest> parseStatementArguments(const QStringList &given, const QString &directory,
                                                        QString *error)
{
    QStringList args = given;
    if (args.isEmpty()) {
        *error = QStringLiteral("podaj rodzaj zestawienia: monthly, yearly albo multiyear.");
        return std::nullopt;
    }
    const QString kind = args.takeFirst();
    StatementRequest r{Statement::Monthly, {}, {}, {}, directory};
    int wanted = 0;
    if (kind == QLatin1String("monthly")) {
        r.kind = Statement::Monthly;
        wanted = 3;
    } else if (kind == QLatin1String("yearly")) {
        r.kind = Statement::Yearly;
        wanted = 2;
    } else if (kind == QLatin1String("multiyear")) {
        r.kind = Statement::MultiYear;
        wanted = 1;
    } else {
        *error = QStringLiteral("nieznany rodzaj zestawienia „%1”: podaj monthly, yearly albo multiyear.")
                     .arg(kind);
        return std::nullopt;
    }
    if (args.size() != wanted) {
        *error = wanted == 3
                     ? QStringLiteral("zestawienie miesięczne wymaga miesiąca, roku i nazwy pliku PDF.")
                 : wanted == 2 ? QStringLiteral("zestawienie roczne wymaga roku i nazwy pliku PDF.")
                               : QStringLiteral("zestawienie wieloletnie wymaga tylko nazwy pliku PDF.");
        return std::nullopt;
    }
    if (r.kind == Statement::Monthly) {
        const std::optional<QString> month = canonicalMonth(args[0]);
        if (!month) {
            *error = QStringLiteral("zły miesiąc „%1”: podaj numer miesiąca od 1 do 12.").arg(args[0]);
            return std::nullopt;
        }
        r.monthText = *month;
        args.removeFirst();
    }
    if (r.kind != Statement::MultiYear) {
        if (!kw::ledger::isYearText(args[0])) {
            *error = QStringLiteral("zły rok „%1”: podaj rok cyframi (najwyżej 5 cyfr).").arg(args[0]);
            return std::nullopt;
        }
        r.yearText = args[0];
        args.removeFirst();
    }
    r.output = args[0];
    if (r.output.isEmpty()) {
        *error = QStringLiteral("podaj nazwę pliku PDF.");
        return std::nullopt;
    }
    return r;
}

int runStatement(const Invocation &call)
{
    QString error;
    const std::optional<StatementRequest> request =
        parseStatementArguments(call.args, call.directory, &error);
    if (!request)
        return wrongUsage(error, findCommand(call.command));
    try {
        const int pages = kw::statements::writeStatementPdf(*request);
        if (pages == 0) {
            printError(QStringLiteral("zestawienie jest puste: %1. Nie zapisano pliku „%2”.")
                           .arg(kw::statements::emptyReason(request->kind),
                                QDir::toNativeSeparators(request->output)));
            return Failed;
        }
        std::printf("%d\n", pages);
        return Done;
    } catch (const std::exception &e) {
        printError(QString::fromUtf8(e.what()));
        return Failed;
    }
}

} // namespace kw::cli
