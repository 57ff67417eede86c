// The statement readers: every format into one list of transactions, balances checked, broken
// files refused with the line named.
#include "ImportTestData.h"

#include "import/CsvReader.h"
#include "import/ImportError.h"
#include "import/StatementReader.h"
#include "import/TextTools.h"
#include "ledger/CodePage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kw::import;
using kwtest::zl;

namespace {

QByteArray cp1250(const QString &text)
{
    const std::string bytes = kw::CodePage::windows1250().encode(text);
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

// The error a reader throws for these bytes; fails the test when none is thrown.
ImportError refusal(const QByteArray &bytes, const QList<CsvProfile> &profiles = {})
{
    try {
        readStatement(bytes, profiles);
    } catch (const ImportError &e) {
        return e;
    }
    ADD_FAILURE() << "read without an error: " << bytes.left(80).toStdString();
    return ImportError(ImportError::Kind::Unreadable, QString());
}

// The 1-based line on which `needle` starts.
int lineOf(const QByteArray &bytes, const char *needle)
{
    return int(bytes.left(bytes.indexOf(needle)).count('\n')) + 1;
}

} // namespace

TEST(Mt940, PolishSubfieldsTwoStatementsAndReversals)
{
    const Statement st = readStatement(QByteArray(kwtest::Mt940Polish));
    EXPECT_EQ(st.format, Format::Mt940);
    EXPECT_EQ(st.account, QStringLiteral("PL61109010140000071219812874"));
    ASSERT_EQ(st.transactions.size(), 4);

    const Transaction &card = st.transactions[0];
    EXPECT_EQ(card.date, QDate(2024, 3, 1));
    EXPECT_EQ(card.amount, zl(-123.45));
    EXPECT_EQ(card.currency, QStringLiteral("PLN"));
    EXPECT_EQ(card.title, QStringLiteral("Zakup karta 1234 Biedronka Warszawa"));
    EXPECT_EQ(card.counterparty, QStringLiteral("BIEDRONKA SP Z O O SKLEP 1234"));
    EXPECT_EQ(card.account, QStringLiteral("PL27114020040000300201355387")) << "~38 wins over ~30/~31";
    EXPECT_EQ(card.reference, QStringLiteral("BK20240301A"));
    EXPECT_EQ(card.line, 5);

    const Transaction &salary = st.transactions[1];
    EXPECT_EQ(salary.amount, zl(2500));
    EXPECT_EQ(salary.counterparty, QStringLiteral("ACME SPÓŁKA Z O.O.")) << "UTF-8 text kept";
    EXPECT_EQ(salary.account, QStringLiteral("11402004") + QStringLiteral("0000300201355387"));

    EXPECT_EQ(st.transactions[2].amount, zl(-50)) << "RC reverses a credit: money out";
    EXPECT_EQ(st.transactions[2].reference, QStringLiteral("REF-KLIENTA"))
        << "no bank reference: the customer's";
    EXPECT_EQ(st.transactions[3].counterparty, QStringLiteral("Spółdzielnia Mieszkaniowa Zielone Wzgórze"))
        << "a subfield continued on the next line";

    ASSERT_EQ(st.balances.size(), 2);
    for (const BalanceCheck &b : st.balances)
        EXPECT_TRUE(b.matches()) << b.statement.toStdString();
    EXPECT_EQ(st.balances[1].opening, zl(3376.55));
    EXPECT_EQ(st.balances[1].closing, zl(2326.55));
}

TEST(Mt940, PlainDetailsWindows1250EnvelopeAndMismatchedBalance)
{
    const QString text = QStringLiteral("{1:F01BANKPLPWAXXX0000000000}{2:O9401200240301BANKPLPWAXXX}{4:\r\n"
                                        ":20:STMT\r\n:25:12345678/0012345678\r\n:28C:1\r\n"
                                        ":60F:C231229PLN100,00\r\n"
                                        ":61:2312310102D10,50NMSCREF1//BANKREF1\r\n"
                                        ":86:Zakup w sklepie Żabka\r\nŁódź ul. Piotrkowska\r\n"
                                        ":62F:C240102PLN99,50\r\n-}\r\n");
    const Statement st = readStatement(cp1250(text));
    ASSERT_EQ(st.transactions.size(), 1);
    const Transaction &t = st.transactions[0];
    EXPECT_EQ(t.title, QStringLiteral("Zakup w sklepie Żabka Łódź ul. Piotrkowska"));
    EXPECT_TRUE(t.counterparty.isEmpty());
    EXPECT_EQ(t.date, QDate(2023, 12, 31));
    EXPECT_EQ(t.bookingDate, QDate(2024, 1, 2))
        << "the entry date's year follows the value date over New Year";
    ASSERT_EQ(st.balances.size(), 1);
    EXPECT_FALSE(st.balances[0].matches()) << "100 - 10.50 is not 99.50";
    EXPECT_EQ(st.balances[0].lines, zl(-10.5));
}

TEST(Mt940, InterimReportChecksItsTotals)
{
    const Statement st = readStatement(QByteArray(":20:RAPORT\n:25:/PL61109010140000071219812874\n:28C:1\n"
                                                  ":34F:PLN0,00\n:13D:2403051200+0100\n"
                                                  ":61:240305D20,00NTRFNONREF//R1\n:86:~20Kawa~32Kawiarnia\n"
                                                  ":61:240305C5,00NTRFNONREF//R2\n"
                                                  ":90D:1PLN20,00\n:90C:1PLN5,00\n-\n"));
    EXPECT_EQ(st.format, Format::Mt942);
    ASSERT_EQ(st.transactions.size(), 2);
    EXPECT_EQ(st.transactions[0].currency, QStringLiteral("PLN"));
    ASSERT_EQ(st.balances.size(), 1);
    EXPECT_TRUE(st.balances[0].matches());
}

TEST(Mt940, BrokenLinesAreRefusedWithTheirLine)
{
    const struct
    {
        const char *text;
        int line;
    } cases[] = {
        {":20:X\n:25:/1\n:60F:C240301PLN1,00\n:61:2403X1D1,00NTRF//A\n", 4},     // date
        {":20:X\n:25:/1\n:60F:C240301PLN1,00\n:61:240301X1,00NTRF//A\n", 4},     // no C/D
        {":20:X\n:25:/1\n:60F:C240301PLN1,00\n\n:61:240301DNTRF//A\n", 5},       // no amount
        {":20:X\n:25:/1\n:60F:C240301PLN1,0,0\n:61:240301D1,00NTRF//A\n", 3},    // balance amount
        {":20:X\n:25:/1\n:60F:240301PLN1,00\n:61:240301D1,00NTRF//A\n", 3},      // balance mark
        {":20:X\n:25:/1\n:60F:C240301PLN1,00\n:61:2403011399D1,00NTRF//A\n", 4}, // entry date
    };
    for (const auto &c : cases) {
        const ImportError e = refusal(QByteArray(c.text));
        EXPECT_EQ(e.kind(), ImportError::Kind::Refused) << c.text;
        EXPECT_EQ(e.line(), c.line) << c.text;
    }
}

TEST(Camt, BookedPendingBatchAndBalance)
{
    const Statement st = readStatement(kwtest::camt053(kwtest::CamtEntries));
    EXPECT_EQ(st.format, Format::Camt053);
    EXPECT_EQ(st.account, QStringLiteral("PL61109010140000071219812874"));
    ASSERT_EQ(st.transactions.size(), 5) << "the batch entry is split into its two transfers";

    const Transaction &card = st.transactions[0];
    EXPECT_EQ(card.amount, zl(-123.45));
    EXPECT_EQ(card.date, QDate(2024, 3, 1)) << "value date";
    EXPECT_EQ(card.bookingDate, QDate(2024, 3, 2));
    EXPECT_EQ(card.counterparty, QStringLiteral("Biedronka 1234")) << "a debit's other side is the creditor";
    EXPECT_EQ(card.account, QStringLiteral("PL27114020040000300201355387"));
    EXPECT_EQ(card.title, QStringLiteral("Zakup kartą nr 1234"));
    EXPECT_EQ(card.reference, QStringLiteral("REF-A"));
    EXPECT_FALSE(card.pending);

    EXPECT_EQ(st.transactions[1].amount, zl(-100));
    EXPECT_EQ(st.transactions[1].counterparty, QStringLiteral("Orlen"));
    EXPECT_EQ(st.transactions[1].reference, QStringLiteral("REF-B/1"));
    EXPECT_EQ(st.transactions[2].amount, zl(-50));
    EXPECT_EQ(st.transactions[2].reference, QStringLiteral("REF-B/2"));
    EXPECT_EQ(st.transactions[2].date, QDate(2024, 3, 3)) << "booking date when there is no value date";

    EXPECT_TRUE(st.transactions[3].pending);
    EXPECT_EQ(st.transactions[4].counterparty, QStringLiteral("Anna Nowak"))
        << "a credit's other side is the debtor";

    ASSERT_EQ(st.balances.size(), 1);
    EXPECT_TRUE(st.balances[0].matches()) << "pending entries are not in the closing balance";

    const Statement wrong = readStatement(kwtest::camt053(kwtest::CamtEntries, "1000.00", "727.55"));
    EXPECT_FALSE(wrong.balances[0].matches()) << "counting the pending entry would make this one match";
}

TEST(Camt, BatchWithoutAmountsStaysOneLineAndReportsAreRead)
{
    const char *entry = R"(<Ntry><Amt Ccy="PLN">30.00</Amt><CdtDbtInd>DBIT</CdtDbtInd><Sts><Cd>BOOK</Cd></Sts>
    <BookgDt><DtTm>2024-03-02T10:00:00</DtTm></BookgDt><AcctSvcrRef>B1</AcctSvcrRef><NtryDtls>
    <TxDtls><RltdPties><Cdtr><Pty><Nm>Lidl</Nm></Pty></Cdtr></RltdPties></TxDtls>
    <TxDtls><RltdPties><Cdtr><Pty><Nm>Dino</Nm></Pty></Cdtr></RltdPties></TxDtls></NtryDtls></Ntry>)";
    QByteArray report = kwtest::camt053(entry, "0", "0");
    report.replace("BkToCstmrStmt", "BkToCstmrAcctRpt")
        .replace("<Stmt>", "<Rpt>")
        .replace("</Stmt>", "</Rpt>");
    report.replace("camt.053.001.02", "camt.052.001.08");
    const Statement st = readStatement(report);
    EXPECT_EQ(st.format, Format::Camt052);
    ASSERT_EQ(st.transactions.size(), 1);
    EXPECT_EQ(st.transactions[0].amount, zl(-30));
    EXPECT_EQ(st.transactions[0].counterparty, QStringLiteral("Lidl, Dino"));
    EXPECT_EQ(st.transactions[0].date, QDate(2024, 3, 2));
    EXPECT_FALSE(st.balances[0].matches()) << "0 - 30 is not 0";
}

