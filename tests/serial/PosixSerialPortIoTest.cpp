#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <string>

#include "PortPath.h"
#include "PosixSerialPortIo.h"
#include "ProcessCpu.h"
#include "PseudoTerminal.h"
#include "ZQ_ComDrv.h"

namespace {

// Runs the event loop for a while, as the user-interface thread would between ticks.
void RunEventLoop(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

class RealPortOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.valid());
        qputenv("VR7C_COM2", QByteArray::fromStdString(pty.slavePath()));
        driver.SetComPort(pnCOM2);
        driver.SetComPortSpeed(br57600);
        driver.SetComPortParity(ptEVEN);
    }
    void TearDown() override { qunsetenv("VR7C_COM2"); }

    PseudoTerminal pty;
    VEVErizEvezad driver;
};

TEST(SerialDevicePath, MapsComNamesThroughTheEnvironmentOrToUsbAdapters) {
    qunsetenv("VR7C_COM7");
    EXPECT_EQ(SerialDevicePath("COM7"), "/dev/ttyUSB6");
    qputenv("VR7C_COM7", "/tmp/vr7c-test-port");
    EXPECT_EQ(SerialDevicePath("COM7"), "/tmp/vr7c-test-port");
    qunsetenv("VR7C_COM7");
    // Anything but COM1 to COM8 names its own device.
    for (const char* own : {"/dev/ttyS3", "COM9", "COM10", "tcp://127.0.0.1:4001"}) {
        EXPECT_EQ(SerialDevicePath(own), QString::fromLatin1(own)) << own;
    }
}

TEST_F(RealPortOnPty, SentBytesReachTheDeviceAndRepliesArriveWithoutAnEventLoop) {
    ASSERT_TRUE(driver.Connect());
    const std::uint8_t request[8] = {1, 3, 0, 0, 0, 0x64, 0x44, 0x21};
    EXPECT_EQ(driver.SendData(request, 8), 8);
    EXPECT_EQ(pty.read(8, 2000), std::vector<std::uint8_t>(request, request + 8));

    driver.RxCount = 0;
    pty.write({9, 8, 7});
    // A direct poll, as the write wait loop makes, must take the bytes in by itself.
    QElapsedTimer t;
    t.start();
    while (driver.RxCount < 3 && t.elapsed() < 2000) {
        driver.PollReceive();
    }
    ASSERT_EQ(driver.RxCount, 3);
    EXPECT_EQ(driver.RxBuffer[0], 9);
    EXPECT_EQ(driver.RxBuffer[2], 7);
}

TEST_F(RealPortOnPty, ReceivedBytesAreReadOnTheDriversPoll_AndAHangUpEndsReading) {
    PosixSerialPortIo port;
    ASSERT_TRUE(port.open("COM2"));
    pty.write({5, 6});
    std::uint8_t buffer[8] = {};
    std::int64_t got = 0;
    QElapsedTimer t;
    t.start();
    while (got == 0 && t.elapsed() < 2000) {
        got = port.read(buffer, 8);
    }
    EXPECT_EQ(got, 2);
    EXPECT_FALSE(port.hungUp());
    pty.close();
    EXPECT_EQ(port.read(buffer, 8), -1);
    EXPECT_TRUE(port.hungUp());
}

TEST_F(RealPortOnPty, PollTimerAccumulatesBytesThroughTheEventLoop) {
    ASSERT_TRUE(driver.Connect());
    driver.RxCount = 0;
    pty.write({1, 2, 3, 4});
    QElapsedTimer t;
    t.start();
    while (driver.RxCount < 4 && t.elapsed() < 2000) {
        RunEventLoop(5);
    }
    EXPECT_EQ(driver.RxCount, 4);
}

TEST_F(RealPortOnPty, QuietLine_PollSleepsUntilBytesArrive) {
    ASSERT_TRUE(driver.Connect());
    RunEventLoop(30);
    EXPECT_FALSE(driver.PollTimerActive());
    driver.RxCount = 0;
    pty.write({7, 8});
    QElapsedTimer t;
    t.start();
    while (driver.RxCount < 2 && t.elapsed() < 2000) {
        RunEventLoop(1);
    }
    EXPECT_EQ(driver.RxCount, 2);
    RunEventLoop(30);
    EXPECT_FALSE(driver.PollTimerActive());
}

TEST_F(RealPortOnPty, SecondOpenOfTheSameDevice_Fails) {
    ASSERT_TRUE(driver.Connect());
    VEVErizEvezad other;
    other.SetComPort(pnCOM2);
    EXPECT_FALSE(other.Connect());
    EXPECT_FALSE(other.Connected());
    EXPECT_EQ(other.LastOpenError(), EBUSY);
    EXPECT_EQ(other.LastOpenBusyOwner(), ::getpid());
    driver.Disconnect();
    EXPECT_TRUE(other.Connect());
}

TEST_F(RealPortOnPty, MissingDevice_FailsToConnect) {
    qputenv("VR7C_COM2", "/dev/vr7c-no-such-device");
    EXPECT_FALSE(driver.Connect());
    EXPECT_FALSE(driver.Connected());
}

