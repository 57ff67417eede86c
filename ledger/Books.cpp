#include "ledger/Books.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/LedgerCheck.h"
#include "ledger/PeriodMap.h"
#include "ledger/Rollup.h"
#include "ledger/SharedFile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>

namespace kw::ledger {

namespace {

// --- periods ---------------------------------------------------------------------------------

int number(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? n : 0;
}

// Where a period stands in time; texts that are not numbers after all the others, by their texts.
auto timeKey(const Period &p)
{
    const int y = number(p.year), m = number(p.month);
    return std::make_tuple(y == 0 && p.year.trimmed() != QLatin1String("0"), y, p.year, m == 0, m, p.month);
}

// --- refusals --------------------------------------------------------------------------------

[[noreturn]] void refuseChanged(const DbfFile &f, const QString &what)
{
    throw EngineError::changedOutside(f.displayName(), what);
}

// An amount the roll-up works on, from a record that passed the damage check: blank counts 0.
double bookedAmount(const DbfFile &f, const char *record, int field)
{
    const QVariant v = f.decode(record, field);
    return v.isNull() ? 0.0 : v.toDouble();
}

// An amount a query shows: blank reads 0, damage is the engine's error.
double shownAmount(const DbfFile &f, const char *record, int field)
{
    const QVariant v = f.decode(record, field);
    return v.isNull() ? 0.0 : v.toDouble();
}

// --- the three tables' layouts -----------------------------------------------------------------

int need(const DbfFile &f, const char *name)
{
    const int i = f.fieldIndex(QString::fromLatin1(name));
    if (i < 0)
        throw EngineError(
            QStringLiteral("Plik %1: brakuje pola %2.").arg(f.displayName(), QLatin1String(name)));
    return i;
}

struct Layout
{
    Level level = Level::Day;
    int month = -1; // the period's key fields; none for the year sums' month
    int year = -1;
    int day = -1; // day entries
    int date = -1;
    int remark = -1;
    int id = -1; // sums
    std::array<int, Categories.size()> amounts{};
    std::array<int, 3> derived{};
    std::vector<int> keyFields;

    static Layout of(const DbfFile &f, Level level)
    {
        checkFields(f, level == Level::Day     ? dayRequirements()
                       : level == Level::Month ? monthRequirements()
                                               : yearRequirements());
        Layout l;
        l.level = level;
        for (std::size_t i = 0; i < Categories.size(); ++i)
            l.amounts[i] = need(f, Categories[i].field(level));
        if (level == Level::Day) {
            l.month = need(f, DayRecord.month);
            l.year = need(f, DayRecord.year);
            l.day = need(f, DayRecord.day);
            l.date = need(f, DayRecord.date);
            l.remark = need(f, DayRecord.remark);
        } else {
            const SumRecordFields &s = level == Level::Month ? MonthRecord : YearRecord;
            const DerivedFields &d = derivedFields(level);
            l.derived = {need(f, d.income), need(f, d.expenses), need(f, d.budget)};
            l.id = f.fieldIndex(QString::fromLatin1(s.id));
            if (s.month)
                l.month = need(f, s.month);
            l.year = need(f, s.year);
        }
        if (l.month >= 0)
            l.keyFields.push_back(l.month);
        l.keyFields.push_back(l.year);
        return l;
    }
};

// A record image as the roll-up rule reaches it (see Rollup.h).
struct ImageRecord
{
    const DbfFile &file;
    const Layout &layout;
    std::string &image;
    std::uint32_t recno;
    double amount(int i) const { return bookedAmount(file, image.data(), layout.amounts[std::size_t(i)]); }
    void setAmount(int i, double v) { file.encode(image.data(), layout.amounts[std::size_t(i)], v); }
    double derived(Derived k) const
    {
        return bookedAmount(file, image.data(), layout.derived[std::size_t(k)]);
    }
    void setDerived(Derived k, double v) { file.encode(image.data(), layout.derived[std::size_t(k)], v); }
};

// The day number a record holds; blank is 0.
int dayNumberOf(const DbfFile &f, const char *record, const Layout &l)
{
    const QVariant v = f.decode(record, l.day);
    return v.isNull() ? 0 : int(std::lround(v.toDouble()));
}

// The order of the day table and of the month sums: by the order field, a blank one first.
double orderKey(const DbfFile &f, const char *record, int field)
{
    if (field < 0)
        return 0;
    QVariant v;
    try {
        v = f.decode(record, field);
    } catch (const EngineError &) {
    }
    return v.isNull() ? -std::numeric_limits<double>::infinity() : v.toDouble();
}

DayEntry entryOf(const DbfFile &f, const char *record, const Layout &l, std::uint32_t recno)
{
    DayEntry e;
    e.ref.period = {f.decode(record, l.month).toString(), f.decode(record, l.year).toString()};
    e.ref.day = dayNumberOf(f, record, l);
    e.ref.record = recno;
    for (std::size_t i = 0; i < Categories.size(); ++i)
        e.amounts[i] = shownAmount(f, record, l.amounts[i]);
    e.remark = f.decode(record, l.remark).toString();
    e.created = f.decode(record, l.date).toDate();
    return e;
}

SumFigures figuresOf(const DbfFile &f, const char *record, const Layout &l)
{
    SumFigures s;
    for (std::size_t i = 0; i < Categories.size(); ++i)
        s.amounts[i] = shownAmount(f, record, l.amounts[i]);
    s.income = shownAmount(f, record, l.derived[0]);
    s.expenses = shownAmount(f, record, l.derived[1]);
    s.budget = shownAmount(f, record, l.derived[2]);
    return s;
}

const QString &fileOf(Level level)
{
    return level == Level::Day ? DayFile : level == Level::Month ? MonthFile : YearFile;
}

} // namespace

int Period::monthNumber() const
{
    return number(month);
}

int Period::yearNumber() const
{
    return number(year);
}

bool Period::operator<(const Period &o) const
{
    return timeKey(*this) < timeKey(o);
}

// --- the batch's state ---------------------------------------------------------------------------

struct Books::Batch::State
{
    struct Staged
    {
        std::string base;  // the record as this process last read it (rewrites only)
        std::string image; // what the batch writes
        bool appended = false;
    };
    struct File
    {
        QString path;
        std::shared_ptr<SharedFile> store;
        std::optional<Layout> layout; // the three ledger tables
        std::uint32_t baseCount = 0;  // records on the disk when the batch first read the file
        int recordLength = 0;
        bool packed = false; // another program took records out since this process last read it
        std::map<std::uint32_t, Staged> staged;
        std::vector<std::uint32_t> appended; // in order
        DbfFile &dbf() const { return store->file(); }
        std::uint32_t count() const { return baseCount + std::uint32_t(appended.size()); }
    };

