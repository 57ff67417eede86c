#include "import/CsvReader.h"

#include "import/ImportError.h"
#include "import/TextTools.h"

#include "ledger/CodePage.h"

namespace kw::import {

namespace {

// The header lines of Polish banks' tables sit within the first lines, after a preamble (account,
// owner, period); this many are looked at.
constexpr int HeaderSearchRows = 40;

[[noreturn]] void refuse(const QString &what, int line)
{
    throw ImportError(ImportError::Kind::Refused, what, line);
}

// A header cell as compared: folded, without the '#' and ':' some banks put around names, with
// "Nadawca / Odbiorca" and "Nadawca/Odbiorca" alike.
QString headerName(const QString &cell)
{
    QString s = fold(cell);
    while (s.startsWith(QLatin1Char('#')) || s.startsWith(QLatin1Char('"')))
        s.remove(0, 1);
    while (s.endsWith(QLatin1Char(':')) || s.endsWith(QLatin1Char('"')))
        s.chop(1);
    s.replace(QLatin1String(" / "), QLatin1String("/"));
    return s.trimmed();
}

bool oneOf(const QString &s, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        if (s == QLatin1String(n))
            return true;
    return false;
}

bool startsWithAny(const QString &s, std::initializer_list<const char *> prefixes)
{
    for (const char *p : prefixes)
        if (s.startsWith(QLatin1String(p)))
            return true;
    return false;
}

bool isPendingStatus(const QString &status)
{
    const QString s = fold(status);
    for (const char *w : {"oczekuj", "blokad", "nierozlicz", "autoryzac", "w realizacji", "pending"})
        if (s.contains(QLatin1String(w)))
            return true;
    return false;
}

} // namespace

CsvTable splitCsv(const QString &text, QChar separator, int maxRows, bool strict)
{
    CsvTable t;
    t.separator = separator;
    QStringList row;
    QString cell;
    bool quoted = false;    // inside quotes
    bool wasQuoted = false; // the cell began with a quote
    int line = 1;
    int rowLine = 1;
    int quoteLine = 0;
    const qsizetype n = text.size();
    auto endRow = [&] {
        row << (wasQuoted ? cell : cell.trimmed());
        t.rows << row;
        t.lines << rowLine;
        row.clear();
        cell.clear();
        wasQuoted = false;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                    cell += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == QLatin1Char('\n'))
                    ++line;
                cell += c;
            }
            continue;
        }
        if (c == separator) {
            row << (wasQuoted ? cell : cell.trimmed());
            cell.clear();
            wasQuoted = false;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
                ++i;
            endRow();
            ++line;
            rowLine = line;
            if (maxRows >= 0 && t.rows.size() >= maxRows)
                return t;
        } else if (c == QLatin1Char('"') && cell.trimmed().isEmpty() && !wasQuoted) {
            // A quote opens a quoted cell only at the cell's start; elsewhere it is text.
            quoted = true;
            wasQuoted = true;
            quoteLine = line;
            cell.clear();
        } else {
            cell += c;
        }
    }
    if (quoted && strict)
        refuse(QStringLiteral("cudzysłów otwarty tutaj nie jest zamknięty do końca pliku"), quoteLine);
    if (!cell.isEmpty() || !row.isEmpty() || wasQuoted)
        endRow();
    return t;
}

