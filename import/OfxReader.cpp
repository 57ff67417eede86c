#include "import/ImportError.h"
#include "import/Readers.h"
#include "import/TextTools.h"

#include "ledger/CodePage.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

namespace kw::import {

namespace {

[[noreturn]] void refuse(const QString &what, int line)
{
    throw ImportError(ImportError::Kind::Refused, what, line);
}

// The text of the file in the character set its header names. OFX 1 headers say "CHARSET:1250"
// (with "ENCODING:USASCII") or "ENCODING:UTF-8"; OFX 2 files have an XML declaration.
QString decodeOfx(const QByteArray &bytes)
{
    const QByteArray head = bytes.left(1024).toUpper();
    auto named = [&](const QByteArray &charset) -> std::optional<QString> {
        const QByteArray c = charset.trimmed();
        if (c.contains("UTF-8") || c.contains("UTF8"))
            return QString::fromUtf8(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
        int page = 0;
        if (c == "1250" || c.contains("WINDOWS-1250") || c.contains("CP1250"))
            page = 1250;
        else if (c == "1252" || c.contains("WINDOWS-1252") || c.contains("CP1252"))
            page = 1252;
        if (page)
            return kw::CodePage::find(page)->decode(
                std::string_view(bytes.constData(), std::size_t(bytes.size())));
        if (c.contains("8859-1") || c == "LATIN1")
            return QString::fromLatin1(bytes);
        if (c.contains("8859-2")) {
            QStringDecoder d("ISO-8859-2");
            if (d.isValid())
                return d(bytes);
        }
        return std::nullopt;
    };
    static const QRegularExpression xmlEncoding(QStringLiteral("ENCODING\\s*=\\s*[\"']([^\"']+)[\"']"));
    const QString headText = QString::fromLatin1(head);
    if (const auto m = xmlEncoding.match(headText);
        m.hasMatch() && headText.contains(QLatin1String("<?XML"))) {
        if (auto t = named(m.captured(1).toLatin1()))
            return *t;
    } else {
        const qsizetype enc = head.indexOf("ENCODING:");
        const qsizetype cs = head.indexOf("CHARSET:");
        const QByteArray encoding =
            enc >= 0 ? head.mid(enc + 9, head.indexOf('\n', enc) - enc - 9) : QByteArray();
        const QByteArray charset = cs >= 0 ? head.mid(cs + 8, head.indexOf('\n', cs) - cs - 8) : QByteArray();
        if (encoding.trimmed().startsWith("UTF"))
            if (auto t = named(encoding))
                return *t;
        if (!charset.trimmed().isEmpty() && charset.trimmed() != "NONE")
            if (auto t = named(charset))
                return *t;
    }
    return decodeText(bytes);
}

QString unescape(QStringView raw)
{
    if (!raw.contains(QLatin1Char('&')))
        return raw.trimmed().toString();
    QString out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != QLatin1Char('&')) {
            out += raw[i];
            continue;
        }
        const qsizetype semi = raw.indexOf(QLatin1Char(';'), i);
        if (semi < 0 || semi - i > 10) {
            out += raw[i];
            continue;
        }
        const QStringView name = raw.mid(i + 1, semi - i - 1);
        QString rep;
        if (name == QLatin1String("amp"))
            rep = QStringLiteral("&");
        else if (name == QLatin1String("lt"))
            rep = QStringLiteral("<");
        else if (name == QLatin1String("gt"))
            rep = QStringLiteral(">");
        else if (name == QLatin1String("quot"))
            rep = QStringLiteral("\"");
        else if (name == QLatin1String("apos"))
            rep = QStringLiteral("'");
        else if (name == QLatin1String("nbsp"))
            rep = QChar(0x00A0);
        else if (name.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const uint code = name.startsWith(QLatin1String("#x")) || name.startsWith(QLatin1String("#X"))
                                  ? name.mid(2).toUInt(&ok, 16)
                                  : name.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && QChar::isPrint(char32_t(code)))
                rep = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        }
        if (rep.isNull()) {
            out += raw[i];
            continue;
        }
        out += rep;
        i = semi;
    }
    return out.trimmed();
}

// The aggregates whose leaves this reader uses; other elements' end tags are optional in OFX 1.
enum class Agg
{
    None,
    StmtTrn,
    Payee,
    AcctTo,
    AcctFrom,
    LedgerBal,
    Other
};

