// The simulator in-process on a real pseudo-terminal, driven by a plain termios client.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "SimCrc.h"
#include "SimRunner.h"
#include "SimTestSupport.h"

namespace vr7c::sim::test {
namespace {

using namespace std::chrono_literals;

constexpr Micros kSecond = kMicrosPerSecond;

Micros processCpuTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<Micros>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * kSecond +
           usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
}

class PseudoTerminal : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(runner.start(&error)) << error;
    }
    SimRunner runner;
    ClientPort client;
};

TEST_F(PseudoTerminal, PathIsAPseudoTerminalSlave) {
    EXPECT_TRUE(runner.running());
    EXPECT_EQ(runner.path().rfind("/dev/pts/", 0), 0u) << runner.path();
    EXPECT_EQ(::access(runner.path().c_str(), R_OK | W_OK), 0);
}

TEST_F(PseudoTerminal, ReadIsAnsweredWithAPacedReplyEqualToTheSimulatorsImage) {
    ASSERT_TRUE(client.open(runner.path(), 57600));
    const Micros sent = monotonicNow();
    ASSERT_TRUE(client.write(readRequest(1, 0, 100)));
    const Bytes first = client.read(1, 2 * kSecond);
    const Micros firstAt = monotonicNow();
    Bytes reply = first;
    const Bytes rest = client.read(204, 2 * kSecond);
    const Micros lastAt = monotonicNow();
    reply.insert(reply.end(), rest.begin(), rest.end());

    ASSERT_EQ(reply.size(), 205u);
    EXPECT_TRUE(crcMatches(reply));
    // Never early: the first byte needs 3.75 ms of silence and latency plus its own 0.19 ms,
    // the whole reply 39.15 ms of wire time at 57600 baud, 8E1, on top. (The gap between the
    // first and the last byte seen is not tested: a late reader sees them closer together.)
    EXPECT_GE(firstAt - sent, 3'750 + 191);
    EXPECT_GE(lastAt - sent, 3'750 + 39'150);
    EXPECT_LT(lastAt - sent, 500'000);  // generous: a loaded machine

    const auto image = runner.lastReadImage();
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(reply[3 + 2 * i] << 8 | reply[4 + 2 * i], image[i]) << "register " << i;
    }
    EXPECT_EQ(image[97], 1);
    EXPECT_EQ(runner.baud(), 57600u);
    const SimCounters counters = runner.counters();
    EXPECT_EQ(counters.requestsSeen(), 1u);
    EXPECT_EQ(counters.repliesSent(), 1u);
}

TEST_F(PseudoTerminal, PacingFollowsTheBaudRateTheClientSet) {
    runner.writeRegister(92, 0);  // the module's rate becomes 9600 with the commit
    runner.writeRegister(96, 59881);
    ASSERT_TRUE(client.open(runner.path(), 9600));
    const Micros sent = monotonicNow();
    ASSERT_TRUE(client.write(readRequest(1, 0, 100)));
    const Bytes reply = client.read(205, 3 * kSecond);
    const Micros lastAt = monotonicNow();
    ASSERT_EQ(reply.size(), 205u);
    EXPECT_EQ(runner.baud(), 9600u);
    EXPECT_GE(lastAt - sent, 4'011 + 2'000 + 234'896);  // 205 bytes at 9600 baud: 235 ms
    EXPECT_LT(lastAt - sent, 1'000'000);
}

TEST_F(PseudoTerminal, WriteIsEchoedAndChangesTheRegister) {
    ASSERT_TRUE(client.open(runner.path(), 57600));
    const Bytes request = writeRequest(1, 33, 4321);
    ASSERT_TRUE(client.write(request));
    EXPECT_EQ(hex(client.read(8, 2 * kSecond)), hex(request));
    EXPECT_EQ(runner.reg(33), 4321);
    const auto writes = runner.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].reg, 33);
    EXPECT_EQ(writes[0].value, 4321);
}

