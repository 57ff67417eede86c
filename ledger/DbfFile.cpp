#include "ledger/DbfFile.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/NumberText.h"
#include "ledger/WriteGate.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kw {

namespace {

DbfWriteHook *g_writeHook = nullptr;

constexpr std::uint8_t kEndOfFile = 0x1A;
constexpr std::uint8_t kHeaderEnd = 0x0D;

// Where the file header keeps what: the same first 32 bytes at both levels.
namespace header {
constexpr int Version = 0;
constexpr int LastUpdate = 1; // year - 1900, month, day; the record count follows at once
constexpr int RecordCount = 4;
constexpr int HeaderLength = 8;
constexpr int RecordLength = 10;
constexpr int LanguageDriver = 29;
constexpr int Size = 32;
} // namespace header

// The field descriptors after it, which differ between level 3 and level 7.
struct DescriptorLayout
{
    int first; // offset of the first descriptor in the file
    int size;
    int nameLength;
    int type;
    int length;
    int decimals;
};
constexpr DescriptorLayout Level3Descriptors{32, 32, 11, 11, 16, 17};
constexpr DescriptorLayout Level7Descriptors{68, 48, 32, 32, 33, 34};

// Every field type the program reads and writes, for checking a header, decoding and encoding.
struct FieldType
{
    char code;
    DbfKind kind;
    int fixedLength; // 0: as the descriptor says
    bool level7Only;
};
constexpr FieldType FieldTypes[] = {
    {'C', DbfKind::Text, 0, false},    {'N', DbfKind::Number, 0, false}, {'F', DbfKind::Number, 0, false},
    {'D', DbfKind::Date, 8, false},    {'L', DbfKind::Logical, 1, false}, {'O', DbfKind::Double, 8, true},
    {'I', DbfKind::Integer, 4, true},  {'@', DbfKind::Timestamp, 8, true},
};

const FieldType *fieldType(char code)
{
    for (const FieldType &t : FieldTypes)
        if (t.code == code)
            return &t;
    return nullptr;
}

std::uint32_t le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return std::uint32_t(u[0]) | std::uint32_t(u[1]) << 8 | std::uint32_t(u[2]) << 16 |
           std::uint32_t(u[3]) << 24;
}
std::uint16_t le16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return std::uint16_t(u[0] | u[1] << 8);
}
void putLe32(char *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}
void putLe16(char *p, std::uint16_t v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}
std::uint64_t be(const char *p, int n)
{
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | std::uint8_t(p[i]);
    return v;
}
void putBe(char *p, std::uint64_t v, int n)
{
    for (int i = n - 1; i >= 0; --i, v >>= 8)
        p[i] = char(v & 0xFF);
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

bool allBlank(const char *p, int n)
{
    for (int i = 0; i < n; ++i)
        if (p[i] != ' ' && p[i] != '\0')
            return false;
    return true;
}

// Level-7 binary numbers are stored big-endian with the sign flipped so that bytes sort like values.
double decodeSortableDouble(const char *p)
{
    std::uint64_t bits = be(p, 8);
    bits = (bits & 0x8000000000000000ull) ? bits & ~0x8000000000000000ull : ~bits;
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}
void encodeSortableDouble(char *p, double d)
{
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    bits = (bits & 0x8000000000000000ull) ? ~bits : bits | 0x8000000000000000ull;
    putBe(p, bits, 8);
}

} // namespace

namespace {
// A field type as the user can read it: the letter when it is one, else the byte's value.
QString typeText(char type)
{
    const auto u = std::uint8_t(type);
    if (u > 0x20 && u < 0x7F)
        return QStringLiteral("„%1”").arg(QChar::fromLatin1(type));
    return QStringLiteral("o kodzie 0x%1").arg(u, 2, 16, QLatin1Char('0'));
}
} // namespace

QString visibleText(std::string_view bytes)
{
    QString out;
    for (const char c : bytes) {
        const auto u = std::uint8_t(c);
        if (u < 0x20 || u == 0x7F)
            out += QStringLiteral("[0x%1]").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += QChar::fromLatin1(c);
    }
    return out;
}

