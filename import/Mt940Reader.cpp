#include "import/ImportError.h"
#include "import/Readers.h"
#include "import/TextTools.h"

#include <QMap>
#include <QRegularExpression>
#include <QStringList>

namespace kw::import {

namespace {

// One tagged field (":61:...") with its continuation lines.
struct Field
{
    QString tag;
    QStringList lines;
    int line = 0;
};

bool isTagLine(QStringView l, QString *tag, qsizetype *contentStart)
{
    // ":NN:" or ":NNa:", two digits and an optional letter.
    if (l.size() < 4 || l[0] != QLatin1Char(':') || !l[1].isDigit() || !l[2].isDigit())
        return false;
    qsizetype end = 3;
    if (l[end].isLetter())
        ++end;
    if (end >= l.size() || l[end] != QLatin1Char(':'))
        return false;
    if (tag)
        *tag = l.mid(1, end - 1).toString().toUpper();
    if (contentStart)
        *contentStart = end + 1;
    return true;
}

std::vector<Field> splitFields(const QString &text)
{
    std::vector<Field> fields;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QStringView l = QStringView(lines[i]);
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
        // A message in its envelope: "{1:...}{2:...}{4:" before the fields, "-}" after them.
        if (l.startsWith(QLatin1Char('{'))) {
            const qsizetype body = l.indexOf(QLatin1String("{4:"));
            if (body < 0)
                continue;
            l = l.mid(body + 3);
        }
        if (l.trimmed() == QLatin1String("-") || l.trimmed() == QLatin1String("-}")) {
            fields.push_back({QStringLiteral("-"), {}, i + 1});
            continue;
        }
        QString tag;
        qsizetype start = 0;
        if (isTagLine(l, &tag, &start)) {
            fields.push_back({tag, {l.mid(start).toString()}, i + 1});
        } else if (!fields.empty() && fields.back().tag != QLatin1String("-")) {
            if (!l.trimmed().isEmpty())
                fields.back().lines << l.toString();
        }
    }
    return fields;
}

int digits(QStringView s, qsizetype at, int n)
{
    if (at + n > s.size())
        return -1;
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const QChar c = s[at + i];
        if (!c.isDigit())
            return -1;
        v = v * 10 + c.digitValue();
    }
    return v;
}

QDate yymmdd(QStringView s, qsizetype at)
{
    const int y = digits(s, at, 2), m = digits(s, at + 2, 2), d = digits(s, at + 4, 2);
    if (y < 0 || m < 0 || d < 0)
        return {};
    return QDate(y < 70 ? 2000 + y : 1900 + y, m, d);
}

// ":60F:", ":62F:": C or D, YYMMDD, currency, amount.
struct Balance
{
    Amount amount = 0;
    QString currency;
};
Balance parseBalance(const Field &f)
{
    const QString s = f.lines.value(0).trimmed();
    if (s.size() < 11 || (s[0] != QLatin1Char('C') && s[0] != QLatin1Char('D')) || !yymmdd(s, 1).isValid())
        throw ImportError(
            ImportError::Kind::Refused,
            QStringLiteral("saldo w polu :%1: nie ma postaci „C/D, RRMMDD, waluta, kwota”").arg(f.tag),
            f.line);
    const auto a = parseAmount(QStringView(s).mid(10), AmountForm::Comma);
    if (!a || *a < 0)
        throw ImportError(ImportError::Kind::Refused,
                          QStringLiteral("nieczytelna kwota salda „%1”").arg(s.mid(10)), f.line);
    return {s[0] == QLatin1Char('D') ? -*a : *a, s.mid(7, 3)};
}

// The subfields of a structured ":86:" ("~20..." or "?20..."), keyed by their number.
bool splitSubfields(const QString &text, QMap<int, QString> *out, QChar *separator)
{
    static const QRegularExpression head(QStringLiteral("^(\\d{3})?([~?])(\\d\\d)"));
    const auto m = head.match(text);
    if (!m.hasMatch())
        return false;
    const QChar sep = m.captured(2).at(0);
    *separator = sep;
    const qsizetype start = m.capturedStart(2);
    qsizetype i = start;
    while (i < text.size()) {
        // A separator followed by two digits opens a subfield; one followed by anything else is text.
        const int key = digits(text, i + 1, 2);
        qsizetype next = i + 3;
        while (next < text.size() && !(text[next] == sep && digits(text, next + 1, 2) >= 0))
            ++next;
        const QString value = text.mid(i + 3, next - i - 3).trimmed();
        if (!value.isEmpty())
            (*out)[key] = out->contains(key) ? (*out)[key] + QLatin1Char(' ') + value : value;
        i = next;
    }
    return true;
}

QString joinSubfields(const QMap<int, QString> &f, int from, int to)
{
    QStringList parts;
    for (int k = from; k <= to; ++k)
        if (f.contains(k))
            parts << f[k];
    return parts.join(QLatin1Char(' '));
}

