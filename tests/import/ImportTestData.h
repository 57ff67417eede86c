#pragma once

// Small statements written for the tests from the formats' published descriptions.

#include "import/Transaction.h"

#include <QByteArray>
#include <QString>
#include <cmath>

namespace kwtest {

inline kw::import::Amount zl(double v)
{
    return kw::import::Amount(std::llround(v * double(kw::import::AmountScale)));
}

// Two statements of one account in one file, the Polish "~NN" subfields in ":86:", CRLF lines; the
// second statement's second ":86:" runs over two lines.
inline const char *Mt940Polish = ":20:WYCIAG/1\r\n"
                                 ":25:/PL61109010140000071219812874\r\n"
                                 ":28C:15/1\r\n"
                                 ":60F:C240301PLN1000,00\r\n"
                                 ":61:2403010301DN123,45NTRFNONREF//BK20240301A\r\n"
                                 ":86:073~00VE02~20Zakup karta 1234~21Biedronka Warszawa~22~23~24~25"
                                 "~3010901014~310000071219812874~32BIEDRONKA SP Z O O~33SKLEP 1234"
                                 "~38PL27114020040000300201355387~60~63\r\n"
                                 ":61:2403020302CN2500,00NTRFNONREF//BK20240302B\r\n"
                                 ":86:051~00PRZELEW~20Wynagrodzenie za luty~3011402004~310000300201355387"
                                 "~32ACME SPÓŁKA Z O.O.\r\n"
                                 ":62F:C240302PLN3376,55\r\n"
                                 "-\r\n"
                                 ":20:WYCIAG/2\r\n"
                                 ":25:/PL61109010140000071219812874\r\n"
                                 ":28C:16/1\r\n"
                                 ":60F:C240302PLN3376,55\r\n"
                                 ":61:2403040304RC50,00NTRFREF-KLIENTA\r\n"
                                 ":86:020~00ZWROT~20Korekta uznania\r\n"
                                 ":61:2403050305DN1000,00NTRFNONREF//BK20240305C\r\n"
                                 ":86:020~00PRZELEW~20Czynsz za marzec~32Spółdzielnia Mieszkaniowa\r\n"
                                 "~33Zielone Wzgórze\r\n"
                                 ":62F:C240305PLN2326,55\r\n"
                                 "-\r\n";

inline QByteArray camt053(const char *entries, const char *opening = "1000.00",
                          const char *closing = "826.55")
{
    return QByteArray(R"(<?xml version="1.0" encoding="UTF-8"?>
<Document xmlns="urn:iso:std:iso:20022:tech:xsd:camt.053.001.02">
 <BkToCstmrStmt>
  <GrpHdr><MsgId>M1</MsgId><CreDtTm>2024-03-05T10:00:00</CreDtTm></GrpHdr>
  <Stmt>
   <Id>S-2024-03</Id>
   <Acct><Id><IBAN>PL61109010140000071219812874</IBAN></Id><Ccy>PLN</Ccy></Acct>
   <Bal><Tp><CdOrPrtry><Cd>OPBD</Cd></CdOrPrtry></Tp><Amt Ccy="PLN">)") +
           opening + R"(</Amt><CdtDbtInd>CRDT</CdtDbtInd><Dt><Dt>2024-03-01</Dt></Dt></Bal>
   <Bal><Tp><CdOrPrtry><Cd>CLBD</Cd></CdOrPrtry></Tp><Amt Ccy="PLN">)" +
           closing + R"(</Amt><CdtDbtInd>CRDT</CdtDbtInd><Dt><Dt>2024-03-04</Dt></Dt></Bal>
)" + entries +
           R"(  </Stmt>
 </BkToCstmrStmt>
</Document>
)";
}

