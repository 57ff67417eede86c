#pragma once

#include "ledger/CodePage.h"

#include <QDate>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace kw {

// How a field's bytes read and write, whatever letter its type has on disk.
enum class DbfKind : std::uint8_t
{
    Text,      // C
    Number,    // N, F: digits as text
    Date,      // D: yyyymmdd
    Logical,   // L
    Double,    // O (level 7): a sortable binary double
    Integer,   // I (level 7): a sortable binary int32
    Timestamp, // @ (level 7): Julian day and milliseconds
};

struct DbfField
{
    QString name;    // upper case, as stored
    char type = 'C'; // C N F D L, and in level-7 files O I @
    DbfKind kind = DbfKind::Text;
    int length = 0;
    int decimals = 0;
    int offset = 0; // from the start of the record, the deleted flag being byte 0
};

class DbfFile;

// Called before any change reaches a file, with the records about to be written (recordLength()
// bytes each), so an atomic group can journal them as they are and as they will be. Throwing stops
// the write before anything of it reaches the file.
class DbfWriteHook
{
public:
    virtual ~DbfWriteHook() = default;
    virtual void beforeRecordWrite(DbfFile &file, std::uint32_t recno, const char *after) = 0;
    virtual void beforeAppend(DbfFile &file, const char *after, std::uint32_t count) = 0;
};

// Description of a table to create (the supplied empty tables, test fixtures).
struct DbfFieldSpec
{
    const char *name;
    char type;
    int length;
    int decimals;
};

// The dBase file level: header, field descriptors, records, deleted flag, end-of-file marker.
// It reads and writes single records in place with positioned I/O and never rewrites the file.
// Every write is handed to the operating system at once, so a crash of the program loses nothing
// that was written; sync() asks the system to put it on the disk.
class DbfFile
{
public:
    ~DbfFile();
    DbfFile(const DbfFile &) = delete;
    DbfFile &operator=(const DbfFile &) = delete;

    // Opens and checks the header; throws EngineError naming the file and the fault.
    static std::unique_ptr<DbfFile> open(const QString &path);
    // Opens for reading only, as a reader off the window's thread does; what it reads is not
    // counted in recordsRead().
    static std::unique_ptr<DbfFile> openForReading(const QString &path);
    // Parses a header held in memory (the fuzz target, tests); throws like open().
    static std::unique_ptr<DbfFile> fromBytes(const QByteArray &bytes,
                                              const QString &name = QStringLiteral("memory"));
    // Writes an empty table: version 0x03, the given language driver, the fields in order.
    static void create(const QString &path, const std::vector<DbfFieldSpec> &fields,
                       std::uint8_t languageDriver = 0xC8);

    const QString &path() const { return path_; }
    QString displayName() const;
    std::uint8_t version() const { return version_; }
    bool isLevel7() const { return level7_; }
    std::uint8_t languageDriver() const { return languageDriver_; }
    const CodePage &codePage() const { return *codePage_; }
    QDate lastUpdate() const { return lastUpdate_; }

    const std::vector<DbfField> &fields() const { return fields_; }
    int fieldIndex(QAnyStringView name) const; // -1 when absent; names match without regard to case
    std::uint32_t recordCount() const { return recordCount_; }
    int recordLength() const { return recordLength_; }
    int headerLength() const { return headerLength_; }
    std::int64_t recordOffset(std::uint32_t recno) const
    {
        return std::int64_t(headerLength_) + std::int64_t(recno) * recordLength_;
    }

    // Record access; recno counts from 0 in file order.
    void readRecord(std::uint32_t recno, char *buffer) const;
    void writeRecord(std::uint32_t recno, const char *buffer);
    std::uint32_t appendRecord(const char *buffer);
    // Appends `count` records laid end to end in one write; returns the first one's number.
    std::uint32_t appendRecords(const char *buffer, std::uint32_t count);
    void sync();

    // Streams every record through one reused buffer; fn(recno, record) returns false to stop.
    template <class Fn> void scan(Fn &&fn) const;
    // Reads the given records (ascending record numbers), neighbours in one go;
    // fn(recno, record) for each.
    template <class Fn> void readEach(const std::uint32_t *recnos, std::size_t count, Fn &&fn) const;

    // Records read by this process so far (scans included) from files opened with open(); tests
    // watch it.
    static std::uint64_t recordsRead() { return recordsRead_; }

    // Field codecs. A blank field reads as null; a number that is none (all '*' too) throws.
    QVariant decode(const char *record, int field) const;
    void encode(char *record, int field, const QVariant &value) const;
    // The field's bytes without trailing blanks; for quick comparisons in filters.
    std::string_view rawText(const char *record, int field) const;
    static bool isDeleted(const char *record) { return record[0] == '*'; }
    // A blank record: every byte a space, not deleted.
    std::string blankRecord() const { return std::string(std::size_t(recordLength_), ' '); }

    static void setWriteHook(DbfWriteHook *hook);

    // Raw access for the journal's rollback; bypasses the write hook.
    void restoreBytes(std::int64_t offset, const QByteArray &bytes);
    void truncateTo(std::int64_t size);
    QByteArray readBytes(std::int64_t offset, std::size_t size) const;
    std::int64_t fileSize() const;
    int fd() const { return fd_; }

