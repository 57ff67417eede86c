#include "ledger/Journal.h"
#include "ledger/Backup.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/LedgerCheck.h"
#include "ledger/SharedFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kw {

// The journal on the disk:
//   header: magic "KWJRNL02", entry count (u32), body length (u32), the directory's device and
//           inode (u64 each), its canonical path (u16 length, UTF-8), CRC-32 of the body followed
//           by the header's bytes before the CRC;
//   body:   the entries, each a tag byte and the name of its file (u16 length, UTF-8), then
//           tag 3, a file:  CRC-32 of its header without date and count, header length, record length
//           tag 1, a write: offset (i64), the file's first 32 bytes before and after, the record
//                           before and after (u32 length, bytes each)
//           tag 2, an append: the same, where "before" is the file's tail from the offset and
//                           "after" the record and the end-of-file mark.
// Numbers are little-endian. Bytes past the body's length are not part of the journal.
struct JournalImage
{
    enum class Kind : quint8
    {
        Write = 1,
        Append = 2,
        File = 3,
    };
    Kind kind = Kind::Write;
    QString file; // its name in the directory
    std::int64_t offset = 0;
    QByteArray headerBefore, headerAfter;
    QByteArray before, after;
    // Kind::File: what the table's layout was when the group first wrote it.
    quint32 layout = 0;
    quint32 headerLength = 0, recordLength = 0;
};

struct AtomicGroup::Entry
{
    JournalImage image;
    const DbfFile *file = nullptr;
    bool made = false; // its write has reached the file
};

namespace {

AtomicGroup *g_active = nullptr;
constexpr char kMagic[8] = {'K', 'W', 'J', 'R', 'N', 'L', '0', '2'};
constexpr int kHeaderImage = 32; // the part of a dBase header a write changes (date, count)
constexpr int kChunk = 512;      // the least a disk writes at once; a torn write tears at these
constexpr char kEndOfFile = 0x1A;

quint32 crcUpdate(quint32 state, const char *data, std::size_t size)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    for (std::size_t i = 0; i < size; ++i)
        state = table[(state ^ std::uint8_t(data[i])) & 0xFF] ^ (state >> 8);
    return state;
}
constexpr quint32 kCrcStart = 0xFFFFFFFFu;
quint32 crcEnd(quint32 state)
{
    return state ^ 0xFFFFFFFFu;
}

template <class T> void put(QByteArray &out, T v)
{
    // Little-endian on the disk whatever the machine.
    for (std::size_t i = 0; i < sizeof v; ++i)
        out.append(char((std::uint64_t(v) >> (8 * i)) & 0xFF));
}
template <class T> bool take(const char *&p, const char *end, T &v)
{
    if (end - p < std::ptrdiff_t(sizeof v))
        return false;
    std::uint64_t x = 0;
    for (std::size_t i = 0; i < sizeof v; ++i)
        x |= std::uint64_t(std::uint8_t(p[i])) << (8 * i);
    v = T(x);
    p += sizeof v;
    return true;
}
void putBytes(QByteArray &out, const QByteArray &b)
{
    put<quint32>(out, quint32(b.size()));
    out.append(b);
}
bool takeBytes(const char *&p, const char *end, QByteArray &b, quint32 limit = 0xFFFFFFFFu)
{
    quint32 n = 0;
    if (!take(p, end, n) || n > limit || end - p < std::ptrdiff_t(n))
        return false;
    b = QByteArray(p, qsizetype(n));
    p += n;
    return true;
}

QString journalName()
{
    return QString::fromLatin1(Journal::fileName());
}

[[noreturn]] void failJournalWrite(int error)
{
    throw EngineError::writeFailed(journalName(), diskio::causeText(error));
}

// What proves a table is still laid out as the group found it: every header byte but the date
// and the record count, and the field descriptors.
quint32 layoutOf(const DbfFile &f)
{
    const QByteArray head = f.readBytes(0, std::size_t(f.headerLength()));
    quint32 c = crcUpdate(kCrcStart, head.constData(), std::min<qsizetype>(1, head.size()));
    if (head.size() > 8)
        c = crcUpdate(c, head.constData() + 8, std::size_t(head.size() - 8));
    return crcEnd(c);
}

// The file's header as a write of it leaves it: today's date, and the records appended counted.
QByteArray headerAfterWrite(QByteArray header, quint32 appended)
{
    if (header.size() < kHeaderImage)
        return header;
    const QDate today = QDate::currentDate();
    header[1] = char(std::clamp(today.year() - 1900, 0, 255));
    header[2] = char(today.month());
    header[3] = char(today.day());
    if (appended > 0) {
        const char *p = header.constData() + 4;
        quint32 count = 0;
        take(p, p + 4, count);
        QByteArray c;
        put<quint32>(c, count + appended);
        header.replace(4, 4, c);
    }
    return header;
}

QByteArray serialize(const JournalImage &e)
{
    QByteArray out;
    put<quint8>(out, quint8(e.kind));
    const QByteArray name = e.file.toUtf8();
    put<quint16>(out, quint16(name.size()));
    out.append(name);
    if (e.kind == JournalImage::Kind::File) {
        put<quint32>(out, e.layout);
        put<quint32>(out, e.headerLength);
        put<quint32>(out, e.recordLength);
        return out;
    }
    put<std::int64_t>(out, e.offset);
    out.append(e.headerBefore);
    out.append(e.headerAfter);
    putBytes(out, e.before);
    putBytes(out, e.after);
    return out;
}

