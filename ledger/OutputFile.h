#pragma once

// Files the program writes for the user (statements as PDF, exports): whether a target may be
// written at all, and writing it so that a failure leaves what was there before. Qt Core only, so
// the companion and the windows share it.

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <memory>

namespace kw::output {

// What is being written; an existing target must already be a file of the same kind.
enum class FileKind
{
    Pdf,  // starts with "%PDF-"
    Xlsx, // a zip archive: starts with "PK\x03\x04"
    Csv,  // text: no NUL byte at its start, and not a PDF
};

// The files of a data folder that no output may ever land on: the three tables, the journal and
// the data files the folder holds beside them.
QStringList protectedNames();

// Why `path` must not be written as a `kind` file while the program works on `dataDirectory`
// (empty: the working directory), in Polish and naming the file; empty when it may be written.
// Refused: any protected file of the data folder (without regard to letter case, through a
// symbolic link, a hard link or any other path to it), anything that is not a regular file, a file
// of another kind, a file the user may not write, a folder that does not exist or may not be
// written. An empty existing file holds nothing to lose and may be written.
QString refusal(const QString &path, FileKind kind, const QString &dataDirectory = QString());

// A new version of an output file, written beside it and put in its place at commit, so a failed
// or refused write leaves the old file as it was and never leaves a half-written one behind.
// The replacement keeps the mode of the file it replaces; a new file gets the usual 0666 less the
// umask. A target that is a symbolic link is written through: the file it points at is replaced.
class AtomicOutput
{
public:
    // Checks the target (refusal() above) and opens the temporary file. Throws EngineError:
    // Refused when the target may not be written, WriteFailed when the temporary file cannot be
    // made.
    AtomicOutput(const QString &path, FileKind kind, const QString &dataDirectory = QString());
    ~AtomicOutput(); // removes the temporary file unless committed
    AtomicOutput(const AtomicOutput &) = delete;
    AtomicOutput &operator=(const AtomicOutput &) = delete;

    // The temporary file, open for writing; a failed write keeps the system's reason for commit().
    QIODevice &device();
    // The temporary file's path, for writers that open files by name (close device() first).
    QString temporaryPath() const;
    // The target as the user named it, and the file that commit() replaces.
    QString path() const { return path_; }
    QString finalPath() const { return final_; }

    // The writer's own failure, in Polish; commit() then throws it.
    void fail(const QString &reason);
    // Makes the temporary file durable with the target's mode and renames it over the target,
    // after checking the target once more. Throws EngineError (Refused, WriteFailed) naming the
    // file, in one sentence.
    void commit();

private:
    class Device;
    QString path_, final_, dataDirectory_;
    FileKind fileKind_;
    QString temporary_;
    std::unique_ptr<Device> device_;
    QString failure_;
    bool committed_ = false;
};

} // namespace kw::output
