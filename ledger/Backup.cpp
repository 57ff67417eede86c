#include "ledger/Backup.h"
#include "ledger/DbfFile.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/LedgerSchema.h"
#include "ledger/SharedFile.h"
#include "ledger/WorkLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kw::backup {

namespace {

// Raised inside this file only; the callers turn it into their message.
struct Failure
{
    QString cause;
};

QString systemCause(int err)
{
    return diskio::causeText(err); // in Polish, never the system's English
}

const QRegularExpression &copyName()
{
    static const QRegularExpression re(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}_\\d{6}(-\\d+)?$"));
    return re;
}

// Copies sort by name; a second copy made within the same second gets "-2", "-3", ...
bool copyLess(const QString &a, const QString &b)
{
    const QString ka = a.left(17), kb = b.left(17);
    if (ka != kb)
        return ka < kb;
    return a.mid(18).toInt() < b.mid(18).toInt();
}

QString backupRoot(const QString &directory)
{
    return QDir(directory).absoluteFilePath(FolderName);
}

// The files that make up the ledger as the engine finds them: the three tables (names matched
// without regard to case) and the journal of an unfinished change, if one is waiting.
struct Source
{
    QString name; // as it is on disk
    QString path;
};
std::vector<Source> ledgerFiles(const QString &directory)
{
    std::vector<Source> out;
    for (const QString &table : {ledger::DayFile, ledger::MonthFile, ledger::YearFile}) {
        const QString path = SharedFile::resolve(directory, table);
        if (!path.isEmpty())
            out.push_back({QFileInfo(path).fileName(), path});
    }
    if (out.empty())
        return out;
    const QFileInfo journal(QDir(directory).filePath(QString::fromLatin1(Journal::fileName())));
    if (journal.isFile() && journal.size() > 0)
        out.push_back({journal.fileName(), journal.absoluteFilePath()});
    return out;
}

void syncPath(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Failure{systemCause(errno)};
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0 && err != EINVAL)
        throw Failure{systemCause(err)};
}

void makePrivateFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw Failure{systemCause(errno)};
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        throw Failure{systemCause(errno)};
    if (!S_ISDIR(st.st_mode))
        throw Failure{QStringLiteral("%1 nie jest folderem").arg(QDir::toNativeSeparators(path))};
    // The umask may have taken bits away (or another tool left it open to others): say it exactly.
    if ((st.st_mode & 07777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        throw Failure{systemCause(errno)};
}

// Copies one file byte for byte into a new file of the given mode and puts it on the disk.
void copyFile(const QString &from, const QString &to, mode_t mode)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        throw Failure{QStringLiteral("%1: %2").arg(QFileInfo(from).fileName(), systemCause(errno))};
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        throw Failure{systemCause(err)};
    }
    auto fail = [&](int err) {
        ::close(in);
        ::close(out);
        throw Failure{systemCause(err)};
    };
    if (::fchmod(out, mode) != 0)
        fail(errno);
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(errno);
        if (n == 0)
            break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer.data() + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                fail(errno);
            done += w;
        }
    }
    if (::fsync(out) != 0)
        fail(errno);
    ::close(in);
    if (::close(out) != 0)
        throw Failure{systemCause(errno)};
}

