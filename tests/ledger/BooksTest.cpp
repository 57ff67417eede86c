// The books against a plain model: random operations, batches, period switches and other
// programs' writes, checked after every step against the model, against sums recounted from the
// day entries and against open tables that only show; then the batch's journal and flushes, the
// refusals of outside changes and damaged amounts, and the queries.
#include "ledger/Books.h"
#include "TestTables.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/Journal.h"
#include "ledger/LedgerCheck.h"

#include <QSignalSpy>
#include <charconv>
#include <fcntl.h>
#include <map>
#include <random>
#include <sys/stat.h>

using kw::DbfFile;
using kw::EngineError;
using kw::Table;
using namespace kw::ledger;
namespace kl = kw::ledger;

namespace {

// What the file keeps of a number: four decimals.
double stored(double v)
{
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, v == 0 ? 0.0 : v, std::chars_format::fixed, 4);
    double out = 0;
    std::from_chars(text, r.ptr, out);
    return out;
}

struct ModelSum
{
    Amounts a{};
    double income = 0, expenses = 0, budget = 0;
    void derive()
    {
        double in = a[0];
        for (int i = 1; i < IncomeKinds; ++i)
            in = in - a[std::size_t(i)];
        income = stored(in);
        double out = 0;
        for (std::size_t i = IncomeKinds; i < a.size(); ++i)
            out = out + a[i];
        expenses = stored(out);
        budget = stored(income - expenses);
    }
};

struct ModelDay
{
    kl::Period period;
    int day = 0;
    Amounts a{};
    QString remark;
    bool deleted = false;
};

// The books as a reader with a pencil would keep them.
struct Model
{
    std::vector<ModelDay> days; // by record number
    std::map<kl::Period, ModelSum> months;
    std::map<QString, ModelSum> years;

    void open(const kl::Period &p)
    {
        months[p];
        years[p.year];
    }
    template <class Next> void move(const kl::Period &p, const Amounts &day, Next next)
    {
        ModelSum &m = months[p], &y = years[p.year];
        for (std::size_t i = 0; i < day.size(); ++i) {
            m.a[i] = stored(next(m.a[i], day[i], i));
            y.a[i] = stored(next(y.a[i], day[i], i));
        }
        m.derive();
        y.derive();
    }
};

void expectSame(const SumFigures &got, const ModelSum &want, const std::string &what)
{
    for (std::size_t i = 0; i < want.a.size(); ++i)
        EXPECT_EQ(got.amounts[i], want.a[i]) << what << " category " << i;
    EXPECT_EQ(got.income, want.income) << what;
    EXPECT_EQ(got.expenses, want.expenses) << what;
    EXPECT_EQ(got.budget, want.budget) << what;
}

struct ViewPeriod : PeriodSource
{
    kl::Period p;
    QString monthText() const override { return p.month; }
    QString yearText() const override { return p.year; }
};

// An in-process writer beside the books, as another program: its own file object on the table.
void appendOutside(const QString &dir, const kl::Period &p, int day, const QString &remark)
{
    auto f = DbfFile::open(QDir(dir).filePath(DayFile));
    std::string rec = f->blankRecord();
    f->encode(rec.data(), f->fieldIndex("MIESIAC"), p.month);
    f->encode(rec.data(), f->fieldIndex("ROK"), p.year);
    f->encode(rec.data(), f->fieldIndex("DZIEN"), day);
    for (const Category &c : Categories)
        f->encode(rec.data(), f->fieldIndex(c.day), 0.0);
    f->encode(rec.data(), f->fieldIndex("UWAGI"), remark);
    f->appendRecord(rec.data());
}