    Books *books = nullptr;
    bool recovered = false;
    bool committed = false;
    std::vector<std::unique_ptr<File>> files;
    std::map<QString, File *> byName;                             // as asked, so a name is resolved once
    std::map<std::pair<Level, Period>, std::uint32_t> sumRecords; // found or made by this batch
    std::vector<std::pair<File *, std::uint32_t>> order;          // first staging first
    std::set<Period> periods;
    std::set<QString> years;

    File &open(const QString &fileName);
    File &ledger(Level level);
    std::string image(File &f, std::uint32_t recno);
    std::string &stage(File &f, std::uint32_t recno);
    std::uint32_t stageAppend(File &f, std::string image);
    void changedOutside(File &f, const QString &what);

    std::string periodKey(File &f, const Period &p, bool creating);
    std::vector<std::uint32_t> periodRecords(File &f, const Period &p);
    std::optional<std::uint32_t> firstSum(Level level, const Period &p);
    std::uint32_t sumFor(Level level, const Period &p);
    // Why the day table no longer holds that day there; empty when it does (its image in `image`).
    QString dayProblem(const DayRef &ref, std::string *image = nullptr);
    void checkDay(const DayRef &ref);
    // Stages the three records of a booking after `change` has worked on them: the day first, or
    // last for a deletion; both sums get their derived fields recomputed.
    template <class Change> void book(const DayRef &ref, bool deleting, Change change);
    void touched(const Period &p)
    {
        periods.insert(p);
        years.insert(p.year);
    }
};

Books::Batch::State::File &Books::Batch::State::open(const QString &fileName)
{
    if (const auto known = byName.find(fileName); known != byName.end())
        return *known->second;
    // A change a crash left unfinished is rolled back before anything is read.
    if (!recovered) {
        Journal::recoverBeforeUse(books->folder());
        recovered = true;
    }
    std::shared_ptr<SharedFile> store = SharedFile::acquire(books->folder(), fileName);
    // The same file asked for in other letters.
    for (auto &f : files)
        if (f->store == store)
            return *byName.emplace(fileName, f.get()).first->second;
    // Only a file open for writing is held: one the user makes writable later must be opened
    // again when the period is, as the read-only refusal tells them.
    if ((fileName == DayFile || fileName == MonthFile || fileName == YearFile) && store->file().writable())
        if (std::find(books->held_.begin(), books->held_.end(), store) == books->held_.end())
            books->held_.push_back(store);
    auto f = std::make_unique<File>();
    f->store = std::move(store);
    f->path = f->store->file().path();
    const std::uint32_t known = f->store->file().recordCount();
    // What another program did since this process last read the file is read now, and shown by
    // every open table; a change of layout leaves nothing this batch could rely on.
    const DbfFile::DiskState state = f->store->refreshFromDisk(nullptr);
    if (state == DbfFile::DiskState::LayoutChanged)
        refuseChanged(f->store->file(), QStringLiteral("zmienił się układ pól tabeli"));
    f->baseCount = f->store->file().recordCount();
    auto seen = books->counts_.find(f->path);
    f->packed = (state == DbfFile::DiskState::Changed && f->baseCount < known) ||
                (seen != books->counts_.end() && f->baseCount < seen->second);
    books->counts_[f->path] = f->baseCount;
    f->recordLength = f->store->file().recordLength();
    files.push_back(std::move(f));
    byName.emplace(fileName, files.back().get());
    return *files.back();
}

Books::Batch::State::File &Books::Batch::State::ledger(Level level)
{
    File &f = open(fileOf(level));
    if (!f.layout)
        f.layout = Layout::of(f.dbf(), level);
    return f;
}

std::string Books::Batch::State::image(File &f, std::uint32_t recno)
{
    auto it = f.staged.find(recno);
    if (it != f.staged.end())
        return it->second.image;
    if (recno >= f.baseCount)
        throw EngineError(
            QStringLiteral("Plik %1: rekord nr %2 nie istnieje").arg(f.dbf().displayName()).arg(recno + 1));
    return std::string(f.store->record(recno), std::size_t(f.recordLength));
}

std::string &Books::Batch::State::stage(File &f, std::uint32_t recno)
{
    auto it = f.staged.find(recno);
    if (it != f.staged.end())
        return it->second.image;
    Staged s;
    s.base = image(f, recno);
    s.image = s.base;
    order.emplace_back(&f, recno);
    return f.staged.emplace(recno, std::move(s)).first->second.image;
}

std::uint32_t Books::Batch::State::stageAppend(File &f, std::string image)
{
    const std::uint32_t recno = f.count();
    f.appended.push_back(recno);
    order.emplace_back(&f, recno);
    f.staged.emplace(recno, Staged{{}, std::move(image), true});
    return recno;
}

void Books::Batch::State::changedOutside(File &f, const QString &what)
{
    // Another program that wrote one table within a tick of the file clock may have written the
    // others too: every store this process holds on them reads the disk again, and the open
    // tables show it before the user reads the refusal.
    std::vector<std::shared_ptr<SharedFile>> stores;
    for (auto &file : files)
        stores.push_back(file->store);
    for (const QString &name : {DayFile, MonthFile, YearFile})
        if (auto store = SharedFile::existing(SharedFile::resolve(books->folder(), name)))
            if (std::find(stores.begin(), stores.end(), store) == stores.end())
                stores.push_back(store);
    for (auto &store : stores)
        store->reloadAfterRestore();
    refuseChanged(f.dbf(), what);
}

std::string Books::Batch::State::periodKey(File &f, const Period &p, bool creating)
{
    const DbfFile &d = f.dbf();
    std::string probe = d.blankRecord();
    const QString texts[2] = {p.month, p.year};
    const std::vector<int> &fields = f.layout->keyFields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const QString &text = fields.size() == 1 ? p.year : texts[i];
        const std::string bytes = d.codePage().encode(text);
        const int length = d.fields()[std::size_t(fields[i])].length;
        // A text the field cannot hold whole, or one ending in a blank, is never read back as itself.
        if (bytes.empty() || int(bytes.size()) > length || bytes.back() == ' ') {
            if (creating)
                throw EngineError(
                    QStringLiteral("Okres %1/%2 nie zmieści się w pliku %3: pole %4 ma %5 znaków. "
                                   "Nic nie zostało zapisane.")
                        .arg(p.month, p.year, d.displayName(), d.fields()[std::size_t(fields[i])].name)
                        .arg(length));
            return {}; // a text no record can hold: a period with no records
        }
        d.encode(probe.data(), fields[i], text);
    }
    std::string key;
    PeriodMap::keyOf(d, probe.data(), fields, key);
    return key;
}