bool sameContents(const QString &a, const QString &b)
{
    QFile fa(a), fb(b);
    if (fa.size() != fb.size() || !fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 chunk = 1 << 20;
    while (!fa.atEnd()) {
        const QByteArray x = fa.read(chunk);
        if (x != fb.read(chunk))
            return false;
    }
    return fb.atEnd();
}

// True when the newest copy holds exactly these files with exactly these bytes.
bool matchesNewestCopy(const QString &directory, const std::vector<Source> &files)
{
    const QStringList all = copies(directory);
    if (all.isEmpty())
        return false;
    const QDir newest(QDir(backupRoot(directory)).filePath(all.last()));
    if (newest.entryList(QDir::Files | QDir::Hidden).size() != qsizetype(files.size()))
        return false;
    for (const Source &f : files)
        if (!sameContents(f.path, newest.filePath(f.name)))
            return false;
    return true;
}

QString freeName(const QDir &root, const QDateTime &now)
{
    const QString base = now.toString(QStringLiteral("yyyy-MM-dd_HHmmss"));
    QString name = base;
    for (int n = 2; QFileInfo::exists(root.filePath(name)); ++n)
        name = QStringLiteral("%1-%2").arg(base).arg(n);
    return name;
}

// Leftovers of a copy that was interrupted (power cut) are never mistaken for a copy.
void removeUnfinished(const QDir &root)
{
    for (const QString &e : root.entryList({QStringLiteral(".*.tmp")}, QDir::Dirs | QDir::Hidden))
        QDir(root.filePath(e)).removeRecursively();
}

// Writes a complete copy under a hidden name and renames it into place, so a copy that exists
// under a dated name is always whole.
QString makeCopy(const QString &directory, const std::vector<Source> &files, const QDateTime &now)
{
    const QString rootPath = backupRoot(directory);
    makePrivateFolder(rootPath);
    const QDir root(rootPath);
    removeUnfinished(root);
    const QString name = freeName(root, now);
    const QString work = root.filePath(QStringLiteral(".%1.tmp").arg(name));
    makePrivateFolder(work);
    try {
        for (const Source &f : files)
            copyFile(f.path, QDir(work).filePath(f.name), 0600);
        syncPath(work);
        const QString final = root.filePath(name);
        if (::rename(QFile::encodeName(work).constData(), QFile::encodeName(final).constData()) != 0)
            throw Failure{systemCause(errno)};
        syncPath(rootPath);
        return final;
    } catch (...) {
        QDir(work).removeRecursively();
        throw;
    }
}

void prune(const QString &directory)
{
    const QStringList all = copies(directory);
    const QDir root(backupRoot(directory));
    for (qsizetype i = 0; i + Keep < all.size(); ++i)
        QDir(root.filePath(all[i])).removeRecursively();
}

QString failureMessage(const QString &directory, const QString &cause)
{
    return QStringLiteral("Nie można zrobić kopii zapasowej danych w folderze %1 (%2). Sprawdź, czy na dysku "
                          "jest wolne miejsce i czy masz prawo zapisu w tym folderze. Program działa dalej, "
                          "ale tym razem bez nowej kopii.")
        .arg(QDir::toNativeSeparators(backupRoot(directory)), cause);
}

Outcome backUp(const QString &directory, const QDateTime &now, bool onlyWhenChanged)
{
    Outcome o;
    try {
        const std::vector<Source> files = ledgerFiles(directory);
        if (files.empty()) {
            o.kind = Outcome::NoTables;
            return o;
        }
        if (onlyWhenChanged && matchesNewestCopy(directory, files)) {
            o.kind = Outcome::Unchanged;
            return o;
        }
        o.folder = makeCopy(directory, files, now);
        o.kind = Outcome::Made;
        prune(directory);
    } catch (const Failure &f) {
        if (o.kind != Outcome::Made) { // a copy that was made stays reported as made
            o.kind = Outcome::Failed;
            o.message = failureMessage(directory, f.cause);
        }
    } catch (const std::exception &e) {
        o.kind = Outcome::Failed;
        o.message = failureMessage(directory, QString::fromLocal8Bit(e.what()));
    }
    return o;
}

} // namespace

Outcome backupIfChanged(const QString &directory, const QDateTime &now)
{
    return backUp(directory, now, true);
}

Outcome backupNow(const QString &directory, const QDateTime &now)
{
    return backUp(directory, now, false);
}

