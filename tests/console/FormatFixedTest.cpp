#include <gtest/gtest.h>

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