std::vector<std::uint32_t> Books::Batch::State::periodRecords(File &f, const Period &p)
{
    std::vector<std::uint32_t> out;
    const std::string key = periodKey(f, p, false);
    if (key.empty())
        return out;
    const DbfFile &d = f.dbf();
    const std::vector<int> &fields = f.layout->keyFields;
    // The map of periods answers without reading the file; until it is built aside, a read that
    // compares key bytes alone finds them.
    std::vector<std::uint32_t> found;
    if (const PeriodMap *map = f.store->builtPeriodMap(fields)) {
        found = map->records(key);
    } else {
        f.store->readPeriod(fields, key, [&](std::uint32_t recno, const char *rec) {
            f.store->keep(recno, rec);
            found.push_back(recno);
        });
    }
    std::string k;
    for (const std::uint32_t recno : found) {
        // What the batch staged over a record decides whether it still belongs here.
        const std::string rec = image(f, recno);
        PeriodMap::keyOf(d, rec.data(), fields, k);
        if (!DbfFile::isDeleted(rec.data()) && k == key)
            out.push_back(recno);
    }
    for (const std::uint32_t recno : f.appended) {
        const std::string &rec = f.staged.at(recno).image;
        PeriodMap::keyOf(d, rec.data(), fields, k);
        if (!DbfFile::isDeleted(rec.data()) && k == key)
            out.push_back(recno);
    }
    return out;
}

