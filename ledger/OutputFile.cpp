#include "ledger/OutputFile.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/LedgerSchema.h"
#include "ledger/OperationsTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kw::output {

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString kindName(FileKind kind)
{
    switch (kind) {
    case FileKind::Pdf:
        return QStringLiteral("PDF");
    case FileKind::Xlsx:
        return QStringLiteral("XLSX");
    case FileKind::Csv:
        break;
    }
    return QStringLiteral("CSV");
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

bool statOf(const QString &path, struct stat &st)
{
    return ::stat(encoded(path).constData(), &st) == 0;
}

// Whether the first bytes of a file are those of the kind being written.
bool looksLike(FileKind kind, const QByteArray &head)
{
    switch (kind) {
    case FileKind::Pdf:
        return head.startsWith("%PDF-");
    case FileKind::Xlsx:
        return head.startsWith(QByteArrayLiteral("PK\x03\x04"));
    case FileKind::Csv:
        break;
    }
    // Tables, journals, archives and PDFs all hold a NUL byte near their start; text never does.
    return !head.contains('\0') && !head.startsWith("%PDF-");
}

// Reads the start of a regular file; false with errno set when it cannot be read.
bool readHead(const QString &path, QByteArray &head)
{
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    head.resize(4096);
    ssize_t n;
    do
        n = ::read(fd, head.data(), std::size_t(head.size()));
    while (n < 0 && errno == EINTR);
    const int e = errno;
    ::close(fd);
    if (n < 0) {
        errno = e;
        return false;
    }
    head.resize(qsizetype(n));
    return true;
}

QString canonicalFolder(const QString &folder)
{
    return QFileInfo(folder).canonicalFilePath();
}

// The protected file of the data folder that `path` would land on, by name: the same folder (by
// any route to it) and the same name without regard to letter case.
QString protectedByName(const QString &path, const QString &dataCanonical)
{
    if (dataCanonical.isEmpty())
        return {};
    // Cleaned first: "x/../Wydatki.dbf" names the table even where x is missing.
    const QFileInfo fi(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (canonicalFolder(fi.absolutePath()) != dataCanonical)
        return {};
    const QString name = fi.fileName().toCaseFolded();
    for (const QString &p : protectedNames())
        if (p.toCaseFolded() == name)
            return p;
    return {};
}

// The protected file of the data folder that is the very file `st` describes (a hard link, a
// symbolic link or any other path to it).
QString protectedByIdentity(const struct stat &st, const QString &dataCanonical)
{
    if (dataCanonical.isEmpty())
        return {};
    QStringList folded;
    for (const QString &p : protectedNames())
        folded << p.toCaseFolded();
    const QDir dir(dataCanonical);
    const QStringList entries = dir.entryList(QDir::Files | QDir::System | QDir::Hidden);
    for (const QString &entry : entries) {
        const qsizetype i = folded.indexOf(entry.toCaseFolded());
        if (i < 0)
            continue;
        struct stat other
        {
        };
        if (statOf(dir.filePath(entry), other) && other.st_dev == st.st_dev && other.st_ino == st.st_ino)
            return entry;
    }
    return {};
}

QString refusedAsData(const QString &path, const QString &dataFile)
{
    return QStringLiteral("Nie zapisano pliku „%1”: to plik danych programu (%2), zapis by go zniszczył; "
                          "podaj inną nazwę pliku.")
        .arg(shown(path), dataFile);
}

struct Target
{
    QString refusal;
    QString final;       // the file that would be replaced (a symbolic link followed)
    bool exists = false; // the final file is there
    struct stat st
    {
    };
};

Target examine(const QString &path, FileKind kind, const QString &dataDirectory)
{
    Target t;
    const QString kindText = kindName(kind);
    if (path.trimmed().isEmpty()) {
        t.refusal = QStringLiteral("Nie podano nazwy pliku %1.").arg(kindText);
        return t;
    }
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QString dataCanonical =
        canonicalFolder(dataDirectory.isEmpty() ? QDir::currentPath() : dataDirectory);
    if (const QString p = protectedByName(absolute, dataCanonical); !p.isEmpty()) {
        t.refusal = refusedAsData(path, p);
        return t;
    }
    struct stat link
    {
    };
    if (::lstat(encoded(absolute).constData(), &link) != 0) {
        const int e = errno;
        const QString folder = QFileInfo(absolute).absolutePath();
        if (e != ENOENT || !QFileInfo(folder).isDir()) {
            t.refusal =
                e == ENOENT || e == ENOTDIR
                    ? QStringLiteral("Nie zapisano pliku „%1”: folder „%2” nie istnieje; podaj "
                                     "istniejący folder.")
                          .arg(shown(path), shown(folder))
                    : QStringLiteral("Nie zapisano pliku „%1”: %2.").arg(shown(path), diskio::causeText(e));
            return t;
        }
        t.final = QDir(canonicalFolder(folder)).filePath(QFileInfo(absolute).fileName());
    } else {
        t.exists = true;
        if (S_ISLNK(link.st_mode)) {
            if (!statOf(absolute, t.st)) {
                t.refusal = QStringLiteral("Nie zapisano pliku „%1”: to dowiązanie do pliku, którego nie ma; "
                                           "podaj inną nazwę pliku.")
                                .arg(shown(path));
                return t;
            }
            t.final = QFileInfo(absolute).canonicalFilePath();
        } else {
            t.st = link;
            t.final = QDir(canonicalFolder(QFileInfo(absolute).absolutePath()))
                          .filePath(QFileInfo(absolute).fileName());
        }
    }
    if (const QString p = protectedByName(t.final, dataCanonical); !p.isEmpty()) {
        t.refusal = refusedAsData(path, p);
        return t;
    }
    if (t.exists) {
        if (const QString p = protectedByIdentity(t.st, dataCanonical); !p.isEmpty()) {
            t.refusal = refusedAsData(path, p);
            return t;
        }
        if (S_ISDIR(t.st.st_mode)) {
            t.refusal = QStringLiteral("Nie zapisano pliku „%1”: to folder, nie plik; podaj nazwę pliku %2.")
                            .arg(shown(path), kindText);
            return t;
        }
        if (!S_ISREG(t.st.st_mode)) {
            t.refusal =
                QStringLiteral("Nie zapisano pliku „%1”: to nie jest zwykły plik; podaj nazwę pliku %2.")
                    .arg(shown(path), kindText);
            return t;
        }
    }
    // The new file is made beside the old one and renamed over it: the folder must take both.
    const QString folder = QFileInfo(t.final).absolutePath();
    if (::access(encoded(folder).constData(), W_OK | X_OK) != 0) {
        t.refusal =
            QStringLiteral("Nie zapisano pliku „%1”: w folderze „%2” nie wolno zapisywać (%3); wybierz "
                           "inny folder.")
                .arg(shown(path), shown(folder), diskio::causeText(errno));
        return t;
    }
    if (!t.exists)
        return t;
    if (::access(encoded(t.final).constData(), W_OK) != 0) {
        t.refusal =
            QStringLiteral("Nie zapisano pliku „%1”: %2, więc nie zostanie zastąpiony; podaj inną nazwę "
                           "pliku albo zmień jego uprawnienia.")
                .arg(shown(path), diskio::causeText(errno));
        return t;
    }
    QByteArray head;
    if (!readHead(t.final, head)) {
        t.refusal =
            QStringLiteral("Nie zapisano pliku „%1”: nie można go odczytać, by sprawdzić, czy to plik %2 "
                           "(%3); podaj inną nazwę pliku.")
                .arg(shown(path), kindText, diskio::causeText(errno));
        return t;
    }
    if (!head.isEmpty() && !looksLike(kind, head))
        t.refusal =
            QStringLiteral("Nie zapisano pliku „%1”: ten plik istnieje i nie jest plikiem %2, więc nie "
                           "zostanie zastąpiony; podaj inną nazwę pliku.")
                .arg(shown(path), kindText);
    return t;
}

QString sentence(const QString &path, QString cause)
{
    while (cause.endsWith(QLatin1Char('.')) || cause.endsWith(QLatin1Char(' ')))
        cause.chop(1);
    return QStringLiteral("Nie można zapisać pliku „%1”: %2.").arg(shown(path), cause);
}

} // namespace

QStringList protectedNames()
{
    return {kw::ledger::DayFile,          kw::ledger::MonthFile,
            kw::ledger::YearFile,         QString::fromLatin1(kw::Journal::fileName()),
            kw::ledger::OperationsFile,   QStringLiteral("Plan.dbf"),
            QStringLiteral("Reguly.txt"), QStringLiteral("ProfileCSV.txt")};
}

QString refusal(const QString &path, FileKind kind, const QString &dataDirectory)
{
    return examine(path, kind, dataDirectory).refusal;
}

// The temporary file: writes gathered into large blocks (writers hand over many small pieces), the
// first failure's errno kept, and the injected faults of the disk seam honoured under the target's
// name.
class AtomicOutput::Device : public QIODevice
{
public:
    Device(int fd, QString target) : fd_(fd), target_(std::move(target)) {}
    ~Device() override { closeFd(); }
    bool isSequential() const override { return false; }
    qint64 size() const override { return std::max<qint64>(end_, pos()); }
    bool seek(qint64 to) override
    {
        if (!drain() || ::lseek(fd_, off_t(to), SEEK_SET) < 0) {
            error_ = error_ ? error_ : errno;
            return false;
        }
        return QIODevice::seek(to);
    }
    // Writes out what is gathered; false when the disk refused it.
    bool drain()
    {
        if (error_)
            return false;
        const char *p = buffer_.constData();
        qsizetype left = buffer_.size();
        if (left > 0)
            if (const int e = diskio::injectedFault(diskio::Op::Write, target_)) {
                error_ = e;
                return false;
            }
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, std::size_t(left));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                error_ = errno;
                return false;
            }
            p += n;
            left -= n;
        }
        const qint64 at = ::lseek(fd_, 0, SEEK_CUR);
        end_ = std::max(end_, at);
        buffer_.clear();
        return true;
    }
    int error() const { return error_; }
    bool closeFd()
    {
        if (fd_ < 0)
            return true;
        const bool ok = drain();
        if (::close(fd_) != 0 && !error_)
            error_ = errno;
        fd_ = -1;
        QIODevice::close();
        return ok && !error_;
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 len) override
    {
        if (error_ || fd_ < 0)
            return -1;
        buffer_.append(data, qsizetype(len));
        if (buffer_.size() >= 1 << 16 && !drain())
            return -1;
        return len;
    }

