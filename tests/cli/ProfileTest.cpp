#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "IntelHex.h"
#include "Profile.h"

namespace {

using Writes = std::vector<std::pair<int, std::uint16_t>>;

// A profile and the register writes it must lead to, with registers 84..95 of the module
// holding 0x0023 in 94 (filter level 3, three channels) and 0 elsewhere. Every write of the
// block ends with the commit marker, or the module does not keep it.
struct ProfileCase {
    const char* name;
    const char* json;
    Writes writes;
};

class ProfileWritesTest : public testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileWritesTest, GivesTheRegistersItNamesInTheConsolesOrder) {
    QString error;
    const auto profile = ReadProfile(QByteArray(GetParam().json), &error);
    ASSERT_TRUE(profile) << error.toStdString();
    ConfigBlock::ReadWords current{};
    current[94 - ConfigBlock::kFirst] = 0x0023;
    EXPECT_EQ(ProfileWrites(*profile, current), GetParam().writes);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, ProfileWritesTest,
    testing::Values(
        ProfileCase{"NegativeCompensation",
                    R"({"settings":{"temperature_compensation":{"value":-15}}})",
                    {{89, 65521}, {96, 59881}}},
        ProfileCase{
            "FilterAndChannelsPacked",
            R"({"settings":{"channel_count":{"meaning":"六个"},"filter_level":{"value":9}}})",
            {{94, 89}, {96, 59881}}},
        ProfileCase{"FilterKeepsTheModulesChannels",
                    R"({"settings":{"filter_level":{"meaning":"九级"}}})",
                    {{94, 0x29}, {96, 59881}}},
        ProfileCase{"ItemWithTrailingSpace",
                    R"({"settings":{"thermocouple_type":{"meaning":"R(0~1000) "}}})",
                    {{87, 5}, {96, 59881}}},
        ProfileCase{"CommitMarkerLast",
                    R"({"settings":{"commit_marker":{"register":96,"value":59881},
                                    "station_number":{"register":90,"value":7},
                                    "input_range":{"value":1}}})",
                    {{84, 1}, {90, 7}, {96, 59881}}}),
    [](const auto& param) { return std::string(param.param.name); });

// What the reader says of a bad profile: what the setting allows, where the JSON went wrong.
struct ProfileError {
    const char* json;
    const char* says;
};

class ProfileErrorTest : public testing::TestWithParam<ProfileError> {};

TEST_P(ProfileErrorTest, NamesWhatIsAllowed) {
    QString error;
    EXPECT_FALSE(ReadProfile(QByteArray(GetParam().json), &error));
    EXPECT_TRUE(error.contains(QString::fromUtf8(GetParam().says))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, ProfileErrorTest,
    testing::Values(ProfileError{"{\"settings\": {\n  \"station_number\": {\"value\": 1,}}}",
                                 "line 2, column"},
                    ProfileError{R"({"settings":{"rs485_baud_rate":{"value":4}}})",
                                 R"(0 = "9600", 1 = "19200", 2 = "38400", 3 = "57600")"},
                    ProfileError{R"({"settings":{"input_range":{"meaning":"+/- 0~50mV"}}})",
                                 R"(0 = "+/- 0~100mV", 1 = "+/- 0~25mV")"},
                    ProfileError{R"({"settings":{"temperature_compensation":{"value":600}}})",
                                 "-500 to 500 x 0.1 °C"},
                    ProfileError{R"({"settings":{"station":{"value":1}}})", "station_number"}));

// Profiles the reader refuses.
class BadProfileTest : public testing::TestWithParam<const char*> {};

TEST_P(BadProfileTest, IsRefusedWithAMessage) {
    QString error;
    EXPECT_FALSE(ReadProfile(QByteArray(GetParam()), &error));
    EXPECT_FALSE(error.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, BadProfileTest,
    testing::Values(R"([1,2])", R"({"settings":{"no_such":{"value":1}}})",
                    R"({"settings":{"station_number":{"value":100}}})",
                    R"({"settings":{"station_number":{"value":1.5}}})",
                    R"({"settings":{"station_number":{"register":91,"value":1}}})",
                    R"({"settings":{"input_range":{"value":0,"meaning":"+/- 0~25mV"}}})",
                    R"({"settings":{"input_range":{"meaning":"+/- 0~50mV"}}})",
                    R"({"settings":{"commit_marker":{"value":1}}})",
                    R"({"settings":{"rs485_format":{}}})", R"({"extra":1,"settings":{}})"));

TEST(IntelHex, AddressRecordsPlaceDataAndGapsAreErased) {
    // Extended segment address 0x0800 (x 16 = 0x8000), then data at offset 2; an extended
    // linear address 0x0800 then gives 0x08000000 + 0x8002.
    const QByteArray text = ":020000040800F2\n:02800200AABB17\n:00000001FF\n";
    QString error;
    const auto image = ReadIntelHex(text, 0x08000000, 0x10000, &error);
    ASSERT_TRUE(image) << error.toStdString();
    ASSERT_EQ(image->bytes.size(), 0x8004);
    EXPECT_EQ(image->bytes.at(0), '\xFF');
    EXPECT_EQ(image->bytes.mid(0x8002), QByteArray("\xAA\xBB"));
}

}  // namespace
