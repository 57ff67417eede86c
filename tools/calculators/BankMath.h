#pragma once

// Simple interest as the bank calculator works it out. Money is a four-decimal fixed-point value
// held as a count of ten-thousandths; the monthly rate and the month count pass once through the
// six-byte real format (40 significant bits, about 12 digits) before the final product is taken in
// extended precision. These roundings are part of the result the user sees, down to the fourth
// decimal, so they are reproduced exactly rather than approximated with doubles.

#include <cstdint>
#include <stdexcept>

namespace kw::bank {

// A value that does not fit the format it must be stored in. The text names the quantity.
class RangeError : public std::range_error
{
public:
    using std::range_error::range_error;
};

// Money: a count of ten-thousandths.
using Fixed4 = std::int64_t;

// value × 10000 rounded to the nearest count, ties to even; RangeError(what) when it does not fit.
Fixed4 toFixed4(long double value, const char *what);
long double fromFixed4(Fixed4 value);
double fixed4ToDouble(Fixed4 value);

// The nearest value of the six-byte real format (8-bit exponent, 39-bit fraction with a hidden
// leading bit), ties to even; magnitudes below its smallest number become 0, magnitudes above its
// largest throw RangeError(what).
long double toReal48(long double value, const char *what);

struct Interest
{
    Fixed4 capital = 0;
    Fixed4 final = 0;
    Fixed4 difference = 0; // final − capital
};

// capital × (1 + months × (rate/12) / 100), with the roundings described above.
Interest simpleInterest(Fixed4 capital, double ratePercent, double months);

} // namespace kw::bank
