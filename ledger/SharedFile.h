#pragma once

#include "ledger/DbfFile.h"

#include <QHash>
#include <QString>
#include <memory>
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

    void write(std::uint32_t recno, const char *data, Table *origin);
    std::uint32_t append(const char *data, Table *origin);
    // The one place that asks whether another program wrote the file since this store last read
    // or wrote it; when it did, the header is read again, the cached records are dropped and every
    // table is told, so bound displays show what is on the disk now.
    DbfFile::DiskState refreshFromDisk(Table *origin);
    // The file was restored behind the tables' backs (journal rollback).
    void reloadAfterRestore();

    void addObserver(Table *t);
    void removeObserver(Table *t);

private:
    explicit SharedFile(std::unique_ptr<DbfFile> file);
    void notify(Event e, std::uint32_t recno, Table *origin);
    void dropCache() { cache_.clear(); }

    std::unique_ptr<DbfFile> file_;
    std::vector<Table *> observers_;
    QHash<std::uint32_t, std::string> cache_;
};

} // namespace kw