CsvColumns recogniseHeader(const QStringList &cells)
{
    CsvColumns c;
    int amountRank = 0; // 3: "Kwota", 2: in the account's currency, 1: another "Kwota ..."
    int dateRank = 0;   // 2: operation or transaction date, 1: a bare "Data"
    for (int i = 0; i < cells.size(); ++i) {
        const QString h = headerName(cells[i]);
        if (h.isEmpty())
            continue;
        auto take = [&](int &column) {
            if (column < 0)
                column = i;
        };
        if (oneOf(h, {"data operacji", "data transakcji"})) {
            if (dateRank < 2) {
                c.date = i;
                dateRank = 2;
            }
        } else if (oneOf(h, {"data", "data zlecenia"})) {
            if (dateRank < 1) {
                c.date = i;
                dateRank = 1;
            }
        } else if (oneOf(h, {"data ksiegowania", "data waluty", "data rozliczenia"})) {
            take(c.bookingDate);
        } else if (startsWithAny(h, {"obciazen", "kwota obciazen", "wyplaty"})) {
            take(c.debit);
        } else if (startsWithAny(h, {"uznani", "kwota uznani", "wplaty"})) {
            take(c.credit);
        } else if (h.startsWith(QLatin1String("kwota")) && !h.contains(QLatin1String("blokad"))) {
            const int rank = h == QLatin1String("kwota") ? 3 : h.contains(QLatin1String("rachunk")) ? 2 : 1;
            if (rank > amountRank) {
                c.amount = i;
                amountRank = rank;
            }
        } else if (h.startsWith(QLatin1String("waluta"))) {
            if (c.currency < 0 || h == QLatin1String("waluta"))
                c.currency = i;
        } else if (h.contains(QLatin1String("rachun")) || h.contains(QLatin1String("konto")) ||
                   h.contains(QLatin1String("konta")) || h.contains(QLatin1String("iban"))) {
            take(c.account);
        } else if (startsWithAny(h, {"nadawca", "odbiorca", "nazwa nadawcy", "nazwa odbiorcy", "kontrahent",
                                     "dane kontrahenta", "nazwa kontrahenta", "platnik", "beneficjent"})) {
            take(c.counterparty);
        } else if (startsWithAny(h, {"tytul", "opis", "szczegoly"})) {
            take(c.title);
        } else if (startsWithAny(h, {"numer referencyjny", "nr referencyjny", "referencje", "id transakcji",
                                     "identyfikator", "numer transakcji", "nr transakcji"})) {
            take(c.reference);
        } else if (startsWithAny(h, {"status", "stan"})) {
            take(c.status);
        }
    }
    // Debits and credits in two columns win over a signed amount only when both are there.
    if (c.debit >= 0 && c.credit >= 0)
        c.amount = -1;
    else if (c.amount >= 0)
        c.debit = c.credit = -1;
    return c;
}

QChar guessSeparator(const QString &text)
{
    // A broken quote further down must not hide the header above it: the rows are split leniently
    // here, and the reading proper names the broken line.
    const QString head = text.left(64 * 1024);
    const QChar candidates[] = {QLatin1Char(';'), QLatin1Char('\t'), QLatin1Char(',')};
    for (const QChar sep : candidates)
        for (const QStringList &row : splitCsv(head, sep, HeaderSearchRows, false).rows)
            if (recogniseHeader(row).usable())
                return sep;
    // No header: the separator that gives the most lines the same number (above one) of cells.
    QChar best;
    int bestScore = 0;
    for (const QChar sep : candidates) {
        QMap<int, int> counts;
        for (const QStringList &row : splitCsv(head, sep, HeaderSearchRows, false).rows)
            if (row.size() > 1)
                ++counts[int(row.size())];
        for (const int count : counts)
            if (count > bestScore) {
                bestScore = count;
                best = sep;
            }
    }
    return bestScore >= 2 ? best : QChar();
}

