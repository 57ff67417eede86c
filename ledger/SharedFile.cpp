#include "ledger/SharedFile.h"
#include "ledger/EngineError.h"
#include "ledger/Table.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

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

// A map of periods built off the window's thread, from a reader of its own on the file.
struct MapBuild
{
    QString path;
    std::vector<int> fields;
    DbfFile::DiskStamp asked; // the file as the store knew it when it asked
    std::atomic<bool> abandoned{false};
    // Written by the worker before it says done, under the builds' lock; read after.
    bool done = false;
    std::optional<PeriodMap> map;
    DbfFile::DiskStamp read; // the file as the worker found it
};

class MapBuilds;
MapBuilds &mapBuilds();

// One worker thread takes the builds in the order asked. Everything but the queue and a build's
// result belongs to the thread that owns the stores.
class MapBuilds
{
public:
    ~MapBuilds()
    {
        // A build still running at exit is abandoned: it stops within a few thousand records.
        {
            const std::lock_guard<std::mutex> hold(lock_);
            stopping_ = true;
            for (auto &b : queue_)
                b->abandoned = true;
            if (current_)
                current_->abandoned = true;
        }
        changed_.notify_all();
        if (worker_)
            worker_->join();
    }

    // The build begins once the asking thread is back in its event loop, so that it does not
    // take the processor and the memory bus from the rest of the open the user waits for; at once
    // where there is no event loop, and whenever a build is waited for.
    void start(std::shared_ptr<MapBuild> build)
    {
        asked.push_back(build);
        held_.push_back(std::move(build));
        QCoreApplication *app = QCoreApplication::instance();
        if (!app || app->thread() != QThread::currentThread()) {
            release();
        } else if (postedTo_ != app) {
            // An application that went away took its posted events with it: posted again.
            postedTo_ = app;
            QMetaObject::invokeMethod(
                app, [this] { release(); }, Qt::QueuedConnection);
        }
        // Built maps of files that no store came back for: the oldest go, as kept maps do.
        std::vector<std::shared_ptr<MapBuild>> done;
        for (const auto &b : asked)
            if (isDone(*b))
                done.push_back(b);
        for (std::size_t i = 0; i + kKeptFiles < done.size(); ++i)
            abandon(done[i]);
    }

    bool isDone(const MapBuild &b)
    {
        const std::lock_guard<std::mutex> hold(lock_);
        return b.done;
    }
    void release()
    {
        postedTo_ = nullptr;
        if (held_.empty())
            return;
        {
            const std::lock_guard<std::mutex> hold(lock_);
            for (auto &b : held_)
                queue_.push_back(std::move(b));
            if (!worker_)
                worker_ = std::make_unique<std::thread>([this] { run(); });
        }
        held_.clear();
        changed_.notify_all();
    }

    void waitFor(const MapBuild &b)
    {
        release();
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return b.done; });
    }
    void abandon(const std::shared_ptr<MapBuild> &b)
    {
        b->abandoned = true;
        asked.erase(std::remove(asked.begin(), asked.end(), b), asked.end());
    }

    // Asked for and not yet taken by a store, done or not; the owning thread's alone.
    std::vector<std::shared_ptr<MapBuild>> asked;

private:
    void run()
    {
        // The user's own work, and other programs, go first (Linux keeps a nice value per thread).
        ::setpriority(PRIO_PROCESS, 0, 10);
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            changed_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            current_ = std::move(queue_.front());
            queue_.pop_front();
            hold.unlock();
            std::optional<PeriodMap> map;
            DbfFile::DiskStamp read;
            if (!current_->abandoned)
                build(*current_, map, read);
            hold.lock();
            current_->map = std::move(map);
            current_->read = read;
            current_->done = true;
            current_.reset();
            changed_.notify_all();
        }
    }

    static void build(const MapBuild &b, std::optional<PeriodMap> &map, DbfFile::DiskStamp &read)
    {
        try {
            const std::unique_ptr<DbfFile> file = DbfFile::openForReading(b.path);
            read = file->stamp();
            if (!(read == b.asked) || !PeriodMap::canHold(file->recordCount()))
                return; // changed since the store read it: the store will see it and read again
            PeriodMap::Builder builder(*file, b.fields);
            bool stopped = false;
            file->scan([&](std::uint32_t recno, const char *record) {
                if ((recno & 4095) == 0 && b.abandoned.load(std::memory_order_relaxed)) {
                    stopped = true;
                    return false;
                }
                if (!DbfFile::isDeleted(record))
                    builder.place(recno, record);
                return true;
            });
            if (!stopped)
                map.emplace(builder.finish());
        } catch (...) {
            map.reset(); // the store's own reads say what is wrong with the file
        }
    }

    std::vector<std::shared_ptr<MapBuild>> held_; // asked for, not yet handed to the worker
    QPointer<QCoreApplication> postedTo_; // where a release waits in the event queue
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<MapBuild>> queue_;
    std::shared_ptr<MapBuild> current_;
    bool stopping_ = false;
    std::unique_ptr<std::thread> worker_;
};

