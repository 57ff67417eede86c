#include "TestTables.h"
#include "ledger/Booking.h"
#include "ledger/DiskIo.h"
#include "ledger/EngineError.h"
#include "ledger/LedgerCheck.h"
#include "ledger/WorkLock.h"

#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace kw::ledger;
using kw::Table;
using kwtest::Ledger;

TEST(Ledger, OpeningAPeriodCreatesItsSumsOnce)
{
    Ledger b;
    b.open("3", "2004");
    EXPECT_EQ(b.countRecords(MonthFile), 1);
    EXPECT_EQ(b.countRecords(YearFile), 1);
    EXPECT_EQ(b.month.fieldValue("SMIESIAC").toString(), "3");
    EXPECT_EQ(b.month.fieldValue("SROK").toString(), "2004");
    EXPECT_TRUE(b.month.fieldValue("ID").isNull()) << "ID is never written";
    for (const auto &c : Categories) {
        EXPECT_EQ(b.month.fieldValue(c.month).toDouble(), 0.0);
        EXPECT_FALSE(b.year.fieldValue(c.year).isNull());
    }
    EXPECT_EQ(b.year.fieldValue("RROZNICA").toDouble(), 0.0);
    EXPECT_TRUE(noDayEntry(b.day)) << "an empty period";

    b.open("4", "2004");
    EXPECT_EQ(b.countRecords(MonthFile), 2) << "a new month of a known year adds only a month sum";
    EXPECT_EQ(b.countRecords(YearFile), 1);
    b.open("3", "2004");
    EXPECT_EQ(b.countRecords(MonthFile), 2) << "reopening creates nothing";
    b.open("3", "03");
    EXPECT_EQ(b.countRecords(YearFile), 2);
}

TEST(Ledger, PostingADayRecomputesIncomeExpensesAndBudget)
{
    Ledger b;
    b.open("3", "2004");
    addDay(b.t, 5, "3", "2004", QDate(2004, 3, 5));
    bookAmounts(b.t, AmountSet{3000, 200, 100, 500, 900, 0, 0, 0, 0, 0}, Sign::Add);
    EXPECT_DOUBLE_EQ(b.month.fieldValue("DOCHOD").toDouble(), 2700);
    EXPECT_DOUBLE_EQ(b.month.fieldValue("WYDATKI").toDouble(), 1400);
    EXPECT_DOUBLE_EQ(b.month.fieldValue("ROZNICA").toDouble(), 1300);
    EXPECT_DOUBLE_EQ(b.year.fieldValue("RROZNICA").toDouble(), 1300);
    EXPECT_EQ(b.day.state(), Table::State::Browse);
    EXPECT_EQ(b.month.state(), Table::State::Browse);

    // Subtracting what was added restores every field.
    bookAmounts(b.t, AmountSet{3000, 200, 100, 500, 900, 0, 0, 0, 0, 0}, Sign::Subtract);
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 0);
    EXPECT_DOUBLE_EQ(b.year.fieldValue("RWYDATKI").toDouble(), 0);
    EXPECT_DOUBLE_EQ(b.day.fieldValue("PRZYCHOD").toDouble(), 0);
}

TEST(Ledger, AHookWritingToASumNotInEditIsRefusedAndTheDayStaysUnposted)
{
    Ledger b;
    b.open("3", "2004");
    addDay(b.t, 1, "3", "2004", QDate::currentDate());
    b.day.beforeEdit = nullptr; // a writer that forgets the sums
    b.day.edit();
    b.day.setFieldValue("UWAGI", QStringLiteral("x"));
    try {
        b.day.post();
        ADD_FAILURE() << "the hook's write must be refused";
    } catch (const kw::EngineError &e) {
        EXPECT_STREQ(e.what(), "Dataset not in edit or insert mode");
    }
    EXPECT_EQ(b.day.state(), Table::State::Edit);
}

