#pragma once

#include "ledger/DbfFile.h"
#include "ledger/WriteGate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

namespace kw {

class EngineError;

// Which directory a journal was written in: its device and inode, and its canonical path.
struct JournalDirectory
{
    quint64 device = 0, inode = 0;
    QString path;
};

// Crash safety for changes that must land together (a day entry, its month sum and its year sum;
// a whole batch of them). Before a record changes, the journal file "Kwotnik.jrn" in the tables'
// directory holds the record as it is and as it will be, and the journal is on the disk before the
// record is written. Commit puts the tables on the disk, then empties the journal and puts that on
// the disk too: the emptied journal is the commit point. A journal found holding a change later
// belongs to a change that did not finish: it is rolled back, so a crash leaves all of the change
// or none of it. The file itself stays between changes, so no change has to wait for the
// directory to be flushed.
//
// A group belongs to one directory: a write to a file of another directory while it is open is
// refused before anything is written.
class AtomicGroup : private DbfWriteHook
{
public:
    // The bytes a record will hold once written (recordLength() bytes), asked for when the journal
    // is written, that is just before the group's first write. Empty when not known by then: that
    // write is then journalled on its own when it comes.
    using AfterImage = std::function<QByteArray()>;

    explicit AtomicGroup(const QString &directory = QString());
    ~AtomicGroup() override; // rolls back unless committed
    AtomicGroup(const AtomicGroup &) = delete;
    AtomicGroup &operator=(const AtomicGroup &) = delete;

    // The writes the group is about to make, told before the first of them, so that their images
    // reach the journal in one write and one flush. Appends are told in the order they will be
    // made; `after` of an append is the records it adds, laid end to end. A write not told of, or
    // made with other bytes than told, is journalled on its own (one more journal write and flush)
    // before it reaches the file.
    void expectRecordWrite(const DbfFile &file, std::uint32_t recno, const QByteArray &after);
    void expectRecordWrite(const DbfFile &file, std::uint32_t recno, AfterImage after);
    void expectAppend(const DbfFile &file, const QByteArray &after);
    void expectAppend(const DbfFile &file, AfterImage after);

    // Puts the tables on the disk and empties the journal. When that fails the error says what
    // became of the change (EngineError::outcome()): rolled back (nothing stored), left for the
    // next start to roll back (undo pending), or not known.
    void commit();
    // Puts the before-images back. Throws when that fails; the journal then stays, to be rolled
    // back when the tables are next opened.
    void rollback();
    // Ends a group whose change failed with `cause`: rolls it back (unless a failed commit already
    // did, or an outer group will) and throws `cause` told with what became of the change.
    [[noreturn]] void abandon(const EngineError &cause);
    bool committed() const { return done_ && committed_; }
    // Committed, or rolled back by a commit that failed.
    bool finished() const { return done_; }
    const QString &directory() const;

    static bool active();

private:
    struct Told
    {
        const DbfFile *file;
        bool append;
        std::uint32_t recno;
        AfterImage after;
    };
    struct Entry; // one entry of the journal, and whether its write has been made

    void beforeRecordWrite(DbfFile &file, std::uint32_t recno, const char *after) override;
    void beforeAppend(DbfFile &file, const char *after, std::uint32_t count) override;
    void beforeWrite(DbfFile &file, bool append, std::uint32_t recno, const char *record,
                     std::uint32_t records);
    void admit(const DbfFile &file);
    void tell(Told t);
    Entry image(const DbfFile &file, bool append, std::uint32_t recno, const QByteArray &record) const;
    int latestAt(const DbfFile *file, std::int64_t offset) const;
    void addEntry(Entry e);
    void markFile(const DbfFile &file);
    void forgetFrom(std::size_t first);
    void journalTold();
    void journalFrom(std::size_t first);
    int covering(const DbfFile &file, bool append, std::int64_t offset, const QByteArray &after);
    void openJournal();
    void writeJournalBytes(const QByteArray &bytes, std::int64_t at);
    void rewriteJournal();
    void clearJournal();
    void flushClearedJournal();
    void finish();
    [[noreturn]] void failAfterRollback(const EngineError &cause);

    // Declared first, so it is there before anything is written and goes after everything: a copy
    // of the ledger taken in another thread sees the whole group or none of it.
    writegate::Change change_;
    AtomicGroup *outer_ = nullptr; // a group inside a group joins the outer one
    QString directory_;
    QString canonicalDirectory_;
    QString journalPath_;
    JournalDirectory journalDir_;
    int fd_ = -1;
    bool done_ = false;
    bool committed_ = false;
    std::vector<Told> told_;     // told of, not yet in the journal
    std::vector<Entry> entries_; // in the journal, in the order they were added
    std::map<std::pair<const DbfFile *, std::int64_t>, std::vector<int>> places_; // entries by place
    QByteArray body_;     // the journal's entries as on the disk
    quint32 bodyCrc_ = 0; // their CRC so far, not yet finished
    std::vector<DbfFile *> touched_;
    std::vector<const DbfFile *> admitted_; // files known to lie in the group's directory
};

namespace Journal {
inline const char *fileName()
{
    return "Kwotnik.jrn";
}

// What recovery found and did, for the start-up and the books to show.
struct Recovery
{
    enum class Result
    {
        Nothing,    // no unfinished change (or one whose tables already hold what was there before)
        RolledBack, // an unfinished change was taken back
        SetAside,   // the journal was not applied and now lies under setAsideAs
    };
    enum class Reason
    {
        None,
        Unreadable,   // the journal cannot be read
        DoesNotCheck, // its checksum or its structure is wrong: damaged, or cut short
        OtherFolder,  // it was written in another directory
        FileChanged,  // a table no longer holds what the change found or wrote there
    };
    Result result = Result::Nothing;
    Reason reason = Reason::None;
    QString directory;
    QStringList files;  // the tables written back; the tables that stopped the rollback (SetAside)
    QString setAsideAs; // the journal's new path (SetAside)
    QString newestCopy; // the newest copy in the backup folder, the way back (SetAside); may be empty
    // SetAside: what the ledger check found in the tables as the journal left them.
    QStringList ledgerProblems;

    bool rolledBack() const { return result == Result::RolledBack; }
    bool setAside() const { return result == Result::SetAside; }
    // What happened and, for a journal set aside, what the ledger check found, in Polish, for a
    // message box; empty when nothing happened.
    QString message() const;
};

// Rolls back a journal left in the directory by a change that did not finish, only where every
// table still holds what the change found or what it wrote. A journal whose images equal what the
// tables hold is emptied without touching them (or left, where the directory cannot be written).
// Throws an EngineError saying what to do when a journal that checks cannot be applied because the
// tables cannot be written.
Recovery recover(const QString &directory);
// What a reader of the tables calls first: recover(), and when the journal had to be set aside an
// EngineError (Refused) with its message, so the user reads it before anything is written. The
// next call finds nothing to do.
void recoverBeforeUse(const QString &directory);
// Creates the empty journal ahead of the first change, so that changes never wait for the
// directory to be flushed. Quietly does nothing where the directory cannot be written.
void prepare(const QString &directory);
} // namespace Journal

} // namespace kw
