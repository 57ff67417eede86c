// An import into the books: into empty books, into a period with days, across months and a year,
// refunds and pending lines; the same file again books nothing; the undo puts the books back; the
// ledger check stays clean after each.
#include "import/CsvReader.h"
#include "import/ImportBooking.h"
#include "import/StatementReader.h"

#include "ledger/Books.h"
#include "ledger/LedgerCheck.h"
#include "ledger/LedgerSchema.h"
#include "ledger/OperationsTable.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kw::import;
namespace kl = kw::ledger;

namespace {

// A bank's table of operations across December and January, a refund, a pending card payment, and
// two equal coffees on one day (no references: they are told apart by their order).
const char *Statement1 = "Data operacji;Data księgowania;Opis operacji;Nadawca/Odbiorca;Kwota;Status\n"
                         "2023-12-30;2023-12-30;Zakupy;BIEDRONKA SP Z O O 1234;-120,50;Zaksięgowana\n"
                         "2023-12-31;2024-01-02;Paliwo;ORLEN STACJA NR 12;-250,00;Zaksięgowana\n"
                         "2024-01-02;2024-01-02;Kawa;Kawiarnia Pod Lipami;-8,50;Zaksięgowana\n"
                         "2024-01-02;2024-01-02;Kawa;Kawiarnia Pod Lipami;-8,50;Zaksięgowana\n"
                         "2024-01-05;2024-01-05;Zwrot towaru;ZARA POLSKA;59,99;Zaksięgowana\n"
                         "2024-01-10;2024-01-10;Wynagrodzenie;ACME SA;5000,00;Zaksięgowana\n"
                         "2024-01-11;2024-01-11;Karta;Zara Polska;-199,00;Oczekująca\n";

int cat(const char *label)
{
    return categoryForLabel(QString::fromUtf8(label));
}

struct Folder
{
    QTemporaryDir tmp;
    QString path() const { return tmp.path(); }
    Folder()
    {
        QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
        kl::createEmptyTables(tmp.path());
    }
    QString write(const QString &name, const QByteArray &bytes) const
    {
        const QString p = QDir(tmp.path()).filePath(name);
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return p;
    }
    // Every table of the folder as a reader sees it.
    QString contents() const
    {
        QString all;
        for (const QString &t : {kl::DayFile, kl::MonthFile, kl::YearFile, kl::OperationsFile})
            if (QFile::exists(QDir(tmp.path()).filePath(t)))
                all += kl::dumpTableCsv(QDir(tmp.path()).filePath(t));
        return all;
    }
};

ImportPlan plan(const QString &folder, const QString &file)
{
    return planImport(file, readStatementFile(file), Rules::load(folder), bookedKeys(folder));
}

std::optional<kl::DayEntry> dayOf(kl::Books &books, int year, int month, int day)
{
    for (const kl::DayEntry &e : books.days(kl::Period::of(month, year)))
        if (e.ref.day == day)
            return e;
    return std::nullopt;
}

} // namespace