// Rewrites one field of one record in place, keeping the file's size and modification time, as a
// program writing within one tick of a coarse file clock would.
void editWithinTick(const QString &path, std::uint32_t recno, const char *field, const QVariant &value)
{
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    {
        auto f = DbfFile::open(path);
        std::string rec(std::size_t(f->recordLength()), ' ');
        f->readRecord(recno, rec.data());
        f->encode(rec.data(), f->fieldIndex(field), value);
        f->writeRecord(recno, rec.data());
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

std::uint32_t firstRecordOf(const QString &path, const char *field, const QString &text)
{
    auto f = DbfFile::open(path);
    std::uint32_t found = 0xFFFFFFFFu;
    f->scan([&](std::uint32_t recno, const char *rec) {
        if (!DbfFile::isDeleted(rec) && f->decode(rec, f->fieldIndex(field)).toString() == text) {
            found = recno;
            return false;
        }
        return true;
    });
    return found;
}

std::string errorOf(const std::function<void()> &fn, EngineError::Kind *kind = nullptr)
{
    try {
        fn();
    } catch (const EngineError &e) {
        if (kind)
            *kind = e.kind();
        return e.what();
    }
    return "(no error)";
}

QByteArray tables(const QString &dir)
{
    return kwtest::readAll(QDir(dir).filePath(DayFile)) + kwtest::readAll(QDir(dir).filePath(MonthFile)) +
           kwtest::readAll(QDir(dir).filePath(YearFile));
}

class ModelRun
{
public:
    ModelRun() : books(dir.path())
    {
        for (Table *t : {&day, &month, &year})
            t->setDirectory(dir.path());
        setUpDayTable(day);
        setUpMonthTable(month);
        setUpYearTable(year);
        day.setOnFilterRecord(dayPeriodFilter(view));
        month.setOnFilterRecord(monthPeriodFilter(view));
        year.setOnFilterRecord(yearPeriodFilter(view));
    }

    kwtest::LedgerDir dir;
    kl::Books books;
    Model model;
    Table day, month, year; // a window's three cursors, which only show
    ViewPeriod view;
    std::mt19937 rng{20240301};

    const std::vector<kl::Period> periods{kl::Period::of(1, 2003),
                                          kl::Period::of(3, 2004),
                                          kl::Period::of(12, 2003),
                                          {"3", "04"},
                                          kl::Period::of(11, 2004)};

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    double cents() { return std::uniform_int_distribution<int>(-200000, 200000)(rng) / 100.0; }
    Amounts amounts()
    {
        Amounts a{};
        for (double &v : a)
            v = pick(3) == 0 ? cents() : 0.0;
        return a;
    }
    std::vector<std::uint32_t> liveDays() const
    {
        std::vector<std::uint32_t> out;
        for (std::size_t r = 0; r < model.days.size(); ++r)
            if (!model.days[r].deleted && model.months.count(model.days[r].period))
                out.push_back(std::uint32_t(r));
        return out;
    }
    DayRef refOf(std::uint32_t r) const { return {model.days[r].period, model.days[r].day, r}; }

    // One random operation, staged into `batch` when there is one.
    void step(kl::Books::Batch *batch)
    {
        const auto live = liveDays();
        const int what = live.empty() ? 0 : pick(7);
        if (what == 0) {
            const kl::Period p = periods[std::size_t(pick(int(periods.size())))];
            const int d = 1 + pick(28);
            const DayRef ref =
                batch ? batch->newDay(p, d, QDate(2004, 3, 1)) : books.newDay(p, d, QDate(2004, 3, 1));
            ASSERT_EQ(ref.record, model.days.size());
            model.open(p);
            model.days.push_back({p, d, {}, {}, false});
            model.move(p, Amounts{}, [](double s, double, std::size_t) { return s; });
            return;
        }
        const std::uint32_t r = live[std::size_t(pick(int(live.size())))];
        ModelDay &m = model.days[r];
        const DayRef ref = refOf(r);
        if (what <= 2) {
            const Amounts a = amounts();
            const Sign sign = what == 1 ? Sign::Add : Sign::Subtract;
            const double s = sign == Sign::Add ? 1.0 : -1.0;
            batch ? batch->add(ref, a, sign) : books.add(ref, a, sign);
            model.move(m.period, a, [&](double sum, double, std::size_t i) { return sum + s * a[i]; });
            for (std::size_t i = 0; i < a.size(); ++i)
                m.a[i] = stored(m.a[i] + s * a[i]);
        } else if (what == 3) {
            const Amounts a = amounts();
            const int d = 1 + pick(28);
            batch ? batch->change(ref, d, a) : books.change(ref, d, a);
            model.move(m.period, m.a,
                       [&](double sum, double old, std::size_t i) { return (sum - old) + a[i]; });
            for (std::size_t i = 0; i < a.size(); ++i)
                m.a[i] = stored(a[i]);
            m.day = d;
        } else if (what == 4) {
            batch ? batch->deleteDay(ref) : books.deleteDay(ref);
            model.move(m.period, m.a, [](double sum, double old, std::size_t) { return sum - old; });
            m.deleted = true;
        } else if (what == 5) {
            const QString remark = QStringLiteral("Zakupy żółte %1").arg(pick(1000));
            batch ? batch->setRemark(ref, remark) : books.setRemark(ref, remark);
            m.remark = remark;
            model.move(m.period, Amounts{}, [](double s, double, std::size_t) { return s; });
        } else {
            // The day as the disk holds it, read back.
            const std::optional<DayEntry> e = batch ? batch->day(ref) : books.day(ref);
            ASSERT_TRUE(e.has_value());
            EXPECT_EQ(e->amounts, m.a);
        }
    }

    // Everything the books answer, against the model and against sums recounted from the days.
    template <class Reader> void checkAgainstModel(Reader &reader, const std::string &when)
    {
        for (const auto &[p, want] : model.months) {
            std::vector<std::uint32_t> expected;
            Amounts recount{};
            for (std::size_t r = 0; r < model.days.size(); ++r) {
                const ModelDay &d = model.days[r];
                if (d.deleted || !(d.period == p))
                    continue;
                expected.push_back(std::uint32_t(r));
                for (std::size_t i = 0; i < recount.size(); ++i)
                    recount[i] += d.a[i];
            }
            std::stable_sort(expected.begin(), expected.end(),
                             [&](auto a, auto b) { return model.days[a].day < model.days[b].day; });
            const std::vector<DayEntry> got = reader.days(p);
            ASSERT_EQ(got.size(), expected.size()) << when;
            for (std::size_t k = 0; k < got.size(); ++k) {
                const ModelDay &d = model.days[expected[k]];
                EXPECT_EQ(got[k].ref.record, expected[k]) << when;
                EXPECT_EQ(got[k].ref.day, d.day) << when;
                EXPECT_EQ(got[k].amounts, d.a) << when;
                EXPECT_EQ(got[k].remark, d.remark) << when;
            }
            const std::optional<SumFigures> sum = reader.monthSum(p);
            ASSERT_TRUE(sum.has_value()) << when;
            expectSame(*sum, want, when + " month " + p.month.toStdString() + "/" + p.year.toStdString());
            for (std::size_t i = 0; i < recount.size(); ++i)
                EXPECT_NEAR(sum->amounts[i], recount[i], 1e-6) << when << " recount " << i;
        }
        for (const auto &[y, want] : model.years) {
            const std::optional<SumFigures> sum = reader.yearSum(y);
            ASSERT_TRUE(sum.has_value()) << when;
            expectSame(*sum, want, when + " year " + y.toStdString());
        }
    }

    // The window's cursors show what the books wrote, without reading the file themselves.
    void checkView(const std::string &when)
    {
        if (!day.active())
            return;
        const std::vector<DayEntry> want = books.days(view.p);
        ASSERT_EQ(day.recordCount(), int(want.size())) << when;
        for (int row = 0; row < day.recordCount(); ++row) {
            EXPECT_EQ(day.rowValue(row, day.file().fieldIndex("DZIEN")).toInt(),
                      want[std::size_t(row)].ref.day)
                << when;
            EXPECT_EQ(day.rowValue(row, day.file().fieldIndex("PRZYCHOD")).toDouble(),
                      want[std::size_t(row)].amounts[0])
                << when;
        }
        if (const auto m = books.monthSum(view.p)) {
            EXPECT_EQ(amount(month, "ROZNICA"), m->budget) << when;
        }
        if (const auto y = books.yearSum(view.p.year)) {
            EXPECT_EQ(amount(year, "RROZNICA"), y->budget) << when;
        }
    }

    void switchView(const kl::Period &p)
    {
        for (Table *t : {&day, &month, &year})
            t->close();
        view.p = p;
        books.openPeriod(p);
        model.open(p);
        for (Table *t : {&day, &month, &year}) {
            t->setFiltered(true);
            t->open();
        }
    }
};

} // namespace

TEST(Books, RandomOperationsBatchesAndOutsideWritesAgreeWithAModelAfterEveryStep)
{
    ModelRun run;
    run.switchView(run.periods[1]);
    for (int n = 0; n < 300; ++n) {
        const std::string when = "step " + std::to_string(n);
        SCOPED_TRACE(when);
        const int kind = run.pick(20);
        if (kind == 0) {
            run.switchView(run.periods[std::size_t(run.pick(int(run.periods.size())))]);
        } else if (kind == 1) {
            // Another program appends a day with no amounts; the books go on after it.
            const kl::Period p = run.periods[std::size_t(run.pick(int(run.periods.size())))];
            appendOutside(run.dir.path(), p, 15, QStringLiteral("obok"));
            run.model.days.push_back({p, 15, {}, QStringLiteral("obok"), false});
        } else if (kind <= 4) {
            // A batch, checked through its own reads on the way; sometimes dropped unwritten.
            const QByteArray before = tables(run.dir.path());
            const Model saved = run.model;
            kl::Books::Batch batch = run.books.batch();
            const int ops = 1 + run.pick(12);
            for (int k = 0; k < ops; ++k)
                run.step(&batch);
            run.checkAgainstModel(batch, when + " inside the batch");
            if (kind == 2) {
                EXPECT_EQ(tables(run.dir.path()), before) << "a batch writes nothing before commit";
                run.model = saved;
                continue;
            }
            batch.commit();
        } else {
            run.step(nullptr);
        }
        if (::testing::Test::HasFatalFailure())
            return;
        run.checkAgainstModel(run.books, when);
        run.checkView(when);
        EXPECT_EQ(verifyLedger(run.dir.path()), QStringList()) << when;
    }
    // Everything once more, in (year, month, day) order.
    std::vector<std::tuple<int, int, int, std::uint32_t>> expected;
    for (std::size_t r = 0; r < run.model.days.size(); ++r) {
        const ModelDay &d = run.model.days[r];
        if (!d.deleted)
            expected.emplace_back(d.period.yearNumber(), d.period.monthNumber(), d.day, std::uint32_t(r));
    }
    std::stable_sort(expected.begin(), expected.end(), [](const auto &a, const auto &b) {
        return std::tie(std::get<0>(a), std::get<1>(a), std::get<2>(a)) <
               std::tie(std::get<0>(b), std::get<1>(b), std::get<2>(b));
    });
    std::vector<std::tuple<int, int, int, std::uint32_t>> walked;
    run.books.forEachDay([&](const DayEntry &e) {
        walked.emplace_back(e.ref.period.yearNumber(), e.ref.period.monthNumber(), e.ref.day, e.ref.record);
        return true;
    });
    EXPECT_EQ(walked.size(), expected.size());
    // Years "04" and "2004" are different periods that read as different numbers; within one
    // (year, month, day) the records keep file order only per period, so compare as sets there.
    EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end(), [](const auto &a, const auto &b) {
        return std::tie(std::get<0>(a), std::get<1>(a), std::get<2>(a)) <
               std::tie(std::get<0>(b), std::get<1>(b), std::get<2>(b));
    }));
    std::sort(walked.begin(), walked.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(walked, expected);
}