QStringList copies(const QString &directory)
{
    QStringList out;
    for (const QString &e : QDir(backupRoot(directory)).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (copyName().match(e).hasMatch())
            out << e;
    std::sort(out.begin(), out.end(), copyLess);
    return out;
}

QString restore(const QString &directory, const QString &copy, const QDateTime &now)
{
    const QString dir = QDir(directory).absolutePath();
    const QString shownDir = QDir::toNativeSeparators(dir);
    if (!QFileInfo(dir).isDir())
        throw EngineError(
            QStringLiteral("Folder %1 nie istnieje. Podaj folder z danymi programu.").arg(shownDir));
    WorkLock lock;
    if (!lock.acquire(dir))
        throw EngineError(QStringLiteral("Dane w folderze %1 są otwarte w programie Kwotnik. Zamknij program "
                                         "i dopiero wtedy odtwórz kopię; nic nie zostało zmienione.")
                              .arg(shownDir));

    QString from = QDir(backupRoot(dir)).filePath(copy);
    if (!QFileInfo(from).isDir() && QFileInfo(copy).isDir())
        from = QFileInfo(copy).absoluteFilePath();
    if (!QFileInfo(from).isDir())
        throw EngineError(
            QStringLiteral("Nie ma kopii zapasowej %1. Podaj nazwę folderu z %2 (na przykład %3) "
                           "albo ścieżkę do folderu kopii.")
                .arg(copy, QDir::toNativeSeparators(backupRoot(dir)),
                     copies(dir).isEmpty() ? QStringLiteral("2024-03-31_120000") : copies(dir).last()));
    const QString shownCopy = QDir::toNativeSeparators(from);

    // Every table of the copy must be readable before anything is replaced.
    std::vector<Source> incoming;
    for (const QString &table : {ledger::DayFile, ledger::MonthFile, ledger::YearFile}) {
        const QString path = SharedFile::resolve(from, table);
        if (path.isEmpty())
            throw EngineError(
                QStringLiteral("W kopii %1 brakuje pliku %2; nic nie zostało zmienione. Wybierz inną "
                               "kopię.")
                    .arg(shownCopy, table));
        try {
            DbfFile::open(path);
        } catch (const EngineError &e) {
            throw EngineError(
                QStringLiteral("Plik %1 w kopii %2 jest uszkodzony (%3); nic nie zostało zmienione. "
                               "Wybierz inną kopię.")
                    .arg(QFileInfo(path).fileName(), shownCopy, e.message()));
        }
        incoming.push_back({QFileInfo(path).fileName(), path});
    }
    const QString journalName = QString::fromLatin1(Journal::fileName());
    const QFileInfo copiedJournal(QDir(from).filePath(journalName));
    const bool copyHasJournal = copiedJournal.isFile() && copiedJournal.size() > 0;

    QString aside;
    try {
        const std::vector<Source> current = ledgerFiles(dir);
        if (!current.empty())
            aside = makeCopy(dir, current, now);
    } catch (const Failure &f) {
        throw EngineError(
            QStringLiteral("Nie można odłożyć obecnych danych do folderu %1 (%2), więc kopia nie "
                           "została odtworzona; nic nie zostało zmienione. Zwolnij miejsce na "
                           "dysku lub popraw uprawnienia i spróbuj ponownie.")
                .arg(QDir::toNativeSeparators(backupRoot(dir)), f.cause));
    }

    // A journal left here belongs to the tables being replaced: rolled back onto the copy it would
    // damage it. It is in the copy set aside.
    const QString journalHere = QDir(dir).filePath(journalName);
    if (QFileInfo::exists(journalHere) && !copyHasJournal && !QFile::remove(journalHere))
        throw EngineError(QStringLiteral("Nie można usunąć pliku %1 (%2); nic nie zostało zmienione. Popraw "
                                         "uprawnienia i spróbuj ponownie.")
                              .arg(QDir::toNativeSeparators(journalHere), systemCause(errno)));
    if (copyHasJournal)
        incoming.push_back({journalName, copiedJournal.absoluteFilePath()});
    try {
        for (const Source &f : incoming) {
            QString target = SharedFile::resolve(dir, f.name);
            if (target.isEmpty())
                target = QDir(dir).filePath(f.name);
            struct stat st;
            const mode_t mode = ::stat(QFile::encodeName(target).constData(), &st) == 0
                                    ? mode_t(st.st_mode & 0777)
                                    : mode_t(0600);
            const QString temp = QDir(dir).filePath(QStringLiteral(".%1.odtwarzanie").arg(f.name));
            QFile::remove(temp);
            try {
                copyFile(f.path, temp, mode);
                if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0)
                    throw Failure{systemCause(errno)};
            } catch (...) {
                QFile::remove(temp);
                throw;
            }
        }
        syncPath(dir);
    } catch (const Failure &f) {
        throw EngineError(
            QStringLiteral("Odtwarzanie kopii %1 do folderu %2 przerwał błąd (%3). Obecne dane są "
                           "odłożone w %4: odtwórz je tym samym poleceniem, gdy usuniesz przyczynę.")
                .arg(shownCopy, shownDir, f.cause, QDir::toNativeSeparators(aside)));
    }
    return aside;
}

} // namespace kw::backup
