#include "import/ImportError.h"
#include "import/Readers.h"
#include "import/TextTools.h"

#include <QStringList>
#include <QXmlStreamReader>
#include <vector>

namespace kw::import {

namespace {

// One element of a statement's entry or balance, read whole; entries are small, the statement
// around them is read as a stream.
struct Node
{
    QString name;
    QString text;
    QString currency; // the Ccy attribute of amounts
    int line = 0;
    std::vector<Node> kids;

    const Node *child(QStringView n) const
    {
        for (const Node &k : kids)
            if (k.name == n)
                return &k;
        return nullptr;
    }
    // The first element down a path of names separated by '/'.
    const Node *find(QStringView path) const
    {
        const Node *n = this;
        for (const QStringView part : path.split(QLatin1Char('/'))) {
            n = n->child(part);
            if (!n)
                return nullptr;
        }
        return n;
    }
    QString at(QStringView path) const
    {
        const Node *n = find(path);
        return n ? n->text.trimmed() : QString();
    }
    // The first path of several that holds text.
    QString first(std::initializer_list<const char *> paths) const
    {
        for (const char *p : paths) {
            const QString v = at(QString::fromLatin1(p));
            if (!v.isEmpty())
                return v;
        }
        return {};
    }
    std::vector<const Node *> all(QStringView n) const
    {
        std::vector<const Node *> out;
        for (const Node &k : kids)
            if (k.name == n)
                out.push_back(&k);
        return out;
    }
};

[[noreturn]] void refuse(const QString &what, int line)
{
    throw ImportError(ImportError::Kind::Refused, what, line);
}

[[noreturn]] void refuseXml(const QXmlStreamReader &xml)
{
    QString what;
    switch (xml.error()) {
    case QXmlStreamReader::PrematureEndOfDocumentError:
        what = QStringLiteral("plik urywa się przed końcem dokumentu XML");
        break;
    case QXmlStreamReader::NotWellFormedError:
        what = QStringLiteral("XML jest uszkodzony (niedomknięty lub błędny znacznik, niedozwolony znak)");
        break;
    default:
        what = QStringLiteral("XML jest niepoprawny");
        break;
    }
    refuse(what, int(xml.lineNumber()));
}

// Reads the element the reader stands on (its start) to its end.
Node readNode(QXmlStreamReader &xml)
{
    Node n;
    n.name = xml.name().toString();
    n.line = int(xml.lineNumber());
    n.currency = xml.attributes().value(QLatin1String("Ccy")).toString();
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            n.kids.push_back(readNode(xml));
            break;
        case QXmlStreamReader::Characters:
            if (!xml.isWhitespace())
                n.text += xml.text();
            break;
        case QXmlStreamReader::EndElement:
            return n;
        default:
            break;
        }
    }
    refuseXml(xml);
}

QDate dateOf(const Node &parent, QStringView element)
{
    const Node *d = parent.child(element);
    if (!d)
        return {};
    const QString text = d->first({"Dt", "DtTm"});
    return parseDate(QStringView(text).left(10));
}

// Signed amount of an element holding "Amt" and "CdtDbtInd"; `fallbackDebit` when it has no
// indicator of its own (transaction details inherit their entry's).
Amount signedAmount(const Node &n, const Node &amountNode, std::optional<bool> fallbackDebit)
{
    const auto a = parseAmount(amountNode.text, AmountForm::Dot);
    if (!a || *a < 0)
        refuse(QStringLiteral("nieczytelna kwota „%1”").arg(amountNode.text.trimmed()), amountNode.line);
    const QString ind = n.at(u"CdtDbtInd");
    bool debit;
    if (ind == QLatin1String("DBIT"))
        debit = true;
    else if (ind == QLatin1String("CRDT"))
        debit = false;
    else if (fallbackDebit)
        debit = *fallbackDebit;
    else
        refuse(QStringLiteral("pozycja bez znaku CdtDbtInd (CRDT lub DBIT)"), n.line);
    return debit ? -*a : *a;
}

// The amount a transaction's details give, if any.
const Node *detailAmount(const Node &tx)
{
    for (const char *p : {"Amt", "AmtDtls/TxAmt/Amt", "AmtDtls/InstdAmt/Amt"})
        if (const Node *n = tx.find(QString::fromLatin1(p)))
            return n;
    return nullptr;
}

struct Party
{
    QString name;
    QString account;
};