TEST(Books, ABatchOfAThousandAddsIsOneJournalWriteAndOneFlushOfEachFile)
{
    kwtest::LedgerDir dir;
    kl::Books books(dir.path());
    const kl::Period march = kl::Period::of(3, 2024);
    books.openPeriod(march);
    std::vector<DayRef> days;
    {
        kl::Books::Batch b = books.batch();
        for (int d = 1; d <= 30; ++d)
            days.push_back(b.newDay(march, d, QDate(2024, 3, d)));
        b.commit();
    }
    int journalWrites = 0, tableWrites = 0, flushes = 0;
    kw::diskio::setFaultInjector([&](kw::diskio::Op op, const QString &name) {
        if (op == kw::diskio::Op::Write)
            ++(name.endsWith(QLatin1String(kw::Journal::fileName())) ? journalWrites : tableWrites);
        return 0;
    });
    kw::diskio::setObserver(
        [&](kw::diskio::Event e, const QString &) { flushes += e == kw::diskio::Event::FlushFile; });
    QSignalSpy changed(&books, &kl::Books::changed);
    kl::Books::Batch b = books.batch();
    Amounts total{};
    for (int k = 0; k < 1000; ++k) {
        Amounts a{};
        a[std::size_t(k % 10)] = 0.25 * (k % 7 + 1);
        total[std::size_t(k % 10)] += a[std::size_t(k % 10)];
        b.add(days[std::size_t(k % 30)], a, Sign::Add);
    }
    b.commit();
    kw::diskio::setFaultInjector(nullptr);
    kw::diskio::setObserver(nullptr);
    EXPECT_EQ(journalWrites, 1);
    EXPECT_EQ(flushes, 5) << "the journal, the three tables, the emptied journal";
    EXPECT_EQ(tableWrites, 2 * 32) << "each day and both sums written once, with its header";
    ASSERT_EQ(changed.count(), 1);
    const auto change = changed.at(0).at(0).value<BooksChange>();
    ASSERT_EQ(change.periods.size(), 1u);
    EXPECT_EQ(change.periods[0], march);
    EXPECT_EQ(change.years, QStringList{"2024"});
    const SumFigures sum = *books.monthSum(march);
    for (std::size_t i = 0; i < total.size(); ++i)
        EXPECT_NEAR(sum.amounts[i], total[i], 1e-9);
    EXPECT_EQ(verifyLedger(dir.path()), QStringList());
}