TEST(Camt, BrokenFilesAreRefusedWithTheirLine)
{
    QByteArray cut = kwtest::camt053(kwtest::CamtEntries);
    cut.truncate(cut.indexOf("<Sts>PDNG"));
    EXPECT_EQ(refusal(cut).kind(), ImportError::Kind::Refused);

    QByteArray noSign = kwtest::camt053(kwtest::CamtEntries);
    noSign.replace("<CdtDbtInd>CRDT</CdtDbtInd><Sts>BOOK", "<Sts>BOOK");
    EXPECT_EQ(refusal(noSign).line(), lineOf(noSign, "<Amt Ccy=\"PLN\">100.00</Amt><Sts>") - 1)
        << "the entry's first line";

    QByteArray badAmount = kwtest::camt053(kwtest::CamtEntries);
    badAmount.replace(">123.45<", ">12,3.45<");
    EXPECT_EQ(refusal(badAmount).line(), lineOf(badAmount, ">12,3.45<"));

    QByteArray mismatched = kwtest::camt053(kwtest::CamtEntries);
    mismatched.replace("</Ustrd><Ustrd>", "</Ustr><Ustrd>");
    EXPECT_EQ(refusal(mismatched).line(), lineOf(mismatched, "</Ustr>"));
}

TEST(Ofx, SgmlWithWindows1250AndXmlWithEntities)
{
    const Statement sgml = readStatement(kwtest::ofxSgml(cp1250(
        QStringLiteral("<STMTTRN><TRNTYPE>DEBIT<DTPOSTED>20240302<DTUSER>20240301<TRNAMT>-123.45"
                       "<FITID>F1<NAME>Żabka Łódź<MEMO>Zakup kartą\r\n</STMTTRN>\r\n"
                       "<STMTTRN><TRNTYPE>CREDIT<DTPOSTED>20240302120000[+1:CET]<TRNAMT>2500.00<FITID>F2"
                       "<PAYEE><NAME>ACME</PAYEE><BANKACCTTO><BANKID>1<ACCTID>PL27114020040000300201355387"
                       "</BANKACCTTO><MEMO>Wynagrodzenie\r\n</STMTTRN>\r\n"))));
    EXPECT_EQ(sgml.format, Format::Ofx);
    EXPECT_EQ(sgml.account, QStringLiteral("0000071219812874"));
    ASSERT_EQ(sgml.transactions.size(), 2);
    EXPECT_EQ(sgml.transactions[0].counterparty, QStringLiteral("Żabka Łódź"));
    EXPECT_EQ(sgml.transactions[0].date, QDate(2024, 3, 1)) << "the user's date before the posting date";
    EXPECT_EQ(sgml.transactions[0].bookingDate, QDate(2024, 3, 2));
    EXPECT_EQ(sgml.transactions[0].amount, zl(-123.45));
    EXPECT_EQ(sgml.transactions[0].currency, QStringLiteral("PLN"));
    EXPECT_EQ(sgml.transactions[1].counterparty, QStringLiteral("ACME"));
    EXPECT_EQ(sgml.transactions[1].account, QStringLiteral("PL27114020040000300201355387"));
    EXPECT_EQ(sgml.transactions[1].reference, QStringLiteral("F2"));
    EXPECT_EQ(sgml.transactions[1].line, lineOf(kwtest::ofxSgml(""), "</BANKTRANLIST>") + 2);

    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<?OFX OFXHEADER="200" VERSION="211" SECURITY="NONE" OLDFILEUID="NONE" NEWFILEUID="NONE"?>
<OFX><BANKMSGSRSV1><STMTTRNRS><STMTRS><CURDEF>EUR</CURDEF>
<BANKTRANLIST><STMTTRN><TRNTYPE>DEBIT</TRNTYPE><DTPOSTED>20240301</DTPOSTED><TRNAMT>-5,5</TRNAMT>
<FITID>X1</FITID><NAME>H&amp;M &#379;ory</NAME><MEMO/></STMTTRN></BANKTRANLIST>
<BANKTRANLISTP><STMTTRNP><TRNTYPE>DEBIT</TRNTYPE><DTTRAN>20240304</DTTRAN><TRNAMT>-1.00</TRNAMT>
<NAME>Sklep</NAME></STMTTRNP></BANKTRANLISTP>
</STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>)";
    const Statement x = readStatement(xml);
    ASSERT_EQ(x.transactions.size(), 2);
    EXPECT_EQ(x.transactions[0].counterparty, QStringLiteral("H&M Żory"));
    EXPECT_EQ(x.transactions[0].amount, zl(-5.5));
    EXPECT_EQ(x.transactions[0].currency, QStringLiteral("EUR"));
    EXPECT_FALSE(x.transactions[0].pending);
    EXPECT_TRUE(x.transactions[1].pending);
    EXPECT_EQ(x.transactions[1].date, QDate(2024, 3, 4));
}