void applyDetails(Transaction &t, const Field &f)
{
    // Structured text is cut into lines wherever a line is full, so its lines join without a gap;
    // plain narrative lines are lines of text.
    const QString joined = f.lines.join(QString());
    QMap<int, QString> sub;
    QChar sep;
    if (splitSubfields(joined, &sub, &sep)) {
        t.title = joinSubfields(sub, 20, 25);
        if (sep == QLatin1Char('?')) { // the German layout continues the title in 26..29 and 60..63
            const QString more = joinSubfields(sub, 26, 29) + QLatin1Char(' ') + joinSubfields(sub, 60, 63);
            t.title = (t.title + QLatin1Char(' ') + more).simplified();
        }
        if (t.title.isEmpty())
            t.title = sub.value(0);
        t.counterparty = joinSubfields(sub, 32, 33);
        t.account = sub.contains(38) ? sub[38] : sub.value(30) + sub.value(31);
        t.account.remove(QLatin1Char(' '));
    } else {
        QStringList lines;
        for (const QString &l : f.lines)
            lines << l.trimmed();
        t.title = lines.join(QLatin1Char(' ')).simplified();
    }
}

Transaction parseLine(const Field &f, const QString &currency)
{
    auto refuse = [&](const QString &what) {
        throw ImportError(ImportError::Kind::Refused, QStringLiteral("pole :61: %1").arg(what), f.line);
    };
    const QString s = f.lines.value(0).trimmed();
    Transaction t;
    t.line = f.line;
    t.currency = currency;
    t.date = yymmdd(s, 0);
    if (!t.date.isValid())
        refuse(QStringLiteral("nie zaczyna się poprawną datą waluty RRMMDD („%1”)").arg(s.left(6)));
    qsizetype i = 6;
    const int entryMonth = digits(s, i, 2), entryDay = digits(s, i + 2, 2);
    if (entryMonth >= 0 && entryDay >= 0) {
        // The entry date has no year: the one nearest the value date (a December payment may be
        // booked in January).
        for (const int y : {t.date.year(), t.date.year() + 1, t.date.year() - 1}) {
            const QDate d(y, entryMonth, entryDay);
            if (d.isValid() && std::abs(d.daysTo(t.date)) < 183) {
                t.bookingDate = d;
                break;
            }
        }
        if (!t.bookingDate.isValid())
            refuse(QStringLiteral("ma niepoprawną datę księgowania MMDD („%1”)").arg(s.mid(i, 4)));
        i += 4;
    }
    bool debit = false;
    if (s.mid(i, 2) == QLatin1String("RC") || s.mid(i, 2) == QLatin1String("RD")) {
        debit = s[i + 1] == QLatin1Char('C'); // the reversal of a credit takes money out
        i += 2;
    } else if (i < s.size() && (s[i] == QLatin1Char('C') || s[i] == QLatin1Char('D'))) {
        debit = s[i] == QLatin1Char('D');
        i += 1;
    } else {
        refuse(QStringLiteral("nie ma znaku uznania (C) ani obciążenia (D)"));
    }
    if (i < s.size() && s[i].isLetter()) // the third letter of the currency code
        ++i;
    qsizetype end = i;
    while (end < s.size() && (s[end].isDigit() || s[end] == QLatin1Char(',')))
        ++end;
    const auto a = parseAmount(QStringView(s).mid(i, end - i), AmountForm::Comma);
    if (!a)
        refuse(QStringLiteral("ma nieczytelną kwotę („%1”)").arg(s.mid(i, end - i)));
    t.amount = debit ? -*a : *a;
    // Transaction type (4), the account owner's reference, "//" and the bank's reference.
    const QString refs = s.mid(end + 4);
    const qsizetype slash = refs.indexOf(QLatin1String("//"));
    const QString customer = (slash >= 0 ? refs.left(slash) : refs).trimmed();
    const QString bank = slash >= 0 ? refs.mid(slash + 2).trimmed() : QString();
    auto usable = [](const QString &r) {
        return !r.isEmpty() && r.compare(QLatin1String("NONREF"), Qt::CaseInsensitive) != 0;
    };
    t.reference = usable(bank) ? bank : usable(customer) ? customer : QString();
    if (f.lines.size() > 1) // supplementary details, the title when no ":86:" follows
        t.title = f.lines.mid(1).join(QLatin1Char(' ')).simplified();
    return t;
}

struct Current
{
    bool open = false;
    QString account;
    QString number;
    int line = 0;
    QString currency;
    std::optional<Amount> opening;
    std::optional<Amount> closing;
    Amount lines = 0;
    // An interim report's own totals (":90D:", ":90C:").
    std::optional<Amount> debits;
    std::optional<Amount> credits;
    Amount lineDebits = 0;
    Amount lineCredits = 0;
};

