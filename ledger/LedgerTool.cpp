// kwotnik-ledger: writes the supplied empty tables, dumps a table as CSV, and recounts the sums.
#include "ledger/Backup.h"
#include "ledger/CodePage.h"
#include "ledger/DbfFile.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"
#include "reports/statements/StatementCommand.h"

#include <QCoreApplication>
#include <cstdio>
#include <exception>
#include <string_view>

namespace {
int usage(FILE *to = stderr)
{
    std::fputs(
        "użycie: kwotnik-ledger init KATALOG | dump PLIK | verify KATALOG | backup KATALOG\n"
        "        | restore KATALOG KOPIA | statement ...\n"
        "  init KATALOG     zapisuje trzy puste tabele w KATALOGU (tworzy go, jeśli go nie ma;\n"
        "                   istniejących tabel nigdy nie nadpisuje)\n"
        "  dump PLIK        wypisuje tabelę dBase jako CSV (UTF-8), wiersz na rekord, z DELETED 0 albo 1\n"
        "  verify KATALOG   przelicza każdą sumę miesiąca i roku z wpisów dziennych; przy różnicy kod 1\n"
        "  backup KATALOG   kopiuje teraz trzy tabele do KATALOG/kopie/RRRR-MM-DD_GGMMSS\n"
        "                   (zostaje 20 najnowszych kopii)\n"
        "  restore KATALOG KOPIA  przywraca kopię z KATALOG/kopie, po odłożeniu bieżących tabel;\n"
        "                   odmawia, gdy program ma KATALOG otwarty\n"
        "  statement ...    zestawienie do pliku PDF (samo „statement” pokaże, jak go użyć)\n",
        to);
    return to == stdout ? 0 : 2;
}
// A table that names no code page is read as cp1250; whoever dumps it should know it was a guess.
void noteCodePage(const QString &path)
{
    const auto f = kw::DbfFile::open(path);
    const std::uint8_t driver = f->languageDriver();
    if (kw::CodePage::numberForLanguageDriver(driver) != 0)
        return;
    const QString note =
        driver == 0
            ? QStringLiteral("%1: tabela nie podaje strony kodowej (bajt sterownika języka 0x00); tekst "
                             "odczytano jako cp1250")
            : QStringLiteral("%1: bajt sterownika języka 0x%2 nie oznacza żadnej znanej strony kodowej; "
                             "tekst odczytano jako cp1250");
    std::fprintf(stderr, "kwotnik-ledger: %s\n",
                 (driver == 0 ? note.arg(f->displayName())
                              : note.arg(f->displayName()).arg(driver, 2, 16, QLatin1Char('0')))
                     .toUtf8()
                     .constData());
}

// Dated copies of a working directory, and putting one back.
int backupCommand(const QStringList &args)
{
    if (args[1] == QLatin1String("backup") && args.size() == 3) {
        const kw::backup::Outcome o = kw::backup::backupNow(args[2]);
        if (o.kind == kw::backup::Outcome::Made) {
            std::printf("%s\n", o.folder.toUtf8().constData());
            return 0;
        }
        const QString why =
            o.kind == kw::backup::Outcome::Failed
                ? o.message
                : QStringLiteral("W folderze %1 nie ma plików danych; nie ma czego kopiować.").arg(args[2]);
        std::fprintf(stderr, "kwotnik-ledger: %s\n", why.toUtf8().constData());
        return 1;
    }
    if (args[1] == QLatin1String("restore") && args.size() == 4) {
        try {
            const QString aside = kw::backup::restore(args[2], args[3]);
            if (!aside.isEmpty())
                std::printf("poprzednie dane odłożone w %s\n", aside.toUtf8().constData());
            return 0;
        } catch (const std::exception &e) {
            std::fprintf(stderr, "kwotnik-ledger: %s\n", e.what());
            return 1;
        }
    }
    return usage();
}
} // namespace

int main(int argc, char **argv)
{
    // Statements are laid out and painted, so they run with an application object of their own.
    if (argc >= 2 && std::string_view(argv[1]) == "statement")
        return kw::statements::statementCommand(argc, argv);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 2 && (args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h")))
        return usage(stdout);
    if (args.size() >= 2 && (args[1] == QLatin1String("backup") || args[1] == QLatin1String("restore")))
        return backupCommand(args);
    if (args.size() != 3)
        return usage();
    const QString cmd = args[1];
    try {
        if (cmd == QLatin1String("init")) {
            kw::ledger::createEmptyTables(args[2]);
            return 0;
        }
        if (cmd == QLatin1String("dump")) {
            const QByteArray csv = kw::ledger::dumpTableCsv(args[2]).toUtf8();
            std::fwrite(csv.constData(), 1, std::size_t(csv.size()), stdout);
            noteCodePage(args[2]);
            return 0;
        }
        if (cmd == QLatin1String("verify")) {
            const QStringList problems = kw::ledger::verifyLedger(args[2]);
            for (const QString &p : problems)
                std::printf("%s\n", p.toUtf8().constData());
            if (problems.isEmpty())
                std::printf(
                    "w porządku: każda suma miesiąca i roku równa się sumie swoich wpisów dziennych\n");
            return problems.isEmpty() ? 0 : 1;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kwotnik-ledger: %s\n", e.what());
        return 2;
    }
    return usage();
}