using DirectoryId = JournalDirectory;

DirectoryId directoryId(const QString &dir)
{
    DirectoryId id;
    struct stat st;
    if (::stat(QFile::encodeName(dir).constData(), &st) == 0) {
        id.device = quint64(st.st_dev);
        id.inode = quint64(st.st_ino);
    }
    id.path = QFileInfo(dir).canonicalFilePath();
    if (id.path.isEmpty())
        id.path = QDir(dir).absolutePath();
    return id;
}

// The fixed part of the header up to (not including) its checksum.
QByteArray headerFields(quint32 count, quint32 bodyLength, const DirectoryId &dir)
{
    QByteArray h(kMagic, sizeof kMagic);
    put<quint32>(h, count);
    put<quint32>(h, bodyLength);
    put<quint64>(h, dir.device);
    put<quint64>(h, dir.inode);
    const QByteArray path = dir.path.toUtf8();
    put<quint16>(h, quint16(path.size()));
    h.append(path);
    return h;
}

// The header for a body whose CRC has been carried up to its end (bodyCrc, not yet finished).
QByteArray header(quint32 count, quint32 bodyLength, quint32 bodyCrc, const DirectoryId &dir)
{
    QByteArray h = headerFields(count, bodyLength, dir);
    put<quint32>(h, crcEnd(crcUpdate(bodyCrc, h.constData(), std::size_t(h.size()))));
    return h;
}

struct Parsed
{
    bool ok = false;
    DirectoryId dir;
    std::vector<JournalImage> entries; // the files' marks and the images, in journal order
};

bool parseEntry(const char *&p, const char *end, JournalImage &e)
{
    quint8 kind = 0;
    quint16 nameLength = 0;
    if (!take(p, end, kind) || !take(p, end, nameLength) || end - p < nameLength || nameLength == 0)
        return false;
    e.kind = JournalImage::Kind(kind);
    e.file = QString::fromUtf8(p, nameLength);
    p += nameLength;
    if (e.file.contains(QLatin1Char('/')) || e.file == QLatin1String("..") || e.file == QLatin1String("."))
        return false;
    if (e.kind == JournalImage::Kind::File)
        return take(p, end, e.layout) && take(p, end, e.headerLength) && take(p, end, e.recordLength);
    if (e.kind != JournalImage::Kind::Write && e.kind != JournalImage::Kind::Append)
        return false;
    if (!take(p, end, e.offset) || e.offset < kHeaderImage || end - p < 2 * kHeaderImage)
        return false;
    e.headerBefore = QByteArray(p, kHeaderImage);
    e.headerAfter = QByteArray(p + kHeaderImage, kHeaderImage);
    p += 2 * kHeaderImage;
    return takeBytes(p, end, e.before) && takeBytes(p, end, e.after) && !e.after.isEmpty() &&
           (e.kind == JournalImage::Kind::Append || e.before.size() == e.after.size());
}

// The journal whole, or nothing: a header that checks, and exactly the entries it counts.
Parsed parse(const QByteArray &bytes)
{
    Parsed out;
    const char *p = bytes.constData();
    const char *end = p + bytes.size();
    if (bytes.size() < qsizetype(sizeof kMagic) || std::memcmp(p, kMagic, sizeof kMagic) != 0)
        return out;
    p += sizeof kMagic;
    quint32 count = 0, bodyLength = 0, crc = 0;
    quint16 pathLength = 0;
    if (!take(p, end, count) || !take(p, end, bodyLength) || !take(p, end, out.dir.device) ||
        !take(p, end, out.dir.inode) || !take(p, end, pathLength) || end - p < pathLength)
        return out;
    out.dir.path = QString::fromUtf8(p, pathLength);
    p += pathLength;
    const std::size_t fieldsLength = std::size_t(p - bytes.constData());
    if (!take(p, end, crc) || std::uint64_t(end - p) < bodyLength)
        return out;
    const char *body = p;
    const quint32 actual =
        crcEnd(crcUpdate(crcUpdate(kCrcStart, body, bodyLength), bytes.constData(), fieldsLength));
    if (actual != crc)
        return out;
    const char *bodyEnd = body + bodyLength;
    for (quint32 i = 0; i < count; ++i) {
        JournalImage e;
        if (!parseEntry(p, bodyEnd, e))
            return out;
        out.entries.push_back(std::move(e));
    }
    out.ok = p == bodyEnd;
    return out;
}

bool allZero(const QByteArray &b)
{
    return std::all_of(b.begin(), b.end(), [](char c) { return c == 0; });
}

// Whether the bytes at a place are what one write left there: its before-image, its after-image,
// or, where the system tore the write, each disk chunk from one or the other. Only the bytes
// there are compared; a candidate shorter than them cannot have left them.
bool leftBy(const QByteArray &now, std::int64_t at, const QByteArray &before, const QByteArray &after)
{
    for (qsizetype i = 0; i < now.size();) {
        const qsizetype next =
            std::min<qsizetype>(now.size(), qsizetype((at + i) / kChunk + 1) * kChunk - at);
        const qsizetype n = next - i;
        auto same = [&](const QByteArray &c) {
            return c.size() >= next &&
                   std::memcmp(now.constData() + i, c.constData() + i, std::size_t(n)) == 0;
        };
        if (!same(before) && !same(after))
            return false;
        i = next;
    }
    return true;
}