TEST(Ledger, DeletingADayTakesItsAmountsOutOfBothSumsFirst)
{
    Ledger b;
    b.open("1", "2004");
    addDay(b.t, 10, "1", "2004", QDate::currentDate());
    bookAmounts(b.t, Ledger::one(0, 1000), Sign::Add);
    b.open("3", "2004");
    addDay(b.t, 2, "3", "2004", QDate::currentDate());
    bookAmounts(b.t, AmountSet{100, 0, 0, 0, 40, 0, 0, 0, 0, 0}, Sign::Add);
    addDay(b.t, 3, "3", "2004", QDate::currentDate());
    bookAmounts(b.t, Ledger::one(9, 5), Sign::Add);
    EXPECT_DOUBLE_EQ(b.year.fieldValue("RPRZYCH").toDouble(), 1100)
        << "both months count in the one year sum";
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 100);

    b.day.first();
    ASSERT_EQ(b.day.fieldValue("DZIEN").toInt(), 2);
    const double budget = b.month.fieldValue("ROZNICA").toDouble();
    std::vector<double> seenInHook;
    kw::diskio::setFaultInjector([&](kw::diskio::Op op, const QString &name) {
        // The sums are already on the disk when the day entry is removed.
        if (op != kw::diskio::Op::Write || name != DayFile || !seenInHook.empty())
            return 0;
        auto f = kw::DbfFile::open(b.file(MonthFile));
        std::string rec(std::size_t(f->recordLength()), ' ');
        f->readRecord(1, rec.data());
        seenInHook.push_back(f->decode(rec.data(), f->fieldIndex(u"SPRZYCH")).toDouble());
        return 0;
    });
    deleteDay(b.t);
    kw::diskio::setFaultInjector(nullptr);
    EXPECT_EQ(seenInHook, std::vector<double>{0.0});
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 0);
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SZYWNOSC").toDouble(), 0);
    EXPECT_DOUBLE_EQ(b.month.fieldValue("DOCHOD").toDouble(), 0);
    EXPECT_DOUBLE_EQ(b.month.fieldValue("WYDATKI").toDouble(), 5);
    EXPECT_DOUBLE_EQ(b.month.fieldValue("ROZNICA").toDouble(), budget - 60);
    EXPECT_DOUBLE_EQ(b.year.fieldValue("RPRZYCH").toDouble(), 1000);
    EXPECT_EQ(b.day.state(), Table::State::Browse);
    EXPECT_EQ(b.month.state(), Table::State::Browse) << "the delete hook leaves the sums posted";

    deleteDay(b.t); // the last day of the period
    EXPECT_TRUE(b.day.isEmpty());
    EXPECT_TRUE(noDayEntry(b.day));
    EXPECT_EQ(b.countRecords(MonthFile), 2) << "the month sum stays";
    EXPECT_DOUBLE_EQ(b.month.fieldValue("ROZNICA").toDouble(), 0);
    b.open("1", "2004");
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 1000) << "January is untouched";
    EXPECT_TRUE(verifyLedger(b.path()).isEmpty());
}

TEST(Ledger, ChangeReplacesTheDayAndMovesTheSumsByTheDifference)
{
    Ledger b;
    b.open("3", "2004");
    addDay(b.t, 5, "3", "2004", QDate(2004, 3, 5));
    addDay(b.t, 9, "3", "2004", QDate(2004, 3, 5));
    b.day.first();
    bookAmounts(b.t, Ledger::one(0, 100), Sign::Add);
    changeEntry(b.t, 12, Ledger::one(0, 80));
    EXPECT_DOUBLE_EQ(b.day.fieldValue("PRZYCHOD").toDouble(), 80);
    EXPECT_EQ(b.day.fieldValue("DZIEN").toInt(), 12);
    EXPECT_EQ(b.day.recNo(), 1) << "a new day number moves the entry to its place in the list";
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 80);
    EXPECT_DOUBLE_EQ(b.year.fieldValue("RROZNICA").toDouble(), 80);
    EXPECT_EQ(b.day.fieldValue("DATA").toDate(), QDate(2004, 3, 5));
    EXPECT_EQ(b.day.fieldValue("MIESIAC").toString(), "3");
}

TEST(Ledger, ARemarkTypedIntoTheDayIsSavedWithTheSumsWhenThePeriodCloses)
{
    Ledger b;
    b.open("3", "2004");
    addDay(b.t, 5, "3", "2004", QDate::currentDate());
    b.day.edit(); // typing into the remark box
    EXPECT_EQ(b.month.state(), Table::State::Edit);
    b.day.setFieldValue("UWAGI", QStringLiteral("Zakupy w środę"));
    closePeriod(b.t);
    b.open("3", "2004");
    EXPECT_EQ(b.day.fieldValue("UWAGI").toString(), QStringLiteral("Zakupy w środę"));
}

TEST(Ledger, WritersRefuseWhenThePeriodHasNoDayEntry)
{
    Ledger b;
    b.open("3", "2004");
    EXPECT_THROW(bookAmounts(b.t, Ledger::one(0, 5), Sign::Add), kw::EngineError);
    EXPECT_THROW(changeEntry(b.t, 3, Ledger::one(0, 5)), kw::EngineError);
    EXPECT_EQ(b.countRecords(DayFile), 0) << "edit on the empty table must not insert a blank day";
    EXPECT_DOUBLE_EQ(b.month.fieldValue("SPRZYCH").toDouble(), 0);
    EXPECT_TRUE(verifyLedger(b.path()).isEmpty());
    addDay(b.t, 4, "3", "2004", QDate::currentDate());
    b.day.insert(); // a blank record pending
    EXPECT_THROW(bookAmounts(b.t, Ledger::one(0, 5), Sign::Add), kw::EngineError);
    b.day.cancel();
    closePeriod(b.t);
    EXPECT_THROW(changeEntry(b.t, 3, Ledger::one(0, 5)), kw::EngineError);
    EXPECT_EQ(b.countRecords(DayFile), 1);
    EXPECT_TRUE(verifyLedger(b.path()).isEmpty());
}