TEST(Ofx, BrokenFilesAreRefusedWithTheirLine)
{
    QByteArray cut =
        kwtest::ofxSgml("<STMTTRN><TRNTYPE>DEBIT<DTPOSTED>20240301<TRNAMT>-1.00<FITID>A\r\n</STMTTRN>\r\n"
                        "<STMTTRN><TRNTYPE>DEBIT<DTPOSTED>20240302<TRNAMT>-2.00<FITID>B\r\n");
    cut.truncate(cut.indexOf("</BANKTRANLIST>"));
    const ImportError e = refusal(cut);
    EXPECT_EQ(e.kind(), ImportError::Kind::Refused);
    EXPECT_EQ(e.line(), lineOf(cut, "<STMTTRN><TRNTYPE>DEBIT<DTPOSTED>20240302"))
        << "the transaction left open";

    const QByteArray badAmount =
        kwtest::ofxSgml("<STMTTRN>\r\n<DTPOSTED>20240301\r\n<TRNAMT>sto zł\r\n<FITID>A\r\n</STMTTRN>\r\n");
    EXPECT_EQ(refusal(badAmount).line(), lineOf(badAmount, "<TRNAMT>"));
    const QByteArray badDate =
        kwtest::ofxSgml("<STMTTRN>\r\n<DTPOSTED>2024\r\n<TRNAMT>1.00\r\n</STMTTRN>\r\n");
    EXPECT_EQ(refusal(badDate).line(), lineOf(badDate, "<STMTTRN>")) << "the transaction's line";
    const QByteArray nested = kwtest::ofxSgml("<STMTTRN><TRNAMT>1\r\n<STMTTRN>\r\n");
    EXPECT_EQ(refusal(nested).line(), lineOf(nested, "<STMTTRN>") + 1);
}

