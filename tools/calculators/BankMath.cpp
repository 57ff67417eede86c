#include "tools/calculators/BankMath.h"

#include <cfenv>
#include <cmath>
#include <limits>

static_assert(std::numeric_limits<long double>::digits >= 64,
              "the bank calculator's results depend on the 64-bit significand of extended precision");

namespace kw::bank {

namespace {
constexpr long double Scale = 10000.0L;
constexpr long double Twelfth = 1.0L / 12.0L;
constexpr long double Hundredth = 0.01L;
// 2^63: the first value outside a signed 64-bit count; exact in extended precision.
constexpr long double CountLimit = 9223372036854775808.0L;

// Nearest integer, ties to even, whatever rounding mode the caller left behind.
long double roundEven(long double v)
{
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double r = std::nearbyintl(v);
    std::fesetround(saved);
    return r;
}
} // namespace

Fixed4 toFixed4(long double value, const char *what)
{
    const long double count = roundEven(value * Scale);
    // Also refuses NaN, which fails both comparisons.
    if (!(count >= -CountLimit && count < CountLimit))
        throw RangeError(what);
    return static_cast<Fixed4>(count);
}

long double fromFixed4(Fixed4 value)
{
    return static_cast<long double>(value) / Scale;
}

double fixed4ToDouble(Fixed4 value)
{
    return static_cast<double>(fromFixed4(value));
}

long double toReal48(long double value, const char *what)
{
    if (value == 0)
        return 0;
    if (!std::isfinite(value))
        throw RangeError(what);
    // value = m × 2^e with 0.5 <= |m| < 1; keep 40 bits of m.
    int e = 0;
    const long double m = std::frexp(value, &e);
    const long double bits = roundEven(std::ldexp(m, 40));
    const long double rounded = std::ldexp(bits, e - 40);
    std::frexp(rounded, &e); // rounding up may have carried into the next power of two
    // The format's exponent byte runs from 1 to 255 with a bias of 129 on 1.f, that is 2^-127 up
    // to 2^127 for m in [0.5, 1); 0 in the exponent byte is the number 0.
    if (e > 127)
        throw RangeError(what);
    if (e < -127)
        return 0;
    return rounded;
}

Interest simpleInterest(Fixed4 capital, double ratePercent, double months)
{
    Interest r;
    r.capital = capital;
    const long double monthlyRate = toReal48(static_cast<long double>(ratePercent) * Twelfth,
                                             "Stopa procentowa jest poza zakresem obliczeń.");
    const long double monthCount =
        toReal48(static_cast<long double>(months), "Okres kapitalizacji jest poza zakresem obliczeń.");
    // Evaluated left to right, each step rounded to extended precision.
    long double growth = monthCount * monthlyRate;
    growth = growth * Hundredth;
    growth = growth + 1;
    const long double final = growth * fromFixed4(capital);
    r.final = toFixed4(final, "Kapitał końcowy jest poza zakresem obliczeń.");
    if (__builtin_sub_overflow(r.final, r.capital, &r.difference))
        throw RangeError("Różnica jest poza zakresem obliczeń.");
    return r;
}

} // namespace kw::bank
