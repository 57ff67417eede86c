// The analysis figures of a month, a year, every year and a month's plan against a ledger booked
// in the test: a month whose refund outweighs a category's spending, a month with no expenses, a
// month in the red; the tables of text they make; the plan's figures and the over-plan hint.
#include "reports/analysis/AnalysisFigures.h"
#include "AnalysisLedger.h"
#include "regional/Regional.h"
#include "ledger/DbfFile.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace kw::analysis;
using namespace kwtest;
using kw::regional::formatCurrency;

namespace {

// March: a refund of clothes larger than what was spent on them; April: income only;
// May: spending past the income; December of the year before.
struct Household : AnalysisLedger
{
    Household()
    {
        book(3, 2024, 1, amounts({{Przychod, 5000}, {Koszt, 300}, {KosztOkr, 200}, {Oplaty, 800}}));
        book(3, 2024, 5, amounts({{Zywnosc, 1200.5}, {Odziez, 100}, {Samochod, 400}}));
        book(3, 2024, 20, amounts({{Odziez, 250}}), Sign::Subtract);
        book(3, 2024, 28, amounts({{Inne, 49.5}}));
        book(4, 2024, 10, amounts({{Przychod, 3000}}));
        book(5, 2024, 2, amounts({{Przychod, 1000}, {Zywnosc, 1500}}));
        book(12, 2023, 24, amounts({{Przychod, 4000}, {Oplaty, 1000}}));
        books->openPeriod(Period::of(6, 2022));
    }
};

QString pct(double v)
{
    return kw::regional::formatPercent(v);
}

} // namespace

TEST(AnalysisFigures, AMonthShowsItsExpensesLargestFirstWithSharesOfTheStoredExpenses)
{
    Household h;
    const MonthFigures m = monthFigures(*h.books, Period::of(3, 2024));
    ASSERT_TRUE(m.booked);
    EXPECT_DOUBLE_EQ(m.sum.income, 4500);
    EXPECT_DOUBLE_EQ(m.sum.expenses, 2300);
    EXPECT_DOUBLE_EQ(m.sum.budget, 2200);

    const FigureTable t = monthTable(m);
    ASSERT_EQ(t.rows.size(), 7);
    const QList<QStringList> expected{
        {"Żywność", formatCurrency(1200.5), pct(1200.5 / 23)},
        {"Opłaty", formatCurrency(800), pct(800.0 / 23)},
        {"Samochód", formatCurrency(400), pct(400.0 / 23)},
        {"Inne", formatCurrency(49.5), pct(49.5 / 23)},
        {"Używki", formatCurrency(0), pct(0)},
        {"Śr.czystości", formatCurrency(0), pct(0)},
        {"Odzież", formatCurrency(-150), pct(-150.0 / 23)},
    };
    EXPECT_EQ(t.rows, expected) << "the refund outweighing the clothes comes last, below zero";
    EXPECT_EQ(t.rows[0][2], QStringLiteral("52,2%"));
    EXPECT_EQ(t.rows[6][1], QStringLiteral("-150,00\u00A0zł"));
    EXPECT_EQ(t.rows[6][2], QStringLiteral("-6,5%"));
    double shares = 0;
    for (const CategoryShare &s : m.expenses)
        shares += *s.share;
    EXPECT_NEAR(shares, 100.0, 1e-9);

    const FigureTable sum = summaryTable(m);
    const QList<QStringList> summary{
        {"Przychód", formatCurrency(5000)},  {"Koszt", formatCurrency(300)},
        {"Koszt okr.", formatCurrency(200)}, {"Dochód", formatCurrency(4500)},
        {"Wydatki", formatCurrency(2300)},   {"Budżet", formatCurrency(2200)},
    };
    EXPECT_EQ(sum.rows, summary);
    EXPECT_EQ(sum.alert, QList<bool>(6, false));
}