TEST_F(RealPortOnPty, ModemLinesUnsupportedByTheDevice_AreCarriedOnPast) {
    driver.SetEnableDTROnOpen(true);
    ASSERT_TRUE(driver.Connect());
    driver.SetDTR(false);
    driver.SetRTS(true);
    driver.SetComPortStopBits(sb1HALFBITS);
    EXPECT_TRUE(driver.Connected());
}

TEST_F(RealPortOnPty, HangUp_NeitherSpinsNorBlocksAndDisconnectStillWorks) {
    ASSERT_TRUE(driver.Connect());
    pty.close();
    RunEventLoop(50);
    const double cpuBefore = ProcessCpuSeconds();
    RunEventLoop(500);
    const double cpuUsed = ProcessCpuSeconds() - cpuBefore;
    // An idle event loop sleeps between the 5 ms polls; a port left spinning on read errors
    // burns the whole half second.
    EXPECT_LT(cpuUsed, 0.25);

    EXPECT_TRUE(driver.Connected());
    driver.RxCount = 0;
    driver.PollReceive();
    EXPECT_EQ(driver.RxCount, 0);
    const std::uint8_t request[2] = {1, 2};
    QElapsedTimer t;
    t.start();
    EXPECT_LE(driver.SendData(request, 2), 0);
    EXPECT_LT(t.elapsed(), 1000);
    driver.Disconnect();
    EXPECT_FALSE(driver.Connected());
}

// The port as other programs see it: its lock file, the reasons a failed open gives, and the
// baud rates it sets.
std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

long DeadProcessId() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST_F(RealPortOnPty, LockFileNamesThisProcessWhileOpen_AndGoesWithCloseOrHangUp) {
    const std::string lock = PosixSerialPortIo::LockFilePath(pty.slavePath());
    EXPECT_EQ(lock, "/var/lock/LCK..pts_" + pty.slavePath().substr(9));
    PosixSerialPortIo port;
    ASSERT_TRUE(port.open("COM2"));
    EXPECT_EQ(std::atol(ReadFile(lock).c_str()), ::getpid());
    port.close();
    EXPECT_FALSE(std::filesystem::exists(lock));
    ASSERT_TRUE(port.open("COM2"));
    pty.close();
    std::uint8_t buffer[4];
    EXPECT_EQ(port.read(buffer, 4), -1);
    EXPECT_FALSE(std::filesystem::exists(lock));
}

struct OpenCase {
    const char* name;
    std::function<std::string(const std::string& slave, const std::string& lock)> prepare;
    int error;           // expected lastOpenError(), 0: the open succeeds
    bool ownerIsParent;  // lastOpenBusyOwner() names the parent process
};

class OpenFailure : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenFailure, GivesItsCause) {
    PseudoTerminal pty;
    const std::string lock = PosixSerialPortIo::LockFilePath(pty.slavePath());
    const std::string device = GetParam().prepare(pty.slavePath(), lock);
    qputenv("VR7C_COM3", QByteArray::fromStdString(device));
    PosixSerialPortIo port;
    EXPECT_EQ(port.open("COM3"), GetParam().error == 0);
    EXPECT_EQ(port.lastOpenError(), GetParam().error);
    EXPECT_EQ(port.lastOpenBusyOwner(), GetParam().ownerIsParent ? ::getppid() : 0);
    port.close();
    std::filesystem::remove(lock);
    qunsetenv("VR7C_COM3");
}

void WriteLock(const std::string& lock, long pid) {
    std::ofstream(lock) << std::setw(10) << pid << "\n";
}

INSTANTIATE_TEST_SUITE_P(
    PosixSerialPortIo, OpenFailure,
    ::testing::Values(
        OpenCase{"NoSuchDevice", [](auto&, auto&) { return "/dev/vr7c-no-such-device"; }, ENOENT,
                 false},
        OpenCase{"NotATerminal", [](auto&, auto&) { return "/dev/null"; }, ENOTTY, false},
        OpenCase{"LockedByALiveProgram",
                 [](auto& slave, auto& lock) {
                     WriteLock(lock, ::getppid());
                     return slave;
                 },
                 EBUSY, true},
        OpenCase{"LockLeftByAProgramThatHasGone",
                 [](auto& slave, auto& lock) {
                     WriteLock(lock, DeadProcessId());
                     return slave;
                 },
                 0, false}),
    [](const auto& param) { return std::string(param.param.name); });

struct BaudCase {
    TComPortBaudRate rate;
    speed_t code;
};

class BaudRateOnPty : public RealPortOnPty, public ::testing::WithParamInterface<BaudCase> {};

TEST_P(BaudRateOnPty, ReachesTheDevice) {
    ASSERT_TRUE(driver.Connect());
    driver.SetComPortSpeed(GetParam().rate);
    EXPECT_EQ(pty.speedCode(), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(DriverRates, BaudRateOnPty,
                         ::testing::Values(BaudCase{br9600, B9600}, BaudCase{br19200, B19200},
                                           BaudCase{br38400, B38400}, BaudCase{br57600, B57600},
                                           BaudCase{br115200, B115200}));

}  // namespace
