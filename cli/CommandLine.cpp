#include "cli/CommandLine.h"
#include "cli/Commands.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

namespace kw::cli {

namespace {

// Synopsis lines of more than one form are separated by '\n'; descriptions may run over lines too.
const Command Table[] = {
    {"init", "init KATALOG",
     "zapisuje trzy puste tabele, pusty plan budżetu (Plan.dbf), pustą tabelę operacji importu "
     "(Operacje.dbf) i plik reguł kategorii (Reguly.txt) w KATALOGU (tworzy go, jeśli go nie ma; "
     "istniejących tabel nigdy nie nadpisuje, istniejący plan, tabelę operacji i reguły zostawia)",
     1, 1, true, false, false, runInit},
    {"dump", "dump PLIK", "wypisuje tabelę dBase jako CSV (UTF-8), wiersz na rekord, z DELETED 0 albo 1", 1,
     1, false, false, false, runDump},
    {"verify", "verify KATALOG",
     "przelicza każdą sumę miesiąca i roku z wpisów dziennych i zgłasza każdą różnicę oraz każdą "
     "uszkodzoną liczbę",
     1, 1, true, false, false, runVerify},
    {"backup", "backup KATALOG",
     "kopiuje teraz pliki danych do KATALOG/kopie/RRRR-MM-DD_GGMMSS, każdy spakowany zstd (zostaje 20 "
     "najnowszych kopii)",
     1, 1, true, false, false, runBackup},
    {"restore", "restore KATALOG KOPIA [--force]",
     "przywraca kopię z KATALOG/kopie (albo folder kopii podany ścieżką), po odłożeniu bieżących "
     "plików do nowej kopii; odmawia, gdy program ma KATALOG otwarty. Gdy sumy w kopii nie zgadzają "
     "się z wpisami dni, pokazuje raport jak verify i pyta, czy mimo to odtworzyć; bez pytania (gdy "
     "wejście nie jest terminalem) odmawia, chyba że podano --force",
     2, 2, true, false, false, runRestore, nullptr, "--force"},
    {"statement",
     "statement monthly MIESIĄC ROK PLIK.pdf [--dir KATALOG]\n"
     "statement yearly ROK PLIK.pdf [--dir KATALOG]\n"
     "statement multiyear PLIK.pdf [--dir KATALOG]",
     "zapisuje zestawienie do pliku PDF, strona w stronę jak w podglądzie wydruku; tabele czyta z "
     "katalogu roboczego albo z KATALOGU; wypisuje liczbę stron",
     0, -1, false, true, true, runStatement},
    {"export", "export PLIK.xlsx|PLIK.csv [--year ROK [--month MIESIĄC]] [--dir KATALOG]",
     "zapisuje wpisy dni, sumy miesięcy i sumy lat do skoroszytu XLSX albo same wpisy do pliku CSV "
     "(średniki, przecinek dziesiętny, UTF-8); format wynika z rozszerzenia; wszystkie lata, jeden rok "
     "(--year) albo jeden miesiąc roku (--month); wypisuje, ile wierszy zapisało",
     1, 1, false, true, false, runExport, "--year --month"},
    {"analysis", "analysis MIESIĄC ROK [--dir KATALOG]",
     "wypisuje tabelę miesiąca: kategoria, kwota, udział w wydatkach miesiąca, plan i ile zostało, "
     "a pod nią sumy miesiąca; tabele czyta z katalogu roboczego albo z KATALOGU",
     2, 2, false, true, false, runAnalysis},
    {"import", "import PLIK [--dir KATALOG] [--dry-run]",
     "księguje wyciąg bankowy (MT940, MT942, camt.053, camt.052, OFX albo CSV banku) według reguł "
     "kategorii z Reguly.txt, jak okno „Import wyciągu”, jednym zapisem; operacje już zaksięgowane "
     "pomija; wypisuje podsumowanie (zaksięgowane, pominięte jako już zaksięgowane, oczekujące, "
     "kategorie); z --dry-run tylko wypisuje, co by zaksięgował, i nic nie zapisuje",
     1, 1, false, true, false, runImport, nullptr, "--dry-run"},
};

// The options of one command, and every option some command takes (besides --dir).
QStringList commandOptions(const Command &c)
{
    return c.options ? QString::fromLatin1(c.options).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                     : QStringList();
}
QStringList allCommandOptions()
{
    QStringList all;
    for (const Command &c : Table)
        for (const QString &o : commandOptions(c))
            if (!all.contains(o))
                all << o;
    return all;
}

const char *const Options =
    "opcje (w dowolnym miejscu wiersza):\n"
    "  --dir KATALOG, --dir=KATALOG\n"
    "                   folder danych programu (domyślnie bieżący); polecenia, które biorą KATALOG,\n"
    "                   przyjmują go też w ten sposób\n"
    "  -h, --help       wypisuje ten opis i kończy z kodem 0\n"
    "  --               dalsze argumenty nie są opcjami (np. plik o nazwie zaczynającej się od -)\n"
    "pliki wynikowe:\n"
    "  polecenie, które zapisuje plik, nigdy nie zapisuje go na tabelach, dzienniku (Kwotnik.jrn) ani\n"
    "  innych plikach danych folderu (bez względu na wielkość liter, także przez dowiązanie), na pliku\n"
    "  innego rodzaju (np. nie-PDF), na pliku bez prawa zapisu ani na czymś, co nie jest zwykłym\n"
    "  plikiem; istniejący plik zastępuje dopiero po zapisaniu całego nowego, z tymi samymi prawami\n"
    "kod wyjścia (każde polecenie):\n"
    "  0  wykonane\n"
    "  1  odmowa albo błąd (nic nie zapisano), puste zestawienie albo wyciąg, którego nie można\n"
    "     przeczytać\n"
    "  2  błędne użycie (wypisuje opis użycia)\n";

QString synopsisLines(const Command &c)
{
    QString out;
    const QStringList lines = QString::fromUtf8(c.synopsis).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i)
        out += (i == 0 ? QStringLiteral("użycie: ") : QStringLiteral("        ")) +
               QStringLiteral("kwotnik-ledger ") + lines[i] + QLatin1Char('\n');
    return out;
}

// The text in lines of at most 100 columns, each indented.
QString wrapped(const QString &text, int indent)
{
    QString out, line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && indent + line.size() + 1 + word.size() > 100) {
            out += QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty())
        out += QString(indent, QLatin1Char(' ')) + line + QLatin1Char('\n');
    return out;
}

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

} // namespace