QString decodeCsv(const QByteArray &bytes, CsvEncoding encoding)
{
    switch (encoding) {
    case CsvEncoding::Utf8:
        return QString::fromUtf8(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
    case CsvEncoding::Windows1250:
        return kw::CodePage::windows1250().decode(
            std::string_view(bytes.constData(), std::size_t(bytes.size())));
    case CsvEncoding::Auto:
        break;
    }
    return decodeText(bytes);
}

Statement readCsvRows(const CsvTable &table, int first, const CsvColumns &col)
{
    Statement st;
    st.format = Format::Csv;
    const int width = first > 0 ? int(table.rows.value(first - 1).size()) : 0;
    auto cell = [](const QStringList &row, int c) {
        return c >= 0 && c < row.size() ? row[c].trimmed() : QString();
    };
    for (int r = first; r < table.rows.size(); ++r) {
        const QStringList &row = table.rows[r];
        const int line = table.lines[r];
        bool empty = true;
        for (const QString &c : row)
            empty = empty && c.trimmed().isEmpty();
        if (empty)
            continue;
        const QString opText = cell(row, col.date);
        const QString bookText = cell(row, col.bookingDate);
        if (opText.isEmpty() && bookText.isEmpty())
            continue; // a summary line under the table
        Transaction t;
        t.line = line;
        t.date = parseDate(opText.isEmpty() ? bookText : opText);
        t.bookingDate = parseDate(bookText);
        if (!t.date.isValid()) {
            // Lines shorter than the header below the table are the bank's summary, not operations.
            if (row.size() < width)
                continue;
            refuse(QStringLiteral("nieczytelna data „%1” (oczekiwano RRRR-MM-DD, DD.MM.RRRR albo DD-MM-RRRR)")
                       .arg(opText.isEmpty() ? bookText : opText),
                   line);
        }
        QString currency;
        if (col.amount >= 0) {
            const QString text = cell(row, col.amount);
            const auto a = parseAmount(text, AmountForm::Lenient, &currency);
            if (!a)
                refuse(text.isEmpty() ? QStringLiteral("brak kwoty")
                                      : QStringLiteral("nieczytelna kwota „%1”").arg(text),
                       line);
            t.amount = *a;
        } else {
            const QString debit = cell(row, col.debit);
            const QString credit = cell(row, col.credit);
            if (debit.isEmpty() && credit.isEmpty())
                refuse(QStringLiteral("brak kwoty w kolumnach obciążeń i uznań"), line);
            for (const auto &[text, sign] : {std::pair{debit, -1}, std::pair{credit, 1}}) {
                if (text.isEmpty())
                    continue;
                const auto a = parseAmount(text, AmountForm::Lenient, &currency);
                if (!a)
                    refuse(QStringLiteral("nieczytelna kwota „%1”").arg(text), line);
                t.amount += sign * std::abs(*a);
            }
        }
        t.currency = col.currency >= 0 ? cell(row, col.currency).toUpper() : currency;
        t.counterparty = cell(row, col.counterparty).simplified();
        t.title = cell(row, col.title).simplified();
        t.account = cell(row, col.account).remove(QLatin1Char(' '));
        t.reference = cell(row, col.reference);
        t.pending = col.status >= 0 && isPendingStatus(cell(row, col.status));
        st.transactions.push_back(std::move(t));
    }
    return st;
}

Statement readCsv(const QByteArray &bytes, const QList<CsvProfile> &profiles)
{
    // The user's profiles first: a mapping chosen for a bank beats a guess.
    for (const CsvProfile &p : profiles) {
        const QString text = decodeCsv(bytes, p.encoding);
        if (p.header.isEmpty()) {
            const CsvTable t = splitCsv(text, p.separator);
            if (t.rows.size() <= p.skip)
                continue;
            // A table without a header is this profile's when its first row has the profile's columns.
            try {
                CsvTable probe = t;
                probe.rows = t.rows.mid(p.skip, 1);
                probe.lines = t.lines.mid(p.skip, 1);
                if (readCsvRows(probe, 0, p.columns).transactions.isEmpty())
                    continue;
            } catch (const ImportError &) {
                continue;
            }
            Statement st = readCsvRows(t, p.skip, p.columns);
            st.profile = p.name;
            return st;
        }
        const CsvTable head = splitCsv(text.left(64 * 1024), p.separator, HeaderSearchRows);
        QStringList want;
        for (const QString &h : p.header)
            want << fold(h);
        for (int r = 0; r < head.rows.size(); ++r) {
            QStringList have;
            for (const QString &h : head.rows[r])
                have << fold(h);
            if (have != want)
                continue;
            Statement st = readCsvRows(splitCsv(text, p.separator), r + 1, p.columns);
            st.profile = p.name;
            return st;
        }
    }

    const QString text = decodeText(bytes);
    const QChar sep = guessSeparator(text);
    if (sep.isNull())
        throw ImportError(ImportError::Kind::Unrecognised, QString());
    const CsvTable table = splitCsv(text, sep);
    for (int r = 0; r < std::min<int>(HeaderSearchRows, int(table.rows.size())); ++r) {
        const CsvColumns c = recogniseHeader(table.rows[r]);
        if (c.usable())
            return readCsvRows(table, r + 1, c);
    }
    throw ImportError(ImportError::Kind::NeedsMapping, QString());
}

} // namespace kw::import
