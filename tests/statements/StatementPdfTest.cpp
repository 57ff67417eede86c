// The three statements written by `kwotnik-ledger statement` on ledgers made here through the
// program's writers, read back with pdftotext.
#include "StatementLedger.h"
#include "ledger/EngineError.h"
#include "regional/Regional.h"
#include "reports/statements/Statements.h"

#include <QFileInfo>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace kwtest;
using kw::regional::formatCurrency;
using kw::regional::shortDate;
using kw::statements::setUpStatementTable;
using kw::statements::Statement;
using kw::statements::statementFilter;

namespace {

#define REQUIRE_PDFTOTEXT()                                                                                  \
    if (!havePdfToText())                                                                                    \
    GTEST_SKIP() << "pdftotext (poppler-utils) is not installed"

QString general(double v)
{
    return kw::regional::formatGeneral(v);
}

// Writes the statement into the ledger's directory and returns its pages as text.
QStringList statement(const LedgerDir &books, const QStringList &args, int *pagesReported = nullptr)
{
    const QString pdf = books.file(QStringLiteral("out.pdf"));
    QFile::remove(pdf);
    const RunResult r =
        runTool(QStringList{QStringLiteral("statement")} + args + QStringList{pdf}, books.path());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    if (pagesReported)
        *pagesReported = r.out.trimmed().toInt();
    // With KW_RENDER_DIR set, keeps the PDF for a person to look at.
    if (const QString keep = qEnvironmentVariable("KW_RENDER_DIR"); !keep.isEmpty()) {
        const testing::TestInfo *t = testing::UnitTest::GetInstance()->current_test_info();
        const QString name =
            QStringLiteral("%1-%2-%3.pdf")
                .arg(QLatin1String(t->test_suite_name()), QLatin1String(t->name()), args.join('-'));
        QFile::remove(QDir(keep).filePath(name));
        QFile::copy(pdf, QDir(keep).filePath(name));
    }
    return pdfPages(pdf);
}

QString all(const QStringList &pages)
{
    return pages.join(QLatin1Char('\f'));
}

// The words of a text joined by single blanks; the locale's non-breaking spaces count as blanks.
QString joinedWords(QString text)
{
    text.replace(QChar(0x00A0), QLatin1Char(' ')).replace(QChar(0x202F), QLatin1Char(' '));
    return words(text).join(QLatin1Char(' '));
}

double number(const QString &general)
{
    return QLocale(QLocale::Polish).toDouble(general);
}

// A month of March 2004 with its neighbours: another year's March, April, and the two periods whose
// month and year joined would give one key (1 of 2003 and 12 of 003).
void marchBooks(StatementBooks &b)
{
    b.addEntry("3", "2004", 7, AmountSet{2500, 100, 0, 0, 45.5, 0, 0, 0, 0, 0},
               QStringLiteral("Zakupy na targu"), QDate(2004, 3, 7));
    b.addEntry("3", "2004", 5, AmountSet{0, 0, 0, 312.25, 0, 0, 0, 0, 0, 0.1}, QStringLiteral("Prąd – Łódź"),
               QDate(2004, 3, 5));
    bookAmounts(b.t, Ledger::one(9, 0.2), Sign::Add); // 0.1 + 0.2 on day 5
    b.addEntry("3", "2005", 5, Ledger::one(0, 777.77));
    b.addEntry("4", "2004", 1, Ledger::one(4, 888.88));
    b.addEntry("1", "2003", 2, Ledger::one(8, 111.11));
    b.addEntry("12", "003", 3, Ledger::one(8, 222.22), QStringLiteral("klucz 12003"));
    b.done();
}

} // namespace