TEST(Csv, SeparatorsEncodingsPreambleAndQuotes)
{
    const QString body = QStringLiteral(
        "Wyciąg z rachunku;PL61 1090 1014 0000 0712 1981 2874\n"
        "Okres;2024-03-01 - 2024-03-31\n"
        "\n"
        "#Data operacji;#Data księgowania;#Opis operacji;#Nadawca / Odbiorca;#Rachunek;#Kwota;#Waluta\n"
        "2024-03-01;2024-03-02;\"Zakup; karta \"\"Złota\"\"\";Żabka Polska;;-1 234,56;PLN\n"
        ";2024-03-03;Przelew;Jan Kowalski;PL27 1140 2004 0000 3002 0135 5387;+2\u00a0500,00;PLN\n"
        "Saldo końcowe;;;;1265,44\n");
    const QChar seps[] = {QLatin1Char(';'), QLatin1Char(','), QLatin1Char('\t')};
    for (const QChar sep : seps) {
        QString text = body;
        if (sep != QLatin1Char(';')) {
            // Amounts with a comma must then be quoted, as the banks do.
            text.replace(QStringLiteral("-1 234,56"), QStringLiteral("\"-1 234,56\""));
            text.replace(QStringLiteral("+2\u00a0500,00"), QStringLiteral("\"+2\u00a0500,00\""));
            text.replace(QStringLiteral("1265,44"), QStringLiteral("\"1265,44\""));
            text.replace(QLatin1Char(';'), sep);
            text.replace(QStringLiteral("Zakup") + sep, QStringLiteral("Zakup;"));
        }
        for (const QByteArray &bytes :
             {QByteArray("\xEF\xBB\xBF") + text.toUtf8(), text.toUtf8(), cp1250(text)}) {
            const Statement st = readStatement(bytes);
            EXPECT_EQ(st.format, Format::Csv);
            ASSERT_EQ(st.transactions.size(), 2) << "separator " << int(sep.unicode());
            const Transaction &a = st.transactions[0];
            EXPECT_EQ(a.date, QDate(2024, 3, 1)) << "the operation date before the booking date";
            EXPECT_EQ(a.bookingDate, QDate(2024, 3, 2));
            EXPECT_EQ(a.title, QStringLiteral("Zakup; karta \"Złota\""));
            EXPECT_EQ(a.counterparty, QStringLiteral("Żabka Polska"));
            EXPECT_EQ(a.amount, zl(-1234.56));
            EXPECT_EQ(a.currency, QStringLiteral("PLN"));
            EXPECT_EQ(a.line, 5);
            const Transaction &b = st.transactions[1];
            EXPECT_EQ(b.date, QDate(2024, 3, 3)) << "no operation date: the booking date";
            EXPECT_EQ(b.amount, zl(2500));
            EXPECT_EQ(b.account, QStringLiteral("PL27114020040000300201355387"));
        }
    }
}

