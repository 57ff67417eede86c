#include "ledger/Backup.h"
#include "ledger/BackupFiles.h"
#include "ledger/DbfFile.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"
#include "ledger/SharedFile.h"
#include "ledger/WorkLock.h"
#include "ledger/WriteGate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace kw::backup {

using namespace files;

namespace {

// Copies taken while the program did not change the ledger; after that many, the next is taken
// with its changes held off.
constexpr int OptimisticAttempts = 3;

std::function<void(int, const QString &)> &copyObserver()
{
    static std::function<void(int, const QString &)> o;
    return o;
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

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The files that make up the ledger as the engine finds them: the data files (names matched
// without regard to case) and the journal of an unfinished change, if one is waiting. Empty when
// none of the three tables is there.
std::vector<Source> ledgerFiles(const QString &directory)
{
    std::vector<Source> out;
    bool anyTable = false;
    for (const QString &name : dataFileNames()) {
        const QString path = SharedFile::resolve(directory, name);
        if (path.isEmpty())
            continue;
        anyTable = anyTable || isTableName(name);
        out.push_back({QFileInfo(path).fileName(), path});
    }
    if (!anyTable)
        return {};
    const QFileInfo journal(QDir(directory).filePath(QString::fromLatin1(Journal::fileName())));
    if (journal.isFile() && journal.size() > 0)
        out.push_back({journal.fileName(), journal.absoluteFilePath()});
    return out;
}

// The copies folder, opened without following a link; made (0700) when `create` and missing.
Fd openRoot(const QString &directory, bool create)
{
    const QString path = backupRoot(directory);
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::lstat(native.constData(), &st) != 0) {
        if (errno != ENOENT || !create)
            throw Failure{diskio::causeText(errno)};
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            throw Failure{diskio::causeText(errno)};
        if (::lstat(native.constData(), &st) != 0)
            throw Failure{diskio::causeText(errno)};
    }
    if (S_ISLNK(st.st_mode))
        throw Failure{{}, symlinkMessage(path, GoesOnWithoutCopy)};
    if (!S_ISDIR(st.st_mode))
        throw Failure{QStringLiteral("%1 nie jest folderem").arg(shown(path))};
    Fd fd(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        throw Failure{errno == ELOOP ? QString() : diskio::causeText(errno),
                      errno == ELOOP ? symlinkMessage(path, GoesOnWithoutCopy) : QString()};
    // The umask may have taken bits away (or another tool left it open to others): say it exactly.
    if ((st.st_mode & 07777) != 0700 && ::fchmod(fd.get(), 0700) != 0)
        throw Failure{diskio::causeText(errno)};
    return fd;
}

QString freeName(int root, const QDateTime &now)
{
    const QString base = now.toString(QStringLiteral("yyyy-MM-dd_HHmmss"));
    QString name = base;
    struct stat st;
    for (int n = 2;
         ::fstatat(root, QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 ||
         ::fstatat(root, QFile::encodeName(workName(name)).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
         ++n)
        name = QStringLiteral("%1-%2").arg(base).arg(n);
    return name;
}

// Leftovers of a copy that was interrupted (power cut) are never mistaken for a copy.
void removeUnfinished(int root)
{
    for (const QString &e : entriesOf(root))
        if (e.startsWith(QLatin1Char('.')) && e.endsWith(QLatin1String(".tmp")))
            clearHidden(root, e);
}

// The newest copy with a list of its files: what a new copy links to and compares with.
struct Previous
{
    QString name;
    Fd fd;
    Manifest manifest;
};
std::optional<Previous> newestWithManifest(int root, const QStringList &all)
{
    if (all.isEmpty())
        return std::nullopt;
    Previous p;
    p.name = all.last();
    p.fd = Fd(::openat(root, QFile::encodeName(p.name).constData(),
                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!p.fd || !p.manifest.read(p.fd.get()))
        return std::nullopt;
    return p;
}

// Whether the file is the one the copy's list describes. Decided by its size, modification time
// and inode; only a file that was written within a clock tick of being copied (the time would not
// show a second write in that tick) is read to compare its checksum.
bool sameAsCopied(const Source &source, const Entry &entry)
{
    struct stat st;
    if (::stat(QFile::encodeName(source.path).constData(), &st) != 0)
        return false;
    if (!entry.matches(st))
        return false;
    if (!entry.racy)
        return true;
    try {
        return checksumOfFile(source.path) == entry.checksum;
    } catch (const Failure &) {
        return false;
    }
}

bool upToDate(const std::optional<Previous> &previous, const std::vector<Source> &sources)
{
    if (!previous || previous->manifest.entries.size() != sources.size())
        return false;
    for (const Source &s : sources) {
        const Entry *e = previous->manifest.find(s.name);
        if (!e || !sameAsCopied(s, *e))
            return false;
    }
    return true;
}

enum class Taken
{
    Whole,
    ChangedMeanwhile
};

// One attempt at a copy into the work folder: each file either linked to the previous copy (when
// unchanged since) or compressed anew, then the list, each on the disk.
Taken takeFiles(int work, const std::vector<Source> &sources, const std::optional<Previous> &previous,
                int attempt)
{
    struct stat folder;
    if (::fstat(work, &folder) != 0)
        throw Failure{diskio::causeText(errno)};
    const std::int64_t copyTime = nanoseconds(folder.st_mtim);
    Manifest made;
    for (const Source &s : sources) {
        const Entry *old = previous ? previous->manifest.find(s.name) : nullptr;
        std::optional<Entry> entry;
        if (old && sameAsCopied(s, *old) && linkOrCopyStored(previous->fd.get(), work, old->stored))
            entry = *old;
        if (!entry) {
            entry = compressInto(s, work);
            if (!entry)
                return Taken::ChangedMeanwhile;
        }
        entry->racy = entry->mtimeNs + RacyWindowNs >= copyTime;
        made.entries.push_back(*entry);
        if (copyObserver())
            copyObserver()(attempt, s.name);
    }
    made.write(work);
    if (::fsync(work) != 0)
        throw Failure{diskio::causeText(errno)};
    return Taken::Whole;
}

// The oldest copies beyond Keep go; a copy's folder that holds anything else stays with it.
void prune(int root, const QString &directory)
{
    const QStringList all = copies(directory);
    for (qsizetype i = 0; i + Keep < all.size(); ++i)
        retireCopy(root, all[i]);
}

// Writes a complete copy under a hidden name and renames it into place, so a copy that exists
// under a dated name is always whole, and holds the files as they were between two changes.
enum class After
{
    Prune,
    KeepAll
};
QString makeCopy(const QString &directory, const std::vector<Source> &files, const QDateTime &now,
                 bool onlyWhenChanged, After after, Outcome &o)
{
    const QString rootPath = backupRoot(directory);
    const Fd root = openRoot(directory, true);
    // One copier at a time in this folder (the program and the companion may both make one).
    if (::flock(root.get(), LOCK_EX) != 0)
        throw Failure{diskio::causeText(errno)};
    removeUnfinished(root.get());
    const std::optional<Previous> previous = newestWithManifest(root.get(), copies(directory));
    if (onlyWhenChanged && upToDate(previous, files)) {
        if (after == After::Prune) // a copy cut short before its pruning is finished now
            prune(root.get(), directory);
        return {};
    }

    const QString name = freeName(root.get(), now);
    const QString work = workName(name);
    const QByteArray workNative = QFile::encodeName(work);
    for (int attempt = 1;; ++attempt) {
        std::optional<writegate::Hold> hold;
        if (attempt > OptimisticAttempts)
            hold.emplace();
        const std::uint64_t point = writegate::quietPoint();
        if (::mkdirat(root.get(), workNative.constData(), 0700) != 0)
            throw Failure{diskio::causeText(errno)};
        Taken taken = Taken::ChangedMeanwhile;
        try {
            const Fd workFd(::openat(root.get(), workNative.constData(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!workFd)
                throw Failure{diskio::causeText(errno)};
            ::fchmod(workFd.get(), 0700);
            taken = takeFiles(workFd.get(), files, previous, attempt);
            o.attempts = attempt;
            if (taken == Taken::Whole && writegate::quietSince(point)) {
                if (::renameat(root.get(), workNative.constData(), root.get(),
                               QFile::encodeName(name).constData()) != 0)
                    throw Failure{diskio::causeText(errno)};
                if (::fsync(root.get()) != 0)
                    throw Failure{diskio::causeText(errno)};
                o.kind = Outcome::Made;
                if (after == After::Prune)
                    prune(root.get(), directory);
                return QDir(rootPath).filePath(name);
            }
        } catch (...) {
            removeCopyFolder(root.get(), work);
            throw;
        }
        removeCopyFolder(root.get(), work);
        // Held off, the program changed nothing: another program is writing the tables.
        if (hold)
            throw Failure{QStringLiteral("inny program zmieniał pliki danych w trakcie kopiowania")};
    }
}

QString failureMessage(const QString &directory, const Failure &f)
{
    if (!f.whole.isEmpty())
        return f.whole;
    return QStringLiteral("Nie można zrobić kopii zapasowej danych w folderze %1 (%2). Sprawdź, czy na dysku "
                          "jest wolne miejsce i czy masz prawo zapisu w tym folderze. Program działa dalej, "
                          "ale tym razem bez nowej kopii.")
        .arg(shown(backupRoot(directory)), f.cause);
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
        o.folder = makeCopy(directory, files, now, onlyWhenChanged, After::Prune, o);
        if (o.folder.isEmpty())
            o.kind = Outcome::Unchanged;
    } catch (const Failure &f) {
        if (o.kind != Outcome::Made) { // a copy that was made stays reported as made
            o.kind = Outcome::Failed;
            o.message = failureMessage(directory, f);
        }
    } catch (const std::exception &e) {
        if (o.kind != Outcome::Made) {
            o.kind = Outcome::Failed;
            o.message = failureMessage(directory, Failure{QString::fromLocal8Bit(e.what())});
        }
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
    const QByteArray native = QFile::encodeName(backupRoot(directory));
    const Fd root(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!root)
        return {};
    QStringList out;
    for (const QString &e : entriesOf(root.get()))
        if (copyName().match(e).hasMatch() && holdsACopy(root.get(), e))
            out << e;
    std::sort(out.begin(), out.end(), copyLess);
    return out;
}

void setCopyObserver(std::function<void(int, const QString &)> observer)
{
    copyObserver() = std::move(observer);
}

QString restore(const QString &directory, const QString &copy, const QDateTime &now,
                const ConfirmDisagreement &confirm)
{
    const QString dir = QDir(directory).absolutePath();
    const QString shownDir = shown(dir);
    if (!QFileInfo(dir).isDir())
        throw EngineError(
            QStringLiteral("Folder %1 nie istnieje. Podaj folder z danymi programu.").arg(shownDir));
    WorkLock lock;
    if (!lock.acquire(dir))
        throw EngineError(QStringLiteral("Dane w folderze %1 są otwarte w programie Kwotnik. Zamknij program "
                                         "i dopiero wtedy odtwórz kopię; nic nie zostało zmienione.")
                              .arg(shownDir));
    const QString root = backupRoot(dir);
    if (QFileInfo(root).isSymLink())
        throw EngineError(symlinkMessage(root, NothingChanged));

    QString from = QDir(root).filePath(copy);
    if (const QFileInfo inRoot(from); !inRoot.exists() && !inRoot.isSymLink() && QFileInfo(copy).isDir())
        from = QFileInfo(copy).absoluteFilePath();
    if (QFileInfo(from).isSymLink())
        throw EngineError(QStringLiteral("%1 jest dowiązaniem symbolicznym; program nie odtwarza kopii przez "
                                         "dowiązania. Podaj sam folder kopii; nic nie zostało zmienione.")
                              .arg(shown(from)));
    if (!QFileInfo(from).isDir())
        throw EngineError(
            QStringLiteral("Nie ma kopii zapasowej %1. Podaj nazwę folderu z %2 (na przykład %3) "
                           "albo ścieżkę do folderu kopii.")
                .arg(copy, shown(root),
                     copies(dir).isEmpty() ? QStringLiteral("2024-03-31_120000") : copies(dir).last()));
    const QString shownCopy = shown(from);

    // Every file of the copy is unpacked and checked beside the data before anything is replaced.
    Staging staging(dir);
    const std::vector<Source> incoming = staging.unpack(from);
    const QStringList problems = staging.check(from);
    if (!problems.isEmpty() && !(confirm && confirm(problems)))
        throw EngineError(
            QStringLiteral("Tabele w kopii %1 nie zgadzają się ze sobą (sprawdzenie znalazło %2 "
                           "różnic); nic nie zostało zmienione. Wybierz inną kopię albo "
                           "potwierdź odtworzenie mimo różnic.")
                .arg(shownCopy)
                .arg(problems.size()));

    QString aside;
    try {
        const std::vector<Source> current = ledgerFiles(dir);
        Outcome unused;
        if (!current.empty())
            aside = makeCopy(dir, current, now, false, After::KeepAll, unused);
    } catch (const Failure &f) {
        throw EngineError(
            QStringLiteral("Nie można odłożyć obecnych danych do folderu %1 (%2), więc kopia nie "
                           "została odtworzona; nic nie zostało zmienione. Zwolnij miejsce na "
                           "dysku lub popraw uprawnienia i spróbuj ponownie.")
                .arg(shown(root), f.whole.isEmpty() ? f.cause : f.whole));
    }

    // A journal left here belongs to the files being replaced: rolled back onto the copy it would
    // damage it. It is in the copy set aside.
    const QString journalName = QString::fromLatin1(Journal::fileName());
    const bool copyHasJournal =
        std::any_of(incoming.begin(), incoming.end(), [&](const Source &s) { return s.name == journalName; });
    const QString journalHere = QDir(dir).filePath(journalName);
    if (QFileInfo::exists(journalHere) && !copyHasJournal && !QFile::remove(journalHere))
        throw EngineError(QStringLiteral("Nie można usunąć pliku %1 (%2); nic nie zostało zmienione. Popraw "
                                         "uprawnienia i spróbuj ponownie.")
                              .arg(shown(journalHere), diskio::causeText(errno)));
    try {
        staging.moveInto(dir, incoming);
    } catch (const Failure &f) {
        throw EngineError(
            QStringLiteral("Odtwarzanie kopii %1 do folderu %2 przerwał błąd (%3). Obecne dane są "
                           "odłożone w %4: odtwórz je tym samym poleceniem, gdy usuniesz przyczynę.")
                .arg(shownCopy, shownDir, f.cause, shown(aside)));
    }
    return aside;
}

namespace {
// The copy runs while the user works: on a busy or small machine it gives way to the program's own
// thread and to other programs, for the processor and for the disk. Only this thread is lowered
// (Linux keeps a nice value and an I/O priority per thread); failing to lower it changes nothing
// else.
void yieldToTheUser()
{
    ::setpriority(PRIO_PROCESS, 0, 10);
    constexpr int IoprioWhoProcess = 1, IoprioClassBestEffort = 2, IoprioClassShift = 13, Lowest = 7;
    ::syscall(SYS_ioprio_set, IoprioWhoProcess, 0, (IoprioClassBestEffort << IoprioClassShift) | Lowest);
}
} // namespace

BackgroundCopy::BackgroundCopy(QObject *parent) : QObject(parent) {}

BackgroundCopy::~BackgroundCopy()
{
    if (thread_.joinable())
        thread_.join();
}

bool BackgroundCopy::start(const QString &directory, const QDateTime &now)
{
    if (running_)
        return false;
    if (thread_.joinable())
        thread_.join();
    running_ = true;
    thread_ = std::thread([this, directory, now] {
        yieldToTheUser();
        Outcome o = backupIfChanged(directory, now);
        outcome_ = o;
        // Told from the event loop of the owner's thread; dropped if the owner is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, o] {
                running_ = false;
                emit finished(o);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void BackgroundCopy::startSoon(const QString &directory, std::chrono::milliseconds delay, const QDateTime &now)
{
    waiting_.emplace(directory, now);
    QTimer::singleShot(delay, this, [this] {
        if (!waiting_)
            return; // begun already by wait()
        const auto [directory, now] = *std::exchange(waiting_, std::nullopt);
        start(directory, now);
    });
}

Outcome BackgroundCopy::wait()
{
    if (waiting_) {
        const auto [directory, now] = *std::exchange(waiting_, std::nullopt);
        start(directory, now);
    }
    if (thread_.joinable())
        thread_.join();
    return outcome_;
}

} // namespace kw::backup