QString visibleText(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += QStringLiteral("[0x%1]").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

std::int64_t dbfReadChunk(int fd, std::int64_t offset, char *buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, buffer + done, size - done, off_t(offset + std::int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    return std::int64_t(done);
}

void DbfFile::setWriteHook(DbfWriteHook *hook)
{
    g_writeHook = hook;
}

DbfFile::~DbfFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

QString DbfFile::displayName() const
{
    return QFileInfo(path_).fileName();
}

void DbfFile::fail(const QString &fault) const
{
    throw EngineError(EngineError::Kind::Damaged, displayName(), fault);
}

void DbfFile::failWrite(int error) const
{
    throw EngineError::writeFailed(displayName(), diskio::causeText(error));
}

void DbfFile::requireWritable() const
{
    if (fd_ < 0 || !writable_)
        throw EngineError::writeFailed(displayName(), readOnlyCause_ == EROFS
                                                           ? diskio::causeText(EROFS)
                                                           : QStringLiteral("plik jest tylko do odczytu"));
    if (!writeRefusal_.isEmpty())
        throw EngineError(
            EngineError::Kind::Refused, displayName(),
            QStringLiteral("Program nie zapisuje do pliku %1: %2.").arg(displayName(), writeRefusal_),
            EngineError::Outcome::NothingStored);
}

std::unique_ptr<DbfFile> DbfFile::open(const QString &path)
{
    return openFile(path, true);
}

std::unique_ptr<DbfFile> DbfFile::openForReading(const QString &path)
{
    std::unique_ptr<DbfFile> f = openFile(path, false);
    f->counted_ = false;
    return f;
}

std::unique_ptr<DbfFile> DbfFile::openFile(const QString &path, bool forWriting)
{
    std::unique_ptr<DbfFile> f(new DbfFile);
    f->path_ = path;
    const QByteArray native = QFile::encodeName(path);
    f->fd_ = forWriting ? ::open(native.constData(), O_RDWR | O_CLOEXEC) : -1;
    f->writable_ = f->fd_ >= 0;
    if (!forWriting) {
        f->fd_ = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    } else if (f->fd_ < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        f->readOnlyCause_ = errno;
        f->fd_ = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    }
    if (f->fd_ < 0)
        throw EngineError(QStringLiteral("Nie można otworzyć pliku %1: %2.")
                              .arg(QFileInfo(path).fileName(), diskio::causeText(errno)));
    const std::int64_t size = f->fileSize();
    // The header is at most 32 + 48 * 255 + 1 + field properties; read the first 64 KiB at most.
    QByteArray head(int(std::min<std::int64_t>(size, 65536)), Qt::Uninitialized);
    dbfReadChunk(f->fd_, 0, head.data(), std::size_t(head.size()));
    f->parseHeader(head, size);
    f->rememberStat();
    return f;
}

std::unique_ptr<DbfFile> DbfFile::fromBytes(const QByteArray &bytes, const QString &name)
{
    std::unique_ptr<DbfFile> f(new DbfFile);
    f->path_ = name;
    f->memory_ = bytes;
    f->parseHeader(bytes, bytes.size());
    return f;
}

void DbfFile::parseHeader(const QByteArray &head, std::int64_t fileSize)
{
    if (head.size() < header::Size)
        fail(QStringLiteral("plik jest za krótki na nagłówek tabeli dBase (%1)")
                 .arg(countOf(fileSize, "bajt", "bajty", "bajtów")));
    const char *h = head.constData();
    version_ = std::uint8_t(h[header::Version]);
    const int level = version_ & 0x07;
    if (level != 3 && level != 4)
        fail(QStringLiteral("to nie jest tabela dBase, którą program umie czytać (bajt wersji 0x%1)")
                 .arg(version_, 2, 16, QLatin1Char('0')));
    level7_ = level == 4;
    const char *updated = h + header::LastUpdate;
    lastUpdate_ = QDate(1900 + std::uint8_t(updated[0]), std::uint8_t(updated[1]), std::uint8_t(updated[2]));
    recordCount_ = le32(h + header::RecordCount);
    headerLength_ = le16(h + header::HeaderLength);
    recordLength_ = le16(h + header::RecordLength);
    languageDriver_ = std::uint8_t(h[header::LanguageDriver]);
    codePage_ = CodePage::forLanguageDriver(languageDriver_);
    if (!codePage_)
        fail(QStringLiteral(
                 "strona kodowa %1, którą podaje bajt sterownika języka 0x%2, jest w tym systemie nieznana; "
                 "zapisz tabelę w programie, który ją utworzył, w stronie kodowej 1250 (Windows) lub 852 "
                 "(DOS)")
                 .arg(CodePage::numberForLanguageDriver(languageDriver_))
                 .arg(languageDriver_, 2, 16, QLatin1Char('0')));
    writeRefusal_.clear();
    hiddenRecords_ = 0;

    const DescriptorLayout &at = level7_ ? Level7Descriptors : Level3Descriptors;
    if (headerLength_ > fileSize)
        fail(QStringLiteral("nagłówek jest ucięty (długość nagłówka %1, rozmiar pliku %2)")
                 .arg(headerLength_)
                 .arg(fileSize));
    if (headerLength_ > head.size())
        fail(QStringLiteral("długość nagłówka %1 jest za duża").arg(headerLength_));

    fields_.clear();
    int pos = at.first;
    int offset = 1;
    bool terminated = false;
    while (pos < headerLength_) {
        if (std::uint8_t(h[pos]) == kHeaderEnd) {
            terminated = true;
            break;
        }
        if (pos + at.size > headerLength_)
            break;
        const char *d = h + pos;
        DbfField f;
        f.name = codePage_->decode(std::string_view(d, strnlen(d, std::size_t(at.nameLength)))).trimmed().toUpper();
        f.type = d[at.type];
        f.length = std::uint8_t(d[at.length]);
        f.decimals = std::uint8_t(d[at.decimals]);
        f.offset = offset;
        const QString fieldName =
            f.name.isEmpty() ? QStringLiteral("nr %1").arg(fields_.size() + 1) : visibleText(f.name);
        const FieldType *type = fieldType(f.type);
        if (!type || (type->level7Only && !level7_))
            fail(QStringLiteral("pole %1 ma typ %2, którego program nie umie czytać")
                     .arg(fieldName, typeText(f.type)));
        f.kind = type->kind;
        if (f.length == 0)
            fail(QStringLiteral("pole %1 ma szerokość zero").arg(fieldName));
        if (type->fixedLength && f.length != type->fixedLength)
            fail(QStringLiteral("pole %1 typu %2 ma szerokość %3 zamiast %4")
                     .arg(fieldName, typeText(f.type))
                     .arg(f.length)
                     .arg(type->fixedLength));
        offset += f.length;
        fields_.push_back(f);
        pos += at.size;
    }
    if (fields_.empty())
        fail(QStringLiteral("tabela nie ma żadnego pola"));
    if (offset != recordLength_)
        fail(QStringLiteral("długość rekordu w nagłówku (%1) nie zgadza się z polami (%2)")
                 .arg(recordLength_)
                 .arg(offset));
    // Other readers take a table whose descriptors lack their terminator as long as the header
    // length still places the records right; it is read, but a writer cannot tell what else
    // such a header holds wrong, so nothing is written to it.
    if (!terminated)
        writeRefusal_ = QStringLiteral("opisom pól w nagłówku brakuje znacznika końca");
    const std::int64_t needed = std::int64_t(headerLength_) + std::int64_t(recordCount_) * recordLength_;
    if (needed > fileSize)
        fail(QStringLiteral("nagłówek podaje %1, ale plik kończy się po %2")
                 .arg(countOf(recordCount_, "rekord", "rekordy", "rekordów"))
                 .arg((fileSize - headerLength_) / std::max(1, recordLength_)));
    // Whole records past the header's count (a count damaged by another program) are read as the
    // header says, but an append would overwrite the first of them.
    hiddenRecords_ =
        std::uint32_t(std::min<std::int64_t>((fileSize - needed) / std::max(1, recordLength_), 0xFFFFFFFF));
}

int DbfFile::fieldIndex(QAnyStringView name) const
{
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (QAnyStringView::compare(fields_[i].name, name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

std::int64_t DbfFile::fileSize() const
{
    if (fd_ < 0)
        return memory_.size();
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        return 0;
    return st.st_size;
}

void DbfFile::rememberStat()
{
    struct stat st;
    if (fd_ >= 0 && ::fstat(fd_, &st) == 0) {
        statSize_ = st.st_size;
        statMtimeNs_ = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        statIno_ = std::int64_t(st.st_ino);
    }
}

DbfFile::DiskState DbfFile::checkDisk(const DiskStamp &since) const
{
    if (fd_ < 0)
        return DiskState::Unchanged;
    struct stat st;
    if (::stat(QFile::encodeName(path_).constData(), &st) != 0)
        return DiskState::Gone;
    const std::int64_t mtime = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (st.st_size != since.size || mtime != since.mtimeNs || std::int64_t(st.st_ino) != since.inode)
        return DiskState::Changed;
    // A program that rewrites the count within the same tick of the file clock leaves size and
    // time alone; the count itself tells.
    char count[4];
    if (dbfReadChunk(fd_, header::RecordCount, count, 4) != 4 || le32(count) != since.recordCount)
        return DiskState::Changed;
    return DiskState::Unchanged;
}

DbfFile::DiskState DbfFile::reloadIfChanged()
{
    const DiskState state = checkDisk();
    if (state == DiskState::Unchanged)
        return state;
    const QByteArray native = QFile::encodeName(path_);
    if (state == DiskState::Gone)
        fail(QStringLiteral("plik zniknął z dysku; przywróć go i otwórz okres ponownie"));
    struct stat st;
    if (::stat(native.constData(), &st) == 0 && std::int64_t(st.st_ino) != statIno_) {
        // Replaced by another program (written to a new file and renamed): follow the name.
        const int fd = ::open(native.constData(), writable_ ? O_RDWR | O_CLOEXEC : O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            fail(QStringLiteral("nie można otworzyć pliku ponownie (%1)").arg(diskio::causeText(errno)));
        ::close(fd_);
        fd_ = fd;
    }
    const std::int64_t size = fileSize();
    QByteArray head(int(std::min<std::int64_t>(size, 65536)), Qt::Uninitialized);
    dbfReadChunk(fd_, 0, head.data(), std::size_t(head.size()));
    // Parsed aside first: a header that another program left damaged must not leave this one
    // half replaced.
    std::unique_ptr<DbfFile> fresh(new DbfFile);
    fresh->path_ = path_;
    fresh->parseHeader(head, size);
    bool sameLayout = fresh->headerLength_ == headerLength_ && fresh->recordLength_ == recordLength_ &&
                      fresh->fields_.size() == fields_.size() && fresh->languageDriver_ == languageDriver_;
    for (std::size_t i = 0; sameLayout && i < fields_.size(); ++i) {
        const DbfField &a = fields_[i], &b = fresh->fields_[i];
        sameLayout = a.name == b.name && a.type == b.type && a.length == b.length && a.decimals == b.decimals;
    }
    version_ = fresh->version_;
    level7_ = fresh->level7_;
    languageDriver_ = fresh->languageDriver_;
    codePage_ = fresh->codePage_;
    lastUpdate_ = fresh->lastUpdate_;
    recordCount_ = fresh->recordCount_;
    headerLength_ = fresh->headerLength_;
    recordLength_ = fresh->recordLength_;
    fields_ = std::move(fresh->fields_);
    writeRefusal_ = fresh->writeRefusal_;
    hiddenRecords_ = fresh->hiddenRecords_;
    rememberStat();
    return sameLayout ? DiskState::Changed : DiskState::LayoutChanged;
}

void DbfFile::readAt(std::int64_t offset, char *buffer, std::size_t size) const
{
    if (fd_ < 0) {
        if (offset < 0 || offset + std::int64_t(size) > memory_.size())
            fail(QStringLiteral("odczyt poza końcem danych"));
        std::memcpy(buffer, memory_.constData() + offset, size);
        return;
    }
    if (dbfReadChunk(fd_, offset, buffer, size) != std::int64_t(size))
        fail(QStringLiteral("plik kończy się przed rekordem od bajtu %1").arg(offset));
}

void DbfFile::writeAt(std::int64_t offset, const char *buffer, std::size_t size)
{
    if (fd_ < 0 || !writable_)
        requireWritable();
    if (const int e = diskio::injectedFault(diskio::Op::Write, path_))
        failWrite(e);
    const writegate::Change change; // a copy of the ledger never takes a half-written record
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, buffer + done, size - done, off_t(offset + std::int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failWrite(n == 0 ? ENOSPC : errno);
        done += std::size_t(n);
    }
}

QByteArray DbfFile::readBytes(std::int64_t offset, std::size_t size) const
{
    QByteArray b(qsizetype(size), '\0');
    if (fd_ >= 0)
        b.resize(qsizetype(dbfReadChunk(fd_, offset, b.data(), size)));
    return b;
}

void DbfFile::restoreBytes(std::int64_t offset, const QByteArray &bytes)
{
    writeAt(offset, bytes.constData(), std::size_t(bytes.size()));
}

void DbfFile::truncateTo(std::int64_t size)
{
    if (fd_ < 0)
        return;
    if (!writable_)
        requireWritable();
    if (const int e = diskio::injectedFault(diskio::Op::Truncate, path_))
        failWrite(e);
    const writegate::Change change;
    if (::ftruncate(fd_, off_t(size)) != 0)
        failWrite(errno);
}

void DbfFile::touchHeader(bool withCount)
{
    const QDate today = QDate::currentDate();
    // The date and the count lie side by side, so one write puts both.
    static_assert(header::RecordCount == header::LastUpdate + 3);
    char h[7];
    h[0] = char(std::clamp(today.year() - 1900, 0, 255));
    h[1] = char(today.month());
    h[2] = char(today.day());
    putLe32(h + 3, recordCount_);
    writeAt(header::LastUpdate, h, withCount ? 7 : 3);
    lastUpdate_ = today;
}

void DbfFile::readRecord(std::uint32_t recno, char *buffer) const
{
    if (recno >= recordCount_)
        fail(QStringLiteral("rekord nr %1 nie istnieje").arg(recno + 1));
    readAt(recordOffset(recno), buffer, std::size_t(recordLength_));
    if (counted_)
        ++recordsRead_;
}

void DbfFile::writeRecord(std::uint32_t recno, const char *buffer)
{
    if (recno >= recordCount_)
        fail(QStringLiteral("rekord nr %1 nie istnieje").arg(recno + 1));
    // Refused before the journal hears of it: a table that cannot be written has nothing to undo.
    requireWritable();
    if (g_writeHook)
        g_writeHook->beforeRecordWrite(*this, recno, buffer);
    writeAt(recordOffset(recno), buffer, std::size_t(recordLength_));
    touchHeader(false);
    rememberStat();
}

std::uint32_t DbfFile::appendRecord(const char *buffer)
{
    return appendRecords(buffer, 1);
}

std::uint32_t DbfFile::appendRecords(const char *buffer, std::uint32_t count)
{
    if (count == 0)
        return recordCount_;
    if (recordCount_ > 0xFFFFFFFFu - count)
        fail(QStringLiteral("tabela jest pełna"));
    requireWritable();
    if (hiddenRecords_ > 0)
        throw EngineError(
            EngineError::Kind::Refused, displayName(),
            QStringLiteral("Program nie dopisze wpisu do pliku %1: nagłówek podaje %2, a w pliku "
                           "jest ich więcej o %3, więc nowy wpis zamazałby rekord ukryty za licznikiem.")
                .arg(displayName(), countOf(recordCount_, "rekord", "rekordy", "rekordów"))
                .arg(hiddenRecords_),
            EngineError::Outcome::NothingStored,
            QStringLiteral("Napraw licznik rekordów w nagłówku innym programem."));
    if (g_writeHook)
        g_writeHook->beforeAppend(*this, buffer, count);
    const std::uint32_t recno = recordCount_;
    std::string data(buffer, std::size_t(recordLength_) * count);
    data.push_back(char(kEndOfFile));
    writeAt(recordOffset(recno), data.data(), data.size());
    recordCount_ += count;
    touchHeader(true);
    rememberStat();
    return recno;
}

void DbfFile::sync()
{
    if (fd_ < 0 || !writable_)
        return;
    if (const int e = diskio::flushFile(fd_, path_))
        failWrite(e);
}

std::string_view DbfFile::rawText(const char *record, int field) const
{
    const DbfField &f = fields_[std::size_t(field)];
    std::string_view s(record + f.offset, std::size_t(f.length));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

namespace {
// A stored number read once: its value, or what is wrong with it (UTF-8, nullptr when nothing).
struct NumberRead
{
    double value = 0;
    const char *fault = nullptr;
};
NumberRead readNumber(std::string_view t)
{
    // A dBase writer fills a number too wide for its field with '*': the number is lost, not 0.
    if (!t.empty() && t.find_first_not_of('*') == std::string_view::npos)
        return {0, "czyli liczbę, która nie zmieściła się w polu"};
    if (!t.empty() && t.front() == '+')
        t.remove_prefix(1);
    NumberRead r;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), r.value);
    if (ec == std::errc::result_out_of_range)
        r.fault = "czyli liczbę spoza zakresu, który program umie liczyć";
    else if (ec != std::errc() || ptr != t.data() + t.size() || t.empty() || !std::isfinite(r.value))
        r.fault = "co nie jest liczbą"; // "nan" and "inf" are read by from_chars, but no amount is either
    return r;
}
} // namespace

QString countOf(long long n, const char *one, const char *few, const char *many)
{
    const long long last = (n < 0 ? -n : n) % 10, lastTwo = (n < 0 ? -n : n) % 100;
    const char *noun = n == 1 ? one : last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14) ? few : many;
    return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(noun);
}

QString numberFault(std::string_view text)
{
    if (text.empty())
        return QString();
    const NumberRead r = readNumber(text);
    return r.fault ? QString::fromUtf8(r.fault) : QString();
}

double DbfFile::parseNumber(std::string_view text, int field) const
{
    const NumberRead r = readNumber(text);
    if (r.fault) {
        // Which record is not known here, so name the field and the text; the check of whole
        // records (LedgerCheck.h) names the record too.
        fail(QStringLiteral("pole %1 zawiera „%2”, %3")
                 .arg(fields_[std::size_t(field)].name, visibleText(text), QString::fromUtf8(r.fault)));
    }
    return r.value;
}

QVariant DbfFile::decode(const char *record, int field) const
{
    const DbfField &f = fields_[std::size_t(field)];
    const char *p = record + f.offset;
    switch (f.kind) {
    case DbfKind::Text: {
        std::string_view s = rawText(record, field);
        if (s.empty())
            return QVariant();
        return codePage_->decode(s);
    }
    case DbfKind::Number: {
        std::string_view s = trimmed(std::string_view(p, std::size_t(f.length)));
        if (s.empty())
            return QVariant();
        return parseNumber(s, field);
    }
    case DbfKind::Date: {
        if (allBlank(p, 8))
            return QVariant();
        int y = 0, m = 0, d = 0;
        auto digits = [&](int from, int n, int &out) {
            const auto [ptr, ec] = std::from_chars(p + from, p + from + n, out);
            return ec == std::errc() && ptr == p + from + n;
        };
        if (!digits(0, 4, y) || !digits(4, 2, m) || !digits(6, 2, d) || !QDate(y, m, d).isValid()) {
            if (std::string_view(p, 8).find_first_not_of("0 ") == std::string_view::npos)
                return QVariant(); // "00000000" is how some writers leave a date empty
            fail(QStringLiteral("pole %1 zawiera „%2”, co nie jest datą")
                     .arg(f.name, visibleText(std::string_view(p, 8))));
        }
        return QDate(y, m, d);
    }
    case DbfKind::Logical:
        switch (*p) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return true;
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return false;
        default:
            return QVariant();
        }
    case DbfKind::Double:
        if (be(p, 8) == 0)
            return QVariant();
        return decodeSortableDouble(p);
    case DbfKind::Integer:
        if (be(p, 4) == 0)
            return QVariant();
        return int(std::int32_t(std::uint32_t(be(p, 4)) ^ 0x80000000u));
    case DbfKind::Timestamp: {
        const std::uint32_t day = std::uint32_t(be(p, 4));
        const std::uint32_t ms = std::uint32_t(be(p + 4, 4));
        if (day == 0 && ms == 0)
            return QVariant();
        return QDateTime(QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(int(ms % 86400000u)));
    }
    }
    return QVariant();
}

void DbfFile::encode(char *record, int field, const QVariant &value) const
{
    const DbfField &f = fields_[std::size_t(field)];
    char *p = record + f.offset;
    const bool null = !value.isValid() || value.isNull();
    switch (f.kind) {
    case DbfKind::Text: {
        std::memset(p, ' ', std::size_t(f.length));
        if (null)
            return;
        const std::string bytes = codePage_->encode(value.toString(), std::size_t(f.length));
        std::memcpy(p, bytes.data(), bytes.size());
        return;
    }
    case DbfKind::Number: {
        std::memset(p, ' ', std::size_t(f.length));
        if (null)
            return;
        bool ok = false;
        double v = value.toDouble(&ok);
        if (!ok || !std::isfinite(v))
            fail(QStringLiteral("pole %1 nie pomieści wartości „%2”").arg(f.name, value.toString()));
        if (v == 0)
            v = 0; // no "-0.0000" on disk
        char text[400];
        const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, f.decimals);
        std::size_t n = std::size_t(r.ptr - text);
        if (r.ec != std::errc() || n > std::size_t(f.length))
            fail(QStringLiteral("wartość %1 nie mieści się w polu %2 (%3, %4 po przecinku)")
                     .arg(QString::number(v, 'f', f.decimals), f.name,
                          countOf(f.length, "znak", "znaki", "znaków"),
                          countOf(f.decimals, "miejsce", "miejsca", "miejsc")));
        std::memcpy(p + (f.length - int(n)), text, n);
        return;
    }
    case DbfKind::Date: {
        std::memset(p, ' ', 8);
        if (null)
            return;
        const QDate d = value.toDate();
        if (!d.isValid() || d.year() < 1 || d.year() > 9999)
            fail(QStringLiteral("pole %1 nie pomieści daty „%2”").arg(f.name, value.toString()));
        const QByteArray s = d.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        std::memcpy(p, s.constData(), 8);
        return;
    }
    case DbfKind::Logical:
        *p = null ? ' ' : (value.toBool() ? 'T' : 'F');
        return;
    case DbfKind::Double: {
        if (null) {
            std::memset(p, 0, 8);
            return;
        }
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok)
            fail(QStringLiteral("pole %1 nie pomieści wartości „%2”").arg(f.name, value.toString()));
        encodeSortableDouble(p, v);
        return;
    }
    case DbfKind::Integer: {
        if (null) {
            std::memset(p, 0, 4);
            return;
        }
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok || v != std::floor(v) || v < -2147483647.0 || v > 2147483647.0)
            fail(QStringLiteral("pole %1 nie pomieści wartości „%2”").arg(f.name, value.toString()));
        putBe(p, std::uint32_t(std::int32_t(v)) ^ 0x80000000u, 4);
        return;
    }
    case DbfKind::Timestamp: {
        if (null) {
            std::memset(p, 0, 8);
            return;
        }
        QDateTime dt = value.toDateTime();
        if (!dt.isValid())
            fail(QStringLiteral("pole %1 nie pomieści czasu „%2”").arg(f.name, value.toString()));
        putBe(p, std::uint32_t(dt.date().toJulianDay()), 4);
        putBe(p + 4, std::uint32_t(dt.time().msecsSinceStartOfDay()), 4);
        return;
    }
    }
}