TEST(Books, ABatchWritesAnotherTableOfTheFolderTogetherWithTheDaysOrNothing)
{
    kwtest::LedgerDir dir;
    // Any table of the folder; Operacje.dbf itself is the import's, which verify checks by its layout.
    DbfFile::create(dir.file("Zapiski.dbf"), {{"OPIS", 'C', 20, 0}, {"KWOTA", 'N', 12, 2}});
    kl::Books books(dir.path());
    const kl::Period may = kl::Period::of(5, 2024);
    const auto stage = [&](kl::Books::Batch &b) {
        const DayRef d = b.dayFor(may, 7, QDate(2024, 5, 7));
        EXPECT_EQ(b.dayFor(may, 7, QDate(2024, 5, 7)), d) << "the day the batch made is found again";
        b.add(d, Amounts{0, 0, 0, 0, 12.5}, Sign::Add);
        const DbfFile &ops = b.table("zapiski.DBF");
        std::string rec = ops.blankRecord();
        ops.encode(rec.data(), 0, QStringLiteral("Żabka"));
        ops.encode(rec.data(), 1, 12.5);
        EXPECT_EQ(b.append("Zapiski.dbf", rec), 0u);
        EXPECT_EQ(b.monthSum(may)->amounts[4], 12.5) << "reads see what is staged";
    };
    // The second table refuses its write: the days, the sums and the table stay as they were.
    const QByteArray before = tables(dir.path()) + kwtest::readAll(dir.file("Zapiski.dbf"));
    kw::diskio::setFaultInjector([](kw::diskio::Op op, const QString &name) {
        return op == kw::diskio::Op::Write && name.startsWith(QLatin1String("Zapiski")) ? ENOSPC : 0;
    });
    {
        kl::Books::Batch b = books.batch();
        stage(b);
        const std::string e = errorOf([&] { b.commit(); });
        EXPECT_NE(e.find("Zapiski.dbf: brak miejsca na dysku. Nic nie zostało zapisane."), std::string::npos)
            << e;
    }
    kw::diskio::setFaultInjector(nullptr);
    EXPECT_EQ(tables(dir.path()) + kwtest::readAll(dir.file("Zapiski.dbf")), before);
    EXPECT_FALSE(books.monthSum(may).has_value());

    kl::Books::Batch b = books.batch();
    stage(b);
    b.commit();
    EXPECT_EQ(books.days(may).size(), 1u);
    EXPECT_EQ(DbfFile::open(dir.file("Zapiski.dbf"))->recordCount(), 1u);
    EXPECT_EQ(books.yearSum("2024")->expenses, 12.5);
    EXPECT_EQ(verifyLedger(dir.path()), QStringList());
}

