// The bank calculator's arithmetic: fixed-point money, the six-byte real rounding and the product.
#include "tools/calculators/BankMath.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>

using namespace kw::bank;

namespace {

Interest compute(long double capital, double rate, double months)
{
    return simpleInterest(toFixed4(capital, "capital"), rate, months);
}

// The worked examples, zero and negative inputs are checked on the window's labels (BankCalculatorTest).
TEST(BankMath, CapitalIsRoundedToFourDecimalsHalfToEven)
{
    // 1/32 and 3/32 are exact in binary, so × 10000 lands exactly on a half.
    EXPECT_EQ(toFixed4(0.03125L, "c"), 312);
    EXPECT_EQ(toFixed4(0.09375L, "c"), 938);
    EXPECT_EQ(toFixed4(-0.03125L, "c"), -312);
    EXPECT_EQ(toFixed4(1000.12346L, "c"), 10001235);
    // The rounded capital, not the typed one, is what grows: 0.03125 at 12 % for a year.
    EXPECT_EQ(compute(0.03125L, 12, 12).final, 349); // 0.0312 × 1.12 = 0.034944
}

TEST(BankMath, AgreesWithAnExactModelOfTheRoundings)
{
    // Expected counts from a model in exact rational arithmetic that rounds at the same places:
    // the capital to a count, rate × twelfth and each later step to 64 significant bits, the
    // monthly rate and the month count to 40, the final value to a count, ties to even.
    struct Case
    {
        double capital, rate, months;
        Fixed4 capitalCount, finalCount;
    };
    const Case cases[] = {
        {1234.5678, 3.75, 7, 12345678, 12615740},
        {0.01, 99, 1, 100, 108},
        {250000, 4.1, 36, 2500000000, 2807500000},
        {1000, 5, 1.5, 10000000, 10062500},
        {-500, 7, 5, -5000000, -5145833},
        {99999.99995, 2.2, 17, 999999999, 1031166666},
        {123456.789, -3.3, 0.25, 1234567890, 1233719125},
    };
    for (const Case &c : cases) {
        const Interest r = compute(c.capital, c.rate, c.months);
        EXPECT_EQ(r.capital, c.capitalCount) << c.capital;
        EXPECT_EQ(r.final, c.finalCount) << c.capital << " " << c.rate << " " << c.months;
        EXPECT_EQ(r.difference, c.finalCount - c.capitalCount);
    }
}

TEST(BankMath, SixByteRealRoundingOfTheMonthlyRateShowsInTheFourthDecimal)
{
    // 1 000 000 000 zł at 5 % for 13 months.
    // Exactly: 10^9 × (1 + 13 × 5/1200) = 1 054 166 666.666666…, which would show ,6667.
    // The monthly rate 5/12 = 0.41666… is held with 40 significant bits:
    //   916259689813 / 2^41 = 0.41666666666651508421637117862701416015625  (5/12 − 1.516e-13)
    // 13 × that = 5.41666666666469609481282532215118408203125, and so
    //   10^9 × (1 + 0.0541666666666469609481…) = 1 054 166 666.66664696094812…
    // which rounds to 1 054 166 666,6666. The extended-precision steps change nothing at this
    // scale (their error is below 10^-9 zł here).
    const long double monthly = toReal48(5.0L / 12.0L, "rate");
    EXPECT_EQ(monthly, std::ldexp(916259689813.0L, -41));
    const Interest r = compute(1000000000, 5, 13);
    EXPECT_EQ(r.final, 10541666666666);
    EXPECT_EQ(r.difference, 541666666666);
}

TEST(BankMath, SixByteRealFormat)
{
    // Values with 40 bits or fewer pass unchanged.
    for (long double v : {1.0L, 12.0L, 0.5L, -3.25L, 1099511627775.0L})
        EXPECT_EQ(toReal48(v, "x"), v);
    EXPECT_EQ(toReal48(0.0L, "x"), 0.0L);
    // 1/3 loses everything past bit 40: 733007751851 / 2^41.
    EXPECT_EQ(toReal48(1.0L / 3.0L, "x"), std::ldexp(733007751851.0L, -41));
    // Halfway cases go to the even neighbour.
    EXPECT_EQ(toReal48(1.0L + std::ldexp(1.0L, -40), "x"), 1.0L);
    EXPECT_EQ(toReal48(1.0L + 3 * std::ldexp(1.0L, -40), "x"), 1.0L + std::ldexp(1.0L, -38));
    // Carry into the next power of two.
    EXPECT_EQ(toReal48(1099511627775.5L, "x"), 1099511627776.0L);
    // Range: 2^-128 up to just under 2^127; smaller is 0, larger is refused.
    EXPECT_EQ(toReal48(std::ldexp(1.0L, -128), "x"), std::ldexp(1.0L, -128));
    EXPECT_EQ(toReal48(std::ldexp(1.0L, -129), "x"), 0.0L);
    EXPECT_EQ(toReal48(std::ldexp(1.5L, 126), "x"), std::ldexp(1.5L, 126));
    EXPECT_THROW(toReal48(std::ldexp(1.0L, 127), "x"), RangeError);
    EXPECT_THROW(toReal48(-1e39L, "x"), RangeError);
}

TEST(BankMath, ValuesOutsideTheFixedPointRangeAreRefused)
{
    EXPECT_EQ(toFixed4(922337203685477.0L, "c"), 9223372036854770000);
    EXPECT_EQ(toFixed4(-922337203685477.0L, "c"), -9223372036854770000);
    EXPECT_THROW(toFixed4(922337203685477.6L, "c"), RangeError);
    try {
        toFixed4(1e15L, "Kapitał początkowy jest poza zakresem obliczeń.");
        ADD_FAILURE() << "1e15 accepted";
    } catch (const RangeError &e) {
        EXPECT_STREQ(e.what(), "Kapitał początkowy jest poza zakresem obliczeń.");
    }
    EXPECT_THROW(toFixed4(-1e15L, "c"), RangeError);
    EXPECT_THROW(toFixed4(NAN, "c"), RangeError);
    // The capital fits, the grown capital does not.
    EXPECT_THROW(compute(900000000000000, 100, 12), RangeError);
    EXPECT_THROW(compute(1, 1e38, 1e38), RangeError);
    EXPECT_THROW(compute(1, 1e40, 1), RangeError); // the monthly rate outgrows the six-byte real
    // Final and capital both fit, their difference does not.
    EXPECT_THROW(compute(-900000000000000, -1200, 2), RangeError);
}

} // namespace