Amount reportTotal(const Field &f)
{
    // ":90D:" / ":90C:": number of entries, currency, amount.
    const QString s = f.lines.value(0).trimmed();
    qsizetype i = 0;
    while (i < s.size() && s[i].isDigit())
        ++i;
    const auto a = parseAmount(QStringView(s).mid(i + 3), AmountForm::Comma);
    if (i == 0 || !a)
        throw ImportError(ImportError::Kind::Refused,
                          QStringLiteral("pole :%1: nie ma postaci „liczba, waluta, kwota”").arg(f.tag),
                          f.line);
    return *a;
}

} // namespace

bool looksLikeMt940(const QString &text)
{
    bool statement = false;
    bool content = false;
    const QStringView head = QStringView(text).left(64 * 1024);
    for (const QStringView l : head.split(QLatin1Char('\n'))) {
        QStringView line = l.trimmed();
        const qsizetype body = line.startsWith(QLatin1Char('{')) ? line.indexOf(QLatin1String("{4:")) : -1;
        if (body >= 0)
            line = line.mid(body + 3);
        QString tag;
        if (!isTagLine(line, &tag, nullptr))
            continue;
        statement = statement || tag == QLatin1String("20") || tag == QLatin1String("25");
        content = content || tag.startsWith(QLatin1String("60")) || tag == QLatin1String("61") ||
                  tag == QLatin1String("34F") || tag.startsWith(QLatin1String("62"));
        if (statement && content)
            return true;
    }
    return false;
}

Statement readMt940(const QString &text)
{
    Statement st;
    st.format = Format::Mt940;
    Current cur;
    qsizetype last = -1; // the line a ":86:" belongs to
    bool interim = false;

    auto finish = [&] {
        if (!cur.open)
            return;
        if (cur.opening && cur.closing)
            st.balances.push_back({cur.account, cur.number, *cur.opening, *cur.closing, cur.lines, cur.line});
        else if (cur.debits || cur.credits)
            st.balances.push_back(
                {cur.account, cur.number, 0,
                 cur.credits.value_or(cur.lineCredits) - cur.debits.value_or(cur.lineDebits),
                 cur.lineCredits - cur.lineDebits, cur.line});
        if (st.account.isEmpty())
            st.account = cur.account;
        cur = Current{};
    };
    auto begin = [&](int line) {
        if (!cur.open) {
            cur.open = true;
            cur.line = line;
        }
    };

    for (const Field &f : splitFields(text)) {
        const QString &tag = f.tag;
        if (tag == QLatin1String("-")) {
            finish();
            last = -1;
            continue;
        }
        if (tag == QLatin1String("20")) {
            finish();
            begin(f.line);
            last = -1;
            continue;
        }
        begin(f.line);
        if (tag == QLatin1String("25")) {
            cur.account = f.lines.value(0).trimmed();
            if (cur.account.startsWith(QLatin1Char('/')))
                cur.account.remove(0, 1);
            cur.account.remove(QLatin1Char(' '));
        } else if (tag.startsWith(QLatin1String("28"))) {
            cur.number = f.lines.value(0).trimmed();
        } else if (tag == QLatin1String("60F") || tag == QLatin1String("60M")) {
            const Balance b = parseBalance(f);
            cur.opening = b.amount;
            cur.currency = b.currency;
        } else if (tag == QLatin1String("62F") || tag == QLatin1String("62M")) {
            cur.closing = parseBalance(f).amount;
            last = -1;
        } else if (tag == QLatin1String("34F")) {
            interim = true;
            const QString s = f.lines.value(0).trimmed();
            if (cur.currency.isEmpty() && s.size() >= 3)
                cur.currency = s.left(3);
        } else if (tag == QLatin1String("13D") || tag == QLatin1String("13")) {
            interim = true;
        } else if (tag == QLatin1String("90D")) {
            cur.debits = reportTotal(f);
            last = -1;
        } else if (tag == QLatin1String("90C")) {
            cur.credits = reportTotal(f);
            last = -1;
        } else if (tag == QLatin1String("61")) {
            Transaction t = parseLine(f, cur.currency);
            cur.lines += t.amount;
            (t.amount < 0 ? cur.lineDebits : cur.lineCredits) += std::abs(t.amount);
            st.transactions.push_back(std::move(t));
            last = st.transactions.size() - 1;
        } else if (tag == QLatin1String("86")) {
            if (last >= 0)
                applyDetails(st.transactions[last], f);
            last = -1;
        } else if (tag.startsWith(QLatin1String("64")) || tag.startsWith(QLatin1String("65"))) {
            last = -1;
        }
    }
    finish();
    if (interim)
        st.format = Format::Mt942;
    return st;
}

} // namespace kw::import
