#pragma once

#include "import/Transaction.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringView>
#include <optional>

namespace kw::import {

// Text of a bank's file: a byte-order mark decides (UTF-8, UTF-16); else UTF-8 when the bytes are
// valid UTF-8, else Windows-1250, which is what Polish banks write when they do not write UTF-8.
QString decodeText(const QByteArray &bytes);
bool isUtf8(const QByteArray &bytes);

// The form in which words are compared: case folded, Polish and other diacritics taken off (ł is
// l), every run of white space one space, no space at either end.
QString fold(QStringView text);

// A letter or digit: what a whole word is made of.
inline bool isWordChar(QChar c)
{
    return c.isLetterOrNumber();
}

// Amounts as files write them. Strict forms allow a sign and one decimal separator only; the
// lenient form (tables exported for people) also takes thousands grouped by spaces, non-breaking
// spaces, apostrophes or the other separator, and a currency after the number.
enum class AmountForm
{
    Comma,   // MT940: 1234,56
    Dot,     // XML: 1234.56
    Lenient, // -1 234,56 PLN, 1.234,56, 1,234.56, +12.5
};
// The amount, or nothing when the text is not one. More than four decimals is not one either.
std::optional<Amount> parseAmount(QStringView text, AmountForm form, QString *currency = nullptr);

// The dates of tables: RRRR-MM-DD, DD.MM.RRRR, DD-MM-RRRR, DD/MM/RRRR, RRRR.MM.DD, RRRR/MM/DD, a
// time after a space or a 'T' ignored. Invalid when none fits or the day does not exist.
QDate parseDate(QStringView text);

// A short digest of text, stable across runs and builds: the first 16 hex digits of SHA-256.
QString digest(const QString &text);

} // namespace kw::import
