#include "ledger/Journal.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/SharedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kw {

namespace {

AtomicGroup *g_active = nullptr;
constexpr char kMagic[8] = {'K', 'W', 'J', 'R', 'N', 'L', '0', '1'};

std::uint32_t crc32(const char *data, std::size_t size)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        c = table[(c ^ std::uint8_t(data[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

template <class T> void put(QByteArray &out, T v)
{
    out.append(reinterpret_cast<const char *>(&v), sizeof v);
}
template <class T> bool take(const char *&p, const char *end, T &v)
{
    if (end - p < std::ptrdiff_t(sizeof v))
        return false;
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return true;
}

QString journalName()
{
    return QString::fromLatin1(Journal::fileName());
}

[[noreturn]] void failJournalWrite(int error)
{
    throw EngineError(
        QStringLiteral("Nie można zapisać pliku %1: %2.").arg(journalName(), diskio::causeText(error)),
        EngineError::Kind::WriteFailed);
}

struct Restore
{
    quint8 kind;
    QString fileName;
    std::int64_t offset;
    QByteArray header;
    QByteArray before;
};

QByteArray serialize(const Restore &e)
{
    QByteArray payload;
    put<quint8>(payload, e.kind);
    const QByteArray name = e.fileName.toUtf8();
    put<quint16>(payload, quint16(name.size()));
    payload.append(name);
    put<std::int64_t>(payload, e.offset);
    put<quint32>(payload, quint32(e.header.size()));
    payload.append(e.header);
    put<quint32>(payload, quint32(e.before.size()));
    payload.append(e.before);
    QByteArray out;
    put<quint32>(out, quint32(payload.size()));
    put<quint32>(out, crc32(payload.constData(), std::size_t(payload.size())));
    out.append(payload);
    return out;
}

struct Parsed
{
    std::vector<Restore> entries;
    int damagedEntry = 0; // 1-based number of the first damaged entry; 0 when none
};

bool allZero(const char *p, const char *end)
{
    return std::all_of(p, end, [](char c) { return c == 0; });
}

// Reads the entries that were completely written. A last entry cut short (or a tail the system
// left zeroed) was never flushed, so the table writes it guards never began: it is ignored. A
// complete entry whose checksum or contents are wrong is damage, reported, never acted on.
Parsed parse(const QByteArray &bytes)
{
    Parsed out;
    if (bytes.size() < 8)
        return out; // not even the magic got to the disk
    if (std::memcmp(bytes.constData(), kMagic, 8) != 0) {
        out.damagedEntry = 1;
        return out;
    }
    const char *p = bytes.constData() + 8;
    const char *end = bytes.constData() + bytes.size();
    while (p < end) {
        if (allZero(p, end))
            break;
        quint32 len = 0, crc = 0;
        if (!take(p, end, len) || !take(p, end, crc) || end - p < std::ptrdiff_t(len))
            break;
        const int number = int(out.entries.size()) + 1;
        if (crc32(p, len) != crc) {
            out.damagedEntry = number;
            return out;
        }
        const char *q = p;
        const char *qend = p + len;
        p += len;
        Restore r;
        quint16 nameLen = 0;
        quint32 headerLen = 0, beforeLen = 0;
        bool ok = take(q, qend, r.kind) && take(q, qend, nameLen) && qend - q >= nameLen;
        if (ok) {
            r.fileName = QString::fromUtf8(q, nameLen);
            q += nameLen;
            ok = take(q, qend, r.offset) && take(q, qend, headerLen) && qend - q >= std::ptrdiff_t(headerLen);
        }
        if (ok) {
            r.header = QByteArray(q, headerLen);
            q += headerLen;
            ok = take(q, qend, beforeLen) && qend - q >= std::ptrdiff_t(beforeLen);
        }
        if (ok) {
            r.before = QByteArray(q, beforeLen);
            ok = (r.kind == 1 || r.kind == 2) && !r.fileName.isEmpty() &&
                 !r.fileName.contains(QLatin1Char('/')) && r.offset >= 0 && r.header.size() == 32;
        }
        if (!ok) {
            out.damagedEntry = number;
            return out;
        }
        out.entries.push_back(std::move(r));
    }
    return out;
}

// Whether the place an entry guards already holds its before-image.
bool holdsImage(const DbfFile &f, const Restore &e)
{
    if (f.readBytes(0, std::size_t(e.header.size())) != e.header)
        return false;
    if (e.kind == 2 && f.fileSize() != e.offset + e.before.size())
        return false;
    return f.readBytes(e.offset, std::size_t(e.before.size())) == e.before;
}

// Puts the before-images back, newest first, so the oldest image of each place wins. A place that
// already holds its image is not written, so a change refused by a read-only table is undone
// without writing to it. Returns the number of places written.
int applyRestores(const QString &directory, const std::vector<Restore> &entries)
{
    std::vector<std::shared_ptr<SharedFile>> stores;
    std::vector<std::unique_ptr<DbfFile>> owned;
    std::vector<DbfFile *> files, written;
    auto fileFor = [&](const QString &name) -> DbfFile * {
        const QString path = QDir(directory).absoluteFilePath(name);
        for (DbfFile *f : files)
            if (f->path() == path)
                return f;
        if (auto s = SharedFile::existing(path)) {
            stores.push_back(s);
            files.push_back(&s->file());
        } else {
            owned.push_back(DbfFile::open(path));
            files.push_back(owned.back().get());
        }
        return files.back();
    };
    int count = 0;
    try {
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            DbfFile *f = fileFor(it->fileName);
            if (holdsImage(*f, *it))
                continue;
            if (std::find(written.begin(), written.end(), f) == written.end())
                written.push_back(f);
            if (it->kind == 2) {
                f->truncateTo(it->offset);
                if (!it->before.isEmpty())
                    f->restoreBytes(it->offset, it->before);
            } else {
                f->restoreBytes(it->offset, it->before);
            }
            f->restoreBytes(0, it->header);
            ++count;
        }
        for (DbfFile *f : written)
            f->sync();
    } catch (...) {
        // The tables show what the disk holds now, whatever the rollback reached.
        for (auto &s : stores)
            s->reloadAfterRestore();
        throw;
    }
    for (auto &s : stores)
        s->reloadAfterRestore();
    return count;
}

QString unfinishedChangeAdvice(const QString &directory)
{
    return QStringLiteral("Plik %1 w katalogu %2 zawiera niedokończoną zmianę tabel, której nie można cofnąć")
        .arg(journalName(), QDir::toNativeSeparators(directory));
}

} // namespace

AtomicGroup::AtomicGroup(const QString &directory)
{
    if (g_active) {
        // A group inside a group joins the outer one: all of it lands together.
        nested_ = true;
        return;
    }
    directory_ = QDir(directory.isEmpty() ? QDir::currentPath() : directory).absolutePath();
    journalPath_ = QDir(directory_).filePath(journalName());
    g_active = this;
    DbfFile::setWriteHook(this);
}

AtomicGroup::~AtomicGroup()
{
    if (nested_ || done_)
        return;
    try {
        rollback();
    } catch (const std::exception &e) {
        // The journal stays on the disk and is rolled back when a table is next opened; a destructor
        // cannot throw, so the cause goes to the log.
        qWarning("%s", e.what());
    } catch (...) {
        qWarning("rollback of an unfinished group failed; the journal is kept for the next open");
    }
}

bool AtomicGroup::active()
{
    return g_active != nullptr;
}

AtomicGroup::Entry AtomicGroup::recordImage(const DbfFile &file, std::uint32_t recno) const
{
    const std::int64_t offset = file.recordOffset(recno);
    return Entry{1, QFileInfo(file.path()).fileName(), offset, file.readBytes(0, 32),
                 file.readBytes(offset, std::size_t(file.recordLength()))};
}

AtomicGroup::Entry AtomicGroup::appendImage(const DbfFile &file) const
{
    const std::int64_t offset = file.recordOffset(file.recordCount());
    const std::int64_t size = file.fileSize();
    return Entry{2, QFileInfo(file.path()).fileName(), offset, file.readBytes(0, 32),
                 file.readBytes(offset, std::size_t(std::max<std::int64_t>(0, size - offset)))};
}

void AtomicGroup::queue(Entry e, std::int64_t offsetKey, const DbfFile &file)
{
    // The record an append creates needs no image of its own: the append's image takes it away.
    if (!imaged_.insert({file.path(), offsetKey}).second)
        return;
    queued_.push_back(std::move(e));
}

void AtomicGroup::expectRecordWrite(const DbfFile &file, std::uint32_t recno)
{
    if (nested_ || done_ || recno >= file.recordCount())
        return;
    queue(recordImage(file, recno), file.recordOffset(recno), file);
}

void AtomicGroup::expectAppend(const DbfFile &file)
{
    if (nested_ || done_)
        return;
    queue(appendImage(file), file.recordOffset(file.recordCount()), file);
}

void AtomicGroup::openJournal()
{
    if (fd_ >= 0)
        return;
    const QByteArray native = QFile::encodeName(journalPath_);
    fd_ = ::open(native.constData(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0 && errno == ENOENT) {
        fd_ = ::open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        // A journal that is on the disk but not in its directory would vanish in a power cut.
        if (fd_ >= 0)
            if (const int e = diskio::flushDirectory(directory_))
                failJournalWrite(e);
    }
    if (fd_ < 0)
        failJournalWrite(errno);
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        failJournalWrite(errno);
    if (st.st_size > 0) {
        // Left by a rollback that failed earlier in this run: that change is taken back first.
        ::close(fd_);
        fd_ = -1;
        g_active = nullptr;
        DbfFile::setWriteHook(nullptr);
        try {
            Journal::recover(directory_);
        } catch (...) {
            g_active = this;
            DbfFile::setWriteHook(this);
            throw;
        }
        g_active = this;
        DbfFile::setWriteHook(this);
        fd_ = ::open(native.constData(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0)
            failJournalWrite(errno);
    }
    journalSize_ = 0;
}

void AtomicGroup::writeQueued()
{
    if (queued_.empty())
        return;
    openJournal();
    QByteArray bytes;
    if (journalSize_ == 0)
        bytes.append(kMagic, sizeof kMagic);
    for (const Entry &e : queued_)
        bytes.append(serialize(Restore{e.kind, e.fileName, e.offset, e.header, e.before}));
    if (const int e = diskio::injectedFault(diskio::Op::Write, journalPath_))
        failJournalWrite(e);
    std::size_t done = 0;
    while (done < std::size_t(bytes.size())) {
        const ssize_t n = ::pwrite(fd_, bytes.constData() + done, std::size_t(bytes.size()) - done,
                                   off_t(journalSize_ + std::int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failJournalWrite(n == 0 ? ENOSPC : errno);
        done += std::size_t(n);
    }
    journalSize_ += bytes.size();
    if (const int e = diskio::flushFile(fd_, journalPath_))
        failJournalWrite(e);
    for (Entry &e : queued_)
        entries_.push_back(std::move(e));
    queued_.clear();
}

void AtomicGroup::beforeRecordWrite(DbfFile &file, std::uint32_t recno)
{
    if (std::find(touched_.begin(), touched_.end(), &file) == touched_.end())
        touched_.push_back(&file);
    const std::int64_t offset = file.recordOffset(recno);
    if (!imaged_.count({file.path(), offset}))
        queue(recordImage(file, recno), offset, file);
    writeQueued();
}

void AtomicGroup::beforeAppend(DbfFile &file)
{
    if (std::find(touched_.begin(), touched_.end(), &file) == touched_.end())
        touched_.push_back(&file);
    const std::int64_t offset = file.recordOffset(file.recordCount());
    if (!imaged_.count({file.path(), offset}))
        queue(appendImage(file), offset, file);
    writeQueued();
}

void AtomicGroup::clearJournal()
{
    if (fd_ < 0)
        return;
    if (const int e = diskio::injectedFault(diskio::Op::Truncate, journalPath_))
        failJournalWrite(e);
    if (::ftruncate(fd_, 0) != 0)
        failJournalWrite(errno);
    journalSize_ = 0;
    diskio::notify(diskio::Event::ClearJournal, journalPath_);
    if (const int e = diskio::flushFile(fd_, journalPath_))
        failJournalWrite(e);
}

void AtomicGroup::finish()
{
    done_ = true;
    queued_.clear();
    if (g_active == this) {
        g_active = nullptr;
        DbfFile::setWriteHook(nullptr);
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void AtomicGroup::commit()
{
    if (nested_ || done_)
        return;
    try {
        // The tables reach the disk before the journal is emptied; until then a crash rolls them back.
        for (DbfFile *f : touched_)
            f->sync();
        clearJournal();
    } catch (const EngineError &e) {
        QString outcome;
        try {
            rollback();
            outcome = msg::NothingStored;
        } catch (const EngineError &r) {
            outcome = QStringLiteral("Nie udało się też cofnąć zmiany (%1); zostanie cofnięta przy następnym "
                                     "otwarciu okresu, gdy pliki znów dadzą się zapisać.")
                          .arg(r.message());
        }
        throw EngineError(e.message() + QLatin1Char(' ') + outcome, EngineError::Kind::WriteFailed);
    }
    committed_ = true;
    finish();
}

void AtomicGroup::rollback()
{
    if (nested_ || done_)
        return;
    const bool hadJournal = fd_ >= 0;
    std::vector<Restore> restores;
    for (const Entry &e : entries_)
        restores.push_back(Restore{e.kind, e.fileName, e.offset, e.header, e.before});
    // The hook goes first: the rollback's own writes are not part of the group.
    if (g_active == this) {
        g_active = nullptr;
        DbfFile::setWriteHook(nullptr);
    }
    try {
        applyRestores(directory_, restores);
    } catch (...) {
        finish();
        throw;
    }
    try {
        if (hadJournal)
            clearJournal();
    } catch (const EngineError &) {
        // The tables hold the images again, so the journal left behind undoes nothing.
    }
    finish();
}

bool Journal::recover(const QString &directory)
{
    if (AtomicGroup::active())
        return false;
    const QString dir = QDir(directory).absolutePath();
    const QString path = QDir(dir).filePath(journalName());
    QFile f(path);
    if (!f.exists() || f.size() == 0)
        return false;
    if (!f.open(QIODevice::ReadOnly))
        throw EngineError(
            QStringLiteral("Nie można odczytać pliku %1 w katalogu %2, który zawiera niedokończoną "
                           "zmianę tabel. Nadaj mu prawo odczytu i otwórz okres ponownie.")
                .arg(journalName(), QDir::toNativeSeparators(dir)));
    const Parsed parsed = parse(f.readAll());
    f.close();
    if (parsed.damagedEntry > 0)
        throw EngineError(
            QStringLiteral(
                "Plik %1 w katalogu %2 jest uszkodzony (wpis nr %3 nie zgadza się ze swoją sumą kontrolną), "
                "więc nie wiadomo, czy ostatnia zmiana tabel się zakończyła. Nic nie zostało cofnięte. "
                "Sprawdź tabele poleceniem „kwotnik-ledger verify”; jeśli sumy się zgadzają, usuń plik %1 "
                "i otwórz okres ponownie.")
                .arg(journalName(), QDir::toNativeSeparators(dir))
                .arg(parsed.damagedEntry));
    int written = 0;
    try {
        written = applyRestores(dir, parsed.entries);
    } catch (const EngineError &e) {
        throw EngineError(
            QStringLiteral("%1: %2 Nadaj plikom tabel w tym katalogu prawo zapisu i otwórz okres "
                           "ponownie; zmiana zostanie wtedy cofnięta.")
                .arg(unfinishedChangeAdvice(dir), e.message()));
    }
    // Emptied only once the tables hold their images on the disk. A journal that cannot be
    // emptied (a read-only directory) is harmless now: its images equal the tables.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (diskio::injectedFault(diskio::Op::Truncate, path) == 0 && ::ftruncate(fd, 0) == 0) {
            diskio::notify(diskio::Event::ClearJournal, path);
            diskio::flushFile(fd, path);
        }
        ::close(fd);
    }
    return written > 0;
}

void Journal::prepare(const QString &directory)
{
    const QString dir = QDir(directory).absolutePath();
    const QByteArray native = QFile::encodeName(QDir(dir).filePath(journalName()));
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return; // there already, or the directory takes no files: the first change will tell
    ::close(fd);
    diskio::flushDirectory(dir);
}

} // namespace kw