private:
    int fd_;
    QString target_;
    QByteArray buffer_;
    qint64 end_ = 0;
    int error_ = 0;
};

AtomicOutput::AtomicOutput(const QString &path, FileKind kind, const QString &dataDirectory)
    : path_(path), dataDirectory_(dataDirectory), fileKind_(kind)
{
    const Target t = examine(path, kind, dataDirectory);
    if (!t.refusal.isEmpty())
        throw EngineError(t.refusal, EngineError::Kind::Refused);
    final_ = t.final;
    const QFileInfo fi(final_);
    // A hidden name beside the target; 0666 less the umask, as any new file gets.
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    int fd = -1;
    int error = 0;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        QString suffix;
        for (int i = 0; i < 8; ++i)
            suffix += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
        temporary_ = fi.dir().filePath(QLatin1Char('.') + fi.fileName() + QLatin1Char('.') + suffix);
        fd = ::open(encoded(temporary_).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        error = fd < 0 ? errno : 0;
        if (fd < 0 && error != EEXIST)
            break;
    }
    if (fd < 0) {
        temporary_.clear();
        throw EngineError(sentence(path_, diskio::causeText(error)), EngineError::Kind::WriteFailed);
    }
    device_ = std::make_unique<Device>(fd, final_);
    device_->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

AtomicOutput::~AtomicOutput()
{
    if (device_)
        device_->closeFd();
    if (!committed_ && !temporary_.isEmpty())
        ::unlink(encoded(temporary_).constData());
}

QIODevice &AtomicOutput::device()
{
    return *device_;
}

QString AtomicOutput::temporaryPath() const
{
    return temporary_;
}

void AtomicOutput::fail(const QString &reason)
{
    if (failure_.isEmpty())
        failure_ = reason;
}

void AtomicOutput::commit()
{
    if (committed_)
        return;
    const auto failed = [&](const QString &cause) {
        return EngineError(sentence(path_, cause), EngineError::Kind::WriteFailed);
    };
    if (!failure_.isEmpty())
        throw failed(failure_);
    if (!device_->closeFd())
        throw failed(diskio::causeText(device_->error()));

    // The file is reopened by name: a writer may have written it by name rather than through the device.
    const int fd = ::open(encoded(temporary_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw failed(diskio::causeText(errno));
    struct stat old
    {
    };
    if (statOf(final_, old)) {
        // The owner too where the system lets us; the mode always.
        [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
        [[maybe_unused]] const int moded = ::fchmod(fd, old.st_mode & 07777);
    }
    const int flushed = diskio::flushFile(fd, final_);
    ::close(fd);
    if (flushed != 0)
        throw failed(diskio::causeText(flushed));

    // The target may have changed while the file was being written.
    const Target again = examine(path_, fileKind_, dataDirectory_);
    if (!again.refusal.isEmpty())
        throw EngineError(again.refusal, EngineError::Kind::Refused);
    if (::rename(encoded(temporary_).constData(), encoded(again.final).constData()) != 0)
        throw failed(diskio::causeText(errno));
    committed_ = true;
    // The rename has taken effect; a folder that cannot be flushed still shows the new file.
    diskio::flushDirectory(QFileInfo(again.final).absolutePath());
}

} // namespace kw::output
