#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace kw::backup {

// Dated copies of the three ledger tables, kept in "kopie/RRRR-MM-DD_GGMMSS/" inside the working
// directory. A copy holds the tables as the engine finds them (and the journal of an unfinished
// change, when there is one, so that restoring it rolls that change back like a start would).
// Copies are private to the owner: folders 0700, files 0600.
inline const QString FolderName = QStringLiteral("kopie");
inline constexpr int Keep = 20;

struct Outcome
{
    enum Kind
    {
        Made,
        Unchanged,
        NoTables,
        Failed
    };
    Kind kind = NoTables;
    QString folder;  // Made: the absolute path of the new copy
    QString message; // Failed: what went wrong, in Polish, naming the folder and what to do
};

// What start-up does: a new copy when the tables differ from the newest copy, then the oldest
// copies beyond Keep are removed. Never throws; a failure comes back as Failed.
Outcome backupIfChanged(const QString &directory, const QDateTime &now = QDateTime::currentDateTime());
// A copy now, whether or not anything changed; pruned like the start-up copy.
Outcome backupNow(const QString &directory, const QDateTime &now = QDateTime::currentDateTime());

// The names of the copies in the directory, oldest first.
QStringList copies(const QString &directory);

// Puts a copy (a name from copies(), or a path to a copy folder) back into the directory.
// Refused while the program has the directory open. The current tables are first copied aside
// into a new dated copy, whose path is returned. Throws EngineError with a Polish message; when it
// throws before replacing anything, the directory is as it was.
QString restore(const QString &directory, const QString &copy,
                const QDateTime &now = QDateTime::currentDateTime());

} // namespace kw::backup