std::optional<std::uint32_t> Books::Batch::State::firstSum(Level level, const Period &p)
{
    File &f = ledger(level);
    std::optional<std::uint32_t> best;
    double bestKey = 0;
    for (const std::uint32_t recno : periodRecords(f, p)) {
        // The month sums are read in ID order, the year sums in the file's: the first is the one
        // the program works on.
        const double key =
            level == Level::Month ? orderKey(f.dbf(), image(f, recno).data(), f.layout->id) : 0;
        if (!best || key < bestKey) {
            best = recno;
            bestKey = key;
        }
    }
    return best;
}

std::uint32_t Books::Batch::State::sumFor(Level level, const Period &p)
{
    const std::pair<Level, Period> key{level, level == Level::Year ? Period{QString(), p.year} : p};
    if (const auto known = sumRecords.find(key); known != sumRecords.end())
        return known->second;
    if (const std::optional<std::uint32_t> r = firstSum(level, p))
        return sumRecords[key] = *r;
    File &f = ledger(level);
    const DbfFile &d = f.dbf();
    periodKey(f, p, true);
    std::string rec = d.blankRecord();
    if (level == Level::Month)
        d.encode(rec.data(), f.layout->month, p.month);
    d.encode(rec.data(), f.layout->year, p.year);
    for (const int a : f.layout->amounts)
        d.encode(rec.data(), a, 0.0);
    for (const int a : f.layout->derived)
        d.encode(rec.data(), a, 0.0);
    touched(p);
    return sumRecords[key] = stageAppend(f, std::move(rec));
}

QString Books::Batch::State::dayProblem(const DayRef &ref, std::string *out)
{
    File &f = ledger(Level::Day);
    const DbfFile &d = f.dbf();
    const QString removed = QStringLiteral("inny program usunął z tabeli rekordy (spakował ją)");
    const QString deleted = f.packed ? removed : QStringLiteral("bieżący rekord został usunięty");
    if (ref.record >= f.count())
        return deleted;
    const std::string rec = image(f, ref.record);
    if (DbfFile::isDeleted(rec.data()))
        return deleted;
    const bool samePeriod = d.decode(rec.data(), f.layout->month).toString() == ref.period.month &&
                            d.decode(rec.data(), f.layout->year).toString() == ref.period.year;
    if (!samePeriod || dayNumberOf(d, rec.data(), *f.layout) != ref.day)
        return f.packed ? removed : QStringLiteral("rekord dnia %1 należy teraz do innego dnia").arg(ref.day);
    if (out)
        *out = rec;
    return {};
}

void Books::Batch::State::checkDay(const DayRef &ref)
{
    const QString problem = dayProblem(ref);
    if (!problem.isEmpty())
        changedOutside(ledger(Level::Day), problem);
}

template <class Change> void Books::Batch::State::book(const DayRef &ref, bool deleting, Change change)
{
    checkDay(ref);
    const std::uint32_t m = sumFor(Level::Month, ref.period);
    const std::uint32_t y = sumFor(Level::Year, ref.period);
    File &df = ledger(Level::Day), &mf = ledger(Level::Month), &yf = ledger(Level::Year);
    // Worked out on copies: a refusal half way leaves nothing staged.
    std::string dayImage = image(df, ref.record), monthImage = image(mf, m), yearImage = image(yf, y);
    // An amount that is not a number (one filled with '*' by a writer that could not fit it) is
    // never read as 0 and written over.
    checkRecord(df.dbf(), ref.record, dayImage.data(), EngineError::Outcome::NothingStored);
    checkRecord(mf.dbf(), m, monthImage.data(), EngineError::Outcome::NothingStored);
    checkRecord(yf.dbf(), y, yearImage.data(), EngineError::Outcome::NothingStored);
    ImageRecord day{df.dbf(), *df.layout, dayImage, ref.record};
    ImageRecord month{mf.dbf(), *mf.layout, monthImage, m}, year{yf.dbf(), *yf.layout, yearImage, y};
    change(day, month, year);
    recomputeDerived(month);
    recomputeDerived(year);
    if (!deleting)
        stage(df, ref.record) = dayImage;
    stage(mf, m) = monthImage;
    stage(yf, y) = yearImage;
    if (deleting)
        stage(df, ref.record) = dayImage;
    touched(ref.period);
}