bool sameBesidesDate(const QByteArray &a, const QByteArray &b)
{
    return a.size() == b.size() && a.size() >= 4 && a.at(0) == b.at(0) &&
           std::memcmp(a.constData() + 4, b.constData() + 4, std::size_t(a.size() - 4)) == 0;
}

// How one file is put back: the oldest before-image of each place, the appended part cut off and
// its old tail written again, and the header as it was.
struct FilePlan
{
    QString name;
    std::vector<const JournalImage *> images; // in journal order
    const JournalImage *mark = nullptr;
};

struct Step
{
    std::int64_t offset;
    QByteArray bytes;
    std::int64_t truncateTo = -1; // an append: cut here first
};

// The writes that put one file back as it was before the group. When `check` is set, every place
// the group wrote must hold what the group found or wrote there (an outside change, a pack, a copy
// put back by hand all fail it); a failing file yields false and no steps.
bool planFile(const DbfFile &f, const FilePlan &plan, bool check, std::vector<Step> &steps)
{
    steps.clear();
    const std::int64_t size = f.fileSize();
    const qsizetype length = f.recordLength();
    if (check && plan.mark &&
        (quint32(f.headerLength()) != plan.mark->headerLength || quint32(length) != plan.mark->recordLength ||
         layoutOf(f) != plan.mark->layout))
        return false;
    // Every record slot the group wrote, with what each of its writes found there and left there,
    // oldest first. An append of several records fills several places.
    std::map<std::int64_t, std::vector<std::pair<QByteArray, QByteArray>>> places;
    const JournalImage *firstAppend = nullptr;
    std::int64_t appendEnd = 0;
    for (const JournalImage *e : plan.images) {
        if (e->kind == JournalImage::Kind::Write) {
            places[e->offset].emplace_back(e->before, e->after);
            continue;
        }
        if (!firstAppend)
            firstAppend = e;
        appendEnd = std::max<std::int64_t>(appendEnd, e->offset + e->after.size());
        for (qsizetype at = 0; at + length < e->after.size(); at += length)
            places[e->offset + at].emplace_back(e->before.mid(at, length), e->after.mid(at, length));
    }
    const std::int64_t appendAt = firstAppend ? firstAppend->offset : -1;
    if (check) {
        const QByteArray head = f.readBytes(0, kHeaderImage);
        const bool headerKnown =
            std::any_of(plan.images.begin(), plan.images.end(), [&](const JournalImage *e) {
                return sameBesidesDate(head, e->headerBefore) || sameBesidesDate(head, e->headerAfter);
            });
        if (!headerKnown)
            return false;
        bool appendsMade = false;
        if (firstAppend) {
            const QByteArray &tail = firstAppend->before;
            if (size < appendAt || size > std::max<std::int64_t>(appendEnd, appendAt + tail.size()))
                return false;
            appendsMade =
                size != appendAt + tail.size() || f.readBytes(appendAt, std::size_t(tail.size())) != tail;
        }
        std::int64_t recordsEnd = appendAt;
        for (const auto &[offset, writes] : places) {
            const bool appended = firstAppend && offset >= appendAt;
            if (appended && (!appendsMade || offset >= size))
                continue; // that append never reached the file
            const std::int64_t want = appended ? std::min<std::int64_t>(length, size - offset) : length;
            const QByteArray now = f.readBytes(offset, std::size_t(want));
            if (now.size() != want)
                return false; // the file is shorter than the group left it
            if (!std::any_of(writes.begin(), writes.end(),
                             [&](const auto &w) { return leftBy(now, offset, w.first, w.second); }))
                return false;
            if (appended)
                recordsEnd = std::max<std::int64_t>(recordsEnd, offset + length);
        }
        // Past the last appended record there is at most the end-of-file mark.
        if (appendsMade && size > recordsEnd &&
            (size != recordsEnd + 1 || f.readBytes(recordsEnd, 1) != QByteArray(1, kEndOfFile)))
            return false;
    }
    // The header goes back first: its old record count never exceeds the records still there, so a
    // rollback cut short leaves a table that opens, and the next start takes it up again.
    const QByteArray &oldHeader = plan.images.front()->headerBefore;
    if (f.readBytes(0, kHeaderImage) != oldHeader)
        steps.push_back({0, oldHeader});
    for (const auto &[offset, writes] : places) {
        if (firstAppend && offset >= appendAt)
            continue;
        const QByteArray &before = writes.front().first;
        if (f.readBytes(offset, std::size_t(before.size())) != before)
            steps.push_back({offset, before});
    }
    if (firstAppend &&
        (size != appendAt + firstAppend->before.size() ||
         f.readBytes(appendAt, std::size_t(firstAppend->before.size())) != firstAppend->before))
        steps.push_back({appendAt, firstAppend->before, appendAt});
    return true;
}

