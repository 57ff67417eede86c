#pragma once

#include "ledger/DbfFile.h"

#include <QString>
#include <set>
#include <utility>
#include <vector>

namespace kw {

// Crash safety for changes that must land together (a day entry, its month sum and its year sum).
// Before a record changes, its before-image goes to the journal file "Kwotnik.jrn" in the working
// directory, and the journal is on the disk before the record is written. Commit puts the tables on
// the disk, then removes the journal. A journal found later belongs to a change that did not finish:
// it is rolled back, so a crash leaves all of the change or none of it.
class AtomicGroup : private DbfWriteHook
{
public:
    explicit AtomicGroup(const QString &directory = QString());
    ~AtomicGroup() override; // rolls back unless committed
    AtomicGroup(const AtomicGroup &) = delete;
    AtomicGroup &operator=(const AtomicGroup &) = delete;

    void commit();
    void rollback();

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
    void record(DbfFile &file, Entry e);
    void finish();

    QString directory_;
    QString journalPath_;
    int fd_ = -1;
    bool done_ = false;
    bool nested_ = false;
    std::vector<Entry> entries_;
    std::set<std::pair<QString, std::int64_t>> imaged_;
    std::vector<DbfFile *> touched_;
};

namespace Journal {
inline const char *fileName() { return "Kwotnik.jrn"; }
// Rolls back a journal left in the directory by a change that did not finish. Returns true when it did.
bool recover(const QString &directory);
} // namespace Journal

} // namespace kw