Agg aggregateOf(QStringView tag)
{
    if (tag == QLatin1String("STMTTRN") || tag == QLatin1String("STMTTRNP"))
        return Agg::StmtTrn;
    if (tag == QLatin1String("PAYEE"))
        return Agg::Payee;
    if (tag == QLatin1String("BANKACCTTO") || tag == QLatin1String("CCACCTTO"))
        return Agg::AcctTo;
    if (tag == QLatin1String("BANKACCTFROM") || tag == QLatin1String("CCACCTFROM"))
        return Agg::AcctFrom;
    if (tag == QLatin1String("LEDGERBAL"))
        return Agg::LedgerBal;
    for (const char *a : {"OFX", "SIGNONMSGSRSV1", "SONRS", "STATUS", "BANKMSGSRSV1", "CREDITCARDMSGSRSV1",
                          "STMTTRNRS", "CCSTMTTRNRS", "STMTRS", "CCSTMTRS", "BANKTRANLIST", "BANKTRANLISTP",
                          "AVAILBAL", "CURRENCY", "ORIGCURRENCY", "FI", "BALLIST", "BAL"})
        if (tag == QLatin1String(a))
            return Agg::Other;
    return Agg::None;
}

struct Open
{
    QString tag;
    Agg kind;
    int line;
};

struct PendingTxn
{
    Transaction t;
    QString posted;
    QString user;
    QString amount;
    int amountLine = 0;
    QString fitid;
    QString refnum;
    QString name;
    QString payee;
    QString accountTo;
};

QDate ofxDate(const QString &s)
{
    return s.size() >= 8 ? parseDate(QStringView(s).left(8)) : QDate();
}

} // namespace

bool looksLikeOfx(const QByteArray &head)
{
    const QByteArray h = head.left(4096).trimmed();
    const QByteArray start = h.startsWith("\xEF\xBB\xBF") ? h.mid(3) : h;
    return start.startsWith("OFXHEADER") || h.contains("<?OFX") || h.contains("<OFX>");
}

