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

// Period maps of files whose stores have closed (a period switch closes all three tables), with
// what each file looked like then. A few files are all the program works on; the limit only keeps
// a long test run from collecting the maps of every directory it made.
struct KeptMaps
{
    DbfFile::DiskStamp stamp;
    std::vector<PeriodMap> maps;
    std::uint64_t age = 0;
};
constexpr std::size_t kKeptFiles = 8;
std::uint64_t keptAge = 0;

std::map<QString, KeptMaps> &keptMaps()
{
    static std::map<QString, KeptMaps> k;
    return k;
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
    auto kept = keptMaps().find(path);
    if (kept != keptMaps().end()) {
        // Good only while nothing wrote the file since the last store let go of it.
        if (s->file_->checkDisk(kept->second.stamp) == DbfFile::DiskState::Unchanged)
            s->maps_ = std::move(kept->second.maps);
        keptMaps().erase(kept);
    }
    return s;
}

SharedFile::SharedFile(std::unique_ptr<DbfFile> file) : file_(std::move(file)) {}

SharedFile::~SharedFile()
{
    auto it = registry().find(file_->path());
    if (it != registry().end() && it->second.expired())
        registry().erase(it);
    if (maps_.empty())
        return;
    auto &kept = keptMaps();
    if (kept.size() >= kKeptFiles && !kept.contains(file_->path()))
        kept.erase(std::min_element(kept.begin(), kept.end(), [](const auto &a, const auto &b) {
            return a.second.age < b.second.age;
        }));
    kept[file_->path()] = KeptMaps{file_->stamp(), std::move(maps_), ++keptAge};
}

PeriodMap *SharedFile::periodMap(const std::vector<int> &fields)
{
    for (PeriodMap &m : maps_)
        if (m.fields() == fields)
            return &m;
    return nullptr;
}

PeriodMap &SharedFile::keepPeriodMap(PeriodMap map)
{
    if (PeriodMap *old = periodMap(map.fields())) {
        *old = std::move(map);
        return *old;
    }
    maps_.push_back(std::move(map));
    return maps_.back();
}

void SharedFile::forgetPeriodMaps()
{
    keptMaps().clear();
    for (auto &[path, weak] : registry())
        if (auto s = weak.lock())
            s->maps_.clear();
}

std::vector<std::string> SharedFile::keysOf(const char *record) const
{
    std::vector<std::string> keys(maps_.size());
    if (record && !DbfFile::isDeleted(record))
        for (std::size_t i = 0; i < maps_.size(); ++i)
            maps_[i].keyOf(*file_, record, keys[i]);
    return keys;
}

void SharedFile::moveInMaps(std::uint32_t recno, const std::vector<std::string> &before, const char *data)
{
    const std::vector<std::string> after = keysOf(data);
    for (std::size_t i = 0; i < maps_.size(); ++i) {
        if (before[i] == after[i])
            continue;
        maps_[i].remove(before[i], recno);
        maps_[i].add(after[i], recno);
    }
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

void SharedFile::keep(std::uint32_t recno, const char *data)
{
    if (cache_.size() < kCacheLimit && !cache_.contains(recno))
        cache_.insert(recno, std::string(data, std::size_t(file_->recordLength())));
}

std::size_t SharedFile::periodMapBytes()
{
    std::size_t n = 0;
    for (const auto &[path, kept] : keptMaps())
        for (const PeriodMap &m : kept.maps)
            n += m.bytes();
    for (const auto &[path, weak] : registry())
        if (auto s = weak.lock())
            for (const PeriodMap &m : s->maps_)
                n += m.bytes();
    return n;
}

void SharedFile::write(std::uint32_t recno, const char *data, Table *origin)
{
    std::vector<std::string> before;
    if (!maps_.empty()) {
        try {
            before = keysOf(record(recno));
        } catch (const EngineError &) {
            maps_.clear(); // the write itself says what is wrong with the file
        }
    }
    file_->writeRecord(recno, data);
    cache_.insert(recno, std::string(data, std::size_t(file_->recordLength())));
    moveInMaps(recno, before, data);
    notify(Event::Changed, recno, origin);
}

std::uint32_t SharedFile::append(const char *data, Table *origin)
{
    return appendMany(data, 1, origin);
}

std::uint32_t SharedFile::appendMany(const char *data, std::uint32_t count, Table *origin)
{
    const std::size_t length = std::size_t(file_->recordLength());
    const std::uint32_t first = file_->appendRecords(data, count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const char *record = data + i * length;
        if (cache_.size() < kCacheLimit)
            cache_.insert(first + i, std::string(record, length));
        moveInMaps(first + i, keysOf(nullptr), record);
    }
    for (std::uint32_t i = 0; i < count; ++i)
        notify(Event::Appended, first + i, origin);
    return first;
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