TEST_F(PseudoTerminal, RegistersSetFromTheTestAreRead) {
    runner.setRegister(98, 6666);
    runner.setPlcCan(true);
    ASSERT_TRUE(client.open(runner.path(), 57600));
    ASSERT_TRUE(client.write(readRequest(1, 2298, 1)));
    EXPECT_EQ(hex(client.read(7, 2 * kSecond)), hex(withCrc({1, 3, 2, 0x1A, 0x0A})));
}

TEST_F(PseudoTerminal, ForcedFaultsAreCounted) {
    runner.forceFault(FaultKind::Drop, 1);
    ASSERT_TRUE(client.open(runner.path(), 57600));
    ASSERT_TRUE(client.write(readRequest(1, 0, 1)));
    EXPECT_TRUE(runner.waitForRequests(1, 2s));
    EXPECT_TRUE(client.readFor(100'000).empty());
    EXPECT_EQ(runner.counters().faultsInjected(FaultKind::Drop), 1u);
    EXPECT_EQ(runner.counters().faultsInjected(), 1u);
    ASSERT_TRUE(client.write(readRequest(1, 0, 1)));
    EXPECT_EQ(client.read(7, 2 * kSecond).size(), 7u);
}

TEST_F(PseudoTerminal, SurvivesTheClientClosingAndReopeningWithoutSpinning) {
    ASSERT_TRUE(client.open(runner.path(), 57600));
    ASSERT_TRUE(client.write(readRequest(1, 0, 100)));
    EXPECT_EQ(client.read(205, 2 * kSecond).size(), 205u);

    // Close in the middle of a reply: the rest must not reach the next client.
    ASSERT_TRUE(client.write(readRequest(1, 0, 100)));
    EXPECT_EQ(client.read(20, 2 * kSecond).size(), 20u);
    client.close();
    const Micros cpuBefore = processCpuTime();
    std::this_thread::sleep_for(500ms);
    const Micros cpuUsed = processCpuTime() - cpuBefore;
    EXPECT_TRUE(runner.hungUp());
    EXPECT_LT(cpuUsed, 100'000) << "the line thread spins while the client is away";

    ASSERT_TRUE(client.open(runner.path(), 57600));
    EXPECT_TRUE(client.readFor(100'000).empty()) << "stale bytes from before the hang-up";
    ASSERT_TRUE(client.write(readRequest(1, 11, 1)));
    EXPECT_EQ(hex(client.read(7, 2 * kSecond)), hex(withCrc({1, 3, 2, 0, 150})));
    EXPECT_FALSE(runner.hungUp());
}

TEST_F(PseudoTerminal, StopIsCleanAndTheDeviceGoesAway) {
    ASSERT_TRUE(client.open(runner.path(), 57600));
    const std::string path = runner.path();
    runner.stop();
    EXPECT_FALSE(runner.running());
    runner.stop();                             // twice is fine
    (void)client.write(readRequest(1, 0, 1));  // the line is gone; nothing may come back
    EXPECT_TRUE(client.readFor(50'000).empty());
}

TEST(PseudoTerminalLink, LinkIsMadeAndRemoved) {
    const std::string link = ::testing::TempDir() + "vr7c-sim-link-" + std::to_string(::getpid());
    SimOptions options;
    options.link = link;
    {
        SimRunner runner(options);
        std::string error;
        ASSERT_TRUE(runner.start(&error)) << error;
        char target[256] = {};
        ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(std::string(target), runner.path());
        ClientPort client;
        ASSERT_TRUE(client.open(link, 57600));
        ASSERT_TRUE(client.write(readRequest(1, 11, 1)));
        EXPECT_EQ(client.read(7, 2 * kSecond).size(), 7u);
    }
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0) << "link left behind";
}

TEST(PseudoTerminalLink, ExistingFileIsNotReplaced) {
    const std::string path = ::testing::TempDir() + "vr7c-sim-file-" + std::to_string(::getpid());
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    SimOptions options;
    options.link = path;
    SimRunner runner(options);
    std::string error;
    EXPECT_FALSE(runner.start(&error));
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
    ::unlink(path.c_str());
}

}  // namespace
}  // namespace vr7c::sim::test