TEST(MonthlyStatement, TitleHeadingsLinesTotalsAndFooter)
{
    REQUIRE_PDFTOTEXT();
    StatementBooks b;
    marchBooks(b);
    int reported = 0;
    const QStringList pages = statement(b, {"monthly", "3", "2004"}, &reported);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(reported, 1);
    const QString text = joinedWords(pages[0]);

    EXPECT_TRUE(text.contains(QStringLiteral("Data / Godzina :"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Zestawienie miesięczne - rok : 2004"))) << text.toStdString();
    EXPECT_TRUE(
        text.contains(QStringLiteral("Miesiąc Dzień Data wpisu Przychód Koszt Koszt okr. Opłaty Żywność "
                                     "Używki Odzież Śr.czyst. Samochód Inne Uwagi")))
        << text.toStdString();

    // Stored order: day 7 was entered before day 5.
    const QStringList lines = linesStartingWith(pages, {"3"});
    ASSERT_EQ(lines.size(), 2) << all(pages).toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("3 7 %1 2500 100 0 0 45,5 0 0 0 0 0 Zakupy na targu")
                            .arg(shortDate(QDate(2004, 3, 7))));
    EXPECT_EQ(lines[1], QStringLiteral("3 5 %1 0 0 0 312,25 0 0 0 0 0 %2 Prąd – Łódź")
                            .arg(shortDate(QDate(2004, 3, 5)), general(0.1 + 0.2)));

    const QStringList sum = linesStartingWith(pages, {"SUMA", ":"});
    ASSERT_EQ(sum.size(), 1);
    EXPECT_EQ(sum[0], QStringLiteral("SUMA : 2500 100 0 312,25 45,5 0 0 0 0 %1").arg(general(0.1 + 0.2)));

    // The footer shows the month sum and the year sum (April's food included in the year).
    const double monthIncome = 2400, monthSpent = 312.25 + 45.5 + (0.1 + 0.2);
    EXPECT_TRUE(
        text.contains(QStringLiteral("Dochód miesięczny : %1").arg(joinedWords(formatCurrency(monthIncome)))))
        << text.toStdString();
    EXPECT_TRUE(text.contains(
        QStringLiteral("Wydatek miesięczny : %1").arg(joinedWords(formatCurrency(monthSpent)))));
    EXPECT_TRUE(text.contains(
        QStringLiteral("Budżet miesięczny : %1").arg(joinedWords(formatCurrency(monthIncome - monthSpent)))));
    EXPECT_TRUE(text.contains(
        QStringLiteral("Wydatek roczny : %1").arg(joinedWords(formatCurrency(monthSpent + 888.88)))))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Dochód roczny : %1").arg(joinedWords(formatCurrency(2400)))));

    // Nothing of another month or year.
    for (const char *foreign : {"777,77", "888,88", "111,11", "222,22"})
        EXPECT_FALSE(text.contains(QLatin1String(foreign))) << foreign;
}

TEST(MonthlyStatement, MonthAndYearAreComparedEachOnItsOwn)
{
    REQUIRE_PDFTOTEXT();
    StatementBooks b;
    marchBooks(b);
    const QString text = joinedWords(all(statement(b, {"monthly", "12", "003"})));
    EXPECT_TRUE(text.contains(QStringLiteral("Zestawienie miesięczne - rok : 003"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("222,22")));
    EXPECT_FALSE(text.contains(QStringLiteral("111,11"))) << "month 1 of 2003 leaked into month 12 of 003";
    // A month written with a leading zero means the same month.
    const QStringList march2005 = linesStartingWith(statement(b, {"monthly", "03", "2005"}), {"3"});
    ASSERT_EQ(march2005.size(), 1);
    EXPECT_TRUE(march2005[0].startsWith(QStringLiteral("3 5 "))) << march2005[0].toStdString();
    EXPECT_TRUE(march2005[0].contains(QStringLiteral(" 777,77 ")));
}

TEST(MonthlyStatement, LongMonthSpansPagesWithHeadingsFooterAndExactTotals)
{
    REQUIRE_PDFTOTEXT();
    StatementBooks b;
    double income = 0, food = 0;
    for (int i = 0; i < 200; ++i) {
        const double in = 10 + i * 0.25, f = (i % 7) * 1.1;
        income += in;
        food += f;
        b.addEntry("5", "2004", i % 28 + 1, AmountSet{in, 0, 0, 0, f, 0, 0, 0, 0, 0});
    }
    b.done();
    int reported = 0;
    const QStringList pages = statement(b, {"monthly", "5", "2004"}, &reported);
    ASSERT_GT(pages.size(), 2);
    EXPECT_EQ(reported, pages.size());
    for (int p = 0; p < pages.size(); ++p) {
        const QString text = joinedWords(pages[p]);
        EXPECT_TRUE(text.contains(QStringLiteral("Miesiąc Dzień Data wpisu Przychód"))) << "page " << p + 1;
        EXPECT_TRUE(text.contains(QStringLiteral("Dochód miesięczny :"))) << "page " << p + 1;
        EXPECT_TRUE(text.contains(QStringLiteral("Budżet roczny :"))) << "page " << p + 1;
        EXPECT_EQ(text.contains(QStringLiteral("Zestawienie miesięczne")), p == 0)
            << "title only on page one";
    }
    const QStringList lines = linesStartingWith(pages, {"5"});
    ASSERT_EQ(lines.size(), 200);
    double printedIncome = 0, printedFood = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList w = words(lines[i]);
        EXPECT_EQ(w[3], general(10 + i * 0.25)) << "stored order, line " << i;
        printedIncome += number(w[3]);
        printedFood += number(w[7]);
    }
    const QStringList sum = linesStartingWith(pages, {"SUMA", ":"});
    ASSERT_EQ(sum.size(), 1);
    EXPECT_TRUE(joinedWords(pages.last()).contains(QStringLiteral("SUMA :")))
        << "the summary closes the last page";
    const QStringList s = words(sum[0]);
    EXPECT_EQ(s[2], general(income));
    EXPECT_NEAR(number(s[2]), printedIncome, 1e-6);
    EXPECT_EQ(s[6], general(food));
    EXPECT_NEAR(number(s[6]), printedFood, 1e-6);
}

TEST(MonthlyStatement, FooterPrintsTheSumsAsStoredEvenWhenTheyDisagree)
{
    REQUIRE_PDFTOTEXT();
    StatementBooks b;
    marchBooks(b);
    // Someone changed the month sum behind the program's back.
    Table sums;
    setUpMonthTable(sums);
    sums.setDirectory(b.path());
    sums.open();
    for (sums.first(); !sums.eof(); sums.next())
        if (sums.fieldValue("SMIESIAC").toString() == "3" && sums.fieldValue("SROK").toString() == "2004")
            break;
    sums.edit();
    sums.setFieldValue("DOCHOD", 12345.67);
    sums.post();
    sums.close();

    const QString text = joinedWords(all(statement(b, {"monthly", "3", "2004"})));
    EXPECT_TRUE(
        text.contains(QStringLiteral("Dochód miesięczny : %1").arg(joinedWords(formatCurrency(12345.67)))))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("SUMA : 2500 100 0")));
}

