// The store's map of periods: after every kind of change the records it names for a period are
// the ones a full read of the file finds, opening a period reads only that period's records, and
// closing reads nothing.
#include "ledger/PeriodMap.h"
#include "TestTables.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/SharedFile.h"

#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>

using kwtest::Ledger;
using namespace kw::ledger;

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

bool hasPythonDbf()
{
    if (!QFileInfo::exists(Python))
        return false;
    QProcess p;
    p.start(Python, {"-c", "import dbf"});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Another program appends a day entry.
void appendWithPython(const QString &dir, const QString &month, const QString &year, int day)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(Python,
            {"-c", QStringLiteral("import dbf\n"
                                  "t = dbf.Table('%1')\n"
                                  "t.open(dbf.READ_WRITE)\n"
                                  "t.append({'miesiac': '%2', 'rok': '%3', 'dzien': %4, 'inne': 2.5})\n"
                                  "t.close()\n")
                       .arg(DayFile, month, year)
                       .arg(day)});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

// Another writer appends through a file object of its own, as a second copy of a program would.
void appendBehindTheStore(const QString &path, const QString &month, const QString &year, int day)
{
    auto f = kw::DbfFile::open(path);
    std::string rec = f->blankRecord();
    f->encode(rec.data(), f->fieldIndex(u"MIESIAC"), month);
    f->encode(rec.data(), f->fieldIndex(u"ROK"), year);
    f->encode(rec.data(), f->fieldIndex(u"DZIEN"), day);
    f->appendRecord(rec.data());
}

// The live records of a period by a fresh read of the whole file, in file order.
std::vector<std::uint32_t> scanPeriod(const QString &path, const QString &month, const QString &year)
{
    auto f = kw::DbfFile::open(path);
    std::vector<std::uint32_t> out;
    const int m = f->fieldIndex(u"MIESIAC"), y = f->fieldIndex(u"ROK");
    f->scan([&](std::uint32_t recno, const char *rec) {
        if (!kw::DbfFile::isDeleted(rec) && f->decode(rec, m).toString() == month &&
            f->decode(rec, y).toString() == year)
            out.push_back(recno);
        return true;
    });
    return out;
}

std::vector<std::uint32_t> tableRecnos(kw::Table &t)
{
    std::vector<std::uint32_t> out;
    const int keep = t.recNo();
    for (t.first(); !t.eof(); t.next())
        out.push_back(std::uint32_t(t.currentRecno()));
    t.moveTo(keep);
    std::sort(out.begin(), out.end());
    return out;
}

// The map key of a period in a day file.
std::string keyOfPeriod(const kw::DbfFile &f, const std::vector<int> &fields, const QString &month,
                        const QString &year)
{
    std::string probe = f.blankRecord(), key;
    f.encode(probe.data(), fields[0], month);
    f.encode(probe.data(), fields[1], year);
    kw::PeriodMap::keyOf(f, probe.data(), fields, key);
    return key;
}

// What the day file's store holds for the period; nullopt when it holds no map now.
std::optional<std::vector<std::uint32_t>> mapPeriod(const QString &path, const QString &month,
                                                    const QString &year)
{
    auto store = kw::SharedFile::existing(QFileInfo(path).absoluteFilePath());
    if (!store)
        return std::nullopt;
    const kw::DbfFile &f = store->file();
    const std::vector<int> fields{f.fieldIndex(u"MIESIAC"), f.fieldIndex(u"ROK")};
    kw::PeriodMap *map = store->periodMap(fields);
    if (!map)
        return std::nullopt;
    return map->records(keyOfPeriod(f, fields, month, year));
}

// The day file's map as its store holds it now, without waiting for one being built; null when
// there is no store or no map.
const kw::PeriodMap *builtDayMap(const QString &path)
{
    auto store = kw::SharedFile::existing(QFileInfo(path).absoluteFilePath());
    if (!store)
        return nullptr;
    const kw::DbfFile &f = store->file();
    return store->builtPeriodMap({f.fieldIndex(u"MIESIAC"), f.fieldIndex(u"ROK")});
}

// Day entries appended straight to the day file, as another program that made it left them, with
// no sums: entry i in the period placeOf(i) gives, on a day from 1 to 28.
void appendDays(const QString &path, int count, const std::function<Period(int)> &placeOf)
{
    auto f = kw::DbfFile::open(path);
    const int m = f->fieldIndex(u"MIESIAC"), y = f->fieldIndex(u"ROK"), d = f->fieldIndex(u"DZIEN");
    std::string records;
    for (int i = 0; i < count; ++i) {
        std::string rec = f->blankRecord();
        const Period p = placeOf(i);
        f->encode(rec.data(), m, p.month);
        f->encode(rec.data(), y, p.year);
        f->encode(rec.data(), d, i % 28 + 1);
        records += rec;
    }
    f->appendRecords(records.data(), std::uint32_t(count));
}

// A day file of 40,000 entries in random order, thirty to a period from January 1990 on: large
// enough that the map is still being built while a test goes on after the first open.
void appendShuffledDays(const QString &path)
{
    std::vector<int> entry(40'000);
    std::iota(entry.begin(), entry.end(), 0);
    std::shuffle(entry.begin(), entry.end(), std::mt19937(23));
    appendDays(path, int(entry.size()), [&](int i) {
        const int p = entry[std::size_t(i)] / 30;
        return Period{QString::number(p % 12 + 1), QString::number(1990 + p / 12)};
    });
}

// Periods of that file, to compare the map with full reads.
const std::vector<Period> ShuffledPeriods{{"1", "1990"}, {"3", "1990"}, {"12", "1992"}, {"7", "2100"}};

// Every period of the shuffled table as the day file's map holds it, against a full read.
void expectShuffledPeriodsMapped(const QString &day)
{
    for (const Period &p : ShuffledPeriods)
        EXPECT_EQ(mapPeriod(day, p.month, p.year), scanPeriod(day, p.month, p.year)) << p.month.toStdString();
}

class PeriodMapTest : public ::testing::Test
{
protected:
    void SetUp() override { kw::SharedFile::forgetPeriodMaps(); }
    void TearDown() override { kw::SharedFile::forgetPeriodMaps(); }
};

// A ledger with some days in four periods, the period map built by opening the first of them.
void fill(Ledger &b, const std::vector<Period> &periods, const std::vector<int> &days = {3, 1, 2})
{
    for (const Period &p : periods) {
        b.open(p.month, p.year);
        for (int d : days)
            addDay(b.t, d, p.month, p.year, QDate(2004, 1, d));
    }
}

// The day file's records put in an order drawn at random, as another program that sorts or merges
// the file leaves them; the tables are closed and no map is held, as in a program just started.
void shuffleDayFile(Ledger &b, std::mt19937 &rng)
{
    closePeriod(b.t);
    kw::SharedFile::forgetPeriodMaps();
    auto f = kw::DbfFile::open(b.file(DayFile));
    std::vector<std::string> records(f->recordCount(), f->blankRecord());
    for (std::uint32_t r = 0; r < records.size(); ++r)
        f->readRecord(r, records[r].data());
    std::shuffle(records.begin(), records.end(), rng);
    for (std::uint32_t r = 0; r < records.size(); ++r)
        f->writeRecord(r, records[r].data());
}

// The map of a day file by the one pass of a first open, and the records it says the wanted
// period has while the pass goes on.
kw::PeriodMap onePass(const kw::DbfFile &f, const std::vector<int> &fields, const std::string &wantedKey,
                      std::vector<std::uint32_t> &wanted)
{
    kw::PeriodMap::Builder builder(f, fields, wantedKey);
    f.scan([&](std::uint32_t recno, const char *rec) {
        if (!kw::DbfFile::isDeleted(rec) && builder.place(recno, rec))
            wanted.push_back(recno);
        return true;
    });
    return builder.finish();
}

} // namespace

// Random steps of every kind that changes the day file, on a file whose periods lie side by side
// or in random order; after each, the open period's rows and every map entry agree with a full read.
void randomSession(bool shuffled)
{
    const bool python = hasPythonDbf();
    Ledger b;
    const std::vector<Period> periods{{"1", "2004"}, {"2", "2004"}, {"12", "2004"}, {"1", "2005"}};
    std::mt19937 rng(13);
    if (shuffled) {
        fill(b, periods, {3, 1, 2, 9, 4, 8, 5, 7, 6, 10});
        shuffleDayFile(b, rng);
    } else {
        fill(b, periods);
    }
    const QString day = b.file(DayFile);
    std::size_t open = 0;
    b.open(periods[open].month, periods[open].year);
    int outside = 0;
    for (int step = 0; step < 160; ++step) {
        const int what = int(rng() % 7);
        const Period &p = periods[open];
        const int dayNumber = int(rng() % 28) + 1;
        SCOPED_TRACE(testing::Message() << "step " << step << " action " << what << " period "
                                        << p.month.toStdString() << "/" << p.year.toStdString());
        if (what == 0) {
            open = rng() % periods.size();
            b.open(periods[open].month, periods[open].year);
        } else if (what == 1) {
            if (!b.day.hasOrderKey(dayNumber))
                addDay(b.t, dayNumber, p.month, p.year, QDate(2004, 1, 1));
        } else if (what == 2 && !b.day.isEmpty()) {
            b.day.moveTo(int(rng() % std::uint32_t(b.day.recordCount())));
            bookAmounts(b.t, Ledger::one(rng() % 10, 1.5), Sign::Add);
        } else if (what == 3 && !b.day.isEmpty()) {
            b.day.moveTo(int(rng() % std::uint32_t(b.day.recordCount())));
            changeEntry(b.t, dayNumber, Ledger::one(0, 2));
        } else if (what == 4 && !b.day.isEmpty()) {
            b.day.moveTo(int(rng() % std::uint32_t(b.day.recordCount())));
            deleteDay(b.t);
        } else if (what == 5 && !b.day.isEmpty()) {
            // A day moved to another period, by the day table alone: it leaves this period's rows.
            b.day.moveTo(int(rng() % std::uint32_t(b.day.recordCount())));
            const Period &to = periods[rng() % periods.size()];
            b.day.beforeEdit = nullptr;
            b.day.beforePost = nullptr;
            b.day.edit();
            b.day.setFieldValue("MIESIAC", to.month);
            b.day.setFieldValue("ROK", to.year);
            b.day.post();
            installRollupHooks(b.t);
        } else if (what == 6 && outside < 6) {
            const Period &to = periods[rng() % periods.size()];
            if (python)
                appendWithPython(b.path(), to.month, to.year, dayNumber);
            else
                appendBehindTheStore(day, to.month, to.year, dayNumber);
            ++outside;
            b.day.refresh(); // what the program does before it shows the day list again
        }
        const Period &now = periods[open];
        const std::vector<std::uint32_t> truth = scanPeriod(day, now.month, now.year);
        EXPECT_EQ(tableRecnos(b.day), truth);
        if (const auto held = mapPeriod(day, now.month, now.year))
            EXPECT_EQ(*held, truth);
        else
            EXPECT_EQ(what, 6) << "only a change by another program throws the map away";
        if (::testing::Test::HasFailure())
            break;
    }
    // Every period, not only the open one.
    b.open(periods[0].month, periods[0].year);
    for (const Period &p : periods)
        EXPECT_EQ(mapPeriod(day, p.month, p.year), scanPeriod(day, p.month, p.year)) << p.month.toStdString();
    if (!python)
        GTEST_SKIP() << "python3-dbf is not installed; another program's appends were written in-process";
}

TEST_F(PeriodMapTest, RandomSessionKeepsTheMapEqualToAFullRead)
{
    randomSession(false);
}

TEST_F(PeriodMapTest, RandomSessionOnAShuffledFileKeepsTheMapEqualToAFullRead)
{
    randomSession(true);
}

TEST_F(PeriodMapTest, OpenReadsThePeriodAloneAndCloseReadsNothing)
{
    Ledger b;
    const std::vector<Period> periods{{"1", "2004"}, {"2", "2004"}, {"3", "2004"}};
    fill(b, periods);
    closePeriod(b.t);
    kw::SharedFile::forgetPeriodMaps();

    const auto readDuring = [](auto &&what) {
        const std::uint64_t before = kw::DbfFile::recordsRead();
        what();
        return kw::DbfFile::recordsRead() - before;
    };
    // The first open reads each file once: nine days, three month sums, one year sum.
    EXPECT_EQ(readDuring([&] { b.open("2", "2004"); }), 9u + 3u + 1u);
    EXPECT_EQ(readDuring([&] { b.day.refresh(); }), 0u) << "an unchanged file is not read again";
    EXPECT_EQ(readDuring([&] { closePeriod(b.t); }), 0u);
    // Another period, and the same one again: their own records only, after the tables were closed.
    EXPECT_EQ(readDuring([&] { b.open("3", "2004"); }), 3u + 1u + 1u);
    EXPECT_EQ(b.day.recordCount(), 3);
    EXPECT_EQ(b.day.fieldValue("DZIEN").toInt(), 1) << "still in day order";
    EXPECT_EQ(readDuring([&] { b.open("3", "2004"); }), 3u + 1u + 1u);

    // A close with a change pending posts it first, as switching the filter off did.
    b.day.beforeEdit = nullptr;
    b.day.beforePost = nullptr;
    b.day.edit();
    b.day.setFieldValue("UWAGI", QStringLiteral("zapisane"));
    closePeriod(b.t);
    installRollupHooks(b.t);
    b.open("3", "2004");
    EXPECT_EQ(b.day.fieldValue("UWAGI").toString(), QStringLiteral("zapisane"));
}

TEST_F(PeriodMapTest, ChangeOnDiskMakesTheNextOpenReadTheFile)
{
    Ledger b;
    const std::vector<Period> periods{{"1", "2004"}, {"2", "2004"}};
    fill(b, periods);
    closePeriod(b.t);
    // While no table is open on it, and while one is.
    appendBehindTheStore(b.file(DayFile), "2", "2004", 9);
    const std::uint64_t before = kw::DbfFile::recordsRead();
    b.open("2", "2004");
    EXPECT_GE(kw::DbfFile::recordsRead() - before, 7u) << "the whole day file";
    EXPECT_EQ(b.day.recordCount(), 4);
    appendBehindTheStore(b.file(DayFile), "1", "2004", 9);
    b.day.refresh();
    b.open("1", "2004");
    EXPECT_EQ(tableRecnos(b.day), scanPeriod(b.file(DayFile), "1", "2004"));
    EXPECT_EQ(b.day.recordCount(), 4);
}

TEST_F(PeriodMapTest, FailedWriteLeavesTheMapTrue)
{
    Ledger b;
    fill(b, {{"1", "2004"}, {"2", "2004"}});
    // The day entry is appended, then the month sum cannot be written: the group is rolled back.
    kw::diskio::setFaultInjector([](kw::diskio::Op op, const QString &file) {
        return op == kw::diskio::Op::Write && file.compare(MonthFile, Qt::CaseInsensitive) == 0 ? ENOSPC : 0;
    });
    EXPECT_THROW(addDay(b.t, 20, "2", "2004", QDate(2004, 2, 20)), kw::EngineError);
    kw::diskio::setFaultInjector(nullptr);
    EXPECT_EQ(tableRecnos(b.day), scanPeriod(b.file(DayFile), "2", "2004"));
    EXPECT_EQ(b.day.recordCount(), 3);
    b.open("1", "2004");
    b.open("2", "2004");
    EXPECT_EQ(tableRecnos(b.day), scanPeriod(b.file(DayFile), "2", "2004"));
    const auto held = mapPeriod(b.file(DayFile), "2", "2004");
    ASSERT_TRUE(held.has_value());
    EXPECT_EQ(*held, scanPeriod(b.file(DayFile), "2", "2004"));
}

TEST(PeriodMap, GroupsRecordsAndFollowsMoves)
{
    using V = std::vector<std::uint32_t>;
    kw::PeriodMap map({0});
    map.add("b", 5);
    map.add("a", 7);
    map.add("b", 1);
    map.add("a", 2);
    map.add("", 3);  // no period
    map.add("b", 5); // already there
    EXPECT_EQ(map.records("a"), (V{2, 7}));
    EXPECT_EQ(map.records("b"), (V{1, 5}));
    map.remove("a", 2);
    map.add("c", 2);
    map.remove("b", 9); // not there
    EXPECT_EQ(map.records("a"), V{7});
    EXPECT_EQ(map.records("b"), (V{1, 5}));
    EXPECT_EQ(map.records("c"), V{2});
    EXPECT_TRUE(map.records("d").empty());
    EXPECT_EQ(map.recordCount(), 4u);

    // Neighbours join into one run and part again, the other periods untouched.
    for (std::uint32_t r : {10u, 12u, 11u, 14u, 13u, 9u})
        map.add("b", r);
    EXPECT_EQ(map.records("b"), (V{1, 5, 9, 10, 11, 12, 13, 14}));
    map.remove("b", 12);
    map.remove("b", 9);
    map.remove("b", 14);
    map.remove("b", 12); // gone already
    EXPECT_EQ(map.records("b"), (V{1, 5, 10, 11, 13}));
    map.add("b", 12);
    map.remove("b", 1);
    EXPECT_EQ(map.records("b"), (V{5, 10, 11, 12, 13}));
    EXPECT_EQ(map.records("a"), V{7});
    EXPECT_EQ(map.records("c"), V{2});
    EXPECT_EQ(map.recordCount(), 7u);
}

TEST(PeriodMap, OnePassFilesEveryPeriodOfAFile)
{
    kwtest::LedgerDir dir;
    const QString path = dir.file(DayFile);
    {
        auto f = kw::DbfFile::open(path);
        // Periods interleaved and in runs, a deleted record inside a run, a record of no period,
        // and years whose keys share their first eight bytes.
        const std::vector<std::pair<const char *, const char *>> records{
            {"3", "2004"},   {"3", "2004"}, {"12", "12345"}, {"3", "2004"}, {"12", "12346"},
            {"12", "12345"}, {"", "2004"},  {"3", "2004"},   {"3", "2004"}, {"3", "2005"}};
        for (const auto &[m, y] : records) {
            std::string rec = f->blankRecord();
            f->encode(rec.data(), f->fieldIndex(u"MIESIAC"), QString::fromLatin1(m));
            f->encode(rec.data(), f->fieldIndex(u"ROK"), QString::fromLatin1(y));
            f->appendRecord(rec.data());
        }
        std::string gone = f->blankRecord();
        f->readRecord(7, gone.data());
        gone[0] = '*';
        f->writeRecord(7, gone.data());
        // Another writer pads its texts with NULs, not blanks: the same periods all the same.
        for (const auto &[m, y] : {std::pair{"3\0\0", "2004\0"}, std::pair{"12\0", "12345"}}) {
            std::string rec = f->blankRecord();
            std::memcpy(rec.data() + f->fields()[std::size_t(f->fieldIndex(u"MIESIAC"))].offset, m, 3);
            std::memcpy(rec.data() + f->fields()[std::size_t(f->fieldIndex(u"ROK"))].offset, y, 5);
            f->appendRecord(rec.data());
        }
    }
    auto f = kw::DbfFile::open(path);
    const std::vector<int> fields{f->fieldIndex(u"MIESIAC"), f->fieldIndex(u"ROK")};
    const auto keyFor = [&](const char *m, const char *y) {
        return keyOfPeriod(*f, fields, QString::fromLatin1(m), QString::fromLatin1(y));
    };
    std::vector<std::uint32_t> wanted;
    const kw::PeriodMap map = onePass(*f, fields, keyFor("12", "12345"), wanted);
    const auto records = [&](const char *m, const char *y) {
        const auto s = map.records(keyFor(m, y));
        return std::vector<std::uint32_t>(s.begin(), s.end());
    };
    EXPECT_EQ(wanted, (std::vector<std::uint32_t>{2, 5, 11}));
    EXPECT_EQ(records("3", "2004"), (std::vector<std::uint32_t>{0, 1, 3, 8, 10}));
    EXPECT_EQ(records("12", "12345"), (std::vector<std::uint32_t>{2, 5, 11}));
    EXPECT_EQ(records("12", "12346"), (std::vector<std::uint32_t>{4}));
    EXPECT_EQ(records("3", "2005"), (std::vector<std::uint32_t>{9}));
    EXPECT_TRUE(records("4", "2004").empty());
    EXPECT_EQ(map.periodCount(), 4u);
    EXPECT_EQ(map.recordCount(), 10u);
}

// One pass over files of the same records in day order, alternating between two far periods record
// by record, and shuffled, each with deleted records and records of no period: the map names for
// every period what a full read finds, and holds at most eight bytes a record (a little more for
// each period), far less when the periods lie side by side.
TEST(PeriodMap, OnePassOnAnyOrderMatchesAFullRead)
{
    constexpr int Records = 3000, PerPeriod = 30;
    const auto placeOf = [](int entry) {
        const int period = entry / PerPeriod;
        return std::pair{QString::number(period % 12 + 1), QString::number(1990 + period / 12)};
    };
    std::mt19937 rng(7);
    std::vector<int> shuffled(Records);
    std::iota(shuffled.begin(), shuffled.end(), 0);
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    const std::map<std::string, std::function<int(int)>> orders{
        {"day order", [](int i) { return i; }},
        {"alternating", [](int i) { return i % 2 == 0 ? i / 2 : Records / 2 + i / 2; }},
        {"shuffled", [&](int i) { return shuffled[std::size_t(i)]; }}};
    for (const auto &[name, entryAt] : orders) {
        SCOPED_TRACE(name);
        kwtest::LedgerDir dir;
        const QString path = dir.file(DayFile);
        {
            auto f = kw::DbfFile::open(path);
            const int m = f->fieldIndex(u"MIESIAC"), y = f->fieldIndex(u"ROK");
            for (int i = 0; i < Records; ++i) {
                std::string rec = f->blankRecord();
                const auto [month, year] = placeOf(entryAt(i));
                if (i % 97 != 5) // now and then a record of no period
                    f->encode(rec.data(), m, month);
                f->encode(rec.data(), y, year);
                if (i % 89 == 3)
                    rec[0] = '*';
                f->appendRecord(rec.data());
            }
        }
        auto f = kw::DbfFile::open(path);
        const std::vector<int> fields{f->fieldIndex(u"MIESIAC"), f->fieldIndex(u"ROK")};
        const auto [wantedMonth, wantedYear] = placeOf(Records / 3);
        const auto keyFor = [&](const QString &m, const QString &y) { return keyOfPeriod(*f, fields, m, y); };
        std::vector<std::uint32_t> wanted;
        const kw::PeriodMap map = onePass(*f, fields, keyFor(wantedMonth, wantedYear), wanted);

        std::map<std::pair<QString, QString>, std::vector<std::uint32_t>> truth;
        std::size_t live = 0;
        f->scan([&](std::uint32_t recno, const char *rec) {
            const QString m = f->decode(rec, fields[0]).toString(), y = f->decode(rec, fields[1]).toString();
            if (!kw::DbfFile::isDeleted(rec) && !m.isEmpty() && !y.isEmpty()) {
                truth[{m, y}].push_back(recno);
                ++live;
            }
            return true;
        });
        EXPECT_EQ(wanted, (truth[{wantedMonth, wantedYear}]));
        EXPECT_EQ(map.periodCount(), truth.size());
        EXPECT_EQ(map.recordCount(), live);
        for (const auto &[period, recnos] : truth)
            ASSERT_EQ(map.records(keyFor(period.first, period.second)), recnos) << period.first.toStdString();
        EXPECT_TRUE(map.records(keyFor("1", "1900")).empty());

        const std::size_t perPeriod = 96; // the key, its runs' vector and its slots in the index
        EXPECT_LE(map.bytes(), 8 * live + perPeriod * map.periodCount());
        if (name == "day order") { // one run a period: the period's own entry is most of it
            EXPECT_LT(map.bytes(), 4 * live);
        }
    }
}

// Record numbers up to the last the words can hold, lone and in runs, and the first they cannot.
TEST(PeriodMap, HoldsRecordNumbersUpToItsLimit)
{
    using V = std::vector<std::uint32_t>;
    const std::uint32_t top = kw::PeriodMap::MaxRecords - 1;
    kw::PeriodMap map({0});
    map.add("a", top);
    map.add("a", 0);
    map.add("a", top - 2);
    EXPECT_EQ(map.records("a"), (V{0, top - 2, top}));
    map.add("a", top - 1); // joins both neighbours into one run
    map.add("a", 1);
    EXPECT_EQ(map.records("a"), (V{0, 1, top - 2, top - 1, top}));
    map.remove("a", top - 1);
    EXPECT_EQ(map.records("a"), (V{0, 1, top - 2, top}));
    EXPECT_THROW(map.add("a", kw::PeriodMap::MaxRecords), std::length_error);
    EXPECT_THROW(map.add("b", 0xFFFFFFFFu), std::length_error);
    EXPECT_EQ(map.records("a"), (V{0, 1, top - 2, top})) << "a refused record changes nothing";
    EXPECT_TRUE(map.records("b").empty());
    EXPECT_EQ(map.recordCount(), 4u);
    EXPECT_TRUE(kw::PeriodMap::canHold(kw::PeriodMap::MaxRecords));
    EXPECT_FALSE(kw::PeriodMap::canHold(kw::PeriodMap::MaxRecords + 1));
}

// Random adds and removes over a few periods whose records interleave, lone and in runs: after
// every step each period holds what a set of its records holds.
TEST(PeriodMap, RandomChangesMatchASetPerPeriod)
{
    kw::PeriodMap map({0});
    std::map<std::string, std::set<std::uint32_t>> truth;
    const std::vector<std::string> keys{"a", "bb", "c"};
    std::mt19937 rng(11);
    for (int step = 0; step < 6000; ++step) {
        const std::string &key = keys[rng() % keys.size()];
        const std::uint32_t recno = rng() % 120;
        if (rng() % 3 == 0) {
            map.remove(key, recno);
            truth[key].erase(recno);
        } else {
            map.add(key, recno);
            truth[key].insert(recno);
        }
        std::size_t all = 0;
        for (const std::string &k : keys) {
            const std::vector<std::uint32_t> expected(truth[k].begin(), truth[k].end());
            ASSERT_EQ(map.records(k), expected) << "step " << step << " period " << k;
            all += expected.size();
        }
        ASSERT_EQ(map.recordCount(), all) << "step " << step;
    }
}

// A table whose key fields lie apart, side by side in eight bytes, or past eight bytes, each
// padded with blanks or NULs and holding blanks within: the matcher finds exactly the records
// whose key is the wanted one.
TEST(PeriodMap, MatcherAgreesWithTheKeyOfEveryRecord)
{
    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath("KLUCZE.DBF");
    kw::DbfFile::create(
        path, {{"A", 'C', 2, 0}, {"G", 'C', 1, 0}, {"B", 'C', 3, 0}, {"Y", 'C', 5, 0}, {"L", 'C', 12, 0}});
    std::mt19937 rng(3);
    {
        auto f = kw::DbfFile::open(path);
        for (int i = 0; i < 3000; ++i) {
            std::string rec = f->blankRecord();
            for (const kw::DbfField &d : f->fields()) {
                // Short texts of few letters, so that keys repeat; then blanks or NULs.
                const int length = int(rng() % std::uint32_t(std::min(d.length, 4) + 1));
                const char pad = rng() % 3 == 0 ? '\0' : ' ';
                for (int k = 0; k < d.length; ++k)
                    rec[std::size_t(d.offset + k)] = k < length ? "12 "[rng() % 3] : pad;
            }
            if (i % 17 == 0)
                rec[0] = '*';
            f->appendRecord(rec.data());
        }
    }
    auto f = kw::DbfFile::open(path);
    for (const std::vector<int> &fields :
         std::vector<std::vector<int>>{{0, 2}, {2, 3}, {3}, {3, 4}, {0, 1, 2}}) {
        SCOPED_TRACE(testing::Message() << "fields " << fields.size() << " from " << fields[0]);
        std::vector<std::string> keys;
        std::string key;
        f->scan([&](std::uint32_t recno, const char *rec) {
            kw::PeriodMap::keyOf(*f, rec, fields, key);
            if (recno % 50 == 0 && !key.empty())
                keys.push_back(key);
            return true;
        });
        keys.push_back(std::string("\x02zz\x01"
                                   "1",
                                   5)); // a key no record holds
        for (const std::string &wanted : keys) {
            kw::PeriodMap::Matcher matches(*f, fields, wanted);
            f->scan([&](std::uint32_t recno, const char *rec) {
                kw::PeriodMap::keyOf(*f, rec, fields, key);
                EXPECT_EQ(matches(rec), key == wanted) << "record " << recno;
                return !::testing::Test::HasFailure();
            });
        }
    }
}

// The worst orders for the map: periods taking turns record by record or two records at a time,
// and records in random order. One pass holds four bytes a record, and a period's key and its
// entry beside them.
TEST(PeriodMap, OnePassHoldsFourBytesARecordAtWorst)
{
    constexpr int Records = 6000, PerPeriod = 30, Periods = Records / PerPeriod;
    std::vector<int> shuffled(Records);
    std::iota(shuffled.begin(), shuffled.end(), 0);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(17));
    const std::map<std::string, std::function<int(int)>> orders{
        {"turns of one", [](int i) { return (i % Periods) * PerPeriod + i / Periods; }},
        {"turns of two",
         [](int i) { return ((i / 2) % Periods) * PerPeriod + (i / 2 / Periods) * 2 + i % 2; }},
        {"shuffled", [&](int i) { return shuffled[std::size_t(i)]; }}};
    for (const auto &[name, entryAt] : orders) {
        SCOPED_TRACE(name);
        kwtest::LedgerDir dir;
        const QString path = dir.file(DayFile);
        {
            auto f = kw::DbfFile::open(path);
            for (int i = 0; i < Records; ++i) {
                std::string rec = f->blankRecord();
                const int period = entryAt(i) / PerPeriod;
                f->encode(rec.data(), f->fieldIndex(u"MIESIAC"), QString::number(period % 12 + 1));
                f->encode(rec.data(), f->fieldIndex(u"ROK"), QString::number(1900 + period / 12));
                f->appendRecord(rec.data());
            }
        }
        auto f = kw::DbfFile::open(path);
        const std::vector<int> fields{f->fieldIndex(u"MIESIAC"), f->fieldIndex(u"ROK")};
        std::vector<std::uint32_t> wanted;
        const kw::PeriodMap map = onePass(*f, fields, keyOfPeriod(*f, fields, "1", "1900"), wanted);
        EXPECT_EQ(wanted.size(), std::size_t(PerPeriod));
        EXPECT_EQ(map.periodCount(), std::size_t(Periods));
        // A key of "12" and "1916" takes eight bytes; the period's entry twelve.
        const std::size_t perPeriod = 8 + 12;
        EXPECT_LE(map.bytes(), 4 * std::size_t(Records) + perPeriod * Periods + 64);
        std::vector<std::uint32_t> all;
        for (int p = 0; p < Periods; ++p) {
            const auto held = map.records(
                keyOfPeriod(*f, fields, QString::number(p % 12 + 1), QString::number(1900 + p / 12)));
            EXPECT_EQ(held.size(), std::size_t(PerPeriod));
            all.insert(all.end(), held.begin(), held.end());
        }
        std::sort(all.begin(), all.end());
        EXPECT_EQ(all.size(), std::size_t(Records));
        EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "a record in two periods";
    }
}

