#include "ledger/Journal.h"
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

void syncDirectory(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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

// Reads the entries that were completely written; a torn last entry was never acted on.
std::vector<Restore> parse(const QByteArray &bytes)
{
    std::vector<Restore> out;
    if (bytes.size() < 8 || std::memcmp(bytes.constData(), kMagic, 8) != 0)
        return out;
    const char *p = bytes.constData() + 8;
    const char *end = bytes.constData() + bytes.size();
    while (p < end) {
        quint32 len = 0, crc = 0;
        if (!take(p, end, len) || !take(p, end, crc) || end - p < std::ptrdiff_t(len))
            break;
        if (crc32(p, len) != crc)
            break;
        const char *q = p;
        const char *qend = p + len;
        p += len;
        Restore r;
        quint16 nameLen = 0;
        quint32 headerLen = 0, beforeLen = 0;
        if (!take(q, qend, r.kind) || !take(q, qend, nameLen) || qend - q < nameLen)
            break;
        r.fileName = QString::fromUtf8(q, nameLen);
        q += nameLen;
        if (!take(q, qend, r.offset) || !take(q, qend, headerLen) || qend - q < std::ptrdiff_t(headerLen))
            break;
        r.header = QByteArray(q, headerLen);
        q += headerLen;
        if (!take(q, qend, beforeLen) || qend - q < std::ptrdiff_t(beforeLen))
            break;
        r.before = QByteArray(q, beforeLen);
        if ((r.kind != 1 && r.kind != 2) || r.fileName.contains(QLatin1Char('/')) || r.offset < 0)
            break;
        out.push_back(std::move(r));
    }
    return out;
}

// Puts the before-images back, newest first, so the oldest image of each place wins.
void applyRestores(const QString &directory, const std::vector<Restore> &entries)
{
    std::vector<std::shared_ptr<SharedFile>> stores;
    std::vector<std::unique_ptr<DbfFile>> owned;
    std::vector<DbfFile *> files;
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
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        DbfFile *f = fileFor(it->fileName);
        if (it->kind == 2) {
            f->truncateTo(it->offset);
            if (!it->before.isEmpty())
                f->restoreBytes(it->offset, it->before);
        } else {
            f->restoreBytes(it->offset, it->before);
        }
        f->restoreBytes(0, it->header);
    }
    for (DbfFile *f : files)
        f->sync();
    for (auto &s : stores)
        s->reloadAfterRestore();
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
    journalPath_ = QDir(directory_).filePath(QString::fromLatin1(Journal::fileName()));
    g_active = this;
    DbfFile::setWriteHook(this);
}

AtomicGroup::~AtomicGroup()
{
    if (nested_ || done_)
        return;
    try {
        rollback();
    } catch (...) {
        // The journal stays on the disk and is rolled back when a table is next opened.
    }
}

bool AtomicGroup::active() { return g_active != nullptr; }

void AtomicGroup::record(DbfFile &file, Entry e)
{
    if (fd_ < 0) {
        fd_ = ::open(QFile::encodeName(journalPath_).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0)
            throw EngineError(QStringLiteral("%1: cannot write the journal (%2)")
                                  .arg(QString::fromLatin1(Journal::fileName()), QString::fromLocal8Bit(std::strerror(errno))));
        if (::write(fd_, kMagic, sizeof kMagic) != ssize_t(sizeof kMagic))
            throw EngineError(QStringLiteral("%1: cannot write the journal").arg(QString::fromLatin1(Journal::fileName())));
        syncDirectory(directory_);
    }
    const QByteArray bytes = serialize(Restore{e.kind, e.fileName, e.offset, e.header, e.before});
    if (::write(fd_, bytes.constData(), std::size_t(bytes.size())) != ssize_t(bytes.size()) || ::fdatasync(fd_) != 0)
        throw EngineError(QStringLiteral("%1: cannot write the journal").arg(QString::fromLatin1(Journal::fileName())));
    entries_.push_back(std::move(e));
    if (std::find(touched_.begin(), touched_.end(), &file) == touched_.end())
        touched_.push_back(&file);
}

void AtomicGroup::beforeRecordWrite(DbfFile &file, std::uint32_t recno)
{
    const std::int64_t offset = file.recordOffset(recno);
    if (!imaged_.insert({file.path(), offset}).second) {
        if (std::find(touched_.begin(), touched_.end(), &file) == touched_.end())
            touched_.push_back(&file);
        return;
    }
    record(file, Entry{1, QFileInfo(file.path()).fileName(), offset, file.readBytes(0, 32),
                       file.readBytes(offset, std::size_t(file.recordLength()))});
}

void AtomicGroup::beforeAppend(DbfFile &file)
{
    const std::int64_t offset = file.recordOffset(file.recordCount());
    const std::int64_t size = file.fileSize();
    imaged_.insert({file.path(), offset}); // the new record needs no image of its own
    record(file, Entry{2, QFileInfo(file.path()).fileName(), offset, file.readBytes(0, 32),
                       file.readBytes(offset, std::size_t(std::max<std::int64_t>(0, size - offset)))});
}

void AtomicGroup::finish()
{
    done_ = true;
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
    // The tables reach the disk before the journal goes; until then a crash rolls them back.
    for (DbfFile *f : touched_)
        f->sync();
    const bool hadJournal = fd_ >= 0;
    finish();
    if (hadJournal)
        ::unlink(QFile::encodeName(journalPath_).constData());
}

void AtomicGroup::rollback()
{
    if (nested_ || done_)
        return;
    const bool hadJournal = fd_ >= 0;
    finish();
    std::vector<Restore> restores;
    for (const Entry &e : entries_)
        restores.push_back(Restore{e.kind, e.fileName, e.offset, e.header, e.before});
    applyRestores(directory_, restores);
    if (hadJournal)
        ::unlink(QFile::encodeName(journalPath_).constData());
}

bool Journal::recover(const QString &directory)
{
    if (AtomicGroup::active())
        return false;
    const QString dir = QDir(directory).absolutePath();
    const QString path = QDir(dir).filePath(QString::fromLatin1(fileName()));
    QFile f(path);
    if (!f.exists())
        return false;
    if (!f.open(QIODevice::ReadOnly))
        throw EngineError(QStringLiteral("%1: cannot read the journal of an unfinished change").arg(QString::fromLatin1(fileName())));
    const std::vector<Restore> entries = parse(f.readAll());
    f.close();
    applyRestores(dir, entries);
    syncDirectory(dir);
    QFile::remove(path);
    return true;
}

} // namespace kw
