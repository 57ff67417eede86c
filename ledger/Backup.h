#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>
#include <utility>

namespace kw::backup {

// Dated copies of the ledger's data files, kept in "kopie/RRRR-MM-DD_GGMMSS/" inside the working
// directory. A copy holds the three tables and, where they exist, Operacje.dbf, Plan.dbf and
// Reguly.txt (and the journal of an unfinished change, when there is one, so that restoring it
// rolls that change back like a start would). Each file is stored compressed ("Wydatki.dbf.zst",
// readable with the standard `zstd -d`), and a file unchanged since the newest copy is a hard link
// to that copy's file: copies are never written after they are made. Beside the files, the copy's
// list (ManifestName) remembers each file's size, modification time and checksum, so whether a
// new copy is due is decided without reading the tables. Copies are private to the owner: folders
// 0700, files 0600. The program deletes only what it wrote, and never goes through a symbolic link.
inline const QString FolderName = QStringLiteral("kopie");
inline const QString ManifestName = QStringLiteral("kopia.lst");
inline constexpr int Keep = 20;

struct Outcome
{
    enum Kind
    {
        Made,
        Unchanged,
        NoTables,
        Failed
    };
    Kind kind = NoTables;
    QString folder;  // Made: the absolute path of the new copy
    QString message; // Failed: what went wrong, in Polish, naming the folder and what to do
    // How many times the files were copied: more than once when the program changed the ledger
    // while they were being copied (the last time with its changes held off).
    int attempts = 0;
};

// What start-up does: a new copy when the data files differ from the newest copy, then the oldest
// copies beyond Keep are removed. Never throws; a failure comes back as Failed.
Outcome backupIfChanged(const QString &directory, const QDateTime &now = QDateTime::currentDateTime());
// A copy now, whether or not anything changed; pruned like the start-up copy.
Outcome backupNow(const QString &directory, const QDateTime &now = QDateTime::currentDateTime());

// The names of the copies in the directory, oldest first: folders with a dated name that hold a
// copy's list or a table (not a symbolic link, not a folder the user made with other things).
QStringList copies(const QString &directory);

// Told the report of the ledger check when the tables of a copy disagree with each other; true to
// restore the copy all the same.
using ConfirmDisagreement = std::function<bool(const QStringList &problems)>;

// Puts a copy (a name from copies(), or a path to a copy folder) back into the directory; it may
// be compressed or plain. Refused while the program has the directory open. A copy whose tables
// disagree is put back only when `confirm` says so (never without one). The current files are
// first copied aside into a new dated copy, whose path is returned. Throws EngineError with a
// Polish message; when it throws before replacing anything, the directory is as it was.
QString restore(const QString &directory, const QString &copy,
                const QDateTime &now = QDateTime::currentDateTime(), const ConfirmDisagreement &confirm = {});

// For tests: told in the copying thread after each file of a copy is taken (attempt counts from 1).
void setCopyObserver(std::function<void(int attempt, const QString &fileName)> observer);

// How long after the main window shows the start-up's copy begins: time for the window to paint
// and the first click to be answered before the copy takes the disk.
inline constexpr std::chrono::milliseconds CopyAfterStart{500};

// The start-up copy, made in a thread of its own while the program is in use: a new copy when the
// data files changed since the newest copy, then pruning. The tables are only read; a change the
// program makes meanwhile either lands wholly before the copy or wholly after it.
class BackgroundCopy : public QObject
{
    Q_OBJECT
public:
    explicit BackgroundCopy(QObject *parent = nullptr);
    // Waits for a copy that is still running: a copy is never left half made by the program.
    ~BackgroundCopy() override;

    // Starts the copy of the folder; false (and nothing started) while one is still running.
    bool start(const QString &directory, const QDateTime &now = QDateTime::currentDateTime());
    // The same once `delay` has passed in the event loop, so that a start shows and paints its
    // window before the copy competes with it. wait() begins a copy still waiting and waits for it:
    // a run that ends sooner still leaves its copy.
    void startSoon(const QString &directory, std::chrono::milliseconds delay,
                   const QDateTime &now = QDateTime::currentDateTime());
    bool isRunning() const { return running_; }
    // Blocks until the running copy ends and returns its outcome (finished() still follows, from
    // the event loop).
    Outcome wait();

signals:
    // In the thread that owns this object, from its event loop.
    void finished(const kw::backup::Outcome &outcome);

private:
    std::thread thread_;
    Outcome outcome_;
    bool running_ = false;
    std::optional<std::pair<QString, QDateTime>> waiting_; // asked for by startSoon, not begun
};

} // namespace kw::backup