std::vector<FilePlan> plansOf(const std::vector<JournalImage> &entries)
{
    std::vector<FilePlan> plans;
    auto planFor = [&](const QString &name) -> FilePlan & {
        for (FilePlan &p : plans)
            if (p.name == name)
                return p;
        plans.push_back(FilePlan{name, {}, nullptr});
        return plans.back();
    };
    for (const JournalImage &e : entries) {
        FilePlan &p = planFor(e.file);
        if (e.kind == JournalImage::Kind::File)
            p.mark = p.mark ? p.mark : &e;
        else
            p.images.push_back(&e);
    }
    plans.erase(
        std::remove_if(plans.begin(), plans.end(), [](const FilePlan &p) { return p.images.empty(); }),
        plans.end());
    return plans;
}

// The tables of a directory as the rollback reaches them: through the store the program has open
// on the file, so every table on it sees the rollback, or opened for the purpose.
class Files
{
public:
    explicit Files(QString directory) : directory_(std::move(directory)) {}
    ~Files()
    {
        for (auto &s : stores_)
            s->reloadAfterRestore();
    }
    // Null when the file is not there.
    DbfFile *get(const QString &name)
    {
        QString path = QDir(directory_).absoluteFilePath(name);
        if (!QFileInfo::exists(path))
            path = SharedFile::resolve(directory_, name);
        if (path.isEmpty())
            return nullptr;
        for (DbfFile *f : files_)
            if (f->path() == path)
                return f;
        if (auto s = SharedFile::existing(path)) {
            stores_.push_back(s);
            files_.push_back(&s->file());
        } else {
            owned_.push_back(DbfFile::open(path));
            files_.push_back(owned_.back().get());
        }
        return files_.back();
    }

private:
    QString directory_;
    std::vector<std::shared_ptr<SharedFile>> stores_;
    std::vector<std::unique_ptr<DbfFile>> owned_;
    std::vector<DbfFile *> files_;
};

// Writes the steps newest place last; returns the files written.
QStringList applyPlans(Files &files, const std::vector<FilePlan> &plans,
                       const std::vector<std::vector<Step>> &steps)
{
    QStringList written;
    std::vector<DbfFile *> toSync;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        if (steps[i].empty())
            continue;
        DbfFile *f = files.get(plans[i].name);
        for (const Step &s : steps[i]) {
            if (s.truncateTo >= 0)
                f->truncateTo(s.truncateTo);
            if (!s.bytes.isEmpty())
                f->restoreBytes(s.offset, s.bytes);
        }
        toSync.push_back(f);
        written << f->displayName();
    }
    for (DbfFile *f : toSync)
        f->sync();
    return written;
}

QString unfinishedChangeAdvice(const QString &directory)
{
    return QStringLiteral("Plik %1 w katalogu %2 zawiera niedokończoną zmianę tabel, której nie można cofnąć")
        .arg(journalName(), QDir::toNativeSeparators(directory));
}

void emptyJournalFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (diskio::injectedFault(diskio::Op::Truncate, path) == 0 && ::ftruncate(fd, 0) == 0) {
        diskio::notify(diskio::Event::ClearJournal, path);
        diskio::flushFile(fd, path);
    }
    ::close(fd);
}

} // namespace

AtomicGroup::AtomicGroup(const QString &directory)
{
    directory_ = QDir(directory.isEmpty() ? QDir::currentPath() : directory).absolutePath();
    journalDir_ = directoryId(directory_);
    canonicalDirectory_ = journalDir_.path;
    if (g_active) {
        // A group inside a group joins the outer one, so all of it lands together; only a group
        // of the same directory can.
        if (g_active->canonicalDirectory_ != canonicalDirectory_)
            throw EngineError(
                EngineError::Kind::Refused, QString(),
                QStringLiteral("Program nie zacznie zmiany tabel w katalogu %1, dopóki trwa zmiana "
                               "tabel w katalogu %2.")
                    .arg(QDir::toNativeSeparators(directory_),
                         QDir::toNativeSeparators(g_active->directory_)),
                EngineError::Outcome::NothingStored);
        outer_ = g_active;
        return;
    }
    journalPath_ = QDir(directory_).filePath(journalName());
    g_active = this;
    DbfFile::setWriteHook(this);
}