TEST(Booking, IntoEmptyBooksAcrossAYearThenAgainThenUndone)
{
    Folder f;
    const QString file = f.write(QStringLiteral("wyciag.csv"), Statement1);
    kl::Books books(f.path());

    ImportPlan p = plan(f.path(), file);
    ASSERT_EQ(p.lines.size(), 7u);
    EXPECT_FALSE(p.lines[6].ticked) << "pending";
    EXPECT_EQ(p.tickedCount(), 6);
    const ImportResult r = bookImport(books, p, QDateTime(QDate(2024, 2, 1), QTime(12, 0)));
    EXPECT_EQ(r.number, 1);
    EXPECT_EQ(r.booked, 6);
    EXPECT_EQ(r.daysCreated, 5);
    EXPECT_TRUE(kl::verifyLedger(f.path()).isEmpty()) << kl::verifyLedger(f.path()).join('\n').toStdString();

    const auto d30 = dayOf(books, 2023, 12, 30);
    ASSERT_TRUE(d30);
    EXPECT_DOUBLE_EQ(d30->amounts[std::size_t(cat("Żywność"))], 120.5);
    EXPECT_EQ(d30->remark, QStringLiteral("Biedronka"));
    EXPECT_EQ(d30->created, QDate(2024, 2, 1))
        << "made as the new-day dialog makes it, on the booking's date";
    const auto d31 = dayOf(books, 2023, 12, 31);
    ASSERT_TRUE(d31) << "the operation date, not the booking date in January";
    EXPECT_DOUBLE_EQ(d31->amounts[std::size_t(cat("Samochód"))], 250.0);
    const auto jan2 = dayOf(books, 2024, 1, 2);
    ASSERT_TRUE(jan2);
    EXPECT_DOUBLE_EQ(jan2->amounts[std::size_t(OtherCategory)], 17.0) << "both coffees";
    EXPECT_EQ(jan2->remark, QStringLiteral("Kawiarnia Pod Lipami")) << "one name for both lines";
    const auto jan5 = dayOf(books, 2024, 1, 5);
    ASSERT_TRUE(jan5);
    EXPECT_DOUBLE_EQ(jan5->amounts[std::size_t(cat("Odzież"))], -59.99) << "a refund comes off the expense";
    EXPECT_DOUBLE_EQ(jan5->amounts[std::size_t(IncomeCategory)], 0.0);
    EXPECT_FALSE(dayOf(books, 2024, 1, 11)) << "the pending line is not booked";

    const auto dec = books.monthSum(kl::Period::of(12, 2023));
    ASSERT_TRUE(dec);
    EXPECT_DOUBLE_EQ(dec->expenses, 370.5);
    const auto y2024 = books.yearSum(QStringLiteral("2024"));
    ASSERT_TRUE(y2024);
    EXPECT_DOUBLE_EQ(y2024->income, 5000.0);
    EXPECT_NEAR(y2024->expenses, 17.0 - 59.99, 1e-9);

    // The same file again: every line is known, nothing is written.
    const QString booked = f.contents();
    ImportPlan again = plan(f.path(), file);
    EXPECT_EQ(again.tickedCount(), 0);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_TRUE(again.lines[i].duplicate) << i;
    for (ImportLine &l : again.lines)
        l.ticked = true; // even asked to, the engine books no duplicate
    EXPECT_EQ(bookImport(books, again, QDateTime::currentDateTime()).booked, 0);
    EXPECT_EQ(f.contents(), booked);

    const std::vector<ImportRecord> imports = listImports(f.path());
    ASSERT_EQ(imports.size(), 1u);
    EXPECT_EQ(imports[0].file, QStringLiteral("wyciag.csv"));
    EXPECT_EQ(imports[0].count, 6);
    EXPECT_EQ(imports[0].booked, QDate(2024, 2, 1));
    EXPECT_EQ(imports[0].total, Amount((-120.5 - 250 - 17 + 59.99 + 5000) * AmountScale + 0.5));

    // Undo: the days it made are gone, the sums are back to nothing, the lines are out.
    EXPECT_EQ(undoImport(books, 1), 6);
    EXPECT_TRUE(kl::verifyLedger(f.path()).isEmpty());
    for (const auto &[y, m] : {std::pair{2023, 12}, std::pair{2024, 1}}) {
        EXPECT_TRUE(books.days(kl::Period::of(m, y)).empty()) << m;
        const auto s = books.monthSum(kl::Period::of(m, y));
        ASSERT_TRUE(s);
        for (const double a : s->amounts)
            EXPECT_NEAR(a, 0.0, 1e-9);
    }
    EXPECT_TRUE(listImports(f.path()).empty());
    EXPECT_TRUE(bookedKeys(f.path()).isEmpty());
    EXPECT_EQ(undoImport(books, 1), 0) << "nothing left to take back";
    // And the statement can be booked again.
    EXPECT_EQ(plan(f.path(), file).tickedCount(), 6);
}

TEST(Booking, IntoAPeriodWithDaysKeepsTheUsersRemarkAndAmounts)
{
    Folder f;
    kl::Books books(f.path());
    const kl::Period jan = kl::Period::of(1, 2024);
    books.openPeriod(jan);
    const kl::DayRef d2 = books.newDay(jan, 2, QDate(2024, 1, 2));
    books.add(d2, kl::Amounts{0, 0, 0, 0, 30}, kl::Sign::Add);
    books.setRemark(d2, QStringLiteral("obiad u mamy"));
    const kl::DayRef d10 = books.newDay(jan, 10, QDate(2024, 1, 10));
    books.add(d10, kl::Amounts{100}, kl::Sign::Add);
    const QString before = f.contents();

    const QString file = f.write(QStringLiteral("styczen.csv"), Statement1);
    const ImportResult r = bookImport(books, plan(f.path(), file), QDateTime(QDate(2024, 2, 1), QTime(9, 0)));
    EXPECT_EQ(r.booked, 6);
    EXPECT_EQ(r.daysCreated, 3) << "30.12, 31.12 and 5.01; 2.01 and 10.01 were there";
    EXPECT_TRUE(kl::verifyLedger(f.path()).isEmpty()) << kl::verifyLedger(f.path()).join('\n').toStdString();

    const auto day2 = books.day(d2);
    ASSERT_TRUE(day2);
    EXPECT_EQ(day2->remark, QStringLiteral("obiad u mamy")) << "a remark the user wrote is never changed";
    EXPECT_DOUBLE_EQ(day2->amounts[std::size_t(cat("Żywność"))], 30.0);
    EXPECT_DOUBLE_EQ(day2->amounts[std::size_t(OtherCategory)], 17.0);
    const auto day10 = books.day(d10);
    ASSERT_TRUE(day10);
    EXPECT_DOUBLE_EQ(day10->amounts[std::size_t(IncomeCategory)], 5100.0);
    EXPECT_EQ(day10->remark, QStringLiteral("Acme")) << "an empty remark is filled";

    // The user spends more on the imported day; the undo takes only the import's share and keeps
    // the days the user made.
    books.add(d10, kl::Amounts{0, 0, 0, 0, 12}, kl::Sign::Add);
    EXPECT_EQ(undoImport(books, r.number), 6);
    EXPECT_TRUE(kl::verifyLedger(f.path()).isEmpty());
    const auto back10 = books.day(d10);
    ASSERT_TRUE(back10);
    EXPECT_DOUBLE_EQ(back10->amounts[std::size_t(IncomeCategory)], 100.0);
    EXPECT_DOUBLE_EQ(back10->amounts[std::size_t(cat("Żywność"))], 12.0);
    EXPECT_TRUE(back10->remark.isEmpty()) << "the remark the import wrote goes with it";
    EXPECT_EQ(books.day(d2)->remark, QStringLiteral("obiad u mamy"));
    EXPECT_FALSE(dayOf(books, 2023, 12, 30));
}