std::span<const Command> commands()
{
    return Table;
}

const Command *findCommand(const QString &name)
{
    for (const Command &c : Table)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

Parsed parse(const QStringList &arguments)
{
    Parsed p;
    // --help anywhere wins over any mistake, even one that would take it for an option's value.
    for (const QString &a : arguments) {
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            p.help = true;
            return p;
        }
    }
    QStringList positional;
    QMap<QString, QString> given;
    QStringList switches;
    bool dirGiven = false;
    QString directory;
    bool options = true;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (options && a == QLatin1String("--")) {
            options = false;
            continue;
        }
        if (options && (a == QLatin1String("--dir") || a.startsWith(QLatin1String("--dir=")))) {
            if (a == QLatin1String("--dir")) {
                if (i + 1 >= arguments.size()) {
                    p.error = QStringLiteral("po --dir podaj katalog z tabelami programu.");
                    continue;
                }
                directory = arguments[++i];
            } else {
                directory = a.mid(6);
            }
            if (directory.isEmpty() && p.error.isEmpty())
                p.error = QStringLiteral("po --dir podaj katalog z tabelami programu.");
            if (dirGiven && p.error.isEmpty())
                p.error = QStringLiteral("--dir podano więcej niż raz: podaj jeden katalog.");
            dirGiven = true;
            continue;
        }
        // A command's own option, with its value after it or after '='; checked against the
        // command once that is known.
        const QString option = a.section(QLatin1Char('='), 0, 0);
        if (options && allCommandOptions().contains(option)) {
            QString value;
            if (a == option) {
                if (i + 1 >= arguments.size()) {
                    if (p.error.isEmpty())
                        p.error = QStringLiteral("po %1 podaj wartość.").arg(option);
                    continue;
                }
                value = arguments[++i];
            } else {
                value = a.mid(option.size() + 1);
            }
            const QString key = option.mid(2);
            if (p.error.isEmpty() && value.isEmpty())
                p.error = QStringLiteral("po %1 podaj wartość.").arg(option);
            if (p.error.isEmpty() && given.contains(key))
                p.error = QStringLiteral("%1 podano więcej niż raz.").arg(option);
            given.insert(key, value);
            continue;
        }
        // "-2004" is a (wrong) number for the command to name, not an option.
        if (options && a.size() > 1 && a.startsWith(QLatin1Char('-')) && !a[1].isDigit()) {
            switches << a; // the command's own, or unknown: told once the command is known
            continue;
        }
        positional << a;
    }
    if (positional.isEmpty()) {
        if (p.error.isEmpty())
            p.error = QStringLiteral("podaj polecenie.");
        return p;
    }
    const QString name = positional.takeFirst();
    p.command = findCommand(name);
    if (!p.command) {
        p.error = QStringLiteral("nieznane polecenie „%1”.").arg(name);
        return p;
    }
    if (!p.error.isEmpty())
        return p;
    const Command &c = *p.command;
    const QStringList known =
        QString::fromLatin1(c.switches ? c.switches : "").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &s : switches)
        if (!known.contains(s)) {
            p.error = QStringLiteral("nieznana opcja „%1”.").arg(s);
            return p;
        }
    if (dirGiven && c.folderArgument) {
        if (positional.size() >= c.minArgs) {
            p.error = QStringLiteral("podaj katalog raz: jako argument albo po --dir.");
            return p;
        }
        positional.prepend(directory);
    } else if (dirGiven && !c.takesDir) {
        p.error = QStringLiteral("polecenie %1 nie czyta folderu danych, więc nie przyjmuje --dir.")
                      .arg(QLatin1String(c.name));
        return p;
    }
    for (auto it = given.cbegin(); it != given.cend(); ++it)
        if (!commandOptions(c).contains(QStringLiteral("--") + it.key())) {
            p.error = QStringLiteral("polecenie %1 nie przyjmuje --%2.").arg(QLatin1String(c.name), it.key());
            return p;
        }
    if (positional.size() < c.minArgs || (c.maxArgs >= 0 && positional.size() > c.maxArgs)) {
        p.error = positional.size() < c.minArgs
                      ? QStringLiteral("za mało argumentów polecenia %1.").arg(QLatin1String(c.name))
                      : QStringLiteral("za dużo argumentów polecenia %1.").arg(QLatin1String(c.name));
        return p;
    }
    if (dirGiven && c.takesDir && !QFileInfo(directory).isDir()) {
        p.error =
            QStringLiteral("katalog „%1” nie istnieje: podaj katalog z tabelami programu.").arg(directory);
        return p;
    }
    p.run = Invocation{name, positional, c.takesDir ? directory : QString(), given, switches};
    return p;
}