TEST(Csv, SplitColumnsDateFormsMultilineCellsAndStatus)
{
    const QByteArray text = "Data transakcji,Tytuł,Kontrahent,Obciążenia,Uznania,Status\r\n"
                            "01.03.2024,\"Opłata\r\nza marzec\",PGE,\"120,00\",,Zaksięgowana\r\n"
                            "02-03-2024,Zwrot,Zara,,\"59,99\",Zaksięgowana\r\n"
                            "2024-03-04,Kawa,Kawiarnia,\"-8,50\",,Oczekująca\r\n";
    const Statement st = readStatement(text);
    ASSERT_EQ(st.transactions.size(), 3);
    EXPECT_EQ(st.transactions[0].amount, zl(-120));
    EXPECT_EQ(st.transactions[0].title, QStringLiteral("Opłata za marzec"));
    EXPECT_EQ(st.transactions[1].line, 4) << "a line break inside quotes counts";
    EXPECT_EQ(st.transactions[1].date, QDate(2024, 3, 2));
    EXPECT_EQ(st.transactions[1].amount, zl(59.99));
    EXPECT_EQ(st.transactions[2].amount, zl(-8.5)) << "a signed debit is still a debit";
    EXPECT_FALSE(st.transactions[1].pending);
    EXPECT_TRUE(st.transactions[2].pending);
}

