// The budget plan in Plan.dbf: made on the first save, read back, a month's own plan beside the
// plan for every month, replaced and taken out, refused texts and a refused write leaving the file
// as it was, a damaged amount named, and the empty table `init` writes.
#include "ledger/BudgetPlan.h"
#include "TestTables.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"

#include <QSignalSpy>

using kw::DbfFile;
using kw::EngineError;
using namespace kw::ledger;

namespace {

PlanAmounts planOf(std::initializer_list<std::pair<int, double>> items)
{
    PlanAmounts a{};
    for (const auto &[c, v] : items)
        a[std::size_t(c)] = v;
    return a;
}

std::string errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const EngineError &e) {
        return e.what();
    }
    return {};
}

} // namespace

TEST(BudgetPlan, TheFirstSaveMakesTheTableAndReadsBack)
{
    kwtest::LedgerDir dir;
    Books books(dir.path());
    EXPECT_TRUE(BudgetPlan::read(books).empty()) << "no file: no plan, no error";
    EXPECT_FALSE(QFileInfo::exists(dir.file(PlanFile)));

    QSignalSpy changed(&books, &Books::changed);
    savePlan(books,
             {{"2024", "", planOf({{0, 6000}, {4, 1200}, {6, 0}})}, {"2024", "3", planOf({{4, 1500.25}})}});
    EXPECT_EQ(changed.count(), 1) << "one change of the books";
    ASSERT_TRUE(QFileInfo::exists(dir.file(PlanFile)));
    EXPECT_EQ(QFileInfo(dir.file(PlanFile)).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0)
        << "a household's plan is private like its tables";

    // The layout on the disk, as another program reads it.
    auto f = DbfFile::open(dir.file(PlanFile));
    ASSERT_EQ(f->recordCount(), 2u);
    QStringList names;
    for (const auto &field : f->fields())
        names << field.name;
    EXPECT_EQ(names, (QStringList{"ROK", "MIESIAC", "PRZYCHOD", "KOSZT", "KOSZTOKR", "OPLATY", "ZYWNOSC",
                                  "UZYWKI", "ODZIEZ", "ROZRYWKA", "SAMOCH", "INNE"}));
    std::string rec(std::size_t(f->recordLength()), ' ');
    f->readRecord(0, rec.data());
    EXPECT_EQ(f->decode(rec.data(), 0).toString(), "2024");
    EXPECT_TRUE(f->decode(rec.data(), 1).isNull()) << "the plan for every month has a blank month";
    EXPECT_EQ(f->decode(rec.data(), 6).toDouble(), 1200);
    EXPECT_EQ(f->decode(rec.data(), 8).toDouble(), 0) << "a plan of nothing is 0, not blank";
    EXPECT_TRUE(f->decode(rec.data(), 3).isNull()) << "nothing planned is blank";

    const BudgetPlan plan = BudgetPlan::read(books);
    EXPECT_EQ(plan.everyMonth("2024"), planOf({{0, 6000}, {4, 1200}, {6, 0}}));
    EXPECT_EQ(plan.ownMonth(Period::of(3, 2024)), planOf({{4, 1500.25}}));
    EXPECT_EQ(plan.forMonth(Period::of(3, 2024)), planOf({{0, 6000}, {4, 1500.25}, {6, 0}}))
        << "the month's own amount, the year's where the month has none";
    EXPECT_EQ(plan.forMonth(Period::of(4, 2024)), planOf({{0, 6000}, {4, 1200}, {6, 0}}));
    EXPECT_EQ(plan.forMonth(Period::of(3, 2025)), PlanAmounts{}) << "another year has no plan";
}

TEST(BudgetPlan, SavingAgainReplacesAndAnEmptyPlanIsTakenOut)
{
    kwtest::LedgerDir dir;
    Books books(dir.path());
    savePlan(books, {{"2024", "", planOf({{4, 1200}})}, {"2024", "3", planOf({{4, 1500}})}});
    savePlan(books, {{"2024", "", planOf({{4, 1100}, {9, 50}})}});
    savePlan(books, {{"2024", "3", PlanAmounts{}}});
    auto f = DbfFile::open(dir.file(PlanFile));
    EXPECT_EQ(f->recordCount(), 2u) << "replaced in place, nothing appended";
    const BudgetPlan plan = BudgetPlan::read(books);
    EXPECT_EQ(plan.ownMonth(Period::of(3, 2024)), PlanAmounts{}) << "March's own plan is gone";
    EXPECT_EQ(plan.forMonth(Period::of(3, 2024)), planOf({{4, 1100}, {9, 50}}));

    // March again: the deleted record stays deleted and a new one is made.
    savePlan(books, {{"2024", "3", planOf({{4, 900}})}});
    EXPECT_EQ(BudgetPlan::read(books).forMonth(Period::of(3, 2024)), planOf({{4, 900}, {9, 50}}));
    EXPECT_EQ(DbfFile::open(dir.file(PlanFile))->recordCount(), 3u);
}

