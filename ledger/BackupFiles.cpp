#include "ledger/BackupFiles.h"
#include "ledger/Backup.h"
#include "ledger/DbfFile.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"
#include "ledger/SharedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <fcntl.h>
#include <unistd.h>
#include <zstd.h>

namespace kw::backup::files {

namespace {

constexpr std::size_t Chunk = 1 << 20;
// Fast, and on ledger tables (long runs of blanks and digits) within a few per cent of the
// higher levels' size.
constexpr int CompressionLevel = 1;
const QByteArray ManifestHeader = QByteArrayLiteral("kwotnik-kopia 1");

QByteArray native(const QString &name)
{
    return QFile::encodeName(name);
}

[[noreturn]] void failErrno()
{
    throw Failure{diskio::causeText(errno)};
}

std::size_t readSome(int fd, char *buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0)
            return std::size_t(n);
        if (errno != EINTR)
            failErrno();
    }
}

void writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw Failure{diskio::causeText(n == 0 ? ENOSPC : errno)};
        data += n;
        size -= std::size_t(n);
    }
}

Fd createIn(int folder, const QString &name)
{
    Fd out(::openat(folder, native(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600));
    if (!out)
        failErrno();
    // The umask may have taken bits away; copies are the owner's alone, exactly.
    if (::fchmod(out.get(), 0600) != 0)
        failErrno();
    return out;
}

void finishFile(Fd &out)
{
    if (::fsync(out.get()) != 0)
        failErrno();
    out = Fd();
}

std::uint64_t rotl(std::uint64_t x, int r)
{
    return (x << r) | (x >> (64 - r));
}

std::uint64_t load64(const unsigned char *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

constexpr std::uint64_t K1 = 0x9E3779B97F4A7C15ull; // the golden ratio's fraction
constexpr std::uint64_t K2 = 0xD6E8FEB86659FD93ull;

QString zstdCause(std::size_t code)
{
    return QStringLiteral("błąd kompresji: %1").arg(QString::fromLatin1(ZSTD_getErrorName(code)));
}

// The data file's name for a name found in a copy: the name itself, or the name before ".zst".
QString dataNameOf(const QString &entry)
{
    const QString base = entry.endsWith(QLatin1String(".zst")) ? entry.chopped(4) : entry;
    for (const QString &name : dataFileNames())
        if (base.compare(name, Qt::CaseInsensitive) == 0)
            return name;
    if (base.compare(QString::fromLatin1(Journal::fileName()), Qt::CaseInsensitive) == 0)
        return QString::fromLatin1(Journal::fileName());
    return {};
}

bool isRegularIn(int folder, const QString &name)
{
    struct stat st;
    return ::fstatat(folder, native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

} // namespace

Fd::~Fd()
{
    if (fd_ >= 0)
        ::close(fd_);
}

Fd &Fd::operator=(Fd &&other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

const QStringList &dataFileNames()
{
    static const QStringList names{ledger::DayFile,
                                   ledger::MonthFile,
                                   ledger::YearFile,
                                   QStringLiteral("Operacje.dbf"),
                                   QStringLiteral("Plan.dbf"),
                                   QStringLiteral("Reguly.txt")};
    return names;
}

bool isTableName(const QString &name)
{
    for (const QString &t : {ledger::DayFile, ledger::MonthFile, ledger::YearFile})
        if (name.compare(t, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString symlinkMessage(const QString &path, SymlinkTail tail)
{
    const QString target = QFileInfo(path).symLinkTarget();
    return QStringLiteral(
               "Folder kopii zapasowych %1 jest dowiązaniem symbolicznym%2. Program nie idzie za "
               "dowiązaniami, żeby niczego nie zapisać ani nie usunąć w innym miejscu dysku: zastąp "
               "dowiązanie zwykłym folderem (przenieś do niego kopie). %3")
        .arg(QDir::toNativeSeparators(path),
             target.isEmpty() ? QString()
                              : QStringLiteral(" (prowadzi do %1)").arg(QDir::toNativeSeparators(target)),
             tail == GoesOnWithoutCopy
                 ? QStringLiteral("Program działa dalej, ale tym razem bez nowej kopii.")
                 : QStringLiteral("Nic nie zostało zmienione."));
}

void Checksum::block(const unsigned char *p)
{
    for (int i = 0; i < 4; ++i)
        lanes_[i] = rotl(lanes_[i] + load64(p + 8 * i) * K2, 31) * K1;
}

void Checksum::add(const char *data, std::size_t size)
{
    auto p = reinterpret_cast<const unsigned char *>(data);
    length_ += size;
    if (tailSize_ > 0) {
        const std::size_t take = std::min(size, sizeof tail_ - tailSize_);
        std::memcpy(tail_ + tailSize_, p, take);
        tailSize_ += take;
        p += take;
        size -= take;
        if (tailSize_ < sizeof tail_)
            return;
        block(tail_);
        tailSize_ = 0;
    }
    for (; size >= 32; p += 32, size -= 32)
        block(p);
    std::memcpy(tail_, p, size);
    tailSize_ = size;
}

QString Checksum::hex() const
{
    std::uint64_t h = length_ * K1;
    for (int i = 0; i < 4; ++i)
        h = rotl(h ^ (lanes_[i] * K2), 27 + i) * K1;
    for (std::size_t i = 0; i < tailSize_; ++i)
        h = rotl(h ^ (std::uint64_t(tail_[i]) * K2), 11) * K1;
    // Spread every bit of the lanes over the result.
    h ^= h >> 30;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 27;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 31;
    return QStringLiteral("%1").arg(h, 16, 16, QLatin1Char('0'));
}

QString checksumOfFile(const QString &path)
{
    const Fd in(::open(native(path).constData(), O_RDONLY | O_CLOEXEC));
    if (!in)
        failErrno();
    Checksum sum;
    std::vector<char> buffer(Chunk);
    while (const std::size_t n = readSome(in.get(), buffer.data(), buffer.size()))
        sum.add(buffer.data(), n);
    return sum.hex();
}

const Entry *Manifest::find(const QString &name) const
{
    for (const Entry &e : entries)
        if (e.name == name)
            return &e;
    return nullptr;
}

bool Manifest::read(int folder)
{
    entries.clear();
    const Fd in(::openat(folder, native(ManifestName).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in)
        return false;
    QByteArray text;
    try {
        std::vector<char> buffer(1 << 16);
        while (const std::size_t n = readSome(in.get(), buffer.data(), buffer.size())) {
            text.append(buffer.data(), qsizetype(n));
            if (text.size() > (1 << 20))
                return false;
        }
    } catch (const Failure &) {
        return false;
    }
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.first() != ManifestHeader)
        return false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        const QList<QByteArray> f = lines[i].split('\t');
        if (f.size() != 7)
            return false;
        Entry e;
        e.name = QString::fromUtf8(f[0]);
        e.stored = QString::fromUtf8(f[1]);
        bool ok[3];
        e.size = f[2].toLongLong(&ok[0]);
        e.mtimeNs = f[3].toLongLong(&ok[1]);
        e.inode = f[4].toLongLong(&ok[2]);
        e.checksum = QString::fromLatin1(f[5]);
        e.racy = f[6] == "1";
        // Only names the program writes: a list cannot point anywhere else.
        if (!ok[0] || !ok[1] || !ok[2] || dataNameOf(e.name) != e.name ||
            (e.stored != e.name && e.stored != storedName(e.name)))
            return false;
        entries.push_back(e);
    }
    return true;
}

void Manifest::write(int folder) const
{
    QByteArray text = ManifestHeader + '\n';
    for (const Entry &e : entries)
        text += e.name.toUtf8() + '\t' + e.stored.toUtf8() + '\t' + QByteArray::number(qint64(e.size)) +
                '\t' + QByteArray::number(qint64(e.mtimeNs)) + '\t' + QByteArray::number(qint64(e.inode)) +
                '\t' + e.checksum.toLatin1() + '\t' + (e.racy ? "1" : "0") + '\n';
    Fd out = createIn(folder, ManifestName);
    writeAll(out.get(), text.constData(), std::size_t(text.size()));
    finishFile(out);
}

QStringList entriesOf(int folder)
{
    QStringList out;
    const int fd = ::dup(folder);
    if (fd < 0)
        return out;
    DIR *d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return out;
    }
    ::rewinddir(d);
    while (const dirent *e = ::readdir(d)) {
        const QString name = QFile::decodeName(e->d_name);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            out << name;
    }
    ::closedir(d);
    return out;
}

bool removeCopyFolder(int root, const QString &name)
{
    {
        const Fd folder(
            ::openat(root, native(name).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder)
            return false;
        // The list goes last: a folder cut short still says what it held.
        const QStringList names = entriesOf(folder.get());
        for (const QString &e : names)
            if (e != ManifestName && !dataNameOf(e).isEmpty() && isRegularIn(folder.get(), e))
                ::unlinkat(folder.get(), native(e).constData(), 0);
        if (names.contains(ManifestName) && isRegularIn(folder.get(), ManifestName))
            ::unlinkat(folder.get(), native(ManifestName).constData(), 0);
    }
    // Anything else the folder holds is the user's: the folder then stays, with it.
    return ::unlinkat(root, native(name).constData(), AT_REMOVEDIR) == 0;
}

void clearHidden(int root, const QString &hidden)
{
    if (removeCopyFolder(root, hidden))
        return;
    const QString visible = hidden.mid(1).chopped(4);
    ::renameat2(root, native(hidden).constData(), root, native(visible).constData(), RENAME_NOREPLACE);
}

void retireCopy(int root, const QString &name)
{
    const QString hidden = workName(name);
    if (::renameat2(root, native(name).constData(), root, native(hidden).constData(), RENAME_NOREPLACE) != 0)
        return;
    ::fsync(root);
    clearHidden(root, hidden);
}

bool holdsACopy(int root, const QString &name)
{
    const Fd folder(
        ::openat(root, native(name).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder)
        return false;
    for (const QString &e : entriesOf(folder.get()))
        if ((e == ManifestName || isTableName(dataNameOf(e))) && isRegularIn(folder.get(), e))
            return true;
    return false;
}

bool linkOrCopyStored(int fromFolder, int toFolder, const QString &stored)
{
    if (!isRegularIn(fromFolder, stored))
        return false;
    const QByteArray name = native(stored);
    if (::linkat(fromFolder, name.constData(), toFolder, name.constData(), 0) == 0)
        return true;
    if (errno == EEXIST || errno == ENOSPC || errno == EDQUOT || errno == EIO || errno == EROFS)
        failErrno();
    // No hard links here (or too many of them): the stored bytes are copied instead.
    const Fd in(::openat(fromFolder, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!in)
        return false;
    Fd out = createIn(toFolder, stored);
    std::vector<char> buffer(Chunk);
    while (const std::size_t n = readSome(in.get(), buffer.data(), buffer.size()))
        writeAll(out.get(), buffer.data(), n);
    finishFile(out);
    return true;
}

std::optional<Entry> compressInto(const Source &source, int toFolder)
{
    const Fd in(::open(native(source.path).constData(), O_RDONLY | O_CLOEXEC));
    if (!in)
        throw Failure{QStringLiteral("%1: %2").arg(source.name, diskio::causeText(errno))};
    struct stat before;
    if (::fstat(in.get(), &before) != 0)
        failErrno();

    Entry entry;
    entry.name = source.name;
    entry.stored = storedName(source.name);
    entry.size = before.st_size;
    entry.mtimeNs = nanoseconds(before.st_mtim);
    entry.inode = std::int64_t(before.st_ino);

    Fd out = createIn(toFolder, entry.stored);
    const std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> cctx(ZSTD_createCCtx(), &ZSTD_freeCCtx);
    if (!cctx)
        throw Failure{diskio::causeText(ENOMEM)};
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, CompressionLevel);
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setPledgedSrcSize(cctx.get(), static_cast<unsigned long long>(before.st_size));

    Checksum sum;
    std::vector<char> input(Chunk), output(ZSTD_CStreamOutSize());
    std::int64_t total = 0;
    bool changed = false;
    for (;;) {
        const std::size_t n = readSome(in.get(), input.data(), input.size());
        total += std::int64_t(n);
        if (total > before.st_size) { // grew while read
            changed = true;
            break;
        }
        sum.add(input.data(), n);
        ZSTD_inBuffer inBuf{input.data(), n, 0};
        const ZSTD_EndDirective mode = n == 0 ? ZSTD_e_end : ZSTD_e_continue;
        for (;;) {
            ZSTD_outBuffer outBuf{output.data(), output.size(), 0};
            const std::size_t left = ZSTD_compressStream2(cctx.get(), &outBuf, &inBuf, mode);
            if (ZSTD_isError(left)) {
                // A file that shrank while read does not fill the size the frame announced.
                if (total != before.st_size) {
                    changed = true;
                    break;
                }
                throw Failure{zstdCause(left)};
            }
            writeAll(out.get(), output.data(), outBuf.pos);
            if (mode == ZSTD_e_end ? left == 0 : inBuf.pos == inBuf.size)
                break;
        }
        if (changed || n == 0)
            break;
    }
    if (changed || total != before.st_size)
        return std::nullopt;
    finishFile(out);
    // The file as copied must still be the file as it is: same size, time and inode.
    struct stat after;
    if (::stat(native(source.path).constData(), &after) != 0 || !entry.matches(after))
        return std::nullopt;
    entry.checksum = sum.hex();
    return entry;
}

Staging::Staging(const QString &directory) : directory_(directory)
{
    const QString name = QStringLiteral(".odtwarzanie.tmp");
    path_ = QDir(directory).filePath(name);
    const Fd dir(::open(native(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        removeCopyFolder(dir.get(), name); // left by a restore that was cut short
    if (::mkdir(native(path_).constData(), 0700) != 0)
        throw EngineError(QStringLiteral("Nie można założyć folderu %1 (%2); nic nie zostało zmienione.")
                              .arg(QDir::toNativeSeparators(path_), diskio::causeText(errno)));
}

Staging::~Staging()
{
    const Fd dir(::open(native(directory_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        removeCopyFolder(dir.get(), QFileInfo(path_).fileName());
}

namespace {

// Unpacks one stored file (compressed or plain) into `out`, the checksum taken on the way.
// Returns an empty string when it went well, else what is wrong with the stored file.
QString unpackFile(int in, int out, bool compressed, Checksum &sum, std::int64_t &size)
{
    std::vector<char> input(Chunk), output(ZSTD_DStreamOutSize());
    size = 0;
    if (!compressed) {
        while (const std::size_t n = readSome(in, input.data(), input.size())) {
            sum.add(input.data(), n);
            writeAll(out, input.data(), n);
            size += std::int64_t(n);
        }
        return {};
    }
    const std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> dctx(ZSTD_createDCtx(), &ZSTD_freeDCtx);
    if (!dctx)
        throw Failure{diskio::causeText(ENOMEM)};
    std::size_t last = 1;
    bool any = false;
    while (const std::size_t n = readSome(in, input.data(), input.size())) {
        any = true;
        ZSTD_inBuffer inBuf{input.data(), n, 0};
        // A full output buffer may leave more held inside the decompressor: asked again until not.
        for (bool full = true; inBuf.pos < inBuf.size || full;) {
            ZSTD_outBuffer outBuf{output.data(), output.size(), 0};
            last = ZSTD_decompressStream(dctx.get(), &outBuf, &inBuf);
            if (ZSTD_isError(last))
                return QString::fromLatin1(ZSTD_getErrorName(last));
            sum.add(output.data(), outBuf.pos);
            writeAll(out, output.data(), outBuf.pos);
            size += std::int64_t(outBuf.pos);
            full = outBuf.pos == outBuf.size;
        }
    }
    if (!any || last != 0)
        return QStringLiteral("plik się urywa");
    return {};
}

} // namespace

std::vector<Source> Staging::unpack(const QString &copyFolder)
{
    const QString shownCopy = QDir::toNativeSeparators(copyFolder);
    const Fd from(::open(native(copyFolder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const Fd to(::open(native(path_).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!from || !to)
        throw EngineError(QStringLiteral("Nie można otworzyć folderu %1 (%2); nic nie zostało zmienione.")
                              .arg(shownCopy, diskio::causeText(errno)));
    Manifest manifest;
    const bool listed = manifest.read(from.get());
    const QStringList present = entriesOf(from.get());

    QStringList wanted = dataFileNames();
    wanted << QString::fromLatin1(Journal::fileName());
    std::vector<Source> out;
    for (const QString &name : wanted) {
        // The stored file: the one the list names, else the compressed one, else a plain one
        // (copies made before compression), in any letter case.
        QString stored;
        const Entry *entry = listed ? manifest.find(name) : nullptr;
        if (entry)
            stored = present.contains(entry->stored) ? entry->stored : QString();
        else if (!listed)
            for (const QString &want : {storedName(name), name})
                for (const QString &e : present)
                    if (stored.isEmpty() && e.compare(want, Qt::CaseInsensitive) == 0)
                        stored = e;
        if (stored.isEmpty()) {
            if (entry || isTableName(name))
                throw EngineError(
                    QStringLiteral("W kopii %1 brakuje pliku %2; nic nie zostało zmienione. Wybierz "
                                   "inną kopię.")
                        .arg(shownCopy, entry ? entry->stored : name));
            continue;
        }
        const QString damaged = QStringLiteral(
            "Plik %1 w kopii %2 jest uszkodzony (%3); nic nie zostało zmienione. Wybierz inną kopię.");
        struct stat st;
        if (::fstatat(from.get(), native(stored).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            throw EngineError(damaged.arg(stored, shownCopy, diskio::causeText(errno)));
        if (!S_ISREG(st.st_mode))
            throw EngineError(damaged.arg(stored, shownCopy, QStringLiteral("to nie jest zwykły plik")));
        const Fd in(::openat(from.get(), native(stored).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!in)
            throw EngineError(damaged.arg(stored, shownCopy, diskio::causeText(errno)));
        // The name the file has in the working directory: as the copy spells it.
        const QString target = stored.endsWith(QLatin1String(".zst")) ? stored.chopped(4) : stored;
        Checksum sum;
        std::int64_t size = 0;
        QString fault;
        try {
            Fd outFd = createIn(to.get(), target);
            fault = unpackFile(in.get(), outFd.get(), stored.endsWith(QLatin1String(".zst")), sum, size);
            finishFile(outFd);
        } catch (const Failure &f) {
            throw EngineError(QStringLiteral("Nie można rozpakować pliku %1 z kopii %2 (%3); nic nie zostało "
                                             "zmienione. Zwolnij miejsce na dysku i spróbuj ponownie.")
                                  .arg(stored, shownCopy, f.cause));
        }
        if (fault.isEmpty() && entry && (size != entry->size || sum.hex() != entry->checksum))
            fault = QStringLiteral("treść nie zgadza się z sumą kontrolną zapisaną w kopii");
        if (!fault.isEmpty())
            throw EngineError(damaged.arg(stored, shownCopy, fault));
        out.push_back({target, QDir(path_).filePath(target)});
    }
    return out;
}

QStringList Staging::check(const QString &copyFolder) const
{
    const QString shownCopy = QDir::toNativeSeparators(copyFolder);
    for (const QString &e : QDir(path_).entryList(QDir::Files | QDir::Hidden)) {
        if (!e.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive))
            continue;
        try {
            DbfFile::open(QDir(path_).filePath(e));
        } catch (const EngineError &err) {
            throw EngineError(
                QStringLiteral("Plik %1 w kopii %2 jest uszkodzony (%3); nic nie zostało zmienione. "
                               "Wybierz inną kopię.")
                    .arg(e, shownCopy, err.message()));
        }
    }
    try {
        return ledger::verifyLedger(path_);
    } catch (const EngineError &err) {
        throw EngineError(QStringLiteral("Tabele w kopii %1 są uszkodzone (%2); nic nie zostało zmienione. "
                                         "Wybierz inną kopię.")
                              .arg(shownCopy, err.message()));
    }
}

void Staging::moveInto(const QString &directory, const std::vector<Source> &files) const
{
    for (const Source &f : files) {
        QString target = SharedFile::resolve(directory, f.name);
        if (target.isEmpty())
            target = QDir(directory).filePath(f.name);
        struct stat st;
        const mode_t mode =
            ::stat(native(target).constData(), &st) == 0 ? mode_t(st.st_mode & 0777) : mode_t(0600);
        if (::chmod(native(f.path).constData(), mode) != 0)
            failErrno();
        if (::rename(native(f.path).constData(), native(target).constData()) != 0)
            failErrno();
    }
    if (const int e = diskio::flushDirectory(directory))
        throw Failure{diskio::causeText(e)};
}

} // namespace kw::backup::files