// A booked card payment, a batch of two transfers, a pending one and a booked credit.
inline const char *CamtEntries = R"(   <Ntry>
    <Amt Ccy="PLN">123.45</Amt><CdtDbtInd>DBIT</CdtDbtInd><Sts>BOOK</Sts>
    <BookgDt><Dt>2024-03-02</Dt></BookgDt><ValDt><Dt>2024-03-01</Dt></ValDt>
    <AcctSvcrRef>REF-A</AcctSvcrRef>
    <NtryDtls><TxDtls>
     <RltdPties><Dbtr><Nm>Jan Kowalski</Nm></Dbtr><Cdtr><Nm>Biedronka 1234</Nm></Cdtr>
      <CdtrAcct><Id><IBAN>PL27114020040000300201355387</IBAN></Id></CdtrAcct></RltdPties>
     <RmtInf><Ustrd>Zakup kartą</Ustrd><Ustrd>nr 1234</Ustrd></RmtInf>
    </TxDtls></NtryDtls>
   </Ntry>
   <Ntry>
    <Amt Ccy="PLN">150.00</Amt><CdtDbtInd>DBIT</CdtDbtInd><Sts>BOOK</Sts>
    <BookgDt><Dt>2024-03-03</Dt></BookgDt>
    <AcctSvcrRef>REF-B</AcctSvcrRef>
    <NtryDtls>
     <TxDtls><AmtDtls><TxAmt><Amt Ccy="PLN">100.00</Amt></TxAmt></AmtDtls>
      <RltdPties><Cdtr><Nm>Orlen</Nm></Cdtr></RltdPties><RmtInf><Ustrd>Paliwo</Ustrd></RmtInf></TxDtls>
     <TxDtls><AmtDtls><TxAmt><Amt Ccy="PLN">50.00</Amt></TxAmt></AmtDtls>
      <RltdPties><Cdtr><Nm>Rossmann</Nm></Cdtr></RltdPties><RmtInf><Ustrd>Kosmetyki</Ustrd></RmtInf></TxDtls>
    </NtryDtls>
   </Ntry>
   <Ntry>
    <Amt Ccy="PLN">99.00</Amt><CdtDbtInd>DBIT</CdtDbtInd><Sts>PDNG</Sts>
    <BookgDt><Dt>2024-03-04</Dt></BookgDt>
    <NtryDtls><TxDtls><RltdPties><Cdtr><Nm>Zara</Nm></Cdtr></RltdPties></TxDtls></NtryDtls>
   </Ntry>
   <Ntry>
    <Amt Ccy="PLN">100.00</Amt><CdtDbtInd>CRDT</CdtDbtInd><Sts>BOOK</Sts>
    <BookgDt><Dt>2024-03-04</Dt></BookgDt>
    <AcctSvcrRef>REF-C</AcctSvcrRef>
    <NtryDtls><TxDtls><RltdPties><Dbtr><Nm>Anna Nowak</Nm></Dbtr><Cdtr><Nm>Jan Kowalski</Nm></Cdtr></RltdPties>
     <RmtInf><Ustrd>Zwrot za bilety</Ustrd></RmtInf></TxDtls></NtryDtls>
   </Ntry>
)";

// OFX 1 (SGML): leaf elements without end tags, Windows-1250 text, a user date before the posting.
inline QByteArray ofxSgml(const QByteArray &transactions)
{
    return QByteArray(
               "OFXHEADER:100\r\nDATA:OFXSGML\r\nVERSION:102\r\nSECURITY:NONE\r\nENCODING:USASCII\r\n"
               "CHARSET:1250\r\nCOMPRESSION:NONE\r\nOLDFILEUID:NONE\r\nNEWFILEUID:NONE\r\n\r\n"
               "<OFX>\r\n<SIGNONMSGSRSV1><SONRS><STATUS><CODE>0<SEVERITY>INFO</STATUS>"
               "<DTSERVER>20240305120000<LANGUAGE>POL</SONRS></SIGNONMSGSRSV1>\r\n"
               "<BANKMSGSRSV1><STMTTRNRS><TRNUID>1<STATUS><CODE>0<SEVERITY>INFO</STATUS>\r\n"
               "<STMTRS><CURDEF>PLN\r\n"
               "<BANKACCTFROM><BANKID>10901014<ACCTID>0000071219812874<ACCTTYPE>CHECKING</BANKACCTFROM>\r\n"
               "<BANKTRANLIST><DTSTART>20240301<DTEND>20240305\r\n") +
           transactions +
           "</BANKTRANLIST>\r\n<LEDGERBAL><BALAMT>3376.55<DTASOF>20240305</LEDGERBAL>\r\n"
           "</STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>\r\n";
}

} // namespace kwtest