// The first open reads the day file once, comparing key bytes; the map is built aside, and a
// write through the store before it arrives waits for it and keeps it true: no map that misses
// the write is ever kept.
TEST_F(PeriodMapTest, WriteWhileTheMapIsBuiltKeepsItTrue)
{
    Ledger b;
    const QString day = b.file(DayFile);
    appendShuffledDays(day);
    const std::uint64_t before = kw::DbfFile::recordsRead();
    b.open("3", "1990");
    EXPECT_LT(kw::DbfFile::recordsRead() - before, 2u * 40'000u)
        << "the day file once, whatever is built aside";
    EXPECT_EQ(b.day.recordCount(), 30);
    addDay(b.t, 29, "3", "1990", QDate(1990, 3, 29));
    const std::vector<std::uint32_t> truth = scanPeriod(day, "3", "1990");
    EXPECT_EQ(truth.size(), 31u);
    EXPECT_EQ(tableRecnos(b.day), truth);
    kw::SharedFile::waitForPeriodMaps();
    const kw::PeriodMap *map = builtDayMap(day);
    ASSERT_NE(map, nullptr) << "taken before the write, and kept true by it";
    expectShuffledPeriodsMapped(day);
    EXPECT_EQ(map->recordCount(), 40'001u);

    // Opening another period now reads its records alone.
    const std::uint64_t reopen = kw::DbfFile::recordsRead();
    b.open("12", "1992");
    EXPECT_EQ(b.day.recordCount(), 30);
    EXPECT_LT(kw::DbfFile::recordsRead() - reopen, 100u);
}

// Another program appends while the map is built: whether the build read the file before or after
// the change, the map is not kept, and the next read of the file builds a true one.
TEST_F(PeriodMapTest, ChangeByAnotherProgramWhileTheMapIsBuiltDropsIt)
{
    Ledger b;
    const QString day = b.file(DayFile);
    appendShuffledDays(day);
    b.open("3", "1990");
    appendBehindTheStore(day, "3", "1990", 29);
    kw::SharedFile::waitForPeriodMaps();
    EXPECT_EQ(builtDayMap(day), nullptr);
    b.day.refresh();
    EXPECT_EQ(tableRecnos(b.day), scanPeriod(day, "3", "1990"));
    EXPECT_EQ(b.day.recordCount(), 31);
    b.open("12", "1992");
    expectShuffledPeriodsMapped(day);
}

// A change that fails and is rolled back while the map is built: the write took the map and
// filed its day entry, the rollback put the files back behind the store, so that map is thrown
// away; the tables read the period again, and the map built after that holds what is on the disk.
TEST_F(PeriodMapTest, RollbackWhileTheMapIsBuiltDropsIt)
{
    Ledger b;
    const QString day = b.file(DayFile);
    appendShuffledDays(day);
    b.open("3", "1990");
    kw::diskio::setFaultInjector([](kw::diskio::Op op, const QString &file) {
        return op == kw::diskio::Op::Write && file.compare(MonthFile, Qt::CaseInsensitive) == 0 ? ENOSPC : 0;
    });
    EXPECT_THROW(addDay(b.t, 29, "3", "1990", QDate(1990, 3, 29)), kw::EngineError);
    kw::diskio::setFaultInjector(nullptr);
    kw::SharedFile::waitForPeriodMaps();
    EXPECT_EQ(scanPeriod(day, "3", "1990").size(), 30u) << "the day entry was rolled back";
    const kw::PeriodMap *map = builtDayMap(day);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->recordCount(), 40'000u) << "the rolled-back entry is not held";
    EXPECT_EQ(mapPeriod(day, "3", "1990"), scanPeriod(day, "3", "1990"));
    b.open("1", "1990");
    b.open("3", "1990");
    EXPECT_EQ(tableRecnos(b.day), scanPeriod(day, "3", "1990"));
    expectShuffledPeriodsMapped(day);
}

// Forgetting the maps, as a program just started has none, abandons those being built too.
TEST_F(PeriodMapTest, ForgettingTheMapsAbandonsTheirBuilds)
{
    Ledger b;
    const QString day = b.file(DayFile);
    appendShuffledDays(day);
    b.open("3", "1990");
    kw::SharedFile::forgetPeriodMaps();
    kw::SharedFile::waitForPeriodMaps();
    EXPECT_EQ(builtDayMap(day), nullptr);
    const std::uint64_t before = kw::DbfFile::recordsRead();
    b.open("12", "1992");
    EXPECT_GE(kw::DbfFile::recordsRead() - before, 40'000u) << "no map: the whole file once more";
    EXPECT_EQ(b.day.recordCount(), 30);
}
