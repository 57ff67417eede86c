// kwotnik-ledger: writes the supplied empty tables, dumps a table as CSV, and recounts the sums.
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"

#include <QCoreApplication>
#include <cstdio>
#include <exception>

namespace {
int usage()
{
    std::fputs("usage: kwotnik-ledger init DIR | dump FILE | verify DIR\n"
               "  init DIR    write the three empty ledger tables into DIR (never overwrites)\n"
               "  dump FILE   print a dBase table as CSV (UTF-8), one row per record, with DELETED 0 or 1\n"
               "  verify DIR  recount every month and year sum from the day entries; exit 1 on any difference\n",
               stderr);
    return 2;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
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
            return 0;
        }
        if (cmd == QLatin1String("verify")) {
            const QStringList problems = kw::ledger::verifyLedger(args[2]);
            for (const QString &p : problems)
                std::printf("%s\n", p.toUtf8().constData());
            if (problems.isEmpty())
                std::printf("ok: every month sum and year sum equals the totals of its day entries\n");
            return problems.isEmpty() ? 0 : 1;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kwotnik-ledger: %s\n", e.what());
        return 2;
    }
    return usage();
}