// --- Books -------------------------------------------------------------------------------------

Books::Books(const QString &folder, QObject *parent)
    : QObject(parent), folder_(QDir(folder.isEmpty() ? QDir::currentPath() : folder).absolutePath())
{
    static const int registered = qRegisterMetaType<kw::ledger::BooksChange>();
    (void)registered;
}

Books::~Books() = default;

bool Books::lockFolder()
{
    return lock_.acquire(folder_);
}

Journal::Recovery Books::recoverJournal()
{
    return Journal::recover(folder_);
}

backup::Outcome Books::backUpNow(const QDateTime &now)
{
    return backup::backupNow(folder_, now);
}

QStringList Books::verify() const
{
    return verifyLedger(folder_);
}

Books::Batch Books::batch()
{
    return Batch(*this);
}

std::vector<DayEntry> Books::days(const Period &period) const
{
    return const_cast<Books *>(this)->batch().days(period);
}

std::optional<DayEntry> Books::day(const DayRef &ref) const
{
    return const_cast<Books *>(this)->batch().day(ref);
}

std::optional<SumFigures> Books::monthSum(const Period &period) const
{
    return const_cast<Books *>(this)->batch().monthSum(period);
}

std::optional<SumFigures> Books::yearSum(const QString &year) const
{
    return const_cast<Books *>(this)->batch().yearSum(year);
}

QStringList Books::years() const
{
    Batch b = const_cast<Books *>(this)->batch();
    Batch::State::File &f = b.s_->ledger(Level::Year);
    std::set<Period> seen;
    f.dbf().scan([&](std::uint32_t, const char *rec) {
        if (!DbfFile::isDeleted(rec)) {
            const QString y = f.dbf().decode(rec, f.layout->year).toString();
            if (!y.isEmpty())
                seen.insert(Period{QString(), y});
        }
        return true;
    });
    QStringList out;
    for (const Period &p : seen)
        out << p.year;
    return out;
}

std::vector<MonthSum> Books::monthSums(const QString &year) const
{
    Batch b = const_cast<Books *>(this)->batch();
    Batch::State::File &f = b.s_->ledger(Level::Month);
    const DbfFile &d = f.dbf();
    // The first of each month in the table's order, as the program works on it.
    std::map<Period, std::pair<double, std::uint32_t>> first;
    std::map<Period, SumFigures> figures;
    d.scan([&](std::uint32_t recno, const char *rec) {
        if (DbfFile::isDeleted(rec) || d.decode(rec, f.layout->year).toString() != year)
            return true;
        const Period p{d.decode(rec, f.layout->month).toString(), year};
        if (p.month.isEmpty())
            return true;
        const std::pair<double, std::uint32_t> key{orderKey(d, rec, f.layout->id), recno};
        auto it = first.find(p);
        if (it == first.end() || key < it->second) {
            first[p] = key;
            figures[p] = figuresOf(d, rec, *f.layout);
        }
        return true;
    });
    std::vector<MonthSum> out;
    for (const auto &[p, s] : figures)
        out.push_back({p, s});
    return out;
}

Amounts Books::totals(const Period &firstPeriod, const Period &lastPeriod) const
{
    Batch b = const_cast<Books *>(this)->batch();
    Batch::State::File &f = b.s_->ledger(Level::Month);
    const DbfFile &d = f.dbf();
    // The first month sum of each period in the table's order, as the program works on it.
    std::map<Period, std::pair<std::pair<double, std::uint32_t>, Amounts>> first;
    d.scan([&](std::uint32_t recno, const char *rec) {
        if (DbfFile::isDeleted(rec))
            return true;
        const Period p{d.decode(rec, f.layout->month).toString(), d.decode(rec, f.layout->year).toString()};
        if (p.month.isEmpty() || p.year.isEmpty() || p < firstPeriod || lastPeriod < p)
            return true;
        const std::pair<double, std::uint32_t> key{orderKey(d, rec, f.layout->id), recno};
        auto it = first.find(p);
        if (it == first.end() || key < it->second.first)
            first[p] = {key, figuresOf(d, rec, *f.layout).amounts};
        return true;
    });
    Amounts sum{};
    for (const auto &[p, entry] : first)
        for (std::size_t i = 0; i < sum.size(); ++i)
            sum[i] += entry.second[i];
    return sum;
}