// The other side: the creditor of a debit, the debtor of a credit (newer versions wrap the name in
// "Pty").
Party otherParty(const Node &tx, bool debit)
{
    const Node *rp = tx.child(u"RltdPties");
    if (!rp)
        return {};
    const QString who = debit ? QStringLiteral("Cdtr") : QStringLiteral("Dbtr");
    Party p;
    for (const QString &path : {who + QLatin1String("/Nm"), who + QLatin1String("/Pty/Nm"),
                                QLatin1String("Ultmt") + who + QLatin1String("/Nm"),
                                QLatin1String("Ultmt") + who + QLatin1String("/Pty/Nm")}) {
        p.name = rp->at(path);
        if (!p.name.isEmpty())
            break;
    }
    for (const QString &path :
         {who + QLatin1String("Acct/Id/IBAN"), who + QLatin1String("Acct/Id/Othr/Id")}) {
        p.account = rp->at(path);
        if (!p.account.isEmpty())
            break;
    }
    p.account.remove(QLatin1Char(' '));
    return p;
}

QString remittance(const Node &tx)
{
    QStringList parts;
    if (const Node *ri = tx.child(u"RmtInf")) {
        for (const Node *u : ri->all(u"Ustrd"))
            if (!u->text.trimmed().isEmpty())
                parts << u->text.simplified();
        if (parts.isEmpty())
            for (const Node *s : ri->all(u"Strd")) {
                const QString ref = s->first({"CdtrRefInf/Ref", "AddtlRmtInf"});
                if (!ref.isEmpty())
                    parts << ref;
            }
    }
    if (parts.isEmpty())
        parts << tx.at(u"AddtlTxInf").simplified();
    return parts.join(QLatin1Char(' ')).trimmed();
}

QDate operationDate(const Node &tx)
{
    const QString t = tx.first({"RltdDts/TxDtTm", "RltdDts/AccptncDtTm"});
    return parseDate(QStringView(t).left(10));
}

struct StatementState
{
    QString account;
    QString id;
    QString currency;
    int line = 0;
    std::optional<Amount> opening;
    std::optional<Amount> closing;
    Amount lines = 0;
};

void readEntry(const Node &e, StatementState &s, Statement &out)
{
    const Node *amt = e.child(u"Amt");
    if (!amt)
        refuse(QStringLiteral("pozycja Ntry bez kwoty Amt"), e.line);
    const Amount amount = signedAmount(e, *amt, std::nullopt);
    const bool debit = amount < 0;
    const QString status = e.first({"Sts/Cd", "Sts"});
    const bool pending = !status.isEmpty() && status != QLatin1String("BOOK");
    const QDate booking = dateOf(e, u"BookgDt");
    const QDate value = dateOf(e, u"ValDt");
    if (!booking.isValid() && !value.isValid())
        refuse(QStringLiteral("pozycja bez daty księgowania (BookgDt) i daty waluty (ValDt)"), e.line);
    if (!pending)
        s.lines += amount;

    std::vector<const Node *> details;
    for (const Node *nd : e.all(u"NtryDtls"))
        for (const Node *tx : nd->all(u"TxDtls"))
            details.push_back(tx);

    Transaction base;
    base.line = e.line;
    base.bookingDate = booking;
    base.date = value.isValid() ? value : booking;
    base.amount = amount;
    base.currency = amt->currency.isEmpty() ? s.currency : amt->currency;
    base.pending = pending;
    base.reference = e.at(u"AcctSvcrRef");

    // A batch entry is split into its transactions when each states an amount and they add up
    // to the entry; otherwise it stays one line, as the balance knows it.
    bool split = details.size() > 1;
    std::vector<Amount> amounts;
    for (const Node *tx : details) {
        const Node *a = detailAmount(*tx);
        if (!a) {
            split = false;
            break;
        }
        amounts.push_back(signedAmount(*tx, *a, debit));
    }
    Amount total = 0;
    for (const Amount a : amounts)
        total += a;
    split = split && amounts.size() == details.size() && total == amount;

    if (split) {
        for (std::size_t i = 0; i < details.size(); ++i) {
            const Node &tx = *details[i];
            Transaction t = base;
            t.line = tx.line;
            t.amount = amounts[i];
            const Party p = otherParty(tx, t.amount < 0);
            t.counterparty = p.name;
            t.account = p.account;
            t.title = remittance(tx);
            if (const QDate op = operationDate(tx); op.isValid())
                t.date = op;
            const QString own = tx.at(u"Refs/AcctSvcrRef");
            t.reference = !own.isEmpty() ? own
                          : base.reference.isEmpty()
                              ? QString()
                              : base.reference + QLatin1Char('/') + QString::number(i + 1);
            out.transactions.push_back(std::move(t));
        }
        return;
    }
    Transaction t = base;
    QStringList names;
    QStringList titles;
    for (const Node *tx : details) {
        const Party p = otherParty(*tx, debit);
        if (!p.name.isEmpty() && !names.contains(p.name))
            names << p.name;
        if (t.account.isEmpty())
            t.account = p.account;
        const QString title = remittance(*tx);
        if (!title.isEmpty())
            titles << title;
        if (const QDate op = operationDate(*tx); op.isValid() && details.size() == 1)
            t.date = op;
        if (t.reference.isEmpty())
            t.reference = tx->at(u"Refs/AcctSvcrRef");
    }
    t.counterparty = names.join(QLatin1String(", "));
    t.title = titles.join(QLatin1String("; "));
    if (t.title.isEmpty())
        t.title = e.at(u"AddtlNtryInf").simplified();
    out.transactions.push_back(std::move(t));
}