TEST(AnalysisFigures, AMonthWithoutExpensesOrInTheRedOrNeverBooked)
{
    Household h;
    const MonthFigures april = monthFigures(*h.books, Period::of(4, 2024));
    ASSERT_TRUE(april.booked);
    for (const CategoryShare &s : april.expenses) {
        EXPECT_EQ(s.amount, 0);
        EXPECT_FALSE(s.share) << "no share of nothing";
    }
    EXPECT_EQ(monthTable(april).rows[0][2], QStringLiteral("–"));
    EXPECT_EQ(summaryTable(april).rows[4][1], formatCurrency(0));

    const FigureTable may = summaryTable(monthFigures(*h.books, Period::of(5, 2024)));
    EXPECT_EQ(may.rows[5], (QStringList{"Budżet", formatCurrency(-500)}));
    EXPECT_TRUE(may.alert[5]) << "a budget below zero is marked";

    const MonthFigures june = monthFigures(*h.books, Period::of(6, 2024));
    EXPECT_FALSE(june.booked);
    EXPECT_EQ(june.expenses.size(), 7u);
    EXPECT_EQ(june.sum.budget, 0);
}

TEST(AnalysisFigures, AYearAndEveryYearComeFromTheirSums)
{
    Household h;
    const YearFigures y = yearFigures(*h.books, QStringLiteral("2024"));
    const FigureTable t = yearTable(y);
    ASSERT_EQ(t.rows.size(), 13);
    EXPECT_EQ(t.rows[0], (QStringList{"Styczeń", "–", "–", "–"})) << "a month never opened has no figures";
    EXPECT_EQ(t.rows[2],
              (QStringList{"Marzec", formatCurrency(4500), formatCurrency(2300), formatCurrency(2200)}));
    EXPECT_EQ(t.rows[3],
              (QStringList{"Kwiecień", formatCurrency(3000), formatCurrency(0), formatCurrency(3000)}));
    EXPECT_EQ(t.rows[4],
              (QStringList{"Maj", formatCurrency(1000), formatCurrency(1500), formatCurrency(-500)}));
    EXPECT_TRUE(t.alert[4]);
    EXPECT_EQ(t.rows[12],
              (QStringList{"Rok 2024", formatCurrency(8500), formatCurrency(3800), formatCurrency(4700)}))
        << "the year row is the year sum";

    const FigureTable all = yearsTable(yearsFigures(*h.books));
    const QList<QStringList> expected{
        {"2022", formatCurrency(0), formatCurrency(0), formatCurrency(0)},
        {"2023", formatCurrency(4000), formatCurrency(1000), formatCurrency(3000)},
        {"2024", formatCurrency(8500), formatCurrency(3800), formatCurrency(4700)},
    };
    EXPECT_EQ(all.rows, expected);
}

TEST(AnalysisFigures, FiguresReadTheSumsNeverTheDayEntries)
{
    AnalysisLedger l;
    const Period p = Period::of(2, 2021);
    l.books->openPeriod(p);
    {
        Books::Batch b = l.books->batch();
        for (int i = 0; i < 600; ++i)
            b.add(b.newDay(p, i % 28 + 1, QDate(2021, 2, 1)), amounts({{Zywnosc, 1}}), Sign::Add);
        b.commit();
    }
    const std::uint64_t before = kw::DbfFile::recordsRead();
    const MonthFigures m = monthFigures(*l.books, p);
    yearFigures(*l.books, p.year);
    yearsFigures(*l.books);
    EXPECT_LT(kw::DbfFile::recordsRead() - before, 20u) << "600 day entries stay unread";
    EXPECT_DOUBLE_EQ(m.sum.expenses, 600);
}

