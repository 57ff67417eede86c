#include "import/TextTools.h"

#include "ledger/CodePage.h"

#include <QCryptographicHash>
#include <QStringDecoder>
#include <limits>

namespace kw::import {

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return !utf8.hasError();
}

QString decodeText(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                          : QStringDecoder::Utf16BE);
        return utf16(bytes.mid(2));
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    const std::string_view raw(bytes.constData(), std::size_t(bytes.size()));
    return kw::CodePage::windows1250().decode(raw);
}

QString fold(QStringView text)
{
    // Most statement text is plain ASCII, which needs neither case folding tables nor decomposition.
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        QString out;
        out.reserve(text.size());
        bool space = false;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u == ' ' || (u >= '\t' && u <= '\r')) {
                space = !out.isEmpty();
                continue;
            }
            if (space) {
                out += QLatin1Char(' ');
                space = false;
            }
            out += QChar(u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u);
        }
        return out;
    }
    const QString decomposed = text.toString().toCaseFolded().normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    bool space = false;
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        if (c.isSpace()) {
            space = !out.isEmpty();
            continue;
        }
        if (space) {
            out += QLatin1Char(' ');
            space = false;
        }
        // Letters with a stroke do not decompose.
        switch (c.unicode()) {
        case 0x0142: // ł
            out += QLatin1Char('l');
            break;
        case 0x0111: // đ
            out += QLatin1Char('d');
            break;
        case 0x00F8: // ø
            out += QLatin1Char('o');
            break;
        case 0x00DF: // ß
            out += QLatin1String("ss");
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {

bool isGroupSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QChar(0x00A0) || c == QChar(0x202F) || c == QChar(0x2009) ||
           c == QLatin1Char('\'');
}

// Digits with at most one decimal separator `point`, no sign, nothing else.
std::optional<Amount> plainAmount(QStringView s, QChar point)
{
    if (s.isEmpty())
        return std::nullopt;
    Amount whole = 0;
    Amount fraction = 0;
    int decimals = -1; // -1: before the separator
    bool digits = false;
    constexpr Amount limit = std::numeric_limits<Amount>::max() / 100;
    for (const QChar c : s) {
        if (c == point) {
            if (decimals >= 0)
                return std::nullopt;
            decimals = 0;
            continue;
        }
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        digits = true;
        const int d = c.unicode() - '0';
        if (decimals < 0) {
            if (whole > limit)
                return std::nullopt;
            whole = whole * 10 + d;
        } else {
            if (++decimals > 4) {
                if (d != 0) // trailing zeros beyond the fourth decimal change nothing
                    return std::nullopt;
                continue;
            }
            fraction = fraction * 10 + d;
        }
    }
    if (!digits)
        return std::nullopt;
    for (int i = std::max(decimals, 0); i < 4; ++i)
        fraction *= 10;
    return whole * AmountScale + fraction;
}

} // namespace