void readBalance(const Node &b, StatementState &s)
{
    const QString code = b.first({"Tp/CdOrPrtry/Cd", "Tp/CdOrPrtry/Prtry"});
    const Node *amt = b.child(u"Amt");
    if (!amt)
        refuse(QStringLiteral("saldo Bal bez kwoty Amt"), b.line);
    const Amount a = signedAmount(b, *amt, std::nullopt);
    if (code == QLatin1String("OPBD") || code == QLatin1String("PRCD")) {
        if (!s.opening)
            s.opening = a;
    } else if (code == QLatin1String("CLBD")) {
        s.closing = a;
    }
}

// Reads one statement (or report) element's children up to its end.
void readStatementElement(QXmlStreamReader &xml, Statement &out)
{
    StatementState s;
    s.line = int(xml.lineNumber());
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement)
            break;
        if (token != QXmlStreamReader::StartElement)
            continue;
        const Node n = readNode(xml);
        if (n.name == QLatin1String("Id")) {
            s.id = n.text.trimmed();
        } else if (n.name == QLatin1String("ElctrncSeqNb") && s.id.isEmpty()) {
            s.id = n.text.trimmed();
        } else if (n.name == QLatin1String("Acct")) {
            s.account = n.first({"Id/IBAN", "Id/Othr/Id"});
            s.currency = n.at(u"Ccy");
        } else if (n.name == QLatin1String("Bal")) {
            readBalance(n, s);
        } else if (n.name == QLatin1String("Ntry")) {
            readEntry(n, s, out);
        }
    }
    if (xml.hasError())
        refuseXml(xml);
    if (s.opening && s.closing)
        out.balances.push_back({s.account, s.id, *s.opening, *s.closing, s.lines, s.line});
    if (out.account.isEmpty())
        out.account = s.account;
}

} // namespace

bool looksLikeCamt(const QByteArray &head)
{
    return head.contains("camt.05") || head.contains("<BkToCstmrStmt") ||
           head.contains("<BkToCstmrAcctRpt") || head.contains(":BkToCstmrStmt") ||
           head.contains(":BkToCstmrAcctRpt");
}

Statement readCamt(const QByteArray &bytes)
{
    Statement out;
    out.format = Format::Camt053;
    QXmlStreamReader xml(bytes);
    bool message = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (name == QLatin1String("BkToCstmrStmt")) {
            message = true;
        } else if (name == QLatin1String("BkToCstmrAcctRpt") ||
                   name == QLatin1String("BkToCstmrDbtCdtNtfctn")) {
            message = true;
            out.format = Format::Camt052;
        } else if (message && (name == QLatin1String("Stmt") || name == QLatin1String("Rpt") ||
                               name == QLatin1String("Ntfctn"))) {
            readStatementElement(xml, out);
        }
    }
    if (xml.hasError())
        refuseXml(xml);
    if (!message)
        refuse(QStringLiteral("brak wyciągu BkToCstmrStmt ani raportu BkToCstmrAcctRpt"), 0);
    return out;
}

} // namespace kw::import