Statement readOfx(const QByteArray &bytes)
{
    const QString text = decodeOfx(bytes);
    Statement st;
    st.format = Format::Ofx;
    QString currency;
    std::vector<Open> stack;
    std::optional<PendingTxn> txn;
    bool closed = false;
    bool seenOfx = false;
    int line = 1;
    QString leaf; // the element whose text comes next
    int leafLine = 0;

    auto inside = [&](Agg kind) {
        for (auto it = stack.rbegin(); it != stack.rend(); ++it)
            if (it->kind == kind)
                return true;
        return false;
    };
    auto finishTxn = [&] {
        PendingTxn &p = *txn;
        Transaction &t = p.t;
        const QDate posted = ofxDate(p.posted);
        const QDate user = ofxDate(p.user);
        if (!posted.isValid() && !user.isValid())
            refuse(QStringLiteral("transakcja bez poprawnej daty DTPOSTED"), t.line);
        t.bookingDate = posted;
        t.date = user.isValid() ? user : posted;
        QString cur;
        const auto a = parseAmount(p.amount, AmountForm::Lenient, &cur);
        if (!a)
            refuse(p.amount.isEmpty() ? QStringLiteral("transakcja bez kwoty TRNAMT")
                                      : QStringLiteral("nieczytelna kwota TRNAMT „%1”").arg(p.amount),
                   p.amount.isEmpty() ? t.line : p.amountLine);
        t.amount = *a;
        if (t.currency.isEmpty())
            t.currency = currency;
        t.reference = !p.fitid.isEmpty() ? p.fitid : p.refnum;
        t.counterparty = !p.name.isEmpty() ? p.name : p.payee;
        t.account = p.accountTo;
        st.transactions.push_back(std::move(t));
        txn.reset();
    };
    auto setLeaf = [&](const QString &value) {
        if (leaf.isEmpty() || value.isEmpty())
            return;
        const Agg where = stack.empty() ? Agg::None : stack.back().kind;
        if (txn && where == Agg::StmtTrn) {
            if (leaf == QLatin1String("DTPOSTED") || leaf == QLatin1String("DTTRAN"))
                txn->posted = value;
            else if (leaf == QLatin1String("DTUSER"))
                txn->user = value;
            else if (leaf == QLatin1String("TRNAMT")) {
                txn->amount = value;
                txn->amountLine = leafLine;
            } else if (leaf == QLatin1String("FITID"))
                txn->fitid = value;
            else if (leaf == QLatin1String("REFNUM"))
                txn->refnum = value;
            else if (leaf == QLatin1String("NAME"))
                txn->name = value;
            else if (leaf == QLatin1String("MEMO"))
                txn->t.title = value;
        } else if (txn && leaf == QLatin1String("CURSYM") && inside(Agg::StmtTrn)) {
            txn->t.currency = value;
        } else if (txn && where == Agg::Payee && leaf == QLatin1String("NAME")) {
            txn->payee = value;
        } else if (txn && where == Agg::AcctTo && leaf == QLatin1String("ACCTID")) {
            txn->accountTo = value;
        } else if (where == Agg::AcctFrom && leaf == QLatin1String("ACCTID") && st.account.isEmpty()) {
            st.account = value;
        } else if (leaf == QLatin1String("CURDEF")) {
            currency = value;
        }
    };

    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (c != QLatin1Char('<')) {
            const qsizetype next = text.indexOf(QLatin1Char('<'), i);
            const qsizetype end = next < 0 ? n : next;
            const QStringView chunk = QStringView(text).mid(i, end - i);
            setLeaf(unescape(chunk));
            leaf.clear();
            line += int(chunk.count(QLatin1Char('\n')));
            i = end;
            continue;
        }
        const qsizetype close = text.indexOf(QLatin1Char('>'), i);
        if (close < 0)
            refuse(QStringLiteral("znacznik „<” bez zamykającego „>”"), line);
        const QStringView body = QStringView(text).mid(i + 1, close - i - 1);
        const int tagLine = line;
        line += int(body.count(QLatin1Char('\n')));
        i = close + 1;
        leaf.clear();
        if (body.startsWith(QLatin1Char('?')) || body.startsWith(QLatin1Char('!')))
            continue;
        if (body.startsWith(QLatin1Char('/'))) {
            const QString tag = body.mid(1).trimmed().toString().toUpper();
            if (aggregateOf(tag) == Agg::None)
                continue; // the optional end of a leaf
            auto it = std::find_if(stack.rbegin(), stack.rend(), [&](const Open &o) { return o.tag == tag; });
            if (it == stack.rend())
                refuse(QStringLiteral("znacznik </%1> zamyka element, który nie był otwarty").arg(tag),
                       tagLine);
            if (it != stack.rbegin())
                refuse(
                    QStringLiteral("element <%1> nie jest zamknięty przed </%2>").arg(stack.back().tag, tag),
                    tagLine);
            if (stack.back().kind == Agg::StmtTrn && txn)
                finishTxn();
            stack.pop_back();
            if (tag == QLatin1String("OFX"))
                closed = true;
            continue;
        }
        QString tag = body.trimmed().toString().toUpper();
        if (const qsizetype space = tag.indexOf(QLatin1Char(' ')); space >= 0)
            tag.truncate(space);
        if (tag.endsWith(QLatin1Char('/')))
            continue; // an empty XML element
        const Agg kind = aggregateOf(tag);
        if (kind == Agg::None) {
            leaf = tag;
            leafLine = tagLine;
            continue;
        }
        if (tag == QLatin1String("OFX"))
            seenOfx = true;
        if (kind == Agg::StmtTrn) {
            if (inside(Agg::StmtTrn))
                refuse(QStringLiteral("transakcja <%1> zaczyna się wewnątrz poprzedniej").arg(tag), tagLine);
            txn.emplace();
            txn->t.line = tagLine;
            txn->t.pending = tag == QLatin1String("STMTTRNP");
        }
        stack.push_back({tag, kind, tagLine});
    }
    if (!seenOfx)
        refuse(QStringLiteral("brak elementu <OFX>"), 0);
    if (!closed) {
        const Open &unclosed = stack.empty() ? Open{QStringLiteral("OFX"), Agg::Other, line} : stack.back();
        refuse(QStringLiteral("plik urywa się: element <%1> nie jest zamknięty").arg(unclosed.tag),
               unclosed.line);
    }
    return st;
}

} // namespace kw::import
