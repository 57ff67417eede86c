#include "reports/statements/StatementCommand.h"
#include "reports/statements/Statements.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace kw::statements {

namespace {

const char *const Usage =
    "użycie: kwotnik-ledger statement monthly MIESIĄC ROK PLIK.pdf [--dir KATALOG]\n"
    "        kwotnik-ledger statement yearly ROK PLIK.pdf [--dir KATALOG]\n"
    "        kwotnik-ledger statement multiyear PLIK.pdf [--dir KATALOG]\n"
    "  zapisuje zestawienie do pliku PDF, strona w stronę jak w podglądzie wydruku; tabele czyta\n"
    "  z katalogu roboczego albo z KATALOGU; wypisuje liczbę stron\n";

// Qt's own notes about the desktop session (no runtime directory, no display) mean nothing to
// someone writing a PDF; everything else still reaches stderr.
void quietSessionNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toUtf8().constData());
    if (type == QtFatalMsg)
        std::abort();
}

void printError(const QString &message)
{
    std::fprintf(stderr, "kwotnik-ledger: %s\n", message.toUtf8().constData());
}

} // namespace

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

bool acceptableYear(const QString &text)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

std::optional<StatementRequest> parseStatementArguments(const QStringList &given, QString *error)
{
    QStringList args;
    QString directory;
    for (int i = 0; i < given.size(); ++i) {
        if (given[i] == QLatin1String("--dir")) {
            if (i + 1 >= given.size()) {
                *error = QStringLiteral("po --dir podaj katalog z tabelami programu.");
                return std::nullopt;
            }
            directory = given[++i];
            continue;
        }
        args << given[i];
    }
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
        if (!acceptableYear(args[0])) {
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
    if (!r.directory.isEmpty() && !QFileInfo(r.directory).isDir()) {
        *error =
            QStringLiteral("katalog „%1” nie istnieje: podaj katalog z tabelami programu.").arg(r.directory);
        return std::nullopt;
    }
    return r;
}

int statementCommand(int argc, char **argv)
{
    // Nothing is shown: the pages are laid out and painted without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietSessionNotes);
    QGuiApplication app(argc, argv);
    QString error;
    const std::optional<StatementRequest> request = parseStatementArguments(app.arguments().mid(2), &error);
    if (!request) {
        printError(error);
        std::fputs(Usage, stderr);
        return 2;
    }
    try {
        const int pages = writeStatementPdf(*request);
        if (pages == 0) {
            printError(QStringLiteral("zestawienie jest puste: %1. Nie zapisano pliku „%2”.")
                           .arg(emptyReason(request->kind), QDir::toNativeSeparators(request->output)));
            return 1;
        }
        std::printf("%d\n", pages);
        return 0;
    } catch (const std::exception &e) {
        printError(QString::fromUtf8(e.what()));
        return 2;
    }
}

} // namespace kw::statements
