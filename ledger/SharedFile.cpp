#include "ledger/SharedFile.h"
#include "ledger/EngineError.h"
#include "ledger/Table.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <map>

namespace kw {

namespace {
constexpr int kCacheLimit = 4096;

std::map<QString, std::weak_ptr<SharedFile>> &registry()
{
    static std::map<QString, std::weak_ptr<SharedFile>> r;
    return r;
}
} // namespace

QString SharedFile::resolve(const QString &directory, const QString &fileName)
{
    const QDir dir(directory);
    if (QFileInfo::exists(dir.filePath(fileName)))
        return QFileInfo(dir.filePath(fileName)).absoluteFilePath();
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString &e : entries)
        if (e.compare(fileName, Qt::CaseInsensitive) == 0)
            return QFileInfo(dir.filePath(e)).absoluteFilePath();
    return {};
}

std::shared_ptr<SharedFile> SharedFile::existing(const QString &path)
{
    auto it = registry().find(path);
    return it == registry().end() ? nullptr : it->second.lock();
}

std::shared_ptr<SharedFile> SharedFile::acquire(const QString &directory, const QString &fileName)
{
    const QString path = resolve(directory, fileName);
    if (path.isEmpty())
        throw EngineError(QStringLiteral("Plik %1 nie istnieje w katalogu %2.")
                              .arg(fileName, QDir::toNativeSeparators(QDir(directory).absolutePath())));
    if (auto s = existing(path))
        return s;
    std::shared_ptr<SharedFile> s(new SharedFile(DbfFile::open(path)));
    registry()[path] = s;
    return s;
}

SharedFile::SharedFile(std::unique_ptr<DbfFile> file) : file_(std::move(file)) {}

SharedFile::~SharedFile()
{
    auto it = registry().find(file_->path());
    if (it != registry().end() && it->second.expired())
        registry().erase(it);
}

const char *SharedFile::record(std::uint32_t recno)
{
    auto it = cache_.find(recno);
    if (it != cache_.end())
        return it->data();
    if (cache_.size() >= kCacheLimit)
        cache_.clear();
    std::string buf(std::size_t(file_->recordLength()), ' ');
    file_->readRecord(recno, buf.data());
    return cache_.insert(recno, std::move(buf))->data();
}

void SharedFile::write(std::uint32_t recno, const char *data, Table *origin)
{
    file_->writeRecord(recno, data);
    cache_.insert(recno, std::string(data, std::size_t(file_->recordLength())));
    notify(Event::Changed, recno, origin);
}

std::uint32_t SharedFile::append(const char *data, Table *origin)
{
    const std::uint32_t recno = file_->appendRecord(data);
    cache_.insert(recno, std::string(data, std::size_t(file_->recordLength())));
    notify(Event::Appended, recno, origin);
    return recno;
}

DbfFile::DiskState SharedFile::refreshFromDisk(Table *origin)
{
    const DbfFile::DiskState state = file_->reloadIfChanged();
    if (state == DbfFile::DiskState::Unchanged)
        return state;
    dropCache();
    notify(state == DbfFile::DiskState::LayoutChanged ? Event::LayoutChanged : Event::Reloaded, 0, origin);
    return state;
}

void SharedFile::reloadAfterRestore()
{
    const DbfFile::DiskState state = file_->reloadIfChanged();
    dropCache();
    notify(state == DbfFile::DiskState::LayoutChanged ? Event::LayoutChanged : Event::Reloaded, 0, nullptr);
}

void SharedFile::addObserver(Table *t)
{
    if (std::find(observers_.begin(), observers_.end(), t) == observers_.end())
        observers_.push_back(t);
}

void SharedFile::removeObserver(Table *t)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), t), observers_.end());
}

void SharedFile::notify(Event e, std::uint32_t recno, Table *origin)
{
    // A table may close (and leave the list) while it reacts; walk a copy.
    const std::vector<Table *> observers = observers_;
    for (Table *t : observers)
        if (std::find(observers_.begin(), observers_.end(), t) != observers_.end())
            t->storeEvent(e, recno, origin == t);
}

} // namespace kw