TEST(YearlyStatement, MonthsInStoredOrderWithGroupCaptionsAndTotals)
{
    REQUIRE_PDFTOTEXT();
    StatementBooks b;
    b.addEntry("3", "2004", 1, AmountSet{1000, 10, 5, 20, 30, 0, 0, 0, 0, 0});
    b.addEntry("1", "2004", 1, AmountSet{500, 0, 0, 0, 0, 0, 0, 7.5, 0, 0});
    b.touchPeriod("11", "2004");
    b.addEntry("3", "2005", 1, Ledger::one(0, 999.99));
    b.done();
    const QStringList pages = statement(b, {"yearly", "2004"});
    ASSERT_EQ(pages.size(), 1);
    const QString text = joinedWords(pages[0]);
    EXPECT_TRUE(text.contains(QStringLiteral("Zestawienie roczne - rok : 2004"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Data / Godzina :")));
    EXPECT_TRUE(text.contains(QStringLiteral("Dochód Wydatki Zestawienie"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Miesiąc Przychód Koszt Koszt okr. Opłaty Żywność Używki Odzież "
                                             "Śr.czyst. Samochód Inne Dochód Wydatki Budżet")))
        << text.toStdString();

    QStringList months;
    for (const char *first : {"3", "1", "11"})
        months += linesStartingWith(pages, {first});
    ASSERT_EQ(months.size(), 3);
    EXPECT_EQ(months[0], QStringLiteral("3 1000 10 5 20 30 0 0 0 0 0 985 50 935"));
    EXPECT_EQ(months[1], QStringLiteral("1 500 0 0 0 0 0 0 7,5 0 0 500 7,5 492,5"));
    EXPECT_EQ(months[2], QStringLiteral("11 0 0 0 0 0 0 0 0 0 0 0 0 0"));
    // Added in the order March, January, November: printed in that order.
    const QString body = all(pages);
    const auto at = [&](const QString &line) {
        return body.indexOf(QRegularExpression(QStringLiteral("\\n\\s*") + line + QStringLiteral("\\s")));
    };
    EXPECT_LT(at("3"), at("1"));
    EXPECT_LT(at("1"), at("11"));

    const QStringList sum = linesStartingWith(pages, {"SUMA", ":"});
    ASSERT_EQ(sum.size(), 1);
    EXPECT_EQ(sum[0], QStringLiteral("SUMA : 1500 10 5 20 30 0 0 7,5 0 0 1485 57,5 1427,5"));
    EXPECT_FALSE(text.contains(QStringLiteral("999,99")));
}

TEST(MultiYearStatement, EveryYearInStoredOrderWithAllTimeTotals)
{
    REQUIRE_PDFTOTEXT();
    StatementBooks b;
    b.addEntry("6", "2004", 1, AmountSet{100, 0, 0, 1, 2, 3, 4, 5, 6, 7});
    b.addEntry("2", "2002", 1, AmountSet{50, 5, 0, 0, 0, 0, 0, 0, 0, 10});
    b.addEntry("9", "2010", 1, AmountSet{0, 0, 0, 0, 0, 0, 0, 0, 0, 20});
    b.addEntry("10", "2004", 1, AmountSet{1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    b.done();
    const QStringList pages = statement(b, {"multiyear"});
    ASSERT_EQ(pages.size(), 1);
    const QString text = joinedWords(pages[0]);
    EXPECT_TRUE(text.contains(QStringLiteral("Zestawienie wieloletnie"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Data / Czas :")));
    EXPECT_FALSE(text.contains(QStringLiteral("- rok :")));
    EXPECT_TRUE(text.contains(QStringLiteral("Dochód Wydatki Zestawienie")));
    EXPECT_TRUE(text.contains(QStringLiteral("Rok Przychód Koszt Koszt okr. Opłaty Żywność Używki Odzież "
                                             "Śr. czystości Samochód Inne Dochód Wydatki Budżet")))
        << text.toStdString();
    const QStringList y2004 = linesStartingWith(pages, {"2004"}), y2002 = linesStartingWith(pages, {"2002"}),
                      y2010 = linesStartingWith(pages, {"2010"});
    ASSERT_EQ(y2004.size(), 1);
    ASSERT_EQ(y2002.size(), 1);
    ASSERT_EQ(y2010.size(), 1);
    EXPECT_EQ(y2004[0], QStringLiteral("2004 101 0 0 1 2 3 4 5 6 7 101 28 73"));
    EXPECT_EQ(y2002[0], QStringLiteral("2002 50 5 0 0 0 0 0 0 0 10 45 10 35"));
    EXPECT_EQ(y2010[0], QStringLiteral("2010 0 0 0 0 0 0 0 0 0 20 0 20 -20"));
    EXPECT_LT(text.indexOf(QStringLiteral("2004 101")), text.indexOf(QStringLiteral("2002 50")));
    EXPECT_LT(text.indexOf(QStringLiteral("2002 50")), text.indexOf(QStringLiteral("2010 0")));
    EXPECT_FALSE(text.contains(QStringLiteral("SUMA :")));
    const QStringList sum = linesStartingWith(pages, {"Suma", ":"});
    ASSERT_EQ(sum.size(), 1);
    EXPECT_EQ(sum[0], QStringLiteral("Suma : 151 5 0 1 2 3 4 5 6 37 146 58 88"));
}

TEST(StatementCommand, EmptyStatementsWriteNoFile)
{
    StatementBooks b;
    b.addEntry("3", "2004", 1, Ledger::one(0, 10));
    b.touchPeriod("4", "2004"); // a month sum with no day entry
    b.done();
    const QString pdf = b.file(QStringLiteral("empty.pdf"));
    for (const QStringList &args : {QStringList{"monthly", "4", "2004"}, QStringList{"monthly", "3", "2003"},
                                    QStringList{"yearly", "1999"}}) {
        const RunResult r = runTool(QStringList{"statement"} + args + QStringList{pdf}, b.path());
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains(QStringLiteral("zestawienie jest puste"))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("empty.pdf")));
        EXPECT_FALSE(QFileInfo::exists(pdf));
    }
    // A file of that name that was there before stays as it was.
    writeAll(pdf, "earlier");
    EXPECT_EQ(runTool({"statement", "yearly", "1999", pdf}, b.path()).exitCode, 1);
    EXPECT_EQ(readAll(pdf), QByteArray("earlier"));

    LedgerDir fresh;
    const RunResult r = runTool({"statement", "multiyear", "none.pdf"}, fresh.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("zestawienie jest puste"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(fresh.file(QStringLiteral("none.pdf"))));
}

TEST(StatementCommand, RefusesBadArgumentsWithAClearMessage)
{
    LedgerDir d;
    struct Case
    {
        QStringList args;
        const char *says;
    };
    const QList<Case> cases = {
        {{"monthly", "13", "2004", "x.pdf"}, "zły miesiąc „13”"},
        {{"monthly", "0", "2004", "x.pdf"}, "zły miesiąc „0”"},
        {{"monthly", "marzec", "2004", "x.pdf"}, "od 1 do 12"},
        {{"monthly", "3", "20x4", "x.pdf"}, "zły rok „20x4”"},
        {{"monthly", "3", "200400", "x.pdf"}, "najwyżej 5 cyfr"},
        {{"yearly", "-2004", "x.pdf"}, "zły rok „-2004”"},
        {{"yearly", "2004"}, "wymaga roku i nazwy pliku PDF"},
        {{"monthly", "3", "x.pdf"}, "wymaga miesiąca, roku i nazwy pliku PDF"},
        {{"multiyear", "2004", "x.pdf"}, "tylko nazwy pliku PDF"},
        {{"weekly", "x.pdf"}, "nieznany rodzaj zestawienia „weekly”"},
        {{}, "podaj rodzaj zestawienia"},
        {{"multiyear", "x.pdf", "--dir"}, "po --dir podaj katalog"},
        {{"multiyear", "x.pdf", "--dir", "/nonexistent/kwotnik"},
         "katalog „/nonexistent/kwotnik” nie istnieje"},
    };
    for (const Case &c : cases) {
        const RunResult r = runTool(QStringList{"statement"} + c.args, d.path());
        EXPECT_EQ(r.exitCode, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.says))) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("użycie: kwotnik-ledger statement")));
        EXPECT_FALSE(QFileInfo::exists(d.file(QStringLiteral("x.pdf"))));
    }
}

TEST(StatementCommand, ReadsTheDirectoryGivenAndReportsMissingTables)
{
    REQUIRE_PDFTOTEXT();
    StatementBooks b;
    b.addEntry("3", "2004", 1, Ledger::one(0, 10));
    b.done();
    QTemporaryDir elsewhere;
    const QString pdf = QDir(elsewhere.path()).filePath(QStringLiteral("rok.pdf"));
    const RunResult r = runTool({"statement", "--dir", b.path(), "yearly", "2004", pdf}, elsewhere.path());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("1\n"));
    EXPECT_EQ(r.err, QString()) << "a statement written says nothing on stderr";
    EXPECT_TRUE(joinedWords(all(pdfPages(pdf))).contains(QStringLiteral("3 10 0 0")));

    // No tables where it looks: the engine's message, no file.
    const RunResult missing = runTool({"statement", "yearly", "2004", pdf + "2"}, elsewhere.path());
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("nie istnieje w katalogu"))) << missing.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(pdf + "2"));
}

