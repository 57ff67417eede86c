#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <ctime>
#include <optional>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace kw::backup::files {

// The file level of the dated copies: what a copy folder holds and how it is written, read and
// removed. Folders are opened without following symbolic links and worked on through their
// descriptors, so nothing here reaches outside the copies folder.

// Raised inside the backups only; the callers turn it into their message.
struct Failure
{
    explicit Failure(QString cause, QString whole = {}) : cause(std::move(cause)), whole(std::move(whole)) {}
    QString cause; // fits into the caller's sentence
    QString whole; // when set, the whole message instead
};

class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd();
    Fd(Fd &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd &operator=(Fd &&other) noexcept;
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

struct Source
{
    QString name; // as it is on disk
    QString path;
};

// The data files a copy holds, the three tables first.
const QStringList &dataFileNames();
// One of the three tables, in any letter case.
bool isTableName(const QString &name);
// A data file's name inside a copy.
inline QString storedName(const QString &name)
{
    return name + QStringLiteral(".zst");
}
// The hidden name under which a copy is written before it gets its dated name.
inline QString workName(const QString &copyName)
{
    return QLatin1Char('.') + copyName + QStringLiteral(".tmp");
}

enum SymlinkTail
{
    GoesOnWithoutCopy,
    NothingChanged
};
QString symlinkMessage(const QString &path, SymlinkTail tail);

inline std::int64_t nanoseconds(const timespec &t)
{
    return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}
// A file written this close to being copied may be written again within the same tick of the file
// system's clock (2 s on FAT) without its time changing: its checksum decides instead.
inline constexpr std::int64_t RacyWindowNs = 2'000'000'000;

// A 64-bit checksum of a file's bytes, cheap enough to run beside the compression.
class Checksum
{
public:
    void add(const char *data, std::size_t size);
    QString hex() const;

private:
    void block(const unsigned char *p);
    std::uint64_t lanes_[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                               0x082EFA98EC4E6C89ull};
    std::uint64_t length_ = 0;
    unsigned char tail_[32];
    std::size_t tailSize_ = 0;
};
// Throws Failure when the file cannot be read.
QString checksumOfFile(const QString &path);

// One file of a copy as its list remembers it.
struct Entry
{
    QString name;   // the data file's name in the working directory
    QString stored; // the file in the copy
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t inode = 0;
    QString checksum; // of the data file's bytes, not of the stored file
    bool racy = false;
    bool matches(const struct stat &st) const
    {
        return size == st.st_size && mtimeNs == nanoseconds(st.st_mtim) && inode == std::int64_t(st.st_ino);
    }
};

struct Manifest
{
    std::vector<Entry> entries;
    const Entry *find(const QString &name) const;
    // False when the folder has no list or one the program did not write.
    bool read(int folder);
    // Writes the list into the folder and puts it on the disk; throws Failure.
    void write(int folder) const;
};

// The names in a folder, "." and ".." left out.
QStringList entriesOf(int folder);
// Removes the files the program writes into a copy (its list and the data files, plain or
// compressed; regular files only), then the folder if nothing else is left in it. True when the
// folder is gone.
bool removeCopyFolder(int root, const QString &name);
// Removes a copy that is no longer wanted: first taken off the list of copies at once (renamed to
// its hidden name), then emptied of what the program wrote. A folder that still holds anything else
// holds the user's files, and goes back under its dated name.
void retireCopy(int root, const QString &name);
// Finishes with a hidden folder a cut-short copy or removal left (its name from workName()).
void clearHidden(int root, const QString &hidden);
// A folder (not a link) holding a copy's list or one of the tables.
bool holdsACopy(int root, const QString &name);
// The stored file of the previous copy, linked into the new one (copied where the file system
// has no hard links). False when the previous copy does not hold it as a regular file.
bool linkOrCopyStored(int fromFolder, int toFolder, const QString &stored);
// Compresses the data file into the folder, the checksum taken on the way. Empty when the file
// changed while it was read (the copy is then taken again). Throws Failure.
std::optional<Entry> compressInto(const Source &source, int toFolder);

// Where a restore unpacks and checks a copy, inside the working directory so that putting the
// files in place is a rename. Removed again (what the program put there) when it goes.
class Staging
{
public:
    explicit Staging(const QString &directory);
    ~Staging();
    Staging(const Staging &) = delete;
    Staging &operator=(const Staging &) = delete;

    // Unpacks every data file of the copy (compressed or plain) and checks each against the copy's
    // list; throws EngineError naming the copy when a table is missing or a file is damaged.
    std::vector<Source> unpack(const QString &copyFolder);
    // Opens the unpacked tables (EngineError when one is damaged) and returns the ledger check's
    // report on them: empty when the sums agree with the day entries.
    QStringList check(const QString &copyFolder) const;
    // Puts the unpacked files in place of the directory's, keeping each replaced file's mode.
    void moveInto(const QString &directory, const std::vector<Source> &files) const;

private:
    QString directory_;
    QString path_;
};

} // namespace kw::backup::files