TEST(Books, OutsideChangesWithinOneClockTickAreRefusedNamingTheFileAndThenShown)
{
    kwtest::LedgerDir dir;
    kl::Books books(dir.path());
    const kl::Period march = kl::Period::of(3, 2004);
    books.openPeriod(march);
    const DayRef d5 = books.newDay(march, 5, QDate(2004, 3, 5));
    books.add(d5, Amounts{100}, Sign::Add);
    ViewPeriod view;
    view.p = march;
    Table shown;
    setUpMonthTable(shown);
    shown.setDirectory(dir.path());
    shown.setOnFilterRecord(monthPeriodFilter(view));
    shown.setFiltered(true);
    shown.open();
    ASSERT_EQ(amount(shown, "SPRZYCH"), 100);

    // The month sum rewritten to 6000 by another program, same size, same clock: a booking would
    // have written 100 + 10 over it.
    const std::uint32_t m = firstRecordOf(dir.file(MonthFile), "SMIESIAC", "3");
    editWithinTick(dir.file(MonthFile), m, "SPRZYCH", 6000.0);
    const QByteArray before = tables(dir.path());
    EngineError::Kind kind{};
    const std::string e = errorOf([&] { books.add(d5, Amounts{10}, Sign::Add); }, &kind);
    EXPECT_EQ(kind, EngineError::Kind::ChangedOutside);
    EXPECT_EQ(e.rfind("Plik Suma.dbf został zmieniony przez inny program", 0), 0u) << e;
    EXPECT_NE(e.find("Nic nie zostało zapisane."), std::string::npos) << e;
    EXPECT_EQ(tables(dir.path()), before);
    EXPECT_EQ(amount(shown, "SPRZYCH"), 6000) << "the open table shows the disk";

    // The day seen by a dialog, changed by another program afterwards: the change is refused.
    const DayEntry seen = *books.day(d5);
    editWithinTick(dir.file(DayFile), d5.record, "PRZYCHOD", 5000.0);
    EXPECT_EQ(books.day(d5)->amounts[0], 5000) << "read from the disk, not from memory";
    const std::string c = errorOf([&] { books.change(d5, 5, Amounts{1}, &seen); }, &kind);
    EXPECT_EQ(kind, EngineError::Kind::ChangedOutside) << c;
    EXPECT_EQ(books.day(d5)->amounts[0], 5000);

    // A day deleted outside, then the table packed: the refusal says records were removed.
    const DayRef d6 = books.newDay(march, 6, QDate(2004, 3, 6));
    {
        QByteArray bytes = kwtest::readAll(dir.file(DayFile));
        auto f = DbfFile::open(dir.file(DayFile));
        const int at = int(f->recordOffset(0)), length = f->recordLength();
        bytes.remove(at, length);
        const std::uint32_t count = 1;
        std::memcpy(bytes.data() + 4, &count, 4);
        kwtest::writeAll(dir.file(DayFile), bytes);
    }
    const std::string packed = errorOf([&] { books.add(d6, Amounts{1}, Sign::Add); });
    EXPECT_NE(packed.find("usunął z tabeli rekordy"), std::string::npos) << packed;
    EXPECT_EQ(packed.find("bieżący rekord został usunięty"), std::string::npos) << packed;
}

