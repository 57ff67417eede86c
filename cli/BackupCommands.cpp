// backup and restore: dated copies of a data folder, and putting one back.
#include "cli/Commands.h"
#include "ledger/Backup.h"
#include "ledger/Books.h"

#include <QDateTime>
#include <QDir>
#include <cstdio>
#include <exception>
#include <unistd.h>

namespace kw::cli {

int runBackup(const Invocation &call)
{
    const QString &folder = call.args[0];
    const kw::backup::Outcome o = kw::ledger::Books(folder).backUpNow();
    if (o.kind == kw::backup::Outcome::Made) {
        std::printf("%s\n", o.folder.toUtf8().constData());
        return Done;
    }
    printError(
        o.kind == kw::backup::Outcome::Failed
            ? o.message
            : QStringLiteral("W folderze %1 nie ma plików danych; nie ma czego kopiować.").arg(folder));
    return Failed;
}

int runRestore(const Invocation &call)
{
    const bool force = call.switches.contains(QLatin1String("--force"));
    // A copy whose sums disagree with its days is told with the check's report before anything is
    // replaced; it goes back only on a yes (or --force).
    const auto confirm = [&](const QStringList &problems) {
        std::fprintf(stderr,
                     "kwotnik-ledger: uwaga: w kopii %s sumy nie zgadzają się z wpisami dni; "
                     "sprawdzenie (jak verify) znalazło:\n",
                     QDir::toNativeSeparators(call.args[1]).toUtf8().constData());
        for (const QString &p : problems)
            std::fprintf(stderr, "  %s\n", p.toUtf8().constData());
        if (force) {
            std::fputs("kwotnik-ledger: odtwarzam mimo to (--force)\n", stderr);
            return true;
        }
        if (!::isatty(STDIN_FILENO)) {
            std::fputs("kwotnik-ledger: aby odtworzyć tę kopię mimo różnic, dodaj --force\n", stderr);
            return false;
        }
        std::fputs("Odtworzyć tę kopię mimo różnic? [t/N] ", stderr);
        char answer[16] = {};
        return std::fgets(answer, sizeof answer, stdin) && (answer[0] == 't' || answer[0] == 'T');
    };
    try {
        const QString aside = kw::backup::restore(call.args[0], call.args[1], QDateTime::currentDateTime(), confirm);
        if (!aside.isEmpty())
            std::printf("poprzednie dane odłożone w %s\n", aside.toUtf8().constData());
        return Done;
    } catch (const std::exception &e) {
        printError(QString::fromUtf8(e.what()));
        return Failed;
    }
}

} // namespace kw::cli