TEST(AnalysisFigures, ThePlanOfAMonthAgainstWhatWasReceivedAndSpent)
{
    Household h;
    const auto every = planOf({{Przychod, 6000}, {Zywnosc, 1000}, {Oplaty, 800}, {Odziez, 0}});
    const auto march = planOf({{Zywnosc, 1500}, {Samochod, 300}});
    kw::ledger::savePlan(*h.books, {{"2024", "", every}, {"2024", "3", march}});
    const kw::ledger::BudgetPlan plan = kw::ledger::BudgetPlan::read(*h.books);

    const PlanFigures f = planFigures(monthFigures(*h.books, Period::of(3, 2024)), plan);
    ASSERT_EQ(f.lines.size(), 10u);
    const PlanLine &income = f.lines[Przychod];
    EXPECT_EQ(*income.planned, 6000);
    EXPECT_EQ(*income.left, 1000);
    EXPECT_NEAR(*income.used, 5000.0 / 60, 1e-9);
    const PlanLine &food = f.lines[Zywnosc];
    EXPECT_EQ(*food.planned, 1500) << "the month's own plan overrides the plan for every month";
    EXPECT_FALSE(food.over);
    const PlanLine &fees = f.lines[Oplaty];
    EXPECT_EQ(*fees.planned, 800);
    EXPECT_FALSE(fees.over) << "spending exactly the plan is not over it";
    EXPECT_EQ(*fees.used, 100);
    const PlanLine &car = f.lines[Samochod];
    EXPECT_TRUE(car.over);
    EXPECT_EQ(*car.left, -100);
    const PlanLine &clothes = f.lines[Odziez];
    EXPECT_EQ(*clothes.planned, 0);
    EXPECT_FALSE(clothes.used) << "no per cent of a plan of nothing";
    EXPECT_FALSE(clothes.over) << "a refund keeps it under a plan of nothing";
    EXPECT_FALSE(f.lines[Inne].planned);
    EXPECT_FALSE(f.lines[Inne].over);

    const FigureTable t = planTable(f);
    EXPECT_EQ(t.rows[Samochod], (QStringList{"Samochód", formatCurrency(300), formatCurrency(400),
                                             formatCurrency(-100), QStringLiteral("133,3%")}));
    EXPECT_EQ(t.rows[Inne], (QStringList{"Inne", "–", formatCurrency(49.5), "–", "–"}));
    EXPECT_TRUE(t.alert[Samochod]);
    EXPECT_EQ(t.alert.count(true), 1);

    // May: food planned at 1,000 for every month, 1,500 spent.
    const PlanFigures may = planFigures(monthFigures(*h.books, Period::of(5, 2024)), plan);
    EXPECT_TRUE(may.lines[Zywnosc].over);
    EXPECT_FALSE(may.lines[Przychod].over) << "income past its plan is never a warning";
}

TEST(AnalysisFigures, TheHintNamesOnlyWhatABookingPutOverItsPlan)
{
    Household h;
    const auto every = planOf({{Zywnosc, 1300}, {Samochod, 300}});
    kw::ledger::savePlan(*h.books, {{"2024", "", every}});
    const Period march = Period::of(3, 2024);
    const auto figures = [&] {
        return planFigures(monthFigures(*h.books, march), kw::ledger::BudgetPlan::read(*h.books));
    };
    const PlanFigures before = figures();
    EXPECT_TRUE(before.lines[Samochod].over);
    h.book(3, 2024, 30, amounts({{Zywnosc, 150}, {Samochod, 10}}));
    const PlanFigures after = figures();
    const std::vector<int> over = newlyOver(before, after);
    EXPECT_EQ(over, std::vector<int>{Zywnosc}) << "the car was over before this booking";
    EXPECT_EQ(overPlanHint(after, over),
              QStringLiteral("Przekroczony plan na marzec 2024: Żywność (wydano %1 z planowanych %2)")
                  .arg(formatCurrency(1350.5), formatCurrency(1300)));
    EXPECT_TRUE(newlyOver(after, after).empty());
    EXPECT_EQ(overPlanHint(after, {}), QString());
}