TEST(BudgetPlan, RefusedSavesLeaveThePlanAsItWas)
{
    kwtest::LedgerDir dir;
    Books books(dir.path());
    savePlan(books, {{"2024", "", planOf({{4, 1200}})}});
    const QByteArray before = kwtest::readAll(dir.file(PlanFile));

    // A year the field cannot hold, a year of blanks, an amount no field can hold: nothing written.
    EXPECT_NE(errorOf([&] {
                  savePlan(books, {{"2024", "3", planOf({{4, 1}})}, {"123456", "", planOf({{4, 1}})}});
              }).find("pole ROK ma 5 znaków"),
              std::string::npos);
    EXPECT_FALSE(errorOf([&] { savePlan(books, {{" ", "", planOf({{4, 1}})}}); }).empty());
    EXPECT_FALSE(errorOf([&] { savePlan(books, {{"2024", "4", planOf({{4, 1e30}})}}); }).empty());
    EXPECT_EQ(kwtest::readAll(dir.file(PlanFile)), before);

    // The disk refuses the second record: the first does not stay behind either.
    int writes = 0;
    kw::diskio::setFaultInjector([&](kw::diskio::Op op, const QString &name) {
        return op == kw::diskio::Op::Write && name == PlanFile && ++writes == 2 ? ENOSPC : 0;
    });
    const std::string e = errorOf([&] {
        savePlan(books, {{"2024", "", planOf({{4, 1}})}, {"2024", "5", planOf({{4, 2}})}});
    });
    kw::diskio::setFaultInjector(nullptr);
    EXPECT_NE(e.find("Plan.dbf"), std::string::npos) << e;
    EXPECT_NE(e.find("Nic nie zostało zapisane."), std::string::npos) << e;
    EXPECT_EQ(kwtest::readAll(dir.file(PlanFile)), before);
    EXPECT_EQ(BudgetPlan::read(books).everyMonth("2024"), planOf({{4, 1200}}));
}

TEST(BudgetPlan, ADamagedOrForeignTableIsNamedNotReadAsNothing)
{
    kwtest::LedgerDir dir;
    Books books(dir.path());
    savePlan(books, {{"2024", "", planOf({{4, 1200}})}});
    // Letters where the food plan's digits were.
    QByteArray bytes = kwtest::readAll(dir.file(PlanFile));
    auto f = DbfFile::open(dir.file(PlanFile));
    const int at = int(f->recordOffset(0)) + f->fields()[6].offset;
    f.reset();
    bytes.replace(at, 19, QByteArray(19, 'x'));
    kwtest::writeAll(dir.file(PlanFile), bytes);
    EXPECT_NE(errorOf([&] { BudgetPlan::read(books); }).find("Plan.dbf"), std::string::npos);

    // A table of another layout under the plan's name.
    QFile::remove(dir.file(PlanFile));
    DbfFile::create(dir.file(PlanFile), {{"ROK", 'C', 5, 0}, {"OPIS", 'C', 20, 0}});
    const std::string e = errorOf([&] { BudgetPlan::read(books); });
    EXPECT_NE(e.find("MIESIAC"), std::string::npos) << e;
}

TEST(BudgetPlan, InitWritesAnEmptyPlanOnceAndKeepsAnExistingOne)
{
    kwtest::LedgerDir dir;
    createEmptyPlan(dir.path());
    auto f = DbfFile::open(dir.file(PlanFile));
    EXPECT_EQ(f->recordCount(), 0u);
    EXPECT_EQ(f->fields().size(), planFields().size());
    EXPECT_FALSE(QFileInfo::exists(dir.file(PlanFile + ".nowy"))) << "no half-made file left behind";
    Books books(dir.path());
    savePlan(books, {{"2024", "", planOf({{4, 1}})}});
    const QByteArray kept = kwtest::readAll(dir.file(PlanFile));
    EXPECT_NE(errorOf([&] { createEmptyPlan(dir.path()); }).find("już istnieje"), std::string::npos);
    EXPECT_EQ(kwtest::readAll(dir.file(PlanFile)), kept);
}

// The over-plan hint asks after every booking and period switch, through a reader that keeps the
// plan: whatever changed it since, through the books or behind their back, must be seen.
TEST(BudgetPlan, TheKeptPlanFollowsEveryChangeOfTheFile)
{
    kwtest::LedgerDir dir;
    Books books(dir.path());
    PlanReader reader;
    EXPECT_TRUE(reader.read(books).empty());

    savePlan(books, {{"2024", "", planOf({{4, 1200}})}});
    EXPECT_EQ(reader.read(books).everyMonth("2024"), planOf({{4, 1200}})) << "a save through the books";
    savePlan(books, {{"2024", "", planOf({{4, 900}})}});
    EXPECT_EQ(reader.read(books).everyMonth("2024"), planOf({{4, 900}}));

    // Another program rewrites the amount in place, a second later by the file's clock.
    {
        auto f = DbfFile::open(dir.file(PlanFile));
        std::string rec(std::size_t(f->recordLength()), ' ');
        f->readRecord(0, rec.data());
        f->encode(rec.data(), 6, 700.0);
        f->writeRecord(0, rec.data());
    }
    const QDateTime later = QFileInfo(dir.file(PlanFile)).lastModified().addSecs(1);
    QFile touched(dir.file(PlanFile));
    ASSERT_TRUE(touched.open(QIODevice::ReadWrite) && touched.setFileTime(later, QFileDevice::FileModificationTime));
    touched.close();
    EXPECT_EQ(reader.read(books).everyMonth("2024"), planOf({{4, 700}})) << "an outside write";

    // Renamed in other letters, then taken away.
    ASSERT_TRUE(QFile::rename(dir.file(PlanFile), dir.file("PLAN.DBF")));
    EXPECT_EQ(reader.read(books).everyMonth("2024"), planOf({{4, 700}})) << "found without regard to case";
    ASSERT_TRUE(QFile::remove(dir.file("PLAN.DBF")));
    EXPECT_TRUE(reader.read(books).empty()) << "a removed plan file is no plan";

    // Another folder's books through the same reader read their own plan.
    kwtest::LedgerDir other;
    Books otherBooks(other.path());
    savePlan(otherBooks, {{"2025", "", planOf({{0, 10}})}});
    EXPECT_EQ(reader.read(otherBooks).everyMonth("2025"), planOf({{0, 10}}));
}
