#include "regional/Regional.h"

#include <QRegularExpression>
#include <cmath>
#include <stdexcept>

namespace kw::regional {

QLocale locale() { return QLocale(); }

QChar decimalSeparator()
{
    const QString s = locale().decimalPoint();
    return s.isEmpty() ? QChar('.') : s.front();
}

QString formatCurrency(double value)
{
    // The locale data gives negatives the accounting form "(1 231,50 zł)"; people write them with a
    // leading minus sign. An amount that rounds to zero shows no sign at all.
    const QLocale l = locale();
    const QString magnitude = l.toCurrencyString(std::fabs(value));
    if (!(value < 0) || magnitude == l.toCurrencyString(0.0))
        return magnitude;
    return l.negativeSign() + magnitude;
}

QString formatPercent(double value, int decimals)
{
    const QLocale l = locale();
    QString digits = l.toString(value, 'f', decimals);
    // "-0,0" reads as a loss where nothing was lost.
    if (value < 0 && digits == l.toString(0.0, 'f', decimals).prepend(l.negativeSign()))
        digits.remove(0, l.negativeSign().size());
    return digits + l.percent();
}

QString formatGeneral(double value)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? QStringLiteral("NAN") : (value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF"));
    QLocale l = locale();
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    if (value == 0)
        return QStringLiteral("0");
    const double magnitude = std::floor(std::log10(std::fabs(value)));
    if (magnitude >= 15 || magnitude < -5)
        return l.toString(value, 'E', 14).replace(QRegularExpression(QStringLiteral("0+E")), QStringLiteral("E"));
    // Fixed notation with 15 significant digits, then the trailing zeros dropped.
    const int decimals = std::max(0, 14 - int(magnitude));
    QString s = l.toString(value, 'f', decimals);
    const QChar dp = decimalSeparator();
    if (s.contains(dp)) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(dp))
            s.chop(1);
    }
    return s;
}

std::optional<double> parseNumber(const QString &text)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    QLocale l = locale();
    // Digits grouped in threes by blanks (an ordinary space as people type it, or the locale's own
    // no-break space) are accepted whatever the number's size; the grouping is checked, then dropped.
    static const QRegularExpression blanks(QStringLiteral("[ \\x{00A0}\\x{202F}]"));
    if (t.contains(blanks)) {
        const QString dp = QRegularExpression::escape(l.decimalPoint());
        const QRegularExpression grouped(QStringLiteral("^[-+]?\\d{1,3}([ \\x{00A0}\\x{202F}]\\d{3})+(%1\\d*)?$").arg(dp));
        if (!grouped.match(t).hasMatch())
            return std::nullopt;
        t.remove(blanks);
    }
    bool ok = false;
    const double v = l.toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

double toNumber(const QString &text)
{
    if (auto v = parseNumber(text))
        return *v;
    throw std::runtime_error(QStringLiteral("'%1' is not a valid floating point value").arg(text).toStdString());
}

QString shortDate(const QDate &date) { return locale().toString(date, QLocale::ShortFormat); }

QString longTime(const QTime &time)
{
    // The long format of some locales ends in the time zone, which a desk clock does not show.
    QString format = locale().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    return locale().toString(time, format.trimmed());
}

} // namespace kw::regional