void Books::forEachDay(const std::function<bool(const DayEntry &)> &fn, const QString &year,
                       const QString &month) const
{
    Batch b = const_cast<Books *>(this)->batch();
    Batch::State::File &f = b.s_->ledger(Level::Day);
    const DbfFile &d = f.dbf();
    const Layout &l = *f.layout;
    // One pass files each record under its period; each period is then read on its own, in time
    // order, its records in ascending order (so neighbours are read together), and sorted by day.
    std::map<Period, std::vector<std::uint32_t>> periods;
    std::map<std::string, std::vector<std::uint32_t> *> byBytes;
    std::string key;
    d.scan([&](std::uint32_t recno, const char *rec) {
        if (DbfFile::isDeleted(rec))
            return true;
        PeriodMap::keyOf(d, rec, l.keyFields, key);
        if (key.empty())
            return true;
        auto it = byBytes.find(key);
        if (it == byBytes.end()) {
            const Period p{d.decode(rec, l.month).toString(), d.decode(rec, l.year).toString()};
            std::vector<std::uint32_t> *list = nullptr;
            if ((year.isEmpty() || p.year == year) && (month.isEmpty() || p.month == month))
                list = &periods[p];
            it = byBytes.emplace(key, list).first;
        }
        if (it->second)
            it->second->push_back(recno);
        return true;
    });
    byBytes.clear();
    std::vector<std::pair<double, DayEntry>> entries;
    for (auto &[p, recnos] : periods) {
        entries.clear();
        entries.reserve(recnos.size());
        d.readEach(recnos.data(), recnos.size(), [&](std::uint32_t recno, const char *rec) {
            entries.emplace_back(orderKey(d, rec, l.day), entryOf(d, rec, l, recno));
        });
        std::stable_sort(entries.begin(), entries.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &e : entries)
            if (!fn(e.second))
                return;
        std::vector<std::uint32_t>().swap(recnos);
    }
}

void Books::openPeriod(const Period &period)
{
    Batch b = batch();
    b.openPeriod(period);
    // The day table is held with the sums, so the windows about to show the period find all
    // three files open.
    b.s_->ledger(Level::Day);
    b.commit();
    // Writers that follow never wait for the journal's directory entry to reach the disk.
    Journal::prepare(folder_);
}

DayRef Books::newDay(const Period &period, int day, const QDate &created)
{
    Batch b = batch();
    const DayRef ref = b.newDay(period, day, created);
    b.commit();
    return ref;
}

void Books::add(const DayRef &day, const Amounts &amounts, Sign sign)
{
    Batch b = batch();
    b.add(day, amounts, sign);
    b.commit();
}

void Books::setRemark(const DayRef &day, const QString &remark)
{
    Batch b = batch();
    b.setRemark(day, remark);
    b.commit();
}

void Books::change(const DayRef &day, int dayNumber, const Amounts &amounts, const DayEntry *seen)
{
    Batch b = batch();
    b.change(day, dayNumber, amounts, seen);
    b.commit();
}

void Books::deleteDay(const DayRef &day)
{
    Batch b = batch();
    b.deleteDay(day);
    b.commit();
}

// --- Batch -------------------------------------------------------------------------------------

Books::Batch::Batch(Books &books) : s_(std::make_unique<State>())
{
    s_->books = &books;
}

Books::Batch::Batch(Batch &&) noexcept = default;
Books::Batch::~Batch() = default;

bool Books::Batch::empty() const
{
    return s_->order.empty();
}

void Books::Batch::openPeriod(const Period &period)
{
    s_->sumFor(Level::Month, period);
    s_->sumFor(Level::Year, period);
}

DayRef Books::Batch::newDay(const Period &period, int day, const QDate &created)
{
    State::File &f = s_->ledger(Level::Day);
    const DbfFile &d = f.dbf();
    s_->periodKey(f, period, true);
    std::string rec = d.blankRecord();
    const Layout &l = *f.layout;
    for (const int a : l.amounts)
        d.encode(rec.data(), a, 0.0);
    d.encode(rec.data(), l.day, day);
    d.encode(rec.data(), l.month, period.month);
    d.encode(rec.data(), l.year, period.year);
    d.encode(rec.data(), l.date, created);
    // The sums first, so that a period without them gets them; then the day is posted with both.
    s_->sumFor(Level::Month, period);
    s_->sumFor(Level::Year, period);
    const DayRef ref{period, dayNumberOf(d, rec.data(), l), s_->stageAppend(f, std::move(rec))};
    s_->book(ref, false, [](ImageRecord &, ImageRecord &, ImageRecord &) {});
    return ref;
}