TEST(Booking, VerifyTellsAnImportedAmountTheDayNoLongerHolds)
{
    Folder f;
    kl::Books books(f.path());
    const QString file = f.write(QStringLiteral("a.csv"), Statement1);
    bookImport(books, plan(f.path(), file), QDateTime::currentDateTime());
    const auto d30 = dayOf(books, 2023, 12, 30);
    ASSERT_TRUE(d30);
    kl::Amounts less{};
    less[std::size_t(cat("Żywność"))] = 100;
    books.add(d30->ref, less, kl::Sign::Subtract);
    const QStringList problems = kl::verifyLedger(f.path());
    ASSERT_EQ(problems.size(), 1) << problems.join('\n').toStdString();
    EXPECT_TRUE(problems[0].contains(QStringLiteral("30.12.2023"))) << problems[0].toStdString();
    EXPECT_TRUE(problems[0].contains(QStringLiteral("ZYWNOSC")));

    books.deleteDay(dayOf(books, 2023, 12, 31)->ref);
    EXPECT_EQ(kl::verifyLedger(f.path()).size(), 2) << "imported lines of a day that is gone";
    // The undo takes nothing out of a day that is gone; the rest comes back as it was.
    EXPECT_EQ(undoImport(books, 1), 6);
    EXPECT_TRUE(kl::verifyLedger(f.path()).isEmpty()) << kl::verifyLedger(f.path()).join('\n').toStdString();
}

TEST(Booking, KeysTellEqualLinesApartAndReferencesWithTheirDateAndAmount)
{
    Statement st;
    Transaction coffee;
    coffee.date = QDate(2024, 1, 2);
    coffee.amount = -85000;
    coffee.counterparty = QStringLiteral("Kawiarnia");
    st.transactions = {coffee, coffee};
    Transaction ref = coffee;
    ref.reference = QStringLiteral("REF-1");
    st.transactions.append(ref);
    const QStringList keys = lineKeys(st);
    ASSERT_EQ(keys.size(), 3);
    EXPECT_NE(keys[0], keys[1]);
    EXPECT_TRUE(keys[0].startsWith(QLatin1Char('#')));
    EXPECT_EQ(keys[2], QStringLiteral("REF-1"));
    EXPECT_EQ(lineKeys(st), keys) << "the same file gives the same keys";

    // The same reference on another day (another account's numbering) is not a duplicate.
    Statement other;
    Transaction later = ref;
    later.date = QDate(2024, 5, 2);
    other.transactions = {later, ref};
    const ImportPlan p = planImport(QString(), other, Rules::parse(Rules::builtInText()),
                                    {QStringLiteral("REF-1|2024-01-02|-85000")});
    EXPECT_FALSE(p.lines[0].duplicate);
    EXPECT_TRUE(p.lines[1].duplicate);

    EXPECT_EQ(shortName(QStringLiteral("BIEDRONKA SP Z O O 1234 WARSZAWA")), QStringLiteral("Biedronka"));
    EXPECT_EQ(shortName(QStringLiteral("Spółdzielnia Mieszkaniowa Zielone Wzgórze")),
              QStringLiteral("Spółdzielnia Mieszkaniowa Zielone"));
    EXPECT_EQ(shortName(QStringLiteral("STACJA NR 12 ORLEN")), QStringLiteral("Orlen"));
    std::vector<Transaction> many(12, coffee);
    std::vector<const Transaction *> ptrs;
    for (int i = 0; i < 12; ++i) {
        many[std::size_t(i)].counterparty = QStringLiteral("Sklep%1 Abcdefgh").arg(QChar(u'A' + i));
        ptrs.push_back(&many[std::size_t(i)]);
    }
    EXPECT_EQ(remarkFor(ptrs).size(), 50) << "cut at the remark's 50 characters";
}
