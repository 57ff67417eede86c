#pragma once

#include "ledger/DbfFile.h"
#include "ledger/PeriodMap.h"

#include <QHash>
#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace kw {

class Table;

// One in-process store per table file: every Table on the same file shares it, so a post
// through one table is seen by all of them at once.
class SharedFile
{
public:
    // Reloaded: another program changed the file, or a rollback put records back.
    // LayoutChanged: reloaded, and the fields differ from what the tables were opened on.
    enum class Event
    {
        Changed,
        Appended,
        Reloaded,
        LayoutChanged
    };

    // Finds the file in the directory without regard to letter case and opens it, or returns
    // the store that is already open on it.
    static std::shared_ptr<SharedFile> acquire(const QString &directory, const QString &fileName);
    // The store already open on this exact path, if any.
    static std::shared_ptr<SharedFile> existing(const QString &path);
    // Resolves a file name in a directory without regard to case; empty when there is none.
    static QString resolve(const QString &directory, const QString &fileName);

    ~SharedFile();

    DbfFile &file() { return *file_; }
    const DbfFile &file() const { return *file_; }

    // The record's bytes, from a small cache that every write goes through.
    const char *record(std::uint32_t recno);
    // Puts a record just read into that cache, while there is room: a period's rows are read
    // again at once by the displays.
    void keep(std::uint32_t recno, const char *data);

    void write(std::uint32_t recno, const char *data, Table *origin);
    std::uint32_t append(const char *data, Table *origin);
    // Records laid end to end, appended in one write; returns the first one's number.
    std::uint32_t appendMany(const char *data, std::uint32_t count, Table *origin);
    // The one place that asks whether another program wrote the file since this store last read
    // or wrote it; when it did, the header is read again, the cached records are dropped and every
    // table is told, so bound displays show what is on the disk now.
    DbfFile::DiskState refreshFromDisk(Table *origin);
    // The file was restored behind the tables' backs (journal rollback).
    void reloadAfterRestore();

    void addObserver(Table *t);
    void removeObserver(Table *t);

    // The map of the records' periods by these key fields, kept true by every write through this
    // store; null when there is none yet (or it was thrown away because the file changed on disk).
    // It outlives the store: a store opened later on the same, unchanged file takes it over. A map
    // still being built off this thread for the file is waited for: the rest of a build costs
    // less than another read of the whole file.
    PeriodMap *periodMap(const std::vector<int> &fields);
    // The same, without waiting for a map still being built: for a caller that would rather read
    // the file once more (readPeriod) than wait behind every build queued before its own, as the
    // books do for the sums right after the tables opened them.
    PeriodMap *builtPeriodMap(const std::vector<int> &fields);
    PeriodMap &keepPeriodMap(PeriodMap map);
    // Hands fn(recno, record) the live records whose key fields hold `key`, in file order, by one
    // read of the file that compares their key bytes and nothing else; the map of every period is
    // then built off this thread, by a reader of its own, while the user works on this period. It
    // is kept only if the file is still as this store knew it when the read was done; periodMap()
    // takes it, and so does a write through this store before it writes, so the write keeps it true.
    // The records of the period last read so are remembered until the next write or change on
    // disk: the books ask for the sums' period right after the tables read it.
    template <class Fn> void readPeriod(const std::vector<int> &fields, const std::string &key, Fn &&fn);
    // Waits for every map being built and gives each to its file's store, if one is open; for
    // tests and benchmarks.
    static void waitForPeriodMaps();
    // Throws away every map kept for later stores, as at the program's first start, and abandons
    // those being built.
    static void forgetPeriodMaps();
    // What every period map of the process holds, for the benchmarks.
    static std::size_t periodMapBytes();

private:
    explicit SharedFile(std::unique_ptr<DbfFile> file);
    void notify(Event e, std::uint32_t recno, Table *origin);
    void dropCache()
    {
        cache_.clear();
        maps_.clear();
        lastRead_ = {};
        abandonMapBuilds();
    }
    PeriodMap *heldMap(const std::vector<int> &fields); // taken by this store already
    void buildMapLater(const std::vector<int> &fields);
    // Takes the maps built off this thread for this file that are still true, waiting for those
    // still being built: none, those by these key fields, or all.
    enum class Wait
    {
        None,
        ForFields,
        All
    };
    void takeBuiltMaps(Wait wait, const std::vector<int> &fields = {});
    // Nothing being built for this file will be kept: the file changed since it was read.
    void abandonMapBuilds();
    std::vector<std::string> keysOf(const char *record) const; // one per map; empty for none
    void moveInMaps(std::uint32_t recno, const std::vector<std::string> &before, const char *data);

    std::unique_ptr<DbfFile> file_;
    std::vector<Table *> observers_;
    QHash<std::uint32_t, std::string> cache_;
    std::vector<PeriodMap> maps_;
    struct PeriodRead
    {
        std::vector<int> fields;
        std::string key;
        std::vector<std::uint32_t> records;
        bool valid = false;
    };
    PeriodRead lastRead_; // by readPeriod()
};

template <class Fn>
void SharedFile::readPeriod(const std::vector<int> &fields, const std::string &key, Fn &&fn)
{
    if (lastRead_.valid && lastRead_.fields == fields && lastRead_.key == key) {
        const std::vector<std::uint32_t> records = lastRead_.records;
        for (const std::uint32_t recno : records)
            fn(recno, record(recno));
        return;
    }
    PeriodMap::Matcher matches(*file_, fields, key);
    PeriodRead read{fields, key, {}, false};
    file_->scan([&](std::uint32_t recno, const char *record) {
        if (!DbfFile::isDeleted(record) && matches(record)) {
            read.records.push_back(recno);
            fn(recno, record);
        }
        return true;
    });
    read.valid = true;
    lastRead_ = std::move(read);
    buildMapLater(fields);
}

} // namespace kw
