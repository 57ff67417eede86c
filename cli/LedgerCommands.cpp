// init, dump and verify: the supplied empty tables, a table as CSV, the sums recounted.
#include "cli/Commands.h"
#include "import/Rules.h"
#include "ledger/Books.h"
#include "ledger/CodePage.h"
#include "ledger/DbfFile.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"
#include "ledger/OperationsTable.h"
#include "ledger/SharedFile.h"

#include <cstdio>
#include <exception>

namespace kw::cli {

namespace {

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
    printError(driver == 0 ? note.arg(f->displayName())
                           : note.arg(f->displayName()).arg(driver, 2, 16, QLatin1Char('0')));
}

// Runs a command's body; an engine error (or any other) is a failure with nothing written.
template <typename Body> int guarded(Body body)
{
    try {
        return body();
    } catch (const std::exception &e) {
        printError(QString::fromUtf8(e.what()));
        return Failed;
    }
}

} // namespace

int runInit(const Invocation &call)
{
    return guarded([&] {
        kw::ledger::createEmptyTables(call.args[0]);
        // A plan left from an earlier ledger in the folder is the user's: kept as it is.
        if (kw::SharedFile::resolve(call.args[0], kw::ledger::PlanFile).isEmpty())
            kw::ledger::createEmptyPlan(call.args[0]);
        // The import's table and its rules file, so the user finds them from the start.
        kw::ledger::ensureOperationsTable(call.args[0]);
        QStringList problems;
        kw::import::Rules::load(call.args[0], &problems);
        for (const QString &p : problems)
            printError(p);
        return problems.isEmpty() ? Done : Failed;
    });
}

int runDump(const Invocation &call)
{
    return guarded([&] {
        const QByteArray csv = kw::ledger::dumpTableCsv(call.args[0]).toUtf8();
        std::fwrite(csv.constData(), 1, std::size_t(csv.size()), stdout);
        noteCodePage(call.args[0]);
        return Done;
    });
}

int runVerify(const Invocation &call)
{
    return guarded([&] {
        const QStringList problems = kw::ledger::Books(call.args[0]).verify();
        for (const QString &p : problems)
            std::printf("%s\n", p.toUtf8().constData());
        if (problems.isEmpty())
            std::printf("w porządku: każda suma miesiąca i roku równa się sumie swoich wpisów dziennych\n");
        return problems.isEmpty() ? Done : Failed;
    });
}

} // namespace kw::cli
