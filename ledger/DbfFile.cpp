#include "ledger/DbfFile.h"
#include "ledger/EngineError.h"

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

std::uint32_t le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return std::uint32_t(u[0]) | std::uint32_t(u[1]) << 8 | std::uint32_t(u[2]) << 16 | std::uint32_t(u[3]) << 24;
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

void DbfFile::setWriteHook(DbfWriteHook *hook) { g_writeHook = hook; }

DbfFile::~DbfFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

QString DbfFile::displayName() const { return QFileInfo(path_).fileName(); }

void DbfFile::fail(const QString &fault) const
{
    throw EngineError(QStringLiteral("%1: %2").arg(displayName(), fault));
}

std::unique_ptr<DbfFile> DbfFile::open(const QString &path)
{
    std::unique_ptr<DbfFile> f(new DbfFile);
    f->path_ = path;
    const QByteArray native = QFile::encodeName(path);
    f->fd_ = ::open(native.constData(), O_RDWR | O_CLOEXEC);
    f->writable_ = f->fd_ >= 0;
    if (f->fd_ < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        f->fd_ = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (f->fd_ < 0)
        throw EngineError(QStringLiteral("%1: cannot open the table file (%2)")
                              .arg(QFileInfo(path).fileName(), QString::fromLocal8Bit(std::strerror(errno))));
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
    if (head.size() < 32)
        fail(QStringLiteral("the file is too short to hold a dBase header (%1 bytes)").arg(fileSize));
    const char *h = head.constData();
    version_ = std::uint8_t(h[0]);
    const int level = version_ & 0x07;
    if (level != 3 && level != 4)
        fail(QStringLiteral("not a dBase table this program can read (version byte 0x%1)")
                 .arg(version_, 2, 16, QLatin1Char('0')));
    level7_ = level == 4;
    lastUpdate_ = QDate(1900 + std::uint8_t(h[1]), std::uint8_t(h[2]), std::uint8_t(h[3]));
    recordCount_ = le32(h + 4);
    headerLength_ = le16(h + 8);
    recordLength_ = le16(h + 10);
    languageDriver_ = std::uint8_t(h[29]);
    codePage_ = CodePage::forLanguageDriver(languageDriver_);
    if (!codePage_)
        fail(QStringLiteral("strona kodowa %1, którą podaje bajt sterownika języka 0x%2, jest w tym systemie nieznana; "
                            "zapisz tabelę w programie, który ją utworzył, w stronie kodowej 1250 (Windows) lub 852 (DOS)")
                 .arg(CodePage::numberForLanguageDriver(languageDriver_))
                 .arg(languageDriver_, 2, 16, QLatin1Char('0')));

    const int descriptorSize = level7_ ? 48 : 32;
    const int firstDescriptor = level7_ ? 68 : 32;
    if (headerLength_ > fileSize)
        fail(QStringLiteral("the header is truncated (header length %1, file size %2)").arg(headerLength_).arg(fileSize));
    if (headerLength_ > head.size())
        fail(QStringLiteral("the header length %1 is too large").arg(headerLength_));

    fields_.clear();
    int pos = firstDescriptor;
    int offset = 1;
    bool terminated = false;
    while (pos < headerLength_) {
        if (std::uint8_t(h[pos]) == kHeaderEnd) {
            terminated = true;
            break;
        }
        if (pos + descriptorSize > headerLength_)
            break;
        const char *d = h + pos;
        DbfField f;
        const int nameLen = level7_ ? 32 : 11;
        f.name = codePage_->decode(std::string_view(d, strnlen(d, std::size_t(nameLen)))).trimmed().toUpper();
        f.type = d[nameLen];
        if (level7_) {
            f.length = std::uint8_t(d[33]);
            f.decimals = std::uint8_t(d[34]);
        } else {
            f.length = std::uint8_t(d[16]);
            f.decimals = std::uint8_t(d[17]);
        }
        f.offset = offset;
        const QString fieldName = f.name.isEmpty() ? QStringLiteral("#%1").arg(fields_.size() + 1) : f.name;
        const bool common = f.type == 'C' || f.type == 'N' || f.type == 'F' || f.type == 'D' || f.type == 'L';
        const bool only7 = f.type == 'O' || f.type == 'I' || f.type == '@';
        if (!common && !(only7 && level7_))
            fail(QStringLiteral("field %1 has the type '%2', which this program cannot read")
                     .arg(fieldName, QString::fromLatin1(&f.type, 1)));
        if (f.length == 0)
            fail(QStringLiteral("field %1 has a width of zero").arg(fieldName));
        int fixed = 0;
        switch (f.type) {
        case 'D': fixed = 8; break;
        case 'L': fixed = 1; break;
        case 'O': fixed = 8; break;
        case 'I': fixed = 4; break;
        case '@': fixed = 8; break;
        default: break;
        }
        if (fixed && f.length != fixed)
            fail(QStringLiteral("field %1 of type '%2' has the width %3 instead of %4")
                     .arg(fieldName, QString::fromLatin1(&f.type, 1)).arg(f.length).arg(fixed));
        offset += f.length;
        fields_.push_back(f);
        pos += descriptorSize;
    }
    if (!terminated)
        fail(QStringLiteral("the field descriptors have no terminator"));
    if (fields_.empty())
        fail(QStringLiteral("the table has no fields"));
    if (offset != recordLength_)
        fail(QStringLiteral("the record length in the header (%1) disagrees with the fields (%2)")
                 .arg(recordLength_).arg(offset));
    const std::int64_t needed = std::int64_t(headerLength_) + std::int64_t(recordCount_) * recordLength_;
    if (needed > fileSize)
        fail(QStringLiteral("the header counts %1 records, but the file ends after %2")
                 .arg(recordCount_).arg((fileSize - headerLength_) / std::max(1, recordLength_)));
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

bool DbfFile::reloadIfChanged()
{
    if (fd_ < 0)
        return false;
    struct stat st;
    const QByteArray native = QFile::encodeName(path_);
    if (::stat(native.constData(), &st) != 0)
        fail(QStringLiteral("the table file has disappeared"));
    const std::int64_t mtime = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (st.st_size == statSize_ && mtime == statMtimeNs_ && std::int64_t(st.st_ino) == statIno_)
        return false;
    if (std::int64_t(st.st_ino) != statIno_) {
        // Replaced by another program (written to a new file and renamed): follow the name.
        const int fd = ::open(native.constData(), writable_ ? O_RDWR | O_CLOEXEC : O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            fail(QStringLiteral("cannot open the table file again (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
        ::close(fd_);
        fd_ = fd;
    }
    const std::int64_t size = fileSize();
    QByteArray head(int(std::min<std::int64_t>(size, 65536)), Qt::Uninitialized);
    dbfReadChunk(fd_, 0, head.data(), std::size_t(head.size()));
    parseHeader(head, size);
    rememberStat();
    return true;
}

void DbfFile::readAt(std::int64_t offset, char *buffer, std::size_t size) const
{
    if (fd_ < 0) {
        if (offset < 0 || offset + std::int64_t(size) > memory_.size())
            fail(QStringLiteral("read past the end of the data"));
        std::memcpy(buffer, memory_.constData() + offset, size);
        return;
    }
    if (dbfReadChunk(fd_, offset, buffer, size) != std::int64_t(size))
        fail(QStringLiteral("the file ended before the record at offset %1").arg(offset));
}

void DbfFile::writeAt(std::int64_t offset, const char *buffer, std::size_t size)
{
    if (fd_ < 0 || !writable_)
        fail(QStringLiteral("the table file is read-only"));
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, buffer + done, size - done, off_t(offset + std::int64_t(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(QStringLiteral("writing failed (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
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
    if (fd_ >= 0 && ::ftruncate(fd_, off_t(size)) != 0)
        fail(QStringLiteral("cannot shorten the file (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
}

void DbfFile::touchHeader(bool withCount)
{
    const QDate today = QDate::currentDate();
    char h[8];
    h[0] = char(std::clamp(today.year() - 1900, 0, 255));
    h[1] = char(today.month());
    h[2] = char(today.day());
    putLe32(h + 3, recordCount_);
    writeAt(1, h, withCount ? 7 : 3);
    lastUpdate_ = today;
}

void DbfFile::readRecord(std::uint32_t recno, char *buffer) const
{
    if (recno >= recordCount_)
        fail(QStringLiteral("record %1 does not exist").arg(recno + 1));
    readAt(recordOffset(recno), buffer, std::size_t(recordLength_));
}

void DbfFile::writeRecord(std::uint32_t recno, const char *buffer)
{
    if (recno >= recordCount_)
        fail(QStringLiteral("record %1 does not exist").arg(recno + 1));
    if (g_writeHook)
        g_writeHook->beforeRecordWrite(*this, recno);
    writeAt(recordOffset(recno), buffer, std::size_t(recordLength_));
    touchHeader(false);
    rememberStat();
}

std::uint32_t DbfFile::appendRecord(const char *buffer)
{
    if (recordCount_ == 0xFFFFFFFFu)
        fail(QStringLiteral("the table is full"));
    if (g_writeHook)
        g_writeHook->beforeAppend(*this);
    const std::uint32_t recno = recordCount_;
    std::string data(buffer, std::size_t(recordLength_));
    data.push_back(char(kEndOfFile));
    writeAt(recordOffset(recno), data.data(), data.size());
    ++recordCount_;
    touchHeader(true);
    rememberStat();
    return recno;
}

void DbfFile::sync()
{
    if (fd_ >= 0 && writable_ && ::fdatasync(fd_) != 0)
        fail(QStringLiteral("cannot write the file to disk (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
}

std::string_view DbfFile::rawText(const char *record, int field) const
{
    const DbfField &f = fields_[std::size_t(field)];
    std::string_view s(record + f.offset, std::size_t(f.length));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

double DbfFile::parseNumber(std::string_view text, int field, const char *record) const
{
    std::string_view t = text;
    if (!t.empty() && t.front() == '+')
        t.remove_prefix(1);
    double v = 0;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || ptr != t.data() + t.size() || t.empty()) {
        // Which record: the offset of this buffer is not known here, so name the field and the text.
        (void)record;
        fail(QStringLiteral("field %1 holds \"%2\", which is not a number")
                 .arg(fields_[std::size_t(field)].name, QString::fromLatin1(text.data(), int(text.size()))));
    }
    return v;
}

QVariant DbfFile::decode(const char *record, int field) const
{
    const DbfField &f = fields_[std::size_t(field)];
    const char *p = record + f.offset;
    switch (f.type) {
    case 'C': {
        std::string_view s = rawText(record, field);
        if (s.empty())
            return QVariant();
        return codePage_->decode(s);
    }
    case 'N':
    case 'F': {
        std::string_view s = trimmed(std::string_view(p, std::size_t(f.length)));
        if (s.empty() || s.find_first_not_of('*') == std::string_view::npos)
            return QVariant();
        return parseNumber(s, field, record);
    }
    case 'D': {
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
            fail(QStringLiteral("field %1 holds \"%2\", which is not a date")
                     .arg(f.name, QString::fromLatin1(p, 8)));
        }
        return QDate(y, m, d);
    }
    case 'L':
        switch (*p) {
        case 'T': case 't': case 'Y': case 'y': return true;
        case 'F': case 'f': case 'N': case 'n': return false;
        default: return QVariant();
        }
    case 'O':
        if (be(p, 8) == 0)
            return QVariant();
        return decodeSortableDouble(p);
    case 'I':
        if (be(p, 4) == 0)
            return QVariant();
        return int(std::int32_t(std::uint32_t(be(p, 4)) ^ 0x80000000u));
    case '@': {
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
    switch (f.type) {
    case 'C': {
        std::memset(p, ' ', std::size_t(f.length));
        if (null)
            return;
        const std::string bytes = codePage_->encode(value.toString(), std::size_t(f.length));
        std::memcpy(p, bytes.data(), bytes.size());
        return;
    }
    case 'N':
    case 'F': {
        std::memset(p, ' ', std::size_t(f.length));
        if (null)
            return;
        bool ok = false;
        double v = value.toDouble(&ok);
        if (!ok || !std::isfinite(v))
            fail(QStringLiteral("field %1 cannot hold \"%2\"").arg(f.name, value.toString()));
        if (v == 0)
            v = 0; // no "-0.0000" on disk
        char text[400];
        const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, f.decimals);
        std::size_t n = std::size_t(r.ptr - text);
        if (r.ec != std::errc() || n > std::size_t(f.length))
            fail(QStringLiteral("the value %1 does not fit field %2 (%3 characters, %4 decimals)")
                     .arg(QString::number(v, 'f', f.decimals), f.name).arg(f.length).arg(f.decimals));
        std::memcpy(p + (f.length - int(n)), text, n);
        return;
    }
    case 'D': {
        std::memset(p, ' ', 8);
        if (null)
            return;
        const QDate d = value.toDate();
        if (!d.isValid() || d.year() < 1 || d.year() > 9999)
            fail(QStringLiteral("field %1 cannot hold the date \"%2\"").arg(f.name, value.toString()));
        const QByteArray s = d.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        std::memcpy(p, s.constData(), 8);
        return;
    }
    case 'L':
        *p = null ? ' ' : (value.toBool() ? 'T' : 'F');
        return;
    case 'O': {
        if (null) {
            std::memset(p, 0, 8);
            return;
        }
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok)
            fail(QStringLiteral("field %1 cannot hold \"%2\"").arg(f.name, value.toString()));
        encodeSortableDouble(p, v);
        return;
    }
    case 'I': {
        if (null) {
            std::memset(p, 0, 4);
            return;
        }
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok || v != std::floor(v) || v < -2147483647.0 || v > 2147483647.0)
            fail(QStringLiteral("field %1 cannot hold \"%2\"").arg(f.name, value.toString()));
        putBe(p, std::uint32_t(std::int32_t(v)) ^ 0x80000000u, 4);
        return;
    }
    case '@': {
        if (null) {
            std::memset(p, 0, 8);
            return;
        }
        QDateTime dt = value.toDateTime();
        if (!dt.isValid())
            fail(QStringLiteral("field %1 cannot hold the time \"%2\"").arg(f.name, value.toString()));
        putBe(p, std::uint32_t(dt.date().toJulianDay()), 4);
        putBe(p + 4, std::uint32_t(dt.time().msecsSinceStartOfDay()), 4);
        return;
    }
    }
}

void DbfFile::create(const QString &path, const std::vector<DbfFieldSpec> &fields, std::uint8_t languageDriver)
{
    const int headerLength = 32 + 32 * int(fields.size()) + 1;
    int recordLength = 1;
    for (const auto &f : fields)
        recordLength += f.length;
    std::string out(std::size_t(headerLength), '\0');
    const QDate today = QDate::currentDate();
    out[0] = 0x03;
    out[1] = char(today.year() - 1900);
    out[2] = char(today.month());
    out[3] = char(today.day());
    putLe32(out.data() + 4, 0);
    putLe16(out.data() + 8, std::uint16_t(headerLength));
    putLe16(out.data() + 10, std::uint16_t(recordLength));
    out[29] = char(languageDriver);
    int pos = 32;
    for (const auto &f : fields) {
        std::strncpy(out.data() + pos, f.name, 10);
        out[std::size_t(pos) + 11] = f.type;
        out[std::size_t(pos) + 16] = char(f.length);
        out[std::size_t(pos) + 17] = char(f.decimals);
        pos += 32;
    }
    out[std::size_t(pos)] = char(kHeaderEnd);
    out.push_back(char(kEndOfFile));

    const QByteArray native = QFile::encodeName(path);
    // A household's money is private: readable and writable by its owner alone, whatever the umask.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw EngineError(QStringLiteral("%1: cannot create the table file (%2)")
                              .arg(QFileInfo(path).fileName(), QString::fromLocal8Bit(std::strerror(errno))));
    const bool ok = ::fchmod(fd, 0600) == 0 && ::write(fd, out.data(), out.size()) == ssize_t(out.size()) &&
                    ::fsync(fd) == 0;
    ::close(fd);
    if (!ok)
        throw EngineError(QStringLiteral("%1: cannot write the table file").arg(QFileInfo(path).fileName()));
}

} // namespace kw