    // Whether another program changed the file since this one last read or wrote it: its size,
    // modification time, inode or the header's record count.
    enum class DiskState
    {
        Unchanged,
        Changed,
        LayoutChanged,
        Gone
    };
    DiskState checkDisk() const { return checkDisk(stamp()); }
    // What the file looked like when this object last read or wrote it. Asking checkDisk() with
    // a stamp kept from an earlier object on the same file tells whether it changed since then.
    struct DiskStamp
    {
        std::int64_t size = -1;
        std::int64_t mtimeNs = -1;
        std::int64_t inode = -1;
        std::uint32_t recordCount = 0;
        bool operator==(const DiskStamp &) const = default;
    };
    DiskStamp stamp() const { return {statSize_, statMtimeNs_, statIno_, recordCount_}; }
    DiskState checkDisk(const DiskStamp &since) const;
    // Re-reads the header when the file changed on disk; LayoutChanged when the fields or the
    // record length differ from what was read before.
    DiskState reloadIfChanged();

    // Whole records past the header's count, which an append would overwrite.
    std::uint32_t hiddenRecords() const { return hiddenRecords_; }
    // Why the program reads the table but will not write it; empty when it may.
    const QString &writeRefusal() const { return writeRefusal_; }
    bool writable() const { return fd_ >= 0 && writable_ && writeRefusal_.isEmpty(); }

private:
    DbfFile() = default;
    static std::unique_ptr<DbfFile> openFile(const QString &path, bool forWriting);
    void parseHeader(const QByteArray &head, std::int64_t fileSize);
    void readAt(std::int64_t offset, char *buffer, std::size_t size) const;
    void writeAt(std::int64_t offset, const char *buffer, std::size_t size);
    void touchHeader(bool withCount);
    void rememberStat();
    [[noreturn]] void fail(const QString &fault) const;
    [[noreturn]] void failWrite(int error) const;
    void requireWritable() const;
    double parseNumber(std::string_view text, int field) const;

    QString path_;
    int fd_ = -1;
    bool writable_ = false;
    int readOnlyCause_ = 0; // why the file was opened read-only: the file's mode, or the file system
    QByteArray memory_;     // fromBytes() only
    std::uint8_t version_ = 0;
    bool level7_ = false;
    std::uint8_t languageDriver_ = 0;
    const CodePage *codePage_ = nullptr;
    QDate lastUpdate_;
    std::uint32_t recordCount_ = 0;
    int headerLength_ = 0;
    int recordLength_ = 0;
    std::vector<DbfField> fields_;
    QString writeRefusal_;
    std::uint32_t hiddenRecords_ = 0;
    std::int64_t statSize_ = -1;
    std::int64_t statMtimeNs_ = -1;
    std::int64_t statIno_ = -1;
    bool counted_ = true; // false: opened for reading off the window's thread
    static inline std::uint64_t recordsRead_ = 0;
};

// Bytes of a file's contents as a user can read them: control characters shown as their values.
QString visibleText(std::string_view bytes);
QString visibleText(const QString &text);

std::int64_t dbfReadChunk(int fd, std::int64_t offset, char *buffer, std::size_t size);

template <class Fn> void DbfFile::scan(Fn &&fn) const
{
    if (recordCount_ == 0)
        return;
    const std::size_t perChunk = std::max<std::size_t>(1, (1u << 20) / std::size_t(recordLength_));
    std::vector<char> chunk(perChunk * std::size_t(recordLength_));
    for (std::uint32_t first = 0; first < recordCount_;) {
        const std::uint32_t n = std::uint32_t(std::min<std::uint64_t>(perChunk, recordCount_ - first));
        readAt(recordOffset(first), chunk.data(), std::size_t(n) * std::size_t(recordLength_));
        if (counted_)
            recordsRead_ += n;
        for (std::uint32_t i = 0; i < n; ++i)
            if (!fn(first + i, chunk.data() + std::size_t(i) * std::size_t(recordLength_)))
                return;
        first += n;
    }
}

template <class Fn> void DbfFile::readEach(const std::uint32_t *recnos, std::size_t count, Fn &&fn) const
{
    const std::size_t length = std::size_t(recordLength_);
    const std::size_t perChunk = std::max<std::size_t>(1, (256u << 10) / length);
    std::vector<char> chunk;
    for (std::size_t i = 0; i < count;) {
        if (recnos[i] >= recordCount_)
            fail(QStringLiteral("rekord nr %1 nie istnieje").arg(recnos[i] + 1));
        // A run of consecutive records is one read.
        std::size_t n = 1;
        while (i + n < count && n < perChunk && recnos[i + n] == recnos[i] + n &&
               recnos[i + n] < recordCount_)
            ++n;
        chunk.resize(n * length);
        readAt(recordOffset(recnos[i]), chunk.data(), n * length);
        if (counted_)
            recordsRead_ += n;
        for (std::size_t k = 0; k < n; ++k)
            fn(recnos[i + k], chunk.data() + k * length);
        i += n;
    }
}

} // namespace kw