TEST(AnalysisFigures, ThePeriodStepsAcrossYearsAndPlainTextLinesUp)
{
    EXPECT_EQ(*stepMonth(Period::of(12, 2023), 1), Period::of(1, 2024));
    EXPECT_EQ(*stepMonth(Period::of(1, 2024), -1), Period::of(12, 2023));
    EXPECT_EQ(*stepMonth(Period::of(5, 2024), -17), Period::of(12, 2022));
    EXPECT_FALSE(stepMonth(Period{"3", "rok"}, 1));
    EXPECT_FALSE(stepMonth(Period::of(1, 1), -1));
    EXPECT_EQ(*stepYear("2024", -1), "2023");
    EXPECT_EQ(periodTitle(Period::of(3, 2024)), QStringLiteral("marzec 2024"));
    {
        // Regional settings of another language shape amounts, not the words of the window.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        EXPECT_EQ(periodTitle(Period::of(10, 2024)), QStringLiteral("październik 2024"));
        EXPECT_EQ(monthName(1), QStringLiteral("Styczeń"));
        EXPECT_EQ(monthWord(2, QLocale::ShortFormat), QStringLiteral("lut"));
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    }

    FigureTable t;
    t.header = {"Kategoria", "Kwota"};
    t.numeric = {false, true};
    t.rows = {{"Żywność", "12,00"}, {"Inne", "1234,50"}};
    EXPECT_EQ(plainText(t), QStringLiteral("Kategoria    Kwota\n"
                                           "Żywność      12,00\n"
                                           "Inne       1234,50\n"));
}

namespace {

struct ToolRun
{
    int code = -1;
    QString out, err;
};

ToolRun tool(const QStringList &args, const QString &locale = QStringLiteral("pl_PL.UTF-8"))
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), locale);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KW_LEDGER_TOOL), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(AnalysisCommand, PrintsTheMonthWithItsPlanAndKeepsTheExitRule)
{
    Household h;
    const auto every = planOf({{Zywnosc, 1000}, {Przychod, 6000}});
    kw::ledger::savePlan(*h.books, {{"2024", "", every}});

    const ToolRun r = tool({"analysis", "03", "2024", "--dir", h.path()});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'));
    EXPECT_EQ(lines[0], QStringLiteral("Analiza wydatków – marzec 2024"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Kategoria"))) << lines[2].toStdString();
    // Every category in the ledger's order: amount, share of the expenses, plan, what is left.
    const auto row = [&](int i) { return lines[3 + i].split(QLatin1Char(' '), Qt::SkipEmptyParts); };
    EXPECT_EQ(row(0), (QStringList{"Przychód", "5000,00\u00A0zł", "6000,00\u00A0zł", "1000,00\u00A0zł"}));
    EXPECT_EQ(row(4),
              (QStringList{"Żywność", "1200,50\u00A0zł", "52,2%", "1000,00\u00A0zł", "-200,50\u00A0zł"}));
    EXPECT_EQ(row(6), (QStringList{"Odzież", "-150,00\u00A0zł", "-6,5%", "–", "–"}));
    EXPECT_EQ(lines.filter(QStringLiteral("Budżet")).value(0).split(QLatin1Char(' '), Qt::SkipEmptyParts),
              (QStringList{"Budżet", "2200,00\u00A0zł"}))
        << "the month sum under the table";

    // A month never opened, a month that is not one, a year of letters.
    const ToolRun empty = tool({"analysis", "6", "2024", "--dir", h.path()});
    EXPECT_EQ(empty.code, 1);
    EXPECT_TRUE(empty.err.contains(QStringLiteral("czerwiec 2024"))) << empty.err.toStdString();
    const ToolRun plain = tool({"analysis", "6", "2024", "--dir", h.path()}, QStringLiteral("C"));
    EXPECT_TRUE(plain.err.contains(QStringLiteral("czerwiec 2024")))
        << "under the C locale: " << plain.err.toStdString();
    const ToolRun badMonth = tool({"analysis", "13", "2024", "--dir", h.path()});
    EXPECT_EQ(badMonth.code, 2);
    EXPECT_TRUE(badMonth.err.contains(QStringLiteral("zły miesiąc „13”")))
        << "worded as the other commands word it";
    EXPECT_EQ(tool({"analysis", "3", "rok", "--dir", h.path()}).code, 2);
    EXPECT_EQ(tool({"analysis", "3"}).code, 2);
}

TEST(AnalysisCommand, InitWritesAnEmptyPlanBesideTheTables)
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("dane"));
    ASSERT_EQ(tool({"init", folder}).code, 0);
    kw::ledger::Books books(folder);
    EXPECT_TRUE(kw::ledger::BudgetPlan::read(books).empty());
    EXPECT_EQ(kw::DbfFile::open(QDir(folder).filePath(kw::ledger::PlanFile))->fields().size(),
              kw::ledger::planFields().size());
}