AtomicGroup::~AtomicGroup()
{
    if (outer_ || done_)
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

const QString &AtomicGroup::directory() const
{
    return directory_;
}

void AtomicGroup::admit(const DbfFile &file)
{
    if (std::find(admitted_.begin(), admitted_.end(), &file) != admitted_.end())
        return;
    const QString dir = QFileInfo(file.path()).absolutePath();
    if (directoryId(dir).path != canonicalDirectory_)
        throw EngineError(
            EngineError::Kind::Refused, file.displayName(),
            QStringLiteral("Program nie zapisze pliku %1 z katalogu %2: trwa zmiana tabel w katalogu "
                           "%3, a jedna zmiana obejmuje tylko pliki swojego katalogu.")
                .arg(file.displayName(), QDir::toNativeSeparators(dir), QDir::toNativeSeparators(directory_)),
            EngineError::Outcome::NothingStored);
    admitted_.push_back(&file);
}

void AtomicGroup::tell(Told t)
{
    if (outer_) {
        outer_->tell(std::move(t));
        return;
    }
    if (done_)
        return;
    admit(*t.file);
    told_.push_back(std::move(t));
}

void AtomicGroup::expectRecordWrite(const DbfFile &file, std::uint32_t recno, const QByteArray &after)
{
    tell({&file, false, recno, [after] { return after; }});
}

void AtomicGroup::expectRecordWrite(const DbfFile &file, std::uint32_t recno, AfterImage after)
{
    tell({&file, false, recno, std::move(after)});
}

void AtomicGroup::expectAppend(const DbfFile &file, const QByteArray &after)
{
    tell({&file, true, 0, [after] { return after; }});
}

void AtomicGroup::expectAppend(const DbfFile &file, AfterImage after)
{
    tell({&file, true, 0, std::move(after)});
}

int AtomicGroup::latestAt(const DbfFile *file, std::int64_t offset) const
{
    const auto it = places_.find({file, offset});
    return it == places_.end() ? -1 : it->second.back();
}

void AtomicGroup::addEntry(Entry e)
{
    const int index = int(entries_.size());
    if (e.image.kind != JournalImage::Kind::File)
        places_[{e.file, e.image.offset}].push_back(index);
    entries_.push_back(std::move(e));
}

// The image of a write or an append the group is about to make, worked out from what the journal
// already holds (an earlier write of the same place, appends not yet made) and from the disk.
AtomicGroup::Entry AtomicGroup::image(const DbfFile &f, bool append, std::uint32_t recno,
                                      const QByteArray &record) const
{
    Entry e;
    e.file = &f;
    JournalImage &i = e.image;
    i.kind = append ? JournalImage::Kind::Append : JournalImage::Kind::Write;
    i.file = f.displayName();
    const qsizetype length = f.recordLength();
    int lastOfFile = -1;
    std::uint32_t pendingRecords = 0; // appended by appends not yet made
    for (int k = int(entries_.size()) - 1; k >= 0; --k) {
        const Entry &o = entries_[std::size_t(k)];
        if (o.file != &f || o.image.kind == JournalImage::Kind::File)
            continue;
        if (lastOfFile < 0)
            lastOfFile = k;
        if (o.image.kind == JournalImage::Kind::Append && !o.made)
            pendingRecords += std::uint32_t((o.image.after.size() - 1) / length);
    }
    i.headerBefore =
        lastOfFile >= 0 ? entries_[std::size_t(lastOfFile)].image.headerAfter : f.readBytes(0, kHeaderImage);
    i.headerAfter = headerAfterWrite(i.headerBefore, append ? quint32(record.size() / length) : 0);
    if (append) {
        i.offset = f.recordOffset(f.recordCount() + pendingRecords);
        // An append not yet made leaves its end-of-file mark where the next one starts.
        i.before =
            pendingRecords > 0
                ? QByteArray(1, kEndOfFile)
                : f.readBytes(i.offset, std::size_t(std::max<std::int64_t>(0, f.fileSize() - i.offset)));
        i.after = record + QByteArray(1, kEndOfFile);
    } else {
        i.offset = f.recordOffset(recno);
        const int earlier = latestAt(&f, i.offset);
        i.before = earlier >= 0 ? entries_[std::size_t(earlier)].image.after.left(f.recordLength())
                                : f.readBytes(i.offset, std::size_t(f.recordLength()));
        i.after = record;
    }
    return e;
}

// Every write told of, into the journal in one write and one flush.
void AtomicGroup::journalTold()
{
    if (told_.empty())
        return;
    std::vector<Told> told;
    told.swap(told_);
    const std::size_t first = entries_.size();
    try {
        for (const Told &t : told) {
            const QByteArray after = t.after ? t.after() : QByteArray();
            const qsizetype length = t.file->recordLength();
            if (after.isEmpty() || (t.append ? after.size() % length != 0 : after.size() != length))
                continue; // not known yet: journalled on its own when it is written
            Entry e = image(*t.file, t.append, t.recno, after);
            markFile(*t.file);
            addEntry(std::move(e));
        }
        journalFrom(first);
    } catch (...) {
        forgetFrom(first);
        throw;
    }
}

void AtomicGroup::markFile(const DbfFile &f)
{
    for (const Entry &e : entries_)
        if (e.file == &f)
            return;
    Entry m;
    m.file = &f;
    m.image.kind = JournalImage::Kind::File;
    m.image.file = f.displayName();
    m.image.layout = layoutOf(f);
    m.image.headerLength = quint32(f.headerLength());
    m.image.recordLength = quint32(f.recordLength());
    addEntry(std::move(m));
}

void AtomicGroup::forgetFrom(std::size_t first)
{
    entries_.resize(first);
    places_.clear();
    for (std::size_t k = 0; k < entries_.size(); ++k)
        if (entries_[k].image.kind != JournalImage::Kind::File)
            places_[{entries_[k].file, entries_[k].image.offset}].push_back(int(k));
}

// Puts the entries from `first` on into the journal and the journal on the disk. The first write
// of a group is the header and the entries in one go; a later one adds its entries, flushes them,
// and only then lets the header count them, so a crash in between leaves the journal as it was.
void AtomicGroup::journalFrom(std::size_t first)
{
    if (first == entries_.size())
        return;
    openJournal();
    QByteArray added;
    for (std::size_t k = first; k < entries_.size(); ++k)
        added.append(serialize(entries_[k].image));
    const quint32 count = quint32(entries_.size());
    const quint32 crc = crcUpdate(bodyCrc_, added.constData(), std::size_t(added.size()));
    const quint32 length = quint32(body_.size() + added.size());
    const QByteArray head = header(count, length, crc, journalDir_);
    if (body_.isEmpty()) {
        writeJournalBytes(head + added, 0);
    } else {
        writeJournalBytes(added, head.size() + body_.size());
        if (const int e = diskio::flushFile(fd_, journalPath_))
            failJournalWrite(e);
        writeJournalBytes(head, 0);
    }
    if (const int e = diskio::flushFile(fd_, journalPath_))
        failJournalWrite(e);
    body_.append(added);
    bodyCrc_ = crc;
}

void AtomicGroup::openJournal()
{
    if (fd_ >= 0)
        return;
    const QByteArray native = QFile::encodeName(journalPath_);
    fd_ = ::open(native.constData(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0 && errno == ENOENT) {
        fd_ = ::open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        // A journal that is on the disk but not in its directory would vanish in a power cut.
        if (fd_ >= 0)
            if (const int e = diskio::flushDirectory(directory_))
                failJournalWrite(e);
    }
    if (fd_ < 0)
        failJournalWrite(errno);
    // A household's changes are as private as its tables, whatever the umask or an older file said.
    ::fchmod(fd_, 0600);
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
            Journal::recoverBeforeUse(directory_);
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
    body_.clear();
    bodyCrc_ = kCrcStart;
}

void AtomicGroup::writeJournalBytes(const QByteArray &bytes, std::int64_t at)
{
    if (const int e = diskio::injectedFault(diskio::Op::Write, journalPath_))
        failJournalWrite(e);
    std::size_t done = 0;
    while (done < std::size_t(bytes.size())) {
        const ssize_t n = ::pwrite(fd_, bytes.constData() + done, std::size_t(bytes.size()) - done,
                                   off_t(at + std::int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failJournalWrite(n == 0 ? ENOSPC : errno);
        done += std::size_t(n);
    }
}

// The journal written whole again and flushed, after the commit's emptying of it may not have
// reached the disk: the change can then be taken back for certain.
void AtomicGroup::rewriteJournal()
{
    if (fd_ < 0 || body_.isEmpty())
        return;
    writeJournalBytes(header(quint32(entries_.size()), quint32(body_.size()), bodyCrc_, journalDir_) + body_,
                      0);
    if (const int e = diskio::flushFile(fd_, journalPath_))
        failJournalWrite(e);
}

// Whether the journal already holds this write, as the next of its kind at this place: the same
// bytes after, and the place holding the bytes before.
int AtomicGroup::covering(const DbfFile &file, bool append, std::int64_t offset, const QByteArray &after)
{
    const auto it = places_.find({&file, offset});
    if (it == places_.end())
        return -1;
    const auto kind = append ? JournalImage::Kind::Append : JournalImage::Kind::Write;
    QByteArray now;
    bool read = false;
    for (int k : it->second) {
        const Entry &e = entries_[std::size_t(k)];
        if (e.made || e.image.kind != kind || e.image.after != after)
            continue;
        if (!read) {
            const std::int64_t length =
                append ? std::max<std::int64_t>(0, file.fileSize() - offset) : file.recordLength();
            now = file.readBytes(offset, std::size_t(length));
            read = true;
        }
        if (e.image.before == now)
            return k;
    }
    return -1;
}

void AtomicGroup::beforeWrite(DbfFile &file, bool append, std::uint32_t recno, const char *record,
                              std::uint32_t records)
{
    admit(file);
    if (std::find(touched_.begin(), touched_.end(), &file) == touched_.end())
        touched_.push_back(&file);
    journalTold();
    const QByteArray bytes(record, qsizetype(file.recordLength()) * records);
    const std::int64_t offset = file.recordOffset(append ? file.recordCount() : recno);
    int k = covering(file, append, offset, append ? bytes + QByteArray(1, kEndOfFile) : bytes);
    if (k < 0) {
        // Not told of, or told other bytes: journalled on its own before it is made.
        const std::size_t first = entries_.size();
        try {
            Entry e = image(file, append, recno, bytes);
            markFile(file);
            addEntry(std::move(e));
            journalFrom(first);
        } catch (...) {
            forgetFrom(first);
            throw;
        }
        k = int(entries_.size()) - 1;
    }
    entries_[std::size_t(k)].made = true;
}

void AtomicGroup::beforeRecordWrite(DbfFile &file, std::uint32_t recno, const char *after)
{
    beforeWrite(file, false, recno, after, 1);
}

void AtomicGroup::beforeAppend(DbfFile &file, const char *after, std::uint32_t count)
{
    beforeWrite(file, true, 0, after, count);
}

void AtomicGroup::clearJournal()
{
    if (fd_ < 0)
        return;
    if (const int e = diskio::injectedFault(diskio::Op::Truncate, journalPath_))
        failJournalWrite(e);
    if (::ftruncate(fd_, 0) != 0)
        failJournalWrite(errno);
    diskio::notify(diskio::Event::ClearJournal, journalPath_);
    flushClearedJournal();
}

void AtomicGroup::flushClearedJournal()
{
    if (const int e = diskio::flushFile(fd_, journalPath_))
        failJournalWrite(e);
}

void AtomicGroup::finish()
{
    done_ = true;
    told_.clear();
    if (g_active == this) {
        g_active = nullptr;
        DbfFile::setWriteHook(nullptr);
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void AtomicGroup::abandon(const EngineError &cause)
{
    if (outer_ || done_)
        throw cause; // the outer group, or the failed commit, says what became of the change
    try {
        rollback();
    } catch (const EngineError &r) {
        throw cause.withOutcome(EngineError::Outcome::UndoPending, r.message());
    }
    // A write the system or the program refused interrupted the change: none of it stayed.
    const bool refusedWrite =
        cause.kind() == EngineError::Kind::WriteFailed || cause.kind() == EngineError::Kind::Refused;
    if (refusedWrite && cause.outcome() == EngineError::Outcome::NotSaid)
        throw cause.withOutcome(EngineError::Outcome::NothingStored);
    throw cause;
}

void AtomicGroup::failAfterRollback(const EngineError &cause)
{
    try {
        rollback();
    } catch (const EngineError &r) {
        // The journal is whole on the disk: the next open takes the change back.
        throw cause.withOutcome(EngineError::Outcome::UndoPending, r.message());
    }
    throw cause.withOutcome(EngineError::Outcome::NothingStored);
}

void AtomicGroup::commit()
{
    if (outer_ || done_)
        return;
    try {
        // The tables reach the disk before the journal is emptied; until then a crash rolls them back.
        for (DbfFile *f : touched_)
            f->sync();
        if (fd_ >= 0) {
            if (const int e = diskio::injectedFault(diskio::Op::Truncate, journalPath_))
                failJournalWrite(e);
            if (::ftruncate(fd_, 0) != 0)
                failJournalWrite(errno);
        }
    } catch (const EngineError &e) {
        // The journal is whole on the disk: rolled back now, or at the next open.
        failAfterRollback(e);
    }
    if (fd_ >= 0) {
        diskio::notify(diskio::Event::ClearJournal, journalPath_);
        try {
            flushClearedJournal();
        } catch (const EngineError &e) {
            // Whether the emptied journal reached the disk is not known, so neither is whether a
            // start after a power cut would take the change back. Written whole again, the journal
            // lets the change be taken back for certain; if even that fails, the truth is "not known".
            try {
                rewriteJournal();
            } catch (const EngineError &) {
                finish();
                throw e.withOutcome(EngineError::Outcome::NotKnown);
            }
            failAfterRollback(e);
        }
    }
    committed_ = true;
    finish();
}

void AtomicGroup::rollback()
{
    if (outer_ || done_)
        return;
    const bool hadJournal = fd_ >= 0;
    // The hook goes first: the rollback's own writes are not part of the group.
    if (g_active == this) {
        g_active = nullptr;
        DbfFile::setWriteHook(nullptr);
    }
    std::vector<JournalImage> images;
    for (const Entry &e : entries_)
        images.push_back(e.image);
    try {
        Files files(directory_);
        const std::vector<FilePlan> plans = plansOf(images);
        std::vector<std::vector<Step>> steps(plans.size());
        for (std::size_t i = 0; i < plans.size(); ++i) {
            // The group knows what it wrote: its own rollback checks nothing.
            if (DbfFile *f = files.get(plans[i].name))
                planFile(*f, plans[i], false, steps[i]);
        }
        applyPlans(files, plans, steps);
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

namespace {

QString setAsideName(const QString &dir)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HHmmss"));
    QString name = QStringLiteral("Kwotnik-odlozony-%1.jrn").arg(stamp);
    for (int n = 2; QFileInfo::exists(QDir(dir).filePath(name)); ++n)
        name = QStringLiteral("Kwotnik-odlozony-%1-%2.jrn").arg(stamp).arg(n);
    return QDir(dir).filePath(name);
}

Journal::Recovery setAside(const QString &dir, const QString &path, Journal::Recovery::Reason reason,
                           QStringList files = {})
{
    Journal::Recovery r;
    // The way back is the newest copy made before the unfinished change began to be journalled.
    const QDateTime changeBegan = QFileInfo(path).lastModified();
    r.result = Journal::Recovery::Result::SetAside;
    r.reason = reason;
    r.directory = dir;
    r.files = std::move(files);
    const QString target = setAsideName(dir);
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) == 0) {
        r.setAsideAs = target;
        diskio::flushDirectory(dir);
    }
    // The tables may hold part of the change: the user is shown what the check finds in them.
    try {
        r.ledgerProblems = ledger::verifyLedger(dir);
    } catch (const EngineError &e) {
        r.ledgerProblems << e.message();
    }
    const QStringList copies = backup::copies(dir);
    for (auto it = copies.rbegin(); it != copies.rend(); ++it) {
        const QDateTime made = QDateTime::fromString(it->left(17), QStringLiteral("yyyy-MM-dd_HHmmss"));
        if (made.isValid() && made <= changeBegan) {
            r.newestCopy = QDir(QDir(dir).filePath(backup::FolderName)).filePath(*it);
            break;
        }
    }
    return r;
}

} // namespace

QString Journal::Recovery::message() const
{
    const QString shownDir = QDir::toNativeSeparators(directory);
    if (result == Result::Nothing)
        return {};
    if (result == Result::RolledBack)
        return QStringLiteral("Niedokończona zmiana tabel w katalogu %1 została cofnięta (%2).")
            .arg(shownDir, files.join(QStringLiteral(", ")));
    QString why;
    switch (reason) {
    case Reason::Unreadable:
        why = QStringLiteral("nie da się go odczytać");
        break;
    case Reason::DoesNotCheck:
    case Reason::None:
        why = QStringLiteral("jest uszkodzony albo niepełny (nie zgadza się jego suma kontrolna)");
        break;
    case Reason::OtherFolder:
        why = QStringLiteral("został zapisany w innym katalogu");
        break;
    case Reason::FileChanged:
        why = QStringLiteral("od tamtej pory zmieniono %1 (inny program albo kopia przywrócona ręcznie)")
                  .arg(files.size() == 1 ? QStringLiteral("plik %1").arg(files.front())
                                         : QStringLiteral("pliki %1").arg(files.join(QStringLiteral(", "))));
        break;
    }
    QString text =
        QStringLiteral("Plik %1 w katalogu %2 zawierał niedokończoną zmianę tabel, ale %3, więc nic "
                       "nie zostało cofnięte.")
            .arg(journalName(), shownDir, why);
    text += setAsideAs.isEmpty()
                ? QStringLiteral(" Nie udało się go odłożyć; usuń go lub przenieś, gdy sprawdzisz tabele.")
                : QStringLiteral(" Został odłożony jako %1.").arg(QFileInfo(setAsideAs).fileName());
    text += ledgerProblems.isEmpty()
                ? QStringLiteral(" Sprawdzenie tabel nie wykazało różnic między sumami a wpisami dziennymi.")
                : QStringLiteral(" Tabele mogą zawierać część tej zmiany. Sprawdzenie tabel wykazało:\n%1\n")
                      .arg(ledgerProblems.join(QLatin1Char('\n')));
    text += newestCopy.isEmpty()
                ? QStringLiteral(" Kopii zapasowej w folderze %1 nie ma.").arg(backup::FolderName)
                : QStringLiteral(
                      " Najnowsza kopia zapasowa to %1; przywrócisz ją poleceniem „kwotnik-ledger restore”.")
                      .arg(QDir::toNativeSeparators(newestCopy));
    return text;
}

Journal::Recovery Journal::recover(const QString &directory)
{
    Recovery none;
    const QString dir = QDir(directory).absolutePath();
    none.directory = dir;
    if (AtomicGroup::active())
        return none;
    const QString path = QDir(dir).filePath(journalName());
    // Asked before every change and every table opened: no journal, or an empty one, costs one
    // system call.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || (S_ISREG(st.st_mode) && st.st_size == 0))
        return none;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return setAside(dir, path, Recovery::Reason::Unreadable);
    const QByteArray bytes = f.readAll();
    const bool readFailed = f.error() != QFileDevice::NoError;
    f.close();
    if (readFailed)
        return setAside(dir, path, Recovery::Reason::Unreadable);
    if (allZero(bytes)) {
        // The system kept the journal's length but not its bytes: it never reached the disk, so
        // no table write it guarded began.
        emptyJournalFile(path);
        return none;
    }
    const Parsed parsed = parse(bytes);
    if (!parsed.ok)
        return setAside(dir, path, Recovery::Reason::DoesNotCheck);
    const DirectoryId here = directoryId(dir);
    const bool sameDirectory =
        (parsed.dir.device == here.device && parsed.dir.inode == here.inode) || parsed.dir.path == here.path;
    if (!sameDirectory)
        return setAside(dir, path, Recovery::Reason::OtherFolder);

    Recovery done = none;
    try {
        Files files(dir);
        const std::vector<FilePlan> plans = plansOf(parsed.entries);
        std::vector<std::vector<Step>> steps(plans.size());
        QStringList changed;
        for (std::size_t i = 0; i < plans.size(); ++i) {
            DbfFile *table = nullptr;
            try {
                table = files.get(plans[i].name);
            } catch (const EngineError &) {
                table = nullptr; // a file that no longer opens as a table is not the one written
            }
            if (!table || !planFile(*table, plans[i], true, steps[i]))
                changed << (table ? table->displayName() : plans[i].name);
        }
        if (!changed.isEmpty())
            return setAside(dir, path, Recovery::Reason::FileChanged, changed);
        done.files = applyPlans(files, plans, steps);
    } catch (const EngineError &e) {
        throw EngineError(
            e.kind(), QString(), QStringLiteral("%1: %2").arg(unfinishedChangeAdvice(dir), e.message()),
            EngineError::Outcome::NotSaid,
            QStringLiteral("Nadaj plikom tabel w tym katalogu prawo zapisu i otwórz okres ponownie; "
                           "zmiana zostanie wtedy cofnięta."));
    }
    // Emptied only once the tables hold their images on the disk. A journal that cannot be
    // emptied (a read-only directory) is harmless now: its images equal the tables.
    emptyJournalFile(path);
    if (!done.files.isEmpty())
        done.result = Recovery::Result::RolledBack;
    return done;
}

void Journal::recoverBeforeUse(const QString &directory)
{
    const Recovery r = recover(directory);
    if (r.setAside())
        throw EngineError(EngineError::Kind::Refused, journalName(), r.message());
}

void Journal::prepare(const QString &directory)
{
    const QString dir = QDir(directory).absolutePath();
    const QByteArray native = QFile::encodeName(QDir(dir).filePath(journalName()));
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return; // there already, or the directory takes no files: the first change will tell
    ::fchmod(fd, 0600);
    ::close(fd);
    diskio::flushDirectory(dir);
}

} // namespace kw