DayRef Books::Batch::dayFor(const Period &period, int day, const QDate &created)
{
    for (const DayEntry &e : days(period))
        if (e.ref.day == day)
            return e.ref;
    return newDay(period, day, created);
}

void Books::Batch::add(const DayRef &day, const Amounts &amounts, Sign sign)
{
    const double s = sign == Sign::Add ? 1.0 : -1.0;
    s_->book(day, false, [&](ImageRecord &d, ImageRecord &month, ImageRecord &year) {
        moveSums(d, month, year,
                 [&](double sum, double, int i) { return sum + s * amounts[std::size_t(i)]; });
        setDayAmounts(d, [&](double value, int i) { return value + s * amounts[std::size_t(i)]; });
    });
}

void Books::Batch::setRemark(const DayRef &day, const QString &remark)
{
    s_->book(day, false, [&](ImageRecord &d, ImageRecord &, ImageRecord &) {
        d.file.encode(d.image.data(), d.layout.remark, remark.isEmpty() ? QVariant() : QVariant(remark));
    });
}

void Books::Batch::change(const DayRef &day, int dayNumber, const Amounts &amounts, const DayEntry *seen)
{
    if (seen) {
        // What the user corrected must still be what the disk holds.
        const std::optional<DayEntry> now = this->day(day);
        if (!now || now->amounts != seen->amounts || now->ref.day != seen->ref.day)
            refuseChanged(s_->ledger(Level::Day).dbf(),
                          QStringLiteral("wpis dnia %1 zmienił się, odkąd okno go pokazało").arg(day.day));
    }
    s_->book(day, false, [&](ImageRecord &d, ImageRecord &month, ImageRecord &year) {
        moveSums(d, month, year,
                 [&](double sum, double old, int i) { return (sum - old) + amounts[std::size_t(i)]; });
        d.file.encode(d.image.data(), d.layout.day, dayNumber);
        setDayAmounts(d, [&](double, int i) { return amounts[std::size_t(i)]; });
    });
}

void Books::Batch::deleteDay(const DayRef &day)
{
    s_->book(day, true, [](ImageRecord &d, ImageRecord &month, ImageRecord &year) {
        moveSums(d, month, year, [](double sum, double old, int) { return sum - old; });
        d.image[0] = '*';
    });
}

std::vector<DayEntry> Books::Batch::days(const Period &period)
{
    State::File &f = s_->ledger(Level::Day);
    const DbfFile &d = f.dbf();
    std::vector<std::pair<double, DayEntry>> rows;
    for (const std::uint32_t recno : s_->periodRecords(f, period)) {
        const std::string rec = s_->image(f, recno);
        rows.emplace_back(orderKey(d, rec.data(), f.layout->day), entryOf(d, rec.data(), *f.layout, recno));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
        return a.first < b.first || (a.first == b.first && a.second.ref.record < b.second.ref.record);
    });
    std::vector<DayEntry> out;
    out.reserve(rows.size());
    for (auto &r : rows)
        out.push_back(std::move(r.second));
    return out;
}

std::optional<DayEntry> Books::Batch::day(const DayRef &ref)
{
    State::File &f = s_->ledger(Level::Day);
    const DbfFile &d = f.dbf();
    if (ref.record < f.baseCount && !f.staged.count(ref.record)) {
        // The disk's record, not what this process remembers: another program may have written it
        // within one tick of the file's clock.
        const QByteArray disk = d.readBytes(d.recordOffset(ref.record), std::size_t(f.recordLength));
        if (disk.size() == f.recordLength &&
            std::string_view(disk.constData(), std::size_t(disk.size())) !=
                std::string_view(f.store->record(ref.record), std::size_t(f.recordLength)))
            f.store->reloadAfterRestore();
    }
    std::string rec;
    if (!s_->dayProblem(ref, &rec).isEmpty())
        return std::nullopt;
    return entryOf(d, rec.data(), *f.layout, ref.record);
}

std::optional<SumFigures> Books::Batch::monthSum(const Period &period)
{
    const std::optional<std::uint32_t> r = s_->firstSum(Level::Month, period);
    if (!r)
        return std::nullopt;
    State::File &f = s_->ledger(Level::Month);
    return figuresOf(f.dbf(), s_->image(f, *r).data(), *f.layout);
}

std::optional<SumFigures> Books::Batch::yearSum(const QString &year)
{
    const std::optional<std::uint32_t> r = s_->firstSum(Level::Year, Period{QString(), year});
    if (!r)
        return std::nullopt;
    State::File &f = s_->ledger(Level::Year);
    return figuresOf(f.dbf(), s_->image(f, *r).data(), *f.layout);
}