// Numbers wider than their cells are drawn smaller, never cut into another number; a remark is
// still cut at its column. The PDF is titled with the statement and its period.
TEST(MonthlyStatement, WideNumbersPrintWholeAndTheRemarkIsCut)
{
    REQUIRE_PDFTOTEXT();
    StatementBooks b;
    b.addEntry("3", "2024", 1, Ledger::one(0, 0), QString(50, QLatin1Char('x')));
    b.addEntry("3", "2024", 2, Ledger::one(0, 0));
    b.addEntry("3", "2024", 3, Ledger::one(0, 0));
    b.done();
    // Stored as another program could have: the sums of these would not fit the sum records.
    const QString day = b.file(DayFile);
    putFieldText(day, 0, "PRZYCHOD", "123456789.12");
    putFieldText(day, 1, "OPLATY", "-999999.9999");
    putFieldText(day, 2, "INNE", "99999999999999.98");
    putFieldText(day, 2, "KOSZT", "-5");
    const QStringList pages = statement(b, {"monthly", "3", "2024"});
    ASSERT_EQ(pages.size(), 1);
    const QString text = joinedWords(pages[0]);
    for (const QString &whole :
         {general(123456789.12), general(-999999.9999), general(99999999999999.98), QStringLiteral("-5")})
        EXPECT_TRUE(words(text).contains(whole)) << whole.toStdString() << " in " << text.toStdString();
    EXPECT_EQ(general(123456789.12), QStringLiteral("123456789,12"));
    EXPECT_EQ(general(-999999.9999), QStringLiteral("-999999,9999"));
    const QStringList sum = linesStartingWith(pages, {"SUMA", ":"});
    ASSERT_EQ(sum.size(), 1);
    EXPECT_EQ(sum[0], QStringLiteral("SUMA : %1 -5 0 %2 0 0 0 0 0 %3")
                          .arg(general(123456789.12), general(-999999.9999), general(99999999999999.98)));
    EXPECT_FALSE(text.contains(QStringLiteral("###")));
    // The remark column holds fewer than 50 letters of its remark.
    const QStringList first = linesStartingWith(pages, {"3", "1"});
    ASSERT_EQ(first.size(), 1);
    const QString remark = words(first[0]).last();
    EXPECT_TRUE(remark.startsWith(QStringLiteral("xxxxx")) && remark.size() < 50) << remark.toStdString();

    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {b.file(QStringLiteral("out.pdf"))});
    info.waitForFinished(30000);
    const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
    EXPECT_TRUE(
        infoText.contains(QRegularExpression(QStringLiteral("Title:\\s+Zestawienie miesięczne 3/2024\\n"))))
        << infoText.toStdString();
}

