#include "ledger/DiskIo.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kw::diskio {

namespace {
FaultInjector &injector()
{
    static FaultInjector f;
    return f;
}
Observer &observer()
{
    static Observer o;
    return o;
}
} // namespace

void setFaultInjector(FaultInjector f)
{
    injector() = std::move(f);
}

int injectedFault(Op op, const QString &path)
{
    return injector() ? injector()(op, QFileInfo(path).fileName()) : 0;
}

void setObserver(Observer o)
{
    observer() = std::move(o);
}

void notify(Event event, const QString &path)
{
    if (observer())
        observer()(event, QFileInfo(path).fileName());
}

int flushFile(int fd, const QString &path)
{
    if (const int e = injectedFault(Op::Flush, path))
        return e;
    if (::fdatasync(fd) != 0)
        return errno;
    notify(Event::FlushFile, path);
    return 0;
}

int flushDirectory(const QString &directory)
{
    if (const int e = injectedFault(Op::Flush, directory))
        return e;
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int rc = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (rc == 0)
        notify(Event::FlushDirectory, directory);
    return rc;
}

QString causeText(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("brak miejsca na dysku");
    case EDQUOT:
        return QStringLiteral("przekroczony przydział miejsca na dysku");
    case EACCES:
    case EPERM:
        return QStringLiteral("brak prawa zapisu");
    case EROFS:
        return QStringLiteral("system plików jest tylko do odczytu");
    case EIO:
        return QStringLiteral("błąd odczytu lub zapisu na dysku");
    case EFBIG:
        return QStringLiteral("plik przekroczyłby największy dozwolony rozmiar");
    case ENOENT:
        return QStringLiteral("plik nie istnieje");
    case EISDIR:
        return QStringLiteral("to jest katalog, nie plik");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("za dużo otwartych plików");
    case ENOMEM:
        return QStringLiteral("brak pamięci");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("plik jest zajęty przez inny program");
    case ENAMETOOLONG:
        return QStringLiteral("zbyt długa nazwa pliku");
    case ENOTDIR:
        return QStringLiteral("część ścieżki nie jest katalogiem");
    default:
        return QStringLiteral("błąd systemu nr %1").arg(error);
    }
}

} // namespace kw::diskio
