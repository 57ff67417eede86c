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
    // It outlives the store: a store opened later on the same, unchanged file takes it over.
    PeriodMap *periodMap(const std::vector<int> &fields);
    PeriodMap &keepPeriodMap(PeriodMap map);
    // Throws away every map kept for later stores, as at the program's first start.
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
    }
    std::vector<std::string> keysOf(const char *record) const; // one per map; empty for none
    void moveInMaps(std::uint32_t recno, const std::vector<std::string> &before, const char *data);

    std::unique_ptr<DbfFile> file_;
    std::vector<Table *> observers_;
    QHash<std::uint32_t, std::string> cache_;
    std::vector<PeriodMap> maps_;
};

} // namespace kw
