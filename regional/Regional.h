#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <optional>

// The user's regional settings, from one place: QLocale(), which tests pin to Polish, Poland.
// File formats never go through here; they use the C locale.
namespace kw::regional {

QLocale locale();
QChar decimalSeparator();

// An amount in the currency format of the user's settings ("1234,50 zł"), a negative one with a
// leading minus sign ("-1234,50 zł", "-$1,234.50").
QString formatCurrency(double value);
// A share or a ratio in per cent with the given decimals, the regional separator and per-cent sign
// ("35,2%").
QString formatPercent(double value, int decimals = 1);
// The general number format: shortest form, up to 15 significant digits, regional decimal
// separator, no thousands separator.
QString formatGeneral(double value);
// Text to number under the user's settings: decimal separator and digit grouping; blanks around
// the number are allowed, empty text, blanks only, letters and text without digits are not.
std::optional<double> parseNumber(const QString &text);
// The same, throwing an error with the text "'%s' is not a valid floating point value".
double toNumber(const QString &text);

QString shortDate(const QDate &date);
QString longTime(const QTime &time);

} // namespace kw::regional