TEST(Books, ADamagedAmountIsRefusedNeverReadAsZero)
{
    kwtest::LedgerDir dir;
    kl::Books books(dir.path());
    const kl::Period march = kl::Period::of(3, 2004);
    const DayRef d = books.newDay(march, 5, QDate(2004, 3, 5));
    books.add(d, Amounts{0, 0, 0, 0, 40}, Sign::Add);
    // A number too wide for its field, as a dBase writer leaves it.
    QByteArray bytes = kwtest::readAll(dir.file(MonthFile));
    auto f = DbfFile::open(dir.file(MonthFile));
    const auto &field = f->fields()[std::size_t(f->fieldIndex("SZYWNOSC"))];
    bytes.replace(int(f->recordOffset(0)) + field.offset, field.length, QByteArray(field.length, '*'));
    f.reset();
    kwtest::writeAll(dir.file(MonthFile), bytes);
    const QByteArray before = tables(dir.path());
    for (const auto &op : std::vector<std::function<void()>>{
             [&] { books.add(d, Amounts{1}, Sign::Add); }, [&] { books.deleteDay(d); },
             [&] { books.newDay(march, 6, QDate(2004, 3, 6)); }}) {
        const std::string e = errorOf(op);
        EXPECT_NE(e.find("Plik Suma.dbf jest uszkodzony: w rekordzie nr 1 pole SZYWNOSC zawiera "
                         "„*******************”"),
                  std::string::npos)
            << e;
        EXPECT_EQ(tables(dir.path()), before);
    }
}

