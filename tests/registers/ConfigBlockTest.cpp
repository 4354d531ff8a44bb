#include <gtest/gtest.h>

#include <string>

#include "ConfigBlock.h"

namespace {

using namespace ConfigBlock;

TEST(ConfigBlock, CommitBuildsEachWordFromItsSettingsAndEndsWithTheMarker) {
    Values values{};
    values[kTempCompensation] = -15;
    values[kFilterLevel] = 9;
    values[kChannelCount] = 5;
    values[kThermocoupleType] = -1;  // a list left without a selection
    const CommitWords words = Commit(values);
    EXPECT_EQ(words[89 - kFirst], 65521);
    EXPECT_EQ(words[94 - kFirst], 9 + 16 * 5);
    EXPECT_EQ(words[87 - kFirst], 65535);
    EXPECT_EQ(words[96 - kFirst], 59881);
}

TEST(ConfigBlock, RegisterNinetyFourReadsAsItsTwoHalves) {
    ReadWords words{};
    words[94 - kFirst] = 0x0023;
    words[89 - kFirst] = 65521;
    EXPECT_EQ(ValueIn(FieldOf(kFilterLevel), words), 3);
    EXPECT_EQ(ValueIn(FieldOf(kChannelCount), words), 2);
    EXPECT_EQ(ValueIn(FieldOf(kTempCompensation), words), -15);
}

struct WordCase {
    int reg;
    int value;
    bool allowed;
    const char* says;  // part of the reason given
};

class WordAllowedTest : public testing::TestWithParam<WordCase> {};

TEST_P(WordAllowedTest, FollowsTheRangesOfTheBlock) {
    std::string why;
    EXPECT_EQ(WordAllowed(GetParam().reg, GetParam().value, &why), GetParam().allowed);
    EXPECT_NE(why.find(GetParam().says), std::string::npos) << why;
}

INSTANTIATE_TEST_SUITE_P(
    Block, WordAllowedTest,
    testing::Values(WordCase{89, -500, true, ""}, WordCase{89, 501, false, "-500 to 500"},
                    WordCase{88, 0, false, "1 to 60000"}, WordCase{90, 99, true, ""},
                    WordCase{92, 4, false, "3 = \"57600\""}, WordCase{94, 9 + 16 * 5, true, ""},
                    WordCase{94, 10, false, "滤波等级 0 to 9 + 16 × 通道选择 0 to 5"},
                    WordCase{94, 6 * 16, false, "通道选择"}, WordCase{96, 59881, true, ""},
                    WordCase{96, 1, false, "only 59881"}, WordCase{30, 65535, true, ""}));

}  // namespace