// A child made by fork() without exec (the crash tests) has no worker thread, and the parent's
// lock may have been held when it was made: the child starts afresh with builds of its own and
// never touches the parent's. Only the process that made them stops them at exit.
struct MapBuildsOfProcess
{
    MapBuilds *builds = nullptr;
    pid_t owner = 0;
    ~MapBuildsOfProcess()
    {
        if (builds && owner == ::getpid())
            delete builds;
    }
};

MapBuilds &mapBuilds()
{
    static MapBuildsOfProcess p;
    if (!p.builds || p.owner != ::getpid()) {
        p.builds = new MapBuilds;
        p.owner = ::getpid();
    }
    return *p.builds;
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
    takeBuiltMaps(Wait::ForFields, fields);
    return heldMap(fields);
}

PeriodMap *SharedFile::builtPeriodMap(const std::vector<int> &fields)
{
    takeBuiltMaps(Wait::None);
    return heldMap(fields);
}

PeriodMap *SharedFile::heldMap(const std::vector<int> &fields)
{
    for (PeriodMap &m : maps_)
        if (m.fields() == fields)
            return &m;
    return nullptr;
}

PeriodMap &SharedFile::keepPeriodMap(PeriodMap map)
{
    if (PeriodMap *old = heldMap(map.fields())) {
        *old = std::move(map);
        return *old;
    }
    maps_.push_back(std::move(map));
    return maps_.back();
}

void SharedFile::buildMapLater(const std::vector<int> &fields)
{
    if (file_->fd() < 0 || !PeriodMap::canHold(file_->recordCount()))
        return;
    if (heldMap(fields))
        return;
    for (const auto &b : mapBuilds().asked)
        if (b->path == file_->path() && b->fields == fields)
            return;
    auto build = std::make_shared<MapBuild>();
    build->path = file_->path();
    build->fields = fields;
    build->asked = file_->stamp();
    mapBuilds().start(std::move(build));
}

void SharedFile::takeBuiltMaps(Wait wait, const std::vector<int> &fields)
{
    MapBuilds &builds = mapBuilds();
    for (std::size_t i = 0; i < builds.asked.size();) {
        const std::shared_ptr<MapBuild> b = builds.asked[i];
        const bool waits = wait == Wait::All || (wait == Wait::ForFields && b->fields == fields);
        if (b->path != file_->path() || (!waits && !builds.isDone(*b))) {
            ++i;
            continue;
        }
        builds.waitFor(*b);
        builds.asked.erase(builds.asked.begin() + std::ptrdiff_t(i));
        // The worker read the file only if it found it as the store knew it then; a write through
        // the store waits for it, and another program's change shows on the disk.
        if (!b->map || file_->checkDisk(b->read) != DbfFile::DiskState::Unchanged)
            continue;
        if (!heldMap(b->fields))
            maps_.push_back(std::move(*b->map));
    }
}

void SharedFile::abandonMapBuilds()
{
    MapBuilds &builds = mapBuilds();
    const std::vector<std::shared_ptr<MapBuild>> asked = builds.asked;
    for (const auto &b : asked)
        if (b->path == file_->path())
            builds.abandon(b);
}

void SharedFile::waitForPeriodMaps()
{
    MapBuilds &builds = mapBuilds();
    for (const auto &b : std::vector<std::shared_ptr<MapBuild>>(builds.asked))
        builds.waitFor(*b);
    for (auto &[path, weak] : registry())
        if (auto s = weak.lock())
            s->takeBuiltMaps(Wait::None);
}

void SharedFile::forgetPeriodMaps()
{
    MapBuilds &builds = mapBuilds();
    for (const auto &b : std::vector<std::shared_ptr<MapBuild>>(builds.asked))
        builds.abandon(b);
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
    if (!PeriodMap::canHold(recno + 1)) {
        maps_.clear(); // a file this large is read whole, as one with no map
        return;
    }
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
    // A map still being built read the file as it was before this write: it is taken first, so
    // the write keeps it true like any other.
    takeBuiltMaps(Wait::All);
    lastRead_ = {};
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
    takeBuiltMaps(Wait::All);
    lastRead_ = {};
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