TEST(Books, QueriesReadTheSumsForTotalsAndKeepPeriodsApart)
{
    kwtest::LedgerDir dir;
    kl::Books books(dir.path());
    EXPECT_TRUE(books.years().isEmpty());
    EXPECT_FALSE(books.monthSum(kl::Period::of(1, 2003)).has_value());
    // Month 1 of 2003 and month 12 of 003 share the joined key "12003" and must not mix.
    const kl::Period jan{"1", "2003"}, dec{"12", "003"}, feb{"2", "2003"}, jan04{"1", "2004"};
    books.add(books.newDay(jan, 2, QDate(2003, 1, 2)), Amounts{100, 10}, Sign::Add);
    books.add(books.newDay(dec, 3, QDate(2003, 12, 3)), Amounts{7}, Sign::Add);
    books.add(books.newDay(feb, 4, QDate(2003, 2, 4)), Amounts{0, 0, 0, 30}, Sign::Add);
    books.add(books.newDay(jan04, 1, QDate(2004, 1, 1)), Amounts{1000}, Sign::Add);
    EXPECT_EQ(books.days(jan).size(), 1u);
    EXPECT_EQ(books.days(dec).size(), 1u);
    EXPECT_EQ(books.monthSum(jan)->amounts[0], 100);
    EXPECT_EQ(books.monthSum(dec)->amounts[0], 7);
    EXPECT_EQ(books.yearSum("003")->amounts[0], 7);
    EXPECT_EQ(books.years(), (QStringList{"003", "2003", "2004"}));
    const std::vector<MonthSum> months = books.monthSums("2003");
    ASSERT_EQ(months.size(), 2u);
    EXPECT_EQ(months[0].period, jan);
    EXPECT_EQ(months[1].period, feb);
    EXPECT_EQ(months[0].figures.income, 90);
    EXPECT_EQ(months[1].figures.budget, -30);

    // Totals come from the month sums alone: not one day entry is read for them.
    const std::uint64_t read = DbfFile::recordsRead();
    const Amounts t = books.totals(jan, jan04);
    EXPECT_EQ(DbfFile::recordsRead() - read, 4u) << "the four month sums and nothing else";
    EXPECT_EQ(t[0], 1100) << "003 reads as year 3, before the range";
    EXPECT_EQ(t[1], 10);
    EXPECT_EQ(t[3], 30);
    EXPECT_EQ(books.totals(feb, feb)[0], 0);

    // A period the files cannot hold is refused rather than made again at every opening.
    const std::string e = errorOf([&] { books.openPeriod({"3", "200456"}); });
    EXPECT_NE(e.find("nie zmieści się w pliku"), std::string::npos) << e;
    EXPECT_TRUE(books.days({"3", "200456"}).empty());

    // One month and one year of the walk.
    int n = 0;
    books.forEachDay([&](const DayEntry &e) { return ++n, e.ref.period == jan; }, "2003", "1");
    EXPECT_EQ(n, 1);
    QStringList order;
    books.forEachDay([&](const DayEntry &e) {
        order << e.ref.period.month + "/" + e.ref.period.year;
        return true;
    });
    EXPECT_EQ(order, (QStringList{"12/003", "1/2003", "2/2003", "1/2004"}));
}