// A blank amount is a null: an empty cell, 0 in the sum. One that is not a number stops the
// statement: exit 1, the file and the record named, no PDF.
TEST(StatementCommand, ABlankAmountIsEmptyAndADamagedOneStopsTheStatement)
{
    REQUIRE_PDFTOTEXT();
    StatementBooks b;
    b.addEntry("3", "2024", 1, AmountSet{0, 0, 0, 0, 10, 0, 0, 0, 0, 0});
    b.addEntry("3", "2024", 2, AmountSet{0, 0, 0, 0, 20, 0, 0, 0, 0, 7});
    b.done();
    putFieldText(b.file(DayFile), 1, "ZYWNOSC", "");
    const QStringList pages = statement(b, {"monthly", "3", "2024"});
    EXPECT_EQ(linesStartingWith(pages, {"3", "2"}).value(0).section(' ', 3),
              QStringLiteral("0 0 0 0 0 0 0 0 7")); // nine printed amounts: the food cell is empty
    EXPECT_EQ(linesStartingWith(pages, {"SUMA", ":"}).value(0),
              QStringLiteral("SUMA : 0 0 0 0 10 0 0 0 0 7"));
    EXPECT_FALSE(all(pages).contains(QStringLiteral("Table1"))) << "a formula on paper";

    for (const char *damage : {"12a", "*******", "nan"}) {
        putFieldText(b.file(DayFile), 1, "ZYWNOSC", damage);
        const QString pdf = b.file(QStringLiteral("uszkodzony.pdf"));
        const RunResult r = runTool({"statement", "monthly", "3", "2024", pdf}, b.path());
        EXPECT_EQ(r.exitCode, 1) << damage;
        EXPECT_TRUE(
            r.err.contains(QStringLiteral("Plik Wydatki.dbf jest uszkodzony: w rekordzie nr 2 pole ZYWNOSC "
                                          "zawiera „%1”")
                               .arg(QLatin1String(damage))))
            << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(pdf));
    }
}