std::optional<Amount> parseAmount(QStringView text, AmountForm form, QString *currency)
{
    QStringView s = text.trimmed();
    if (form != AmountForm::Lenient) {
        bool negative = false;
        if (s.startsWith(QLatin1Char('-')) || s.startsWith(QLatin1Char('+'))) {
            negative = s.front() == QLatin1Char('-');
            s = s.mid(1);
        }
        const auto a = plainAmount(s, form == AmountForm::Comma ? QLatin1Char(',') : QLatin1Char('.'));
        if (!a)
            return std::nullopt;
        return negative ? -*a : *a;
    }

    // A currency after the number (or before it): letters at either end.
    auto takeLetters = [&](bool atEnd) {
        qsizetype n = 0;
        while (n < s.size() && (atEnd ? s[s.size() - 1 - n] : s[n]).isLetter())
            ++n;
        if (n == 0)
            return;
        const QStringView letters = atEnd ? s.right(n) : s.left(n);
        if (currency && n == 3)
            *currency = letters.toString().toUpper();
        s = (atEnd ? s.chopped(n) : s.mid(n)).trimmed();
    };
    takeLetters(true);
    takeLetters(false);

    bool negative = false;
    if (s.startsWith(QLatin1Char('-')) || s.startsWith(QLatin1Char('+')) || s.startsWith(QChar(0x2212))) {
        negative = s.front() != QLatin1Char('+');
        s = s.mid(1).trimmed();
    } else if (s.endsWith(QLatin1Char('-'))) {
        negative = true;
        s = s.chopped(1).trimmed();
    }
    QString digits;
    digits.reserve(s.size());
    for (const QChar c : s)
        if (!isGroupSpace(c))
            digits += c;
    // With both separators the last one is the decimal point; with one kind only, it is the
    // decimal point unless it appears more than once or groups exactly three digits twice.
    const qsizetype comma = digits.lastIndexOf(QLatin1Char(','));
    const qsizetype dot = digits.lastIndexOf(QLatin1Char('.'));
    QChar point = QLatin1Char(',');
    QChar group;
    if (comma >= 0 && dot >= 0) {
        point = comma > dot ? QLatin1Char(',') : QLatin1Char('.');
        group = comma > dot ? QLatin1Char('.') : QLatin1Char(',');
    } else if (comma >= 0 || dot >= 0) {
        const QChar sep = comma >= 0 ? QLatin1Char(',') : QLatin1Char('.');
        if (digits.count(sep) > 1)
            group = sep;
        else
            point = sep;
    }
    if (!group.isNull()) {
        // Grouping must really group threes, or the text is not a number written for people.
        const qsizetype end = digits.indexOf(point) >= 0 ? digits.indexOf(point) : digits.size();
        qsizetype run = 0;
        bool first = true;
        for (qsizetype i = 0; i < end; ++i) {
            if (digits[i] == group) {
                if ((first && (run == 0 || run > 3)) || (!first && run != 3))
                    return std::nullopt;
                first = false;
                run = 0;
            } else {
                ++run;
            }
        }
        if (!first && run != 3)
            return std::nullopt;
        digits.remove(group);
    }
    const auto a = plainAmount(digits, point);
    if (!a)
        return std::nullopt;
    return negative ? -*a : *a;
}

QDate parseDate(QStringView text)
{
    QStringView s = text.trimmed();
    // A time after the date changes nothing.
    for (qsizetype i = 8; i < s.size(); ++i)
        if (s[i] == QLatin1Char(' ') || s[i] == QLatin1Char('T')) {
            s = s.left(i);
            break;
        }
    auto number = [](QStringView part, int width) -> int {
        if (part.size() < 1 || part.size() > width)
            return -1;
        int v = 0;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return -1;
            v = v * 10 + (c.unicode() - '0');
        }
        return v;
    };
    for (const QChar sep : {QLatin1Char('-'), QLatin1Char('.'), QLatin1Char('/')}) {
        const auto parts = s.split(sep);
        if (parts.size() != 3)
            continue;
        if (parts[0].size() == 4) { // year first
            const int y = number(parts[0], 4), m = number(parts[1], 2), d = number(parts[2], 2);
            if (y > 0 && m > 0 && d > 0)
                return QDate(y, m, d);
        } else if (parts[2].size() == 4) { // day first
            const int d = number(parts[0], 2), m = number(parts[1], 2), y = number(parts[2], 4);
            if (y > 0 && m > 0 && d > 0)
                return QDate(y, m, d);
        }
        return {};
    }
    if (s.size() == 8) { // RRRRMMDD
        const int y = number(s.left(4), 4), m = number(s.mid(4, 2), 2), d = number(s.mid(6, 2), 2);
        if (y > 0 && m > 0 && d > 0)
            return QDate(y, m, d);
    }
    return {};
}

QString digest(const QString &text)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
}

} // namespace kw::import