TEST(Ledger, VerifyFindsSumsThatDisagreeAndDuplicateSums)
{
    Ledger b;
    b.open("3", "2004");
    addDay(b.t, 5, "3", "2004", QDate::currentDate());
    bookAmounts(b.t, Ledger::one(4, 12.5), Sign::Add);
    EXPECT_TRUE(verifyLedger(b.path()).isEmpty());
    b.month.edit();
    b.month.setFieldValue("SZYWNOSC", 12.0);
    b.month.post();
    b.year.insert();
    b.year.setFieldValue("RROK", QStringLiteral("2004"));
    b.year.post();
    const QStringList problems = verifyLedger(b.path());
    EXPECT_TRUE(problems.join('\n').contains(
        "suma miesiąca 3/2004: SZYWNOSC wynosi 12, a wpisy dzienne dają razem 12.5"))
        << problems.join('\n').toStdString();
    EXPECT_TRUE(
        problems.join('\n').contains("suma roku 2004: rekordów tego roku jest 2, a powinien być jeden"));
    EXPECT_TRUE(problems.join('\n').contains("WYDATKI wynosi 12.5, a powinno 12"));
}

// Random sessions through the writers: after each step the sums equal the totals of their days.
TEST(Ledger, RandomSessionsKeepEverySumEqualToItsDays)
{
    Ledger b;
    std::mt19937 rng(20041);
    std::uniform_int_distribution<int> op(0, 9), cat(0, 9), dayNo(1, 28), monthNo(1, 3);
    std::uniform_int_distribution<int> cents(-50000, 200000);
    b.open("1", "2004");
    for (int step = 0; step < 400; ++step) {
        const int o = op(rng);
        if (o == 0) {
            b.open(QString::number(monthNo(rng)), step % 50 < 40 ? "2004" : "2005");
        } else if (o <= 2 || b.day.isEmpty()) {
            addDay(b.t, dayNo(rng), b.period.month, b.period.year, QDate::currentDate());
        } else {
            b.day.moveTo(std::uniform_int_distribution<int>(0, b.day.recordCount() - 1)(rng));
            AmountSet a{};
            for (int k = 0; k < 3; ++k)
                a[std::size_t(cat(rng))] = cents(rng) / 100.0;
            if (o <= 5)
                bookAmounts(b.t, a, Sign::Add);
            else if (o == 6)
                bookAmounts(b.t, a, Sign::Subtract);
            else if (o <= 8)
                changeEntry(b.t, dayNo(rng), a);
            else
                deleteDay(b.t);
        }
        if (step % 20 == 19) {
            const QStringList problems = verifyLedger(b.path());
            ASSERT_TRUE(problems.isEmpty()) << "after step " << step << ":\n"
                                            << problems.join('\n').toStdString();
        }
    }
    EXPECT_TRUE(verifyLedger(b.path()).isEmpty());
}

TEST(Ledger, OneRunningCopyPerWorkingDirectory)
{
    kwtest::LedgerDir dir;
    kw::WorkLock lock;
    ASSERT_TRUE(lock.acquire(dir.path()));
    const pid_t child = fork();
    if (child == 0) {
        kw::WorkLock second;
        _exit(second.acquire(dir.path()) ? 0 : 3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 3) << "a second process must not get the directory";
    lock.release();
    const pid_t again = fork();
    if (again == 0) {
        kw::WorkLock second;
        _exit(second.acquire(dir.path()) ? 0 : 3);
    }
    waitpid(again, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "once released, the next copy may start";
}

// The supplied tables are built from the one list of categories and derived fields: their amount
// fields come out in the order other programs and older copies of the files expect, each once,
// 19 wide with 4 decimals.
TEST(Ledger, TheSchemaBuildsEachTablesAmountFieldsInFileOrder)
{
    const auto names = [](const std::vector<kw::DbfFieldSpec> &fields) {
        std::vector<std::string> out;
        for (const kw::DbfFieldSpec &f : fields)
            out.push_back(f.name);
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(names(dayFields()),
              (V{"MIESIAC", "ROK", "DZIEN", "PRZYCHOD", "KOSZT", "KOSZTOKR", "OPLATY", "ZYWNOSC", "UZYWKI",
                 "ODZIEZ", "ROZRYWKA", "SAMOCH", "INNE", "DATA", "UWAGI"}));
    EXPECT_EQ(names(monthFields()),
              (V{"ID", "SMIESIAC", "SROK", "SPRZYCH", "SKOSZT", "SKOSZTOKR", "DOCHOD", "SOPLATY", "SZYWNOSC",
                 "SUZYWKI", "SODZIEZ", "SROZRYWKA", "SSAMOCH", "SINNE", "WYDATKI", "ROZNICA"}));
    EXPECT_EQ(names(yearFields()),
              (V{"ID", "RROK", "RPRZYCH", "RKOSZT", "RKOSZTOKR", "RDOCHOD", "ROPLATY", "RZYWNOSC", "RUZYWKI",
                 "RODZIEZ", "RROZRYWKA", "RSAMOCH", "RINNE", "RWYDATKI", "RROZNICA"}));
    for (const auto *fields : {&dayFields(), &monthFields(), &yearFields()})
        for (const kw::DbfFieldSpec &f : *fields)
            if (f.type == 'N' && std::string(f.name) != "ID" && std::string(f.name) != "DZIEN") {
                EXPECT_EQ(f.length, 19) << f.name;
                EXPECT_EQ(f.decimals, 4) << f.name;
            }
}