// The statement never lands on the ledger or on anything that is not a PDF: each table under other
// letter case and through a link, the journal, a text file, a folder, a read-only PDF (as a user who
// is not root); exit 1, the file named, the data folder byte for byte as it was.
TEST(StatementCommand, NeverWritesOverTheLedgerOrAnythingNotAPdf)
{
    StatementBooks b;
    b.addEntry("3", "2004", 1, Ledger::one(0, 10), QStringLiteral("dzień"));
    b.done();
    writeAll(b.file(QStringLiteral("Kwotnik.jrn")), "");
    QTemporaryDir other;
    const QDir o(other.path());
    ASSERT_EQ(::chmod(QFile::encodeName(other.path()).constData(), 0777), 0);
    for (const char *t : {"Wydatki.dbf", "Suma.dbf", "Sum.DBF"})
        ASSERT_EQ(
            ::symlink(QFile::encodeName(b.file(QLatin1String(t))).constData(),
                      QFile::encodeName(o.filePath(QLatin1String(t) + QStringLiteral(".pdf"))).constData()),
            0);
    writeAll(o.filePath(QStringLiteral("list.txt")), "Drogi Janie,\n");
    o.mkdir(QStringLiteral("folder.pdf"));
    const QString readOnly = o.filePath(QStringLiteral("stary.pdf"));
    writeAll(readOnly, "%PDF-1.4 stary");
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    QMap<QString, QByteArray> ledger;
    for (const QString &name : QDir(b.path()).entryList(QDir::Files))
        ledger[name] = readAll(b.file(name));

    struct Case
    {
        QString target;
        const char *says;
        bool unprivileged = false;
    };
    const QList<Case> cases = {
        {b.file(QStringLiteral("Wydatki.dbf")), "plik danych programu (Wydatki.dbf)"},
        {b.file(QStringLiteral("WYDATKI.DBF")), "plik danych programu (Wydatki.dbf)"},
        {b.file(QStringLiteral("suma.DBF")), "plik danych programu (Suma.dbf)"},
        {b.file(QStringLiteral("sum.dbf")), "plik danych programu (Sum.DBF)"},
        {b.file(QStringLiteral("KWOTNIK.jrn")), "plik danych programu (Kwotnik.jrn)"},
        {o.filePath(QStringLiteral("Wydatki.dbf.pdf")), "plik danych programu (Wydatki.dbf)"},
        {o.filePath(QStringLiteral("Suma.dbf.pdf")), "plik danych programu (Suma.dbf)"},
        {o.filePath(QStringLiteral("Sum.DBF.pdf")), "plik danych programu (Sum.DBF)"},
        {o.filePath(QStringLiteral("list.txt")), "nie jest plikiem PDF"},
        {o.filePath(QStringLiteral("folder.pdf")), "to folder, nie plik"},
        {readOnly, "brak prawa zapisu", true},
    };
    for (const Case &c : cases) {
        QProcess p;
        p.setWorkingDirectory(b.path());
        if (c.unprivileged && ::geteuid() == 0) {
            // Root may write anything; the check is made as the user nobody.
            for (const QString &name : ledger.keys())
                ::chmod(QFile::encodeName(b.file(name)).constData(), 0644);
            ::chmod(QFile::encodeName(b.path()).constData(), 0755);
            p.setChildProcessModifier([] {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(99);
            });
        }
        p.start(QStringLiteral(KW_LEDGER_TOOL), {"statement", "monthly", "3", "2004", c.target});
        if (c.unprivileged && ::geteuid() == 0 && !p.waitForStarted(60000)) {
            // The user nobody cannot reach the tool (a build inside a folder private to root): the
            // case needs a user who may run it and may not write the file, and there is none here.
            std::fprintf(stderr, "skipped %s: the user nobody cannot run %s\n", qPrintable(c.target),
                         KW_LEDGER_TOOL);
            continue;
        }
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), 1) << c.target.toStdString() << ": " << err.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.says))) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("„%1”").arg(c.target))) << err.toStdString();
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    }
    for (auto it = ledger.cbegin(); it != ledger.cend(); ++it)
        EXPECT_EQ(readAll(b.file(it.key())), it.value()) << it.key().toStdString();
    EXPECT_EQ(QDir(b.path()).entryList(QDir::Files | QDir::Hidden), QStringList(ledger.keys()));
    EXPECT_EQ(readAll(o.filePath(QStringLiteral("list.txt"))), QByteArray("Drogi Janie,\n"));
    EXPECT_EQ(readAll(readOnly), QByteArray("%PDF-1.4 stary"));
    EXPECT_TRUE(QFileInfo(o.filePath(QStringLiteral("Sum.DBF.pdf"))).isSymLink());

    // An earlier statement is replaced whole and keeps its mode.
    const QString earlier = o.filePath(QStringLiteral("marzec.pdf"));
    writeAll(earlier, "%PDF-1.4 stary");
    ::chmod(QFile::encodeName(earlier).constData(), 0604);
    const RunResult r = runTool({"statement", "monthly", "3", "2004", earlier}, b.path());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(readAll(earlier).startsWith("%PDF-"));
    EXPECT_GT(readAll(earlier).size(), 1000);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(earlier).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
}