const DbfFile &Books::Batch::table(const QString &fileName)
{
    return s_->open(fileName).dbf();
}

std::string Books::Batch::record(const QString &fileName, std::uint32_t recno)
{
    return s_->image(s_->open(fileName), recno);
}

std::uint32_t Books::Batch::append(const QString &fileName, const std::string &record)
{
    State::File &f = s_->open(fileName);
    if (int(record.size()) != f.recordLength)
        throw EngineError(QStringLiteral("Plik %1: rekord ma %2 bajtów, a powinien %3")
                              .arg(f.dbf().displayName())
                              .arg(record.size())
                              .arg(f.recordLength));
    return s_->stageAppend(f, record);
}

void Books::Batch::write(const QString &fileName, std::uint32_t recno, const std::string &record)
{
    State::File &f = s_->open(fileName);
    if (int(record.size()) != f.recordLength)
        throw EngineError(QStringLiteral("Plik %1: rekord ma %2 bajtów, a powinien %3")
                              .arg(f.dbf().displayName())
                              .arg(record.size())
                              .arg(f.recordLength));
    s_->stage(f, recno) = record;
}

void Books::Batch::commit()
{
    State &s = *s_;
    if (s.committed)
        throw EngineError(QStringLiteral("Ta zmiana została już zapisana."));
    s.committed = true;
    if (s.order.empty())
        return;

    // Before anything is written: every record this batch rewrites must hold on the disk what this
    // process last read of it, and no other program may have added records where this one appends.
    for (auto &f : s.files) {
        if (f->staged.empty())
            continue;
        const std::uint32_t known = f->dbf().recordCount();
        const DbfFile::DiskState state = f->store->refreshFromDisk(nullptr);
        if (state == DbfFile::DiskState::LayoutChanged || f->dbf().recordLength() != f->recordLength)
            refuseChanged(f->dbf(), QStringLiteral("zmienił się układ pól tabeli"));
        if (f->dbf().recordCount() < known)
            refuseChanged(f->dbf(), QStringLiteral("inny program usunął z tabeli rekordy (spakował ją)"));
        if (!f->appended.empty() && f->dbf().recordCount() != f->baseCount)
            refuseChanged(f->dbf(), QStringLiteral("inny program dopisał do tabeli rekordy"));
        for (const auto &[recno, staged] : f->staged) {
            if (staged.appended)
                continue;
            const QByteArray disk =
                f->dbf().readBytes(f->dbf().recordOffset(recno), std::size_t(f->recordLength));
            if (std::string_view(disk.constData(), std::size_t(disk.size())) == staged.base)
                continue;
            s.changedOutside(
                *f, DbfFile::isDeleted(disk.constData()) && !DbfFile::isDeleted(staged.base.data())
                        ? QStringLiteral("bieżący rekord został usunięty")
                        : QStringLiteral("rekord nr %1 zmienił się od ostatniego odczytu").arg(recno + 1));
        }
    }

    // A file's new records go in one write, in the place of the first of them.
    std::map<const State::File *, std::string> appendedImages;
    for (auto &f : s.files)
        for (const std::uint32_t r : f->appended)
            appendedImages[f.get()] += f->staged.at(r).image;
    // Counted before the first write: a commit that fails halfway may still have changed a file.
    ++s.books->commits_;
    AtomicGroup group(s.books->folder());
    try {
        // Every record as it is and as it will be reaches the journal in one write before the first
        // record changes.
        for (const auto &[f, recno] : s.order) {
            const State::Staged &staged = f->staged.at(recno);
            if (!staged.appended)
                group.expectRecordWrite(f->dbf(), recno, QByteArray::fromStdString(staged.image));
        }
        for (const auto &[f, images] : appendedImages)
            group.expectAppend(f->dbf(), QByteArray::fromStdString(images));
        for (const auto &[f, recno] : s.order) {
            const State::Staged &staged = f->staged.at(recno);
            if (!staged.appended) {
                f->store->write(recno, staged.image.data(), nullptr);
            } else if (recno == f->appended.front()) {
                f->store->appendMany(appendedImages.at(f).data(), std::uint32_t(f->appended.size()), nullptr);
            }
        }
        group.commit();
    } catch (const EngineError &e) {
        group.abandon(e);
    }

    for (auto &f : s.files)
        s.books->counts_[f->path] = f->dbf().recordCount();
    BooksChange change;
    change.periods.assign(s.periods.begin(), s.periods.end());
    for (const QString &y : s.years)
        change.years << y;
    emit s.books->changed(change);
}

} // namespace kw::ledger
