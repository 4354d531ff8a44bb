#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "FormatFixed.h"

TEST(FormatFixed, GivesTheExamplesOfTheTextRule) {
    EXPECT_EQ(FormatFixed(2617, 2), "26.17");
    EXPECT_EQ(FormatFixed(5, 2), "0.05");
    EXPECT_EQ(FormatFixed(1234, 1), "123.4");
    EXPECT_EQ(FormatFixed(-15, 1), "-1.5");
    EXPECT_EQ(FormatFixed(-50, 5), "-0.00050");
    EXPECT_EQ(FormatFixed(0, 3), "0.000");
}

TEST(FormatFixed, KeepsTheSignWhenTheWholePartIsZero) {
    EXPECT_EQ(FormatFixed(-5, 5), "-0.00005");
    EXPECT_EQ(FormatFixed(-65536, 5), "-0.65536");
}

TEST(FormatFixed, ShowsFirmwareVersionsWithTwoDecimals) {
    EXPECT_EQ(FormatFixed(150, 2), "1.50");
    EXPECT_EQ(FormatFixed(105, 2), "1.05");
    EXPECT_EQ(FormatFixed(100, 2), "1.00");
}

TEST(FormatFixed, HandlesTheExtremesOfThirtyTwoBits) {
    EXPECT_EQ(FormatFixed(std::numeric_limits<std::int32_t>::min(), 5), "-21474.83648");
    EXPECT_EQ(FormatFixed(std::numeric_limits<std::int32_t>::max(), 2), "21474836.47");
}

// Against the text put together part by part, for every decimals the console uses and values
// around each power of ten.
TEST(FormatFixed, AgreesWithTheTextMadePartByPart) {
    for (int decimals = 1; decimals <= 5; ++decimals) {
        for (std::int64_t power = 1; power <= 10'000'000; power *= 10) {
            for (const std::int64_t v : {power - 1, power, power + 1, -power + 1, -power}) {
                const std::int64_t m = v < 0 ? -v : v;
                const std::int64_t scale = static_cast<std::int64_t>(std::pow(10, decimals));
                const QString expected =
                    QString(v < 0 ? "-" : "") + QString::number(m / scale) + "." +
                    QString::number(m % scale).rightJustified(decimals, QLatin1Char('0'));
                EXPECT_EQ(FormatFixed(static_cast<std::int32_t>(v), decimals), expected);
            }
        }
    }
}
