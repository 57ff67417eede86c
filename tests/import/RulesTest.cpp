// Categories by the user's rules: order, whole words, case and diacritics, refunds, and the rules
// file of the data folder.
#include "import/Rules.h"
#include "import/ImportError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kw::import;

namespace {

Transaction txn(double amount, const char *counterparty, const char *title = "")
{
    Transaction t;
    t.amount = Amount(amount * double(AmountScale));
    t.counterparty = QString::fromUtf8(counterparty);
    t.title = QString::fromUtf8(title);
    return t;
}

QString label(const Rules &r, const Transaction &t)
{
    return categoryLabel(r.categorise(t).category);
}

QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

TEST(Rules, BuiltInWordsMatchWholeWordsWhateverTheirCaseAndDiacritics)
{
    QStringList problems;
    const Rules r = Rules::parse(Rules::builtInText(), &problems);
    ASSERT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
    const struct
    {
        double amount;
        const char *counterparty;
        const char *title;
        const char *category;
    } cases[] = {
        {-12.5, "BIEDRONKA SP Z O O", "", "Żywność"},
        {-3, "ZABKA POLSKA SP. Z O.O.", "", "Żywność"},       // no diacritics in the file
        {-3, "", "Zakup BLIK żabka nr 1234", "Żywność"},      // in the title
        {-200, "Stacja CIRCLE   K Warszawa", "", "Samochód"}, // two words, any spaces between
        {-200, "", "Circle Kraków", "Inne"},                  // "K" must be a whole word
        {-99, "H&M Hennes", "", "Odzież"},
        {-60, "T-MOBILE POLSKA", "", "Opłaty"},
        {-60, "BP-1234 Kraków", "", "Samochód"}, // a word ends at the hyphen
        {-60, "BPLUS sp. z o.o.", "", "Inne"},   // neither BP nor Plus
        {-60, "Orlenowski Jan", "", "Inne"},
        {-700, "", "Czynsz za marzec", "Opłaty"},
        {-15, "DROGERIA natura", "", "Śr.czystości"},
        {-15, "Natura", "", "Inne"}, // only the two words together
        {5000, "ACME SA", "Wynagrodzenie", "Przychód"},
        {-5, "", "", "Inne"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(label(r, txn(c.amount, c.counterparty, c.title)), QString::fromUtf8(c.category))
            << c.counterparty << " / " << c.title;
}

TEST(Rules, RefundsComeOffTheExpenseByTheCounterpartyOnly)
{
    const Rules r = Rules::parse(Rules::builtInText());
    const Transaction refund = txn(59.99, "ZARA POLSKA", "Zwrot towaru");
    const Rules::Match m = r.categorise(refund);
    EXPECT_EQ(categoryLabel(m.category), QStringLiteral("Odzież"));
    EXPECT_TRUE(m.refund);
    EXPECT_EQ(bookedAmount(refund, m.category), -Amount(59.99 * AmountScale))
        << "subtracted from the expense";

    // A salary whose title names a shop is income, not a refund.
    const Transaction salary = txn(3000, "Jan Kowalski", "Zwrot za zakupy w Biedronka");
    const Rules::Match s = r.categorise(salary);
    EXPECT_EQ(s.category, IncomeCategory);
    EXPECT_FALSE(s.refund);
    EXPECT_EQ(bookedAmount(salary, s.category), Amount(3000 * AmountScale));

    const Transaction bill = txn(-80, "PGE Obrót");
    EXPECT_EQ(bookedAmount(bill, r.categorise(bill).category), Amount(80 * AmountScale))
        << "expenses book positive";
}

TEST(Rules, FirstRuleWinsAndTheUsersComeFirst)
{
    const QString text = QStringLiteral("# własne\n"
                                        "Używki: Żabka, piwo\n"
                                        "Przychód: Orlen\n"
                                        "Koszt: prowizja\n") +
                         Rules::builtInText();
    QStringList problems;
    const Rules r = Rules::parse(text, &problems);
    EXPECT_TRUE(problems.isEmpty());
    EXPECT_EQ(label(r, txn(-3, "Żabka")), QStringLiteral("Używki"));
    EXPECT_EQ(label(r, txn(-3, "Biedronka", "piwo")), QStringLiteral("Używki"))
        << "rule order, not field order";
    EXPECT_EQ(label(r, txn(4000, "ORLEN S.A.", "Pensja")), QStringLiteral("Przychód"))
        << "an employer, no refund";
    EXPECT_EQ(label(r, txn(-250, "ORLEN S.A.")), QStringLiteral("Samochód"))
        << "an income rule takes no debit";
    EXPECT_EQ(label(r, txn(-1.5, "Bank", "Prowizja za przelew")), QStringLiteral("Koszt"));

    // Without the catch-all lines every debit is still "Inne" and every credit "Przychód".
    const Rules bare = Rules::parse(QStringLiteral("Żywność: Lidl\n"));
    EXPECT_EQ(bare.categorise(txn(10, "Firma")).category, IncomeCategory);
    EXPECT_EQ(bare.categorise(txn(-10, "Firma")).category, OtherCategory);
    EXPECT_EQ(bare.categorise(txn(-10, "Firma")).rule, -1);
}

TEST(Rules, UnreadableLinesAreNamedAndLeftOut)
{
    QStringList problems;
    const Rules r = Rules::parse(
        QStringLiteral("Jedzenie: Lidl\nŻywność Lidl\nOdzież:  , \nsr.czystosci: Hebe\n"), &problems);
    ASSERT_EQ(problems.size(), 3);
    EXPECT_TRUE(problems[0].contains(QStringLiteral("wiersz 1"))) << problems[0].toStdString();
    EXPECT_TRUE(problems[0].contains(QStringLiteral("„Jedzenie”")));
    EXPECT_TRUE(problems[1].contains(QStringLiteral("wiersz 2")));
    EXPECT_TRUE(problems[2].contains(QStringLiteral("wiersz 3")));
    ASSERT_EQ(r.rules().size(), 1u) << "category titles are read without case and diacritics";
    EXPECT_EQ(categoryLabel(r.rules()[0].category), QStringLiteral("Śr.czystości"));
    EXPECT_EQ(categoryForLabel(u"KOSZT OKR."), 2);
    EXPECT_EQ(categoryForLabel(u"Koszt okresowy"), -1);
}

TEST(Rules, TheFileIsWrittenOnFirstUseAndRememberedRulesWin)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(RulesFile);
    QStringList problems;
    const Rules first = Rules::load(dir.path(), &problems);
    EXPECT_TRUE(problems.isEmpty());
    EXPECT_EQ(readAll(path), Rules::builtInText())
        << "the built-in rules are in the file for the user to see";
    EXPECT_EQ(label(first, txn(-20, "Lidl")), QStringLiteral("Żywność"));

    Rules::remember(dir.path(), 5, QStringLiteral("Lidl"));
    Rules::remember(dir.path(), 9, QStringLiteral("Kiosk, Ruch")); // a comma would split the word
    const Rules after = Rules::load(dir.path());
    EXPECT_EQ(label(after, txn(-20, "LIDL")), QStringLiteral("Używki"));
    EXPECT_EQ(label(after, txn(-20, "Kiosk Ruch")), QStringLiteral("Inne"));
    EXPECT_EQ(label(after, txn(-20, "Biedronka")), QStringLiteral("Żywność")) << "the rest is as it was";
    const QString text = readAll(path);
    EXPECT_LT(text.indexOf(QStringLiteral("Używki: Lidl")),
              text.indexOf(QStringLiteral("Żywność: Biedronka")));

    // A file the user wrote without the marker: the remembered rule goes above every rule.
    QFile own(path);
    ASSERT_TRUE(own.open(QIODevice::WriteOnly | QIODevice::Truncate));
    own.write("# moje\nOdzież: Lidl\n");
    own.close();
    Rules::remember(dir.path(), 4, QStringLiteral("Lidl"));
    EXPECT_EQ(readAll(path), QStringLiteral("# moje\nŻywność: Lidl\nOdzież: Lidl\n"));
}

TEST(Rules, AFolderThatCannotBeWrittenStillGetsTheBuiltInRules)
{
    // A "folder" that is a file cannot take the rules file, whoever runs the test.
    QTemporaryDir dir;
    const QString notAFolder = QDir(dir.path()).filePath(QStringLiteral("plik"));
    QFile f(notAFolder);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    QStringList problems;
    const Rules r = Rules::load(notAFolder, &problems);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains(RulesFile)) << problems[0].toStdString();
    EXPECT_EQ(label(r, txn(-20, "Lidl")), QStringLiteral("Żywność"));
    EXPECT_THROW(Rules::remember(notAFolder, 5, QStringLiteral("Lidl")), ImportError);
}
