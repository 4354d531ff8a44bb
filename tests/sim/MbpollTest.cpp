// Against a Modbus master nobody here wrote: mbpoll (Debian package mbpoll) reads registers 0 to
// 99 and writes one, and what it sees must be the simulator's state.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "SimRunner.h"

namespace vr7c::sim {
namespace {

// mbpoll's path, or empty when it is not installed.
std::string findMbpoll() {
    const char* pathVariable = std::getenv("PATH");
    std::stringstream dirs(pathVariable ? pathVariable : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/mbpoll";
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

struct MbpollRun {
    int status = -1;
    std::string output;
};

MbpollRun runMbpoll(const std::string& mbpoll, const std::string& args) {
    MbpollRun run;
    const std::string command = mbpoll + " " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return run;
    }
    char buffer[1024];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.output.append(buffer, n);
    }
    run.status = ::pclose(pipe);
    return run;
}

// mbpoll prints one line per register: "[N]: \tV" or "[N]: \tV (signed)".
std::map<int, int> parseRegisters(const std::string& output) {
    std::map<int, int> values;
    static const std::regex line(R"(^\[(\d+)\]:\s+(\d+))");
    std::istringstream in(output);
    std::string text;
    while (std::getline(in, text)) {
        std::smatch m;
        if (std::regex_search(text, m, line)) {
            values[std::stoi(m[1])] = std::stoi(m[2]);
        }
    }
    return values;
}

class Mbpoll : public ::testing::Test {
protected:
    void SetUp() override {
        mbpoll = findMbpoll();
        if (mbpoll.empty()) {
            GTEST_SKIP() << "mbpoll is not installed (Debian package mbpoll: apt-get install "
                            "mbpoll); the test against a foreign Modbus master is skipped";
        }
    }
    // 57600 baud, 8E1, holding registers (-t 4), zero-based references (-0), one poll (-1).
    std::string common(int station = 1) const {
        return "-m rtu -a " + std::to_string(station) + " -b 57600 -P even -t 4 -0 -o 2";
    }
    std::string mbpoll;
};

TEST_F(Mbpoll, ReadsRegisters0To99AsTheSimulatorHasThem) {
    SimRunner runner;
    std::string error;
    ASSERT_TRUE(runner.start(&error)) << error;
    runner.setRegister(98, 6666);

    const MbpollRun run = runMbpoll(mbpoll, common() + " -1 -r 0 -c 100 " + runner.path());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::map<int, int> values = parseRegisters(run.output);
    ASSERT_EQ(values.size(), 100u) << run.output;

    const auto image = runner.lastReadImage();
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(values.count(i)) << "register " << i << " missing\n" << run.output;
        EXPECT_EQ(values.at(i), image[i]) << "register " << i;
    }
    EXPECT_EQ(values.at(11), 150);
    EXPECT_EQ(values.at(97), 1);  // the first read reply
    EXPECT_EQ(values.at(98), 6666);
    EXPECT_EQ(values.at(89), 65521);
    EXPECT_EQ(runner.counters().slave.readRequests, 1u);
}

TEST_F(Mbpoll, WritesOneRegisterWithFunction6) {
    SimRunner runner;
    std::string error;
    ASSERT_TRUE(runner.start(&error)) << error;

    const MbpollRun write = runMbpoll(mbpoll, common() + " -r 40 " + runner.path() + " 555");
    ASSERT_EQ(write.status, 0) << write.output;
    EXPECT_EQ(runner.reg(40), 555);
    const auto writes = runner.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].reg, 40);
    EXPECT_EQ(writes[0].value, 555);
    EXPECT_EQ(runner.counters().slave.writeRequests, 1u);

    const MbpollRun read = runMbpoll(mbpoll, common() + " -1 -r 40 -c 1 " + runner.path());
    ASSERT_EQ(read.status, 0) << read.output;
    EXPECT_EQ(parseRegisters(read.output).at(40), 555);
}

TEST_F(Mbpoll, ReadsTheBridgeAddresses2200To2299InPlcCanMode) {
    SimOptions options;
    options.plcCan = true;
    options.station = 3;
    SimRunner runner(options);
    std::string error;
    ASSERT_TRUE(runner.start(&error)) << error;

    const MbpollRun run = runMbpoll(mbpoll, common(3) + " -1 -r 2200 -c 100 " + runner.path());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::map<int, int> values = parseRegisters(run.output);
    ASSERT_EQ(values.size(), 100u) << run.output;
    const auto image = runner.lastReadImage();
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(values.at(2200 + i), image[i]) << "register " << i;
    }
}

TEST_F(Mbpoll, OutOfRangeReadIsRefusedAsIllegalDataAddress) {
    SimRunner runner;
    std::string error;
    ASSERT_TRUE(runner.start(&error)) << error;
    const MbpollRun run = runMbpoll(mbpoll, common() + " -1 -r 95 -c 10 " + runner.path());
    EXPECT_NE(run.output.find("Illegal data address"), std::string::npos) << run.output;
    EXPECT_EQ(runner.counters().slave.exceptionReplies, 1u);
}

TEST_F(Mbpoll, ReadsAndWritesOverModbusTcpWithTheStationAsUnitId) {
    SimOptions options;
    options.station = 3;
    options.modbusTcp = ListenAddress{"127.0.0.1", 0};
    SimRunner runner(options);
    std::string error;
    ASSERT_TRUE(runner.start(&error)) << error;
    const std::string tcp = "-m tcp -t 4 -0 -1 -p " + std::to_string(runner.tcpPort()) + " ";

    const MbpollRun write = runMbpoll(mbpoll, tcp + "-a 3 -r 40 127.0.0.1 555");
    ASSERT_EQ(write.status, 0) << write.output;
    const MbpollRun run = runMbpoll(mbpoll, tcp + "-a 3 -r 0 -c 100 127.0.0.1");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::map<int, int> values = parseRegisters(run.output);
    ASSERT_EQ(values.size(), 100u) << run.output;
    const auto image = runner.lastReadImage();
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(values.at(i), image[i]) << "register " << i;
    }
    EXPECT_EQ(values.at(40), 555);
    // Another unit behind the gateway does not answer.
    const MbpollRun other = runMbpoll(mbpoll, tcp + "-a 4 -r 11 -c 1 127.0.0.1");
    EXPECT_NE(other.output.find("Target device failed to respond"), std::string::npos)
        << other.output;
}

}  // namespace
}  // namespace vr7c::sim