// A preview's cursor takes over the records its statement's table has just read, then judges every
// later change by its own filter: the period it was made for.
TEST(StatementCursor, CopyKeepsTheRecordsAndFollowsItsOwnPeriod)
{
    StatementBooks b;
    b.addEntry("3", "2004", 1, Ledger::one(0, 1));
    b.addEntry("4", "2004", 1, Ledger::one(0, 2));
    b.addEntry("3", "2004", 2, Ledger::one(0, 3));

    FixedPeriod live("3", "2004"); // the dialog's texts, read afresh
    Table statement;
    setUpStatementTable(Statement::Monthly, statement);
    statement.setDirectory(b.path());
    statement.setOnFilterRecord(dayPeriodFilter(live));
    statement.setFiltered(true);
    statement.open();

    kw::statements::FixedPeriod captured("3", "2004");
    Table cursor;
    setUpStatementTable(Statement::Monthly, cursor);
    cursor.setOnFilterRecord(statementFilter(Statement::Monthly, captured));
    cursor.setFiltered(true);
    cursor.openCopyOf(statement);
    ASSERT_EQ(cursor.recordCount(), 2);
    cursor.first();
    EXPECT_EQ(cursor.fieldValue("PRZYCHOD").toDouble(), 1);
    cursor.next();
    EXPECT_EQ(cursor.fieldValue("PRZYCHOD").toDouble(), 3);

    // The dialog moves on to April and a day is booked there: the copy keeps to March.
    live.month = "4";
    b.addEntry("4", "2004", 9, Ledger::one(0, 40));
    b.addEntry("3", "2004", 9, Ledger::one(0, 30));
    EXPECT_EQ(cursor.recordCount(), 3);
    cursor.last();
    EXPECT_EQ(cursor.fieldValue("PRZYCHOD").toDouble(), 30);
    EXPECT_EQ(statement.recordCount(), 3) << "the live filter took April's new day in";

    // Closing the statement's table leaves the copy reading.
    statement.close();
    EXPECT_TRUE(cursor.active());
    EXPECT_EQ(cursor.recordCount(), 3);

    // A copy must keep the order of the table it copies.
    Table ordered;
    kw::ledger::setUpDayTable(ordered);
    Table source;
    setUpStatementTable(Statement::Monthly, source);
    source.setDirectory(b.path());
    source.open();
    EXPECT_THROW(ordered.openCopyOf(source), kw::EngineError);
    EXPECT_FALSE(ordered.active());
}