TEST(Csv, BrokenRowsAreRefusedWithTheirLine)
{
    const struct
    {
        const char *text;
        int line;
    } cases[] = {
        {"Data operacji;Kwota\n2024-03-01;1,00\n2024-02-30;2,00\n", 3},
        {"Data operacji;Kwota\n2024-03-01;1,00\n2024-03-02;dwa\n", 3},
        {"Data operacji;Kwota\n2024-03-01;1,00\n2024-03-02;\n", 3},
        {"Data operacji;Tytuł;Kwota\n2024-03-01;\"niedomknięty;1,00\n2024-03-02;x;2,00\n", 2},
        {"Data operacji;Obciążenia;Uznania\n2024-03-01;;\n", 2},
        {"Data operacji;Kwota\n2024-03-01;1.234,5\n2024-03-02;12.34.56\n", 3},
    };
    for (const auto &c : cases) {
        const ImportError e = refusal(QByteArray(c.text));
        EXPECT_EQ(e.kind(), ImportError::Kind::Refused) << c.text;
        EXPECT_EQ(e.line(), c.line) << c.text;
    }
}

TEST(Csv, UnknownColumnsNeedAMappingThatAProfileThenGives)
{
    const QByteArray text =
        "When;What;Who;How much\n2024-03-01;Coffee;Cafe;-8.50\n2024-03-02;Refund;Shop;3.00\n";
    EXPECT_EQ(refusal(text).kind(), ImportError::Kind::NeedsMapping);

    CsvProfile p;
    p.name = QStringLiteral("Bank zagraniczny");
    p.header = QStringList{QStringLiteral("when"), QStringLiteral("WHAT"), QStringLiteral("Who"),
                           QStringLiteral("How  much")};
    p.columns.date = 0;
    p.columns.title = 1;
    p.columns.counterparty = 2;
    p.columns.amount = 3;

    QTemporaryDir dir;
    saveProfile(dir.path(), p);
    CsvProfile second = p;
    second.name = QStringLiteral("Bez nagłówka; \"cudzysłów\"");
    second.header.clear();
    second.skip = 1;
    second.separator = QLatin1Char('\t');
    second.encoding = CsvEncoding::Windows1250;
    saveProfile(dir.path(), second);
    second.columns.title = -1;
    saveProfile(dir.path(), second); // replaces the one of the same name
    QStringList problems;
    const QList<CsvProfile> loaded = loadProfiles(dir.path(), &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(loaded.size(), 2);
    EXPECT_EQ(loaded[0], p);
    EXPECT_EQ(loaded[1], second);

    const Statement st = readStatement(text, loaded);
    EXPECT_EQ(st.profile, p.name);
    ASSERT_EQ(st.transactions.size(), 2);
    EXPECT_EQ(st.transactions[0].amount, zl(-8.5));
    EXPECT_EQ(st.transactions[1].counterparty, QStringLiteral("Shop"));

    // Without a header the profile fits a table whose first row after the skipped ones reads.
    const QByteArray headless = cp1250(QStringLiteral("Konto 123\n2024-03-05\tx\tŁoś\t-1,00\n"));
    const Statement h = readStatement(headless, loaded);
    EXPECT_EQ(h.profile, second.name);
    ASSERT_EQ(h.transactions.size(), 1);
    EXPECT_EQ(h.transactions[0].counterparty, QStringLiteral("Łoś"));

    QStringList bad;
    parseProfiles(QStringLiteral("kwota = 1\n[A]\nkwota = zero\nkolor = 2\n"), &bad);
    EXPECT_EQ(bad.size(), 3);
    EXPECT_TRUE(bad.value(0).startsWith(QStringLiteral("wiersz 1:")));
}

TEST(Detection, FormatsByContentAndWhatIsNoStatement)
{
    EXPECT_EQ(detectFormat(QByteArray(kwtest::Mt940Polish)), Format::Mt940);
    EXPECT_EQ(detectFormat(kwtest::camt053("")), Format::Camt053);
    EXPECT_EQ(detectFormat(kwtest::ofxSgml("")), Format::Ofx);
    EXPECT_EQ(detectFormat("Data;Kwota\n2024-01-01;1\n"), Format::Csv);
    for (const QByteArray &junk : {QByteArray(), QByteArray("%PDF-1.4\n"), QByteArray("PK\x03\x04\0\0", 6),
                                   QByteArray("zwykły tekst\nbez kolumn\n")})
        EXPECT_EQ(refusal(junk).kind(), ImportError::Kind::Unrecognised) << junk.toStdString();
}

TEST(Errors, MessageNamesTheFileTheFormatAndTheLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wyciąg marzec.sta"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(":20:X\n:25:/1\n:60F:C240301PLN1,00\n:61:240301X1,00NTRF//A\n");
    f.close();
    try {
        readStatementFile(path);
        FAIL() << "a broken statement was read";
    } catch (const ImportError &e) {
        const QString m = e.message();
        EXPECT_TRUE(m.contains(QStringLiteral("„wyciąg marzec.sta”"))) << m.toStdString();
        EXPECT_TRUE(m.contains(QStringLiteral("MT940"))) << m.toStdString();
        EXPECT_TRUE(m.contains(QStringLiteral("wierszu 4"))) << m.toStdString();
    }
    try {
        readStatementFile(dir.filePath(QStringLiteral("nie ma.csv")));
        FAIL() << "a missing file was read";
    } catch (const ImportError &e) {
        EXPECT_EQ(e.kind(), ImportError::Kind::Unreadable);
        EXPECT_TRUE(e.message().contains(QStringLiteral("„nie ma.csv”")));
    }
}

TEST(TextTools, AmountsInEveryFormBanksWrite)
{
    const struct
    {
        const char *text;
        AmountForm form;
        std::optional<double> value;
    } cases[] = {
        {"123,45", AmountForm::Comma, 123.45},
        {"0,", AmountForm::Comma, 0.0},
        {"12.5", AmountForm::Comma, {}},
        {"1,2,3", AmountForm::Comma, {}},
        {"99.00", AmountForm::Dot, 99.0},
        {"-0.5", AmountForm::Dot, -0.5},
        {"1.23456", AmountForm::Dot, {}},
        {"1.23450", AmountForm::Dot, 1.2345},
        {"", AmountForm::Dot, {}},
        {"-1 234,56", AmountForm::Lenient, -1234.56},
        {"1.234,56", AmountForm::Lenient, 1234.56},
        {"1,234.56", AmountForm::Lenient, 1234.56},
        {"1 234 567,8 PLN", AmountForm::Lenient, 1234567.8},
        {"12,50-", AmountForm::Lenient, -12.5},
        {"1.234.567", AmountForm::Lenient, 1234567.0},
        {"12.34.5", AmountForm::Lenient, {}},
        {"1,23,456.00", AmountForm::Lenient, {}},
        {"zł", AmountForm::Lenient, {}},
        {"\u2212"
         "7",
         AmountForm::Lenient, -7.0},
    };
    for (const auto &c : cases) {
        const auto a = parseAmount(QString::fromUtf8(c.text), c.form);
        ASSERT_EQ(a.has_value(), c.value.has_value()) << c.text;
        if (a) {
            EXPECT_EQ(*a, zl(*c.value)) << c.text;
        }
    }
    EXPECT_EQ(parseDate(u"2024-02-29"), QDate(2024, 2, 29));
    EXPECT_EQ(parseDate(u"29.02.2024 13:45"), QDate(2024, 2, 29));
    EXPECT_EQ(parseDate(u"05-03-2024"), QDate(2024, 3, 5));
    EXPECT_FALSE(parseDate(u"29.02.2023").isValid());
    EXPECT_FALSE(parseDate(u"2024-3").isValid());
    EXPECT_EQ(fold(u"  ŁÓDŹ\t Żabka  Śr.Czystości "), QStringLiteral("lodz zabka sr.czystosci"));
}
