#pragma once

// The one judgement of a number stored in a dBase field (types N and F), shared by the file level's
// decode() and the check of whole records (LedgerCheck.h).

#include <QString>
#include <string_view>

namespace kw {

// Given the field's text without surrounding blanks: empty when it is blank or a finite number;
// else what is wrong, in Polish, to follow the field's name and text (", co nie jest liczbą"). A
// field filled with '*' is a number its writer could not fit: lost, never 0.
QString numberFault(std::string_view text);

// A count with its noun in the Polish form the count takes: countOf(1, "rekord", "rekordy",
// "rekordów") is "1 rekord"; 2 to 4 (but not 12 to 14) and 22 to 24 ... take the second form, every
// other count the third ("5 rekordów", "12 rekordów", "22 rekordy").
QString countOf(long long n, const char *one, const char *few, const char *many);

} // namespace kw
