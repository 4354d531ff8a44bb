#include <gtest/gtest.h>

#include "CliOptions.h"

namespace {

// A command line and what the parser makes of it.
struct ParseCase {
    const char* name;
    QStringList args;  // after "vr7c"
    int exitCode;      // -1: parsed, the command runs
    QStringList ports;
    QString log;
    const char* message = "";  // part of the text when the program ends at once
};

class ParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, GivesTheOptionsOrEndsWithItsCode) {
    const ParseCase& c = GetParam();
    const ParsedCommandLine parsed = ParseCommandLine(QStringList{"vr7c"} + c.args);
    if (c.exitCode >= 0) {
        ASSERT_TRUE(parsed.finished);
        EXPECT_EQ(parsed.exitCode, c.exitCode);
        EXPECT_TRUE(parsed.text.contains(QString::fromUtf8(c.message)))
            << parsed.text.toStdString();
        return;
    }
    ASSERT_FALSE(parsed.finished) << parsed.text.toStdString();
    EXPECT_EQ(parsed.options.ports, c.ports);
    EXPECT_EQ(parsed.options.port, c.ports.value(0));
    EXPECT_EQ(parsed.options.log, c.log);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ParseTest,
    testing::Values(
        ParseCase{"DefaultPort", {"read"}, -1, {"COM1"}, {}},
        ParseCase{"FixtureSlots",
                  {"flash", "--port", "COM1", "-p", "/dev/ttyUSB3", "--port=COM4"},
                  -1,
                  {"COM1", "/dev/ttyUSB3", "COM4"},
                  {}},
        ParseCase{"OnePortOnlyForWrite",
                  {"write", "30=1", "--port", "COM1", "--port", "COM2"},
                  2,
                  {},
                  {},
                  "write takes one --port"},
        ParseCase{"FlashLogsWhenAsked", {"flash", "--log", "units.csv"}, -1, {"COM1"}, "units.csv"},
        ParseCase{
            "FlashRepeatLogsByDefault", {"flash", "--repeat"}, -1, {"COM1"}, "vr7c-flash.csv"},
        ParseCase{"CommissionLogsByDefault",
                  {"commission", "--profile", "p.json"},
                  -1,
                  {"COM1"},
                  "vr7c-commission.csv"},
        ParseCase{"ForceOnlyForWrite", {"read", "--force"}, 2, {}, {}, "force"},
        ParseCase{"BadBaud", {"read", "--baud", "4800"}, 2, {}, {}, "9600, 19200"},
        ParseCase{"CountOutOfRange", {"flash", "--count", "-1"}, 2, {}, {}, "--count"},
        ParseCase{"UnknownCommand", {"fly"}, 2, {}, {}, "unknown command 'fly'"},
        ParseCase{"CommandHelp", {"write", "--help"}, 0, {}, {}, "--force"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(Parse, WriteTakesForce) {
    const ParsedCommandLine parsed = ParseCommandLine({"vr7c", "write", "89=900", "--force"});
    ASSERT_FALSE(parsed.finished);
    EXPECT_TRUE(parsed.options.force);
    EXPECT_EQ(parsed.options.arguments, QStringList{"89=900"});
}

}  // namespace