void DbfFile::create(const QString &path, const std::vector<DbfFieldSpec> &fields,
                     std::uint8_t languageDriver)
{
    // Always a level-3 table, as the ledger's tables have been from the start.
    const DescriptorLayout &at = Level3Descriptors;
    const int headerLength = at.first + at.size * int(fields.size()) + 1;
    int recordLength = 1;
    for (const auto &f : fields)
        recordLength += f.length;
    std::string out(std::size_t(headerLength), '\0');
    const QDate today = QDate::currentDate();
    out[header::Version] = 0x03;
    out[header::LastUpdate] = char(today.year() - 1900);
    out[header::LastUpdate + 1] = char(today.month());
    out[header::LastUpdate + 2] = char(today.day());
    putLe32(out.data() + header::RecordCount, 0);
    putLe16(out.data() + header::HeaderLength, std::uint16_t(headerLength));
    putLe16(out.data() + header::RecordLength, std::uint16_t(recordLength));
    out[header::LanguageDriver] = char(languageDriver);
    int pos = at.first;
    for (const auto &f : fields) {
        std::strncpy(out.data() + pos, f.name, std::size_t(at.nameLength - 1));
        out[std::size_t(pos + at.type)] = f.type;
        out[std::size_t(pos + at.length)] = char(f.length);
        out[std::size_t(pos + at.decimals)] = char(f.decimals);
        pos += at.size;
    }
    out[std::size_t(pos)] = char(kHeaderEnd);
    out.push_back(char(kEndOfFile));

    const QByteArray native = QFile::encodeName(path);
    // A household's money is private: readable and writable by its owner alone, whatever the umask.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw EngineError(QStringLiteral("Nie można utworzyć pliku %1: %2.")
                              .arg(QFileInfo(path).fileName(), diskio::causeText(errno)));
    const bool ok = ::fchmod(fd, 0600) == 0 && ::write(fd, out.data(), out.size()) == ssize_t(out.size()) &&
                    ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!ok)
        throw EngineError::writeFailed(QFileInfo(path).fileName(), diskio::causeText(error ? error : ENOSPC));
}

} // namespace kw
