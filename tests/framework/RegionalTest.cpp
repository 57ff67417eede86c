#include "regional/Regional.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace kw::regional;

class Regional : public ::testing::Test
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(Regional, TextToNumberFollowsThePolishSettings)
{
    EXPECT_EQ(parseNumber("12,50"), 12.5);
    EXPECT_EQ(parseNumber("-3"), -3.0);
    EXPECT_EQ(parseNumber(" 7 "), 7.0);
    EXPECT_EQ(parseNumber("1 234,5"), 1234.5) << "an ordinary space groups digits as people type them";
    EXPECT_EQ(parseNumber(QStringLiteral("1\u00A0234,5")), 1234.5);
    for (const char *bad : {"", "   ", "abc", "12,5zł", "-", ","})
        EXPECT_FALSE(parseNumber(QString::fromUtf8(bad)).has_value()) << bad;
    try {
        toNumber("x1");
        ADD_FAILURE();
    } catch (const std::exception &e) {
        EXPECT_STREQ(e.what(), "'x1' is not a valid floating point value");
    }
}

TEST_F(Regional, GeneralFormatIsShortestWithTheRegionalSeparatorAndNoGrouping)
{
    EXPECT_EQ(formatGeneral(0), "0");
    EXPECT_EQ(formatGeneral(12.5), "12,5");
    EXPECT_EQ(formatGeneral(-1234567.25), "-1234567,25");
    EXPECT_EQ(formatGeneral(1.0 / 3.0), "0,333333333333333");
    EXPECT_EQ(formatGeneral(1060), "1060");
    EXPECT_EQ(formatGeneral(0.1 + 0.2), "0,3") << "15 significant digits hide the binary noise";
    EXPECT_EQ(*parseNumber(formatGeneral(4.1667)), 4.1667);
}

TEST_F(Regional, CurrencyAndClock)
{
    EXPECT_EQ(formatCurrency(1234.5), QStringLiteral("1234,50\u00A0zł"));
    EXPECT_FALSE(longTime(QTime(13, 5, 9)).contains("UTC"));
    EXPECT_EQ(longTime(QTime(13, 5, 9)), "13:05:09");
}

TEST_F(Regional, NegativeAmountsLeadWithAMinusSignUnderEveryLocale)
{
    EXPECT_EQ(formatCurrency(-1231.5), QStringLiteral("-1231,50\u00A0zł"));
    EXPECT_EQ(formatCurrency(-12345678.5), QStringLiteral("-12\u00A0345\u00A0678,50\u00A0zł"));
    EXPECT_EQ(formatCurrency(-0.004), QStringLiteral("0,00\u00A0zł")) << "no sign on an amount shown as zero";
    EXPECT_EQ(formatCurrency(-0.005), QStringLiteral("-0,01\u00A0zł"));
    EXPECT_FALSE(formatCurrency(-1).contains('('));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(formatCurrency(-1231.5), QStringLiteral("-$1,231.50"));
    EXPECT_EQ(formatCurrency(1231.5), QStringLiteral("$1,231.50"));
    EXPECT_EQ(formatCurrency(-0.001), QStringLiteral("$0.00"));
}

TEST_F(Regional, DigitsGroupedWronglyOrTwoNumbersInOneBoxAreRefused)
{
    for (const char *bad : {"1234 567", "12 34", "1 23", "1 2345", "12,5 6", "1 234 56", " 1  234"})
        EXPECT_FALSE(parseNumber(QString::fromUtf8(bad)).has_value()) << bad;
    EXPECT_EQ(parseNumber("1 234 567"), 1234567.0);
    EXPECT_EQ(parseNumber("-12 345,75"), -12345.75);
}

TEST_F(Regional, PercentsFollowTheSettingsAndNeverReadMinusZero)
{
    EXPECT_EQ(formatPercent(52.1956), QStringLiteral("52,2%"));
    EXPECT_EQ(formatPercent(-6.52), QStringLiteral("-6,5%"));
    EXPECT_EQ(formatPercent(-0.01), QStringLiteral("0,0%"));
    EXPECT_EQ(formatPercent(1234.5, 0), QStringLiteral("1235%"));
}
