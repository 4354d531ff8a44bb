// The command line of vr7c-sim.

#include <gtest/gtest.h>

#include "SimOptions.h"

namespace vr7c::sim {
namespace {

CommandLine parse(std::vector<std::string> args) {
    return parseCommandLine(args);
}

TEST(CommandLine, DefaultsWithoutArguments) {
    const CommandLine c = parse({});
    EXPECT_TRUE(c.error.empty());
    EXPECT_FALSE(c.help);
    EXPECT_EQ(c.options.station, 1);
    EXPECT_EQ(c.options.baud, 57600u);
    EXPECT_EQ(c.options.latency, 2000);
    EXPECT_FALSE(c.options.plcCan);
    EXPECT_TRUE(c.options.device.empty());
    EXPECT_TRUE(c.options.link.empty());
}

TEST(CommandLine, EveryOptionIsTaken) {
    const CommandLine c = parse(
        {"--link",           "/tmp/x",    "--station", "16",      "--baud",         "9600",
         "--latency",        "0.5",       "--reg",     "98=6666", "--reg=89=-15",   "--plc-can",
         "--fault",          "drop:12.5", "--fault",   "split",   "--seed",         "0x10",
         "--split-gap",      "5-9",       "--slow",    "700",     "--partial-echo", "3",
         "--exception-code", "6",         "--frozen"});
    ASSERT_TRUE(c.error.empty()) << c.error;
    const SimOptions& o = c.options;
    EXPECT_EQ(o.link, "/tmp/x");
    EXPECT_EQ(o.station, 16);
    EXPECT_EQ(o.baud, 9600u);
    EXPECT_EQ(o.latency, 500);
    ASSERT_EQ(o.presets.size(), 2u);
    EXPECT_EQ(o.presets[0], (std::pair<int, std::uint16_t>{98, 6666}));
    EXPECT_EQ(o.presets[1], (std::pair<int, std::uint16_t>{89, 65521}));
    EXPECT_TRUE(o.plcCan);
    ASSERT_EQ(o.faults.size(), 2u);
    EXPECT_EQ(o.faults[0].kind, FaultKind::Drop);
    EXPECT_DOUBLE_EQ(o.faults[0].percent, 12.5);
    EXPECT_EQ(o.faults[1].kind, FaultKind::Split);
    EXPECT_DOUBLE_EQ(o.faults[1].percent, 100.0);
    EXPECT_EQ(o.seed, 16u);
    EXPECT_EQ(o.splitGapMin, 5000);
    EXPECT_EQ(o.splitGapMax, 9000);
    EXPECT_EQ(o.slowDelay, 700'000);
    EXPECT_EQ(o.partialEchoBytes, 3);
    EXPECT_EQ(o.exceptionCode, 6);
    EXPECT_TRUE(o.frozen);
}

TEST(CommandLine, DeviceAndHelp) {
    EXPECT_EQ(parse({"--device", "/dev/ttyUSB0"}).options.device, "/dev/ttyUSB0");
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_TRUE(parse({"--station", "3", "-h"}).help);
    const SimOptions tcp = parse({"--modbus-tcp", "[::1]:1502"}).options;
    ASSERT_TRUE(tcp.modbusTcp.has_value());
    EXPECT_EQ(tcp.modbusTcp->host, "::1");
    EXPECT_EQ(tcp.modbusTcp->port, 1502);
    EXPECT_TRUE(parse({"--tcp", "192.168.1.9:5020", "--allow-remote"}).error.empty());
}

TEST(CommandLine, InvalidArgumentsAreRefusedWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {
        {"--station"},
        {"--station", "248"},
        {"--station", "x"},
        {"--station", "-1"},
        {"--baud", "0"},
        {"--baud", "9600x"},
        {"--latency", "-1"},
        {"--reg", "100=1"},
        {"--reg", "5"},
        {"--reg", "5=70000"},
        {"--reg", "5=-40000"},
        {"--fault", "bogus"},
        {"--fault", "drop:101"},
        {"--fault", "drop:x"},
        {"--split-gap", "9-5"},
        {"--plc-can=1"},
        {"--what"},
        {"extra"},
        {"--partial-echo", "9"},
        {"--link", ""},
        {"--uid", "0011223344556677889900"},
        {"--uid", "0011223344556677889900aabb"},
        {"--uid", "00112233445566778899xxbb"},
        {"--tcp", "localhost:5020"},
        {"--tcp", "127.0.0.1"},
        {"--modbus-tcp", "127.0.0.1:70000"},
        {"--tcp", "192.168.1.9:5020"},
        {"--tcp", "127.0.0.1:1", "--modbus-tcp", "127.0.0.1:2"},
    };
    for (const auto& args : bad) {
        const CommandLine c = parse(args);
        EXPECT_FALSE(c.error.empty()) << args.front() << (args.size() > 1 ? " " + args[1] : "");
    }
}

TEST(CommandLine, EachUnitHasAChipIdOfItsOwn) {
    const ChipUid given = *parse({"--uid", "0123456789abcdefFEDCBA98"}).options.uid;
    EXPECT_EQ(given,
              (ChipUid{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0xBA, 0x98}));
    SimOptions seeded;
    const ChipUid first = seeded.chipUid();
    seeded.seed = 2;
    EXPECT_NE(seeded.chipUid(), first);
    seeded.uid = given;
    EXPECT_EQ(seeded.chipUid(), given);
}

TEST(CommandLine, OptionsMakeTheModule) {
    SimOptions o;
    o.station = 5;
    o.plcCan = true;
    o.presets = {{98, 6666}};
    o.faults = {{FaultKind::BadCrc, 50}};
    o.frozen = true;
    auto module = o.makeModule();
    EXPECT_EQ(module->slave().config().station, 5);
    EXPECT_TRUE(module->slave().config().plcCan);
    EXPECT_EQ(module->model().get(98), 6666);
    EXPECT_TRUE(module->model().isHeld(98));
    EXPECT_DOUBLE_EQ(module->faults().percent(FaultKind::BadCrc), 50.0);
    EXPECT_TRUE(module->model().frozen());
}

}  // namespace
}  // namespace vr7c::sim
