#include "framework/Regional.h"

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

QString formatCurrency(double value) { return locale().toCurrencyString(value); }

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
    // People type an ordinary space where the Polish settings group digits with a no-break space.
    const QString group = l.groupSeparator();
    if (!group.isEmpty() && group != QStringLiteral(" "))
        t.replace(QLatin1Char(' '), group);
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