QString usage()
{
    QString out = QStringLiteral("użycie: kwotnik-ledger POLECENIE [ARGUMENTY] [opcje]\npolecenia:\n");
    for (const Command &c : Table) {
        for (const QString &line : QString::fromUtf8(c.synopsis).split(QLatin1Char('\n')))
            out += QStringLiteral("  ") + line + QLatin1Char('\n');
        out += wrapped(QString::fromUtf8(c.description), 6);
    }
    return out + QString::fromUtf8(Options);
}

QString usage(const Command &command)
{
    return synopsisLines(command) + wrapped(QString::fromUtf8(command.description), 2) +
           QStringLiteral("  (kwotnik-ledger --help opisuje opcje i kody wyjścia)\n");
}

void printError(const QString &message)
{
    std::fprintf(stderr, "kwotnik-ledger: %s\n", message.toUtf8().constData());
}

int wrongUsage(const QString &message, const Command *command)
{
    std::fputs((command ? usage(*command) : usage()).toUtf8().constData(), stderr);
    printError(message);
    return WrongUsage;
}

int runMain(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    const Parsed p = parse(arguments);
    if (p.help) {
        std::fputs(usage().toUtf8().constData(), stdout);
        return Done;
    }
    if (!p.run)
        return wrongUsage(p.error, p.command);
    if (p.command->paints) {
        // Nothing is shown: the pages are laid out and painted without a display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quietSessionNotes);
        QGuiApplication app(argc, argv);
        return p.command->run(*p.run);
    }
    QCoreApplication app(argc, argv);
    return p.command->run(*p.run);
}

} // namespace kw::cli
