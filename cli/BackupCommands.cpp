// backup and restore: dated copies of a data folder, and putting one back.
#include "cli/Commands.h"
#include "ledger/Backup.h"

#include <cstdio>
#include <exception>

namespace kw::cli {

int runBackup(const Invocation &call)
{
    const QString &folder = call.args[0];
    const kw::backup::Outcome o = kw::backup::backupNow(folder);
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
    try {
        const QString aside = kw::backup::restore(call.args[0], call.args[1]);
        if (!aside.isEmpty())
            std::printf("poprzednie dane odłożone w %s\n", aside.toUtf8().constData());
        return Done;
    } catch (const std::exception &e) {
        printError(QString::fromUtf8(e.what()));
        return Failed;
    }
}

} // namespace kw::cli
