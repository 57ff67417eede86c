#pragma once

#include "ledger/DbfFile.h"

#include <QString>
#include <set>
#include <utility>
#include <vector>

namespace kw {

// Crash safety for changes that must land together (a day entry, its month sum and its year sum).
// Before a record changes, its before-image is in the journal file "Kwotnik.jrn" in the working
// directory, and the journal is on the disk before the record is written. Commit puts the tables on
// the disk, then empties the journal and puts that on the disk too: the emptied journal is the
// commit point. A journal found holding images later belongs to a change that did not finish: it is
// rolled back, so a crash leaves all of the change or none of it. The file itself stays between
// changes, so no change has to wait for the directory to be flushed.
class AtomicGroup : private DbfWriteHook
{
public:
    explicit AtomicGroup(const QString &directory = QString());
    ~AtomicGroup() override; // rolls back unless committed
    AtomicGroup(const AtomicGroup &) = delete;
    AtomicGroup &operator=(const AtomicGroup &) = delete;

    // Records the group is about to change, told before the first write, so that their
    // before-images reach the journal in one write and one flush. Records not told of are
    // still journalled, each when it is written.
    void expectRecordWrite(const DbfFile &file, std::uint32_t recno);
    void expectAppend(const DbfFile &file);

    // Puts the tables on the disk and empties the journal. When that fails, the group is rolled
    // back and the error says whether the rollback succeeded.
    void commit();
    // Puts the before-images back. Throws when that fails; the journal then stays, to be rolled
    // back when a table is next opened.
    void rollback();
    bool committed() const { return done_ && committed_; }
    // Committed, or rolled back by a commit that failed.
    bool finished() const { return done_; }

    static bool active();

private:
    struct Entry
    {
        quint8 kind; // 1: record rewritten, 2: record appended
        QString fileName;
        std::int64_t offset;
        QByteArray header; // the first 32 bytes: record count and last-update date
        QByteArray before; // the record (kind 1) or the old tail from the append point (kind 2)
    };

    void beforeRecordWrite(DbfFile &file, std::uint32_t recno) override;
    void beforeAppend(DbfFile &file) override;
    Entry recordImage(const DbfFile &file, std::uint32_t recno) const;
    Entry appendImage(const DbfFile &file) const;
    void queue(Entry e, std::int64_t offsetKey, const DbfFile &file);
    void writeQueued();
    void openJournal();
    void clearJournal();
    void finish();

    QString directory_;
    QString journalPath_;
    int fd_ = -1;
    std::int64_t journalSize_ = 0;
    bool done_ = false;
    bool committed_ = false;
    bool nested_ = false;
    std::vector<Entry> entries_; // on the disk, oldest first
    std::vector<Entry> queued_;  // told of, not yet on the disk
    std::set<std::pair<QString, std::int64_t>> imaged_;
    std::vector<DbfFile *> touched_;
};

namespace Journal {
inline const char *fileName()
{
    return "Kwotnik.jrn";
}
// Rolls back a journal left in the directory by a change that did not finish. Returns true when
// something had to be written back. A journal whose images equal what the tables hold is emptied
// without touching them (or left, where the directory cannot be written); one that must be rolled
// back but cannot, or one that is damaged, throws an EngineError saying what to do.
bool recover(const QString &directory);
// Creates the empty journal ahead of the first change, so that changes never wait for the
// directory to be flushed. Quietly does nothing where the directory cannot be written.
void prepare(const QString &directory);
} // namespace Journal

} // namespace kw
