#pragma once

#include <QString>
#include <functional>

namespace kw::diskio {

// What reaches the disk goes through here, so that a test can make any step fail the way a full
// disk or a read-only file would, and can watch the order in which things are made durable.

enum class Op
{
    Write,
    Flush,
    Truncate
};
// Returns an errno value to make the operation on the file (named without its directory) fail,
// or 0 to let it run.
using FaultInjector = std::function<int(Op, const QString &fileName)>;
void setFaultInjector(FaultInjector injector);
int injectedFault(Op op, const QString &path);

enum class Event
{
    FlushFile,      // a file's data handed to the disk (fdatasync)
    FlushDirectory, // a directory's entries handed to the disk
    ClearJournal,   // the journal emptied: the commit point of a group
};
using Observer = std::function<void(Event, const QString &fileName)>;
void setObserver(Observer observer);
void notify(Event event, const QString &path);

// fdatasync through the seam; 0 or the errno value.
int flushFile(int fd, const QString &path);
// fsync of the directory through the seam; 0 or the errno value.
int flushDirectory(const QString &directory);

// The cause of a failed system call in Polish, for messages such as
// "Nie można zapisać pliku Wydatki.dbf: brak miejsca na dysku."
QString causeText(int error);

} // namespace kw::diskio
