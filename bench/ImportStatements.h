#pragma once

// A busy account's year as a statement of each format the import reads: the same transactions
// (shops, bills, fuel, salaries, refunds), so the formats' costs compare.

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace kwbench {

enum class StatementKind
{
    Mt940,
    Camt053,
    Ofx,
    Csv
};
inline const char *statementSuffix(StatementKind k)
{
    switch (k) {
    case StatementKind::Mt940:
        return "sta";
    case StatementKind::Camt053:
        return "xml";
    case StatementKind::Ofx:
        return "ofx";
    case StatementKind::Csv:
        break;
    }
    return "csv";
}

struct SampleLine
{
    const char *counterparty;
    const char *title;
    int cents; // negative: a debit
};
inline constexpr SampleLine SampleLines[] = {
    {"BIEDRONKA 1234 WARSZAWA", "Zakup kartą", -8734},
    {"ŻABKA POLSKA SP Z O O", "Zakup BLIK", -1299},
    {"ORLEN STACJA NR 415", "Paliwo", -25012},
    {"PGE OBRÓT S.A.", "Faktura za energię 03/2024", -18744},
    {"Spółdzielnia Mieszkaniowa Zielone Wzgórze", "Czynsz za marzec", -65000},
    {"ROSSMANN SDP", "Zakup kartą", -4520},
    {"ZARA POLSKA", "Zwrot towaru", 15999},
    {"ACME SPÓŁKA Z O.O.", "Wynagrodzenie za luty", 812345},
    {"Kawiarnia Pod Lipami", "Kawa i ciastko", -2450},
    {"CIRCLE K 0231", "Myjnia", -3500},
    {"Jan Kowalski", "Zwrot za bilety do kina", 6000},
    {"Apteka Słoneczna", "Leki", -3715},
};
inline constexpr int SampleCount = int(sizeof(SampleLines) / sizeof(SampleLines[0]));

inline QString amountText(int cents, char point)
{
    const int a = cents < 0 ? -cents : cents;
    return QStringLiteral("%1%2%3")
        .arg(a / 100)
        .arg(QLatin1Char(point))
        .arg(a % 100, 2, 10, QLatin1Char('0'));
}

// The statement of `count` transactions, from 1 January 2024 on, a few a day.
inline QByteArray makeStatement(StatementKind kind, int count)
{
    QString out;
    const QDate start(2024, 1, 1);
    qint64 balance = 0;
    for (int i = 0; i < count; ++i)
        balance += SampleLines[i % SampleCount].cents;
    auto day = [&](int i) { return start.addDays(i * 365 / count); };
    switch (kind) {
    case StatementKind::Mt940:
        out += QStringLiteral(":20:WYCIAG\r\n:25:/PL61109010140000071219812874\r\n:28C:1/1\r\n"
                              ":60F:C231231PLN0,00\r\n");
        for (int i = 0; i < count; ++i) {
            const SampleLine &s = SampleLines[i % SampleCount];
            const QString d = day(i).toString(QStringLiteral("yyMMdd"));
            out += QStringLiteral(":61:%1%2%3N%4NTRFNONREF//"
                                  "R%5\r\n:86:020~00PRZELEW~20%6~32%7~38PL27114020040000300201355387\r\n")
                       .arg(d, d.mid(2), QLatin1String(s.cents < 0 ? "D" : "C"), amountText(s.cents, ','))
                       .arg(i)
                       .arg(QString::fromUtf8(s.title), QString::fromUtf8(s.counterparty).left(27));
        }
        out += QStringLiteral(":62F:") + QLatin1String(balance < 0 ? "D" : "C") +
               QStringLiteral("241231PLN") + amountText(int(balance), ',') + QStringLiteral("\r\n-\r\n");
        break;
    case StatementKind::Camt053:
        out += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Document "
                              "xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.02\"><BkToCstmrStmt><Stmt>"
                              "<Id>S1</Id><Acct><Id><IBAN>PL61109010140000071219812874</IBAN></Id></Acct>\n");
        for (int i = 0; i < count; ++i) {
            const SampleLine &s = SampleLines[i % SampleCount];
            const bool debit = s.cents < 0;
            out += QStringLiteral(
                       "<Ntry><Amt Ccy=\"PLN\">%1</Amt><CdtDbtInd>%2</CdtDbtInd><Sts>BOOK</Sts>"
                       "<BookgDt><Dt>%3</Dt></BookgDt><AcctSvcrRef>R%4</AcctSvcrRef><NtryDtls><TxDtls>"
                       "<RltdPties><%5><Nm>%6</Nm></%5></RltdPties><RmtInf><Ustrd>%7</Ustrd></RmtInf>"
                       "</TxDtls></NtryDtls></Ntry>\n")
                       .arg(amountText(s.cents, '.'), QLatin1String(debit ? "DBIT" : "CRDT"),
                            day(i).toString(Qt::ISODate))
                       .arg(i)
                       .arg(QLatin1String(debit ? "Cdtr" : "Dbtr"), QString::fromUtf8(s.counterparty),
                            QString::fromUtf8(s.title));
        }
        out += QStringLiteral("</Stmt></BkToCstmrStmt></Document>\n");
        break;
    case StatementKind::Ofx:
        out += QStringLiteral(
            "OFXHEADER:100\r\nDATA:OFXSGML\r\nVERSION:102\r\nENCODING:UTF-8\r\nCHARSET:NONE\r\n\r\n"
            "<OFX><BANKMSGSRSV1><STMTTRNRS><STMTRS><CURDEF>PLN<BANKTRANLIST>\r\n");
        for (int i = 0; i < count; ++i) {
            const SampleLine &s = SampleLines[i % SampleCount];
            out += QStringLiteral("<STMTTRN><TRNTYPE>%1<DTPOSTED>%2<TRNAMT>%3%4<FITID>R%5<NAME>%6<MEMO>%"
                                  "7\r\n</STMTTRN>\r\n")
                       .arg(QLatin1String(s.cents < 0 ? "DEBIT" : "CREDIT"),
                            day(i).toString(QStringLiteral("yyyyMMdd")),
                            QLatin1String(s.cents < 0 ? "-" : ""), amountText(s.cents, '.'))
                       .arg(i)
                       .arg(QString::fromUtf8(s.counterparty), QString::fromUtf8(s.title));
        }
        out += QStringLiteral("</BANKTRANLIST></STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>\r\n");
        break;
    case StatementKind::Csv:
        out += QStringLiteral(
            "Wyciąg z rachunku;PL61 1090 1014 0000 0712 1981 2874\r\n\r\n"
            "#Data operacji;#Data księgowania;#Opis operacji;#Nadawca/Odbiorca;#Rachunek;#Kwota\r\n");
        for (int i = 0; i < count; ++i) {
            const SampleLine &s = SampleLines[i % SampleCount];
            const QString d = day(i).toString(Qt::ISODate);
            out += QStringLiteral("%1;%1;\"%2\";\"%3\";PL27 1140 2004 0000 3002 0135 5387;%4%5\r\n")
                       .arg(d, QString::fromUtf8(s.title), QString::fromUtf8(s.counterparty),
                            QLatin1String(s.cents < 0 ? "-" : ""), amountText(s.cents, ','));
        }
        break;
    }
    return out.toUtf8();
}

// The statement written once into a temporary folder kept for the run.
inline QString statementFile(StatementKind kind, int count)
{
    static QTemporaryDir dir;
    const QString path =
        dir.filePath(QStringLiteral("wyciag-%1.%2").arg(count).arg(QLatin1String(statementSuffix(kind))));
    if (!QFile::exists(path)) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(makeStatement(kind, count));
    }
    return path;
}

} // namespace kwbench
