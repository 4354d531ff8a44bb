// Network lines against real peers on loopback: ser2net (raw and RFC 2217) in front of the
// simulator's pseudo-terminal, driven through the serial driver as the console drives it; a
// libmodbus Modbus TCP server; the simulator's own Modbus TCP gateway.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "LinePortIo.h"
#include "LoopbackPort.h"
#include "ModbusTcpFrame.h"
#include "SimCrc.h"
#include "SimRunner.h"
#include "Stm32Bootloader.h"
#include "TestLink.h"
#include "ZQ_ComDrv.h"

namespace vr7c::net {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Whether something listens on the loopback port, read from the kernel's socket table rather
// than by connecting: a connection to ser2net opens the device and, when it goes, puts back the
// terminal settings it found, which could land after the next client's had been set.
bool Listening(std::uint16_t port) {
    char local[16];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    for (int i = 0; i < 300; ++i) {
        std::ifstream table("/proc/net/tcp");
        std::string line;
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string slot, address, remote, state;
            fields >> slot >> address >> remote >> state;
            if (address == local && state == "0A") {  // 0A: LISTEN
                return true;
            }
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// A program run for one test and ended with it.
class Peer {
public:
    ~Peer() {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(2000)) {
                process.kill();
                process.waitForFinished(2000);
            }
        }
    }
    QProcess process;
};

// ser2net on its own configuration, as a user wanting low latency sets it up.
class Ser2net : public Peer {
public:
    bool start(const std::string& device, bool rfc2217) {
        port = FreeLoopbackPort();
        const std::string conf = dir.filePath("ser2net.yaml").toStdString();
        std::ofstream(conf) << "connection: &line\n  accepter: "
                            << (rfc2217 ? "telnet(rfc2217),tcp(nodelay)" : "tcp(nodelay)")
                            << ",127.0.0.1," << port << "\n  connector: serialdev," << device
                            << ",57600e81,local\n  options:\n    chardelay: false\n";
        process.start("ser2net", {"-d", "-u", "-c", QString::fromStdString(conf), "-P",
                                  dir.filePath("ser2net.pid")});
        return process.waitForStarted(3000) && Listening(port);
    }
    QTemporaryDir dir;
    std::uint16_t port = 0;
};

Bytes RtuRequest(std::uint8_t function, std::uint16_t a, std::uint16_t b) {
    Bytes frame{1,
                function,
                static_cast<std::uint8_t>(a >> 8),
                static_cast<std::uint8_t>(a),
                static_cast<std::uint8_t>(b >> 8),
                static_cast<std::uint8_t>(b)};
    sim::appendCrc(frame);
    return frame;
}

// Sends through the driver and waits until `count` bytes have accumulated.
Bytes Exchange(VEVErizEvezad& driver, const Bytes& request, std::size_t count) {
    driver.RxCount = 0;
    driver.SendData(request.data(), static_cast<std::int32_t>(request.size()));
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (driver.RxCount < count && !driver.PortHungUp() &&
           std::chrono::steady_clock::now() < deadline) {
        driver.WaitReceive(20);
    }
    return Bytes(driver.RxBuffer, driver.RxBuffer + driver.RxCount);
}

// vr7c run to its end: its exit code, its standard error added to *err.
int Vr7c(const QStringList& args, std::string* err) {
    QProcess process;
    process.start(VR7C_PATH, args);
    process.waitForFinished(120'000);
    *err += process.readAllStandardError().toStdString();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

sim::SimOptions WithBootloader() {
    sim::SimOptions options;
    options.bootloaderFactory = [] { return std::make_unique<sim::Stm32Bootloader>(); };
    return options;
}

class Ser2netLine : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.start());
        if (!ser2net.start(sim.path(), GetParam())) {
            GTEST_SKIP() << "ser2net did not start (Debian package ser2net)";
        }
        url = std::string(GetParam() ? "rfc2217" : "tcp") +
              "://127.0.0.1:" + std::to_string(ser2net.port);
        qputenv("VR7C_COM4", QByteArray::fromStdString(url));
        driver.SetComPort(pnCOM4);
        driver.SetComPortSpeed(br57600);
        driver.SetComPortParity(ptEVEN);
    }
    void TearDown() override { qunsetenv("VR7C_COM4"); }

    sim::SimRunner sim{WithBootloader()};
    Ser2net ser2net;
    std::string url;
    VEVErizEvezad driver{nullptr, std::make_unique<LinePortIo>()};
};

TEST_P(Ser2netLine, PollsAndWritesTheSimulatorAndSeesTheServerGo) {
    ASSERT_TRUE(driver.Connect()) << driver.LastOpenError();
    const Bytes reply = Exchange(driver, RtuRequest(3, 0, 100), 205);
    ASSERT_EQ(reply.size(), 205u);
    EXPECT_TRUE(sim::crcMatches(reply));
    const auto image = sim.lastReadImage();
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(reply[3 + 2 * i] << 8 | reply[4 + 2 * i], image[i]) << i;
    }
    // 0xFFFF: both bytes are telnet's IAC on an RFC 2217 line, doubled there and back.
    const Bytes write = RtuRequest(6, 30, 0xFFFF);
    EXPECT_EQ(Exchange(driver, write, 8), write);
    ASSERT_FALSE(sim.writes().empty());
    EXPECT_EQ(sim.writes().back().reg, 30);
    EXPECT_EQ(sim.writes().back().value, 0xFFFF);

    // The server goes away: the port says so, as an unplugged adapter does.
    ser2net.process.kill();
    ser2net.process.waitForFinished(2000);
    Exchange(driver, RtuRequest(3, 0, 100), 205);
    EXPECT_TRUE(driver.PortHungUp());
}

TEST_P(Ser2netLine, LineRateFollowsTheDriverOnlyThroughRfc2217) {
    ASSERT_TRUE(driver.Connect());
    ASSERT_EQ(Exchange(driver, RtuRequest(3, 0, 10), 25).size(), 25u);
    // The module answers at its own rate only: through RFC 2217 the new rate reaches its line
    // and it stays silent; on a raw line the server's rate stands and it answers on.
    driver.SetComPortSpeed(br19200);
    const Bytes reply = Exchange(driver, RtuRequest(3, 0, 10), 25);
    EXPECT_EQ(sim.baud(), GetParam() ? 19200u : 57600u);
    EXPECT_EQ(reply.size(), GetParam() ? 0u : 25u);
}

// The configuration block goes back as the console's panel commits it: 84 to 95, then the marker.
TEST_P(Ser2netLine, CommitsTheConfigurationBlockWithItsMarker) {
    QTemporaryDir dir;
    const QString profile = dir.filePath("block.json");
    const QStringList line = {"--port", QString::fromStdString(url), "--baud", "57600"};
    std::string err;
    ASSERT_EQ(Vr7c(QStringList{"config", "save", profile} + line, &err), 0) << err;
    const std::uint16_t saved = sim.reg(93);
    sim.writeRegister(93, static_cast<std::uint16_t>(saved + 1));
    sim.clearWrites();
    ASSERT_EQ(Vr7c(QStringList{"config", "apply", profile} + line, &err), 0) << err;
    std::vector<int> written;  // a write sent again (its echo late under load) counts once
    for (const sim::RegisterWrite& w : sim.writes()) {
        if (written.empty() || written.back() != w.reg) {
            written.push_back(w.reg);
        }
    }
    EXPECT_EQ(written, (std::vector<int>{84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96}));
    EXPECT_EQ(sim.writes().back().value, 59881);
    EXPECT_EQ(sim.reg(93), saved);
}

// A flash verified by reading it back: through RFC 2217 at the bootloader's 115200; a raw line
// keeps the server's 57600, at which the bootloader (rate taken from the sync byte) answers too.
TEST_P(Ser2netLine, FlashesAndVerifies) {
    std::string err;
    EXPECT_EQ(Vr7c({"flash", "--verify", "--port", QString::fromStdString(url)}, &err), 0) << err;
}

INSTANTIATE_TEST_SUITE_P(RawAndRfc2217, Ser2netLine, ::testing::Values(false, true),
                         [](const auto& row) { return row.param ? "Rfc2217" : "Raw"; });

// Sends an MBAP request on a modbus-tcp line and judges what comes back.
MbapJudgement AskMbap(NetPortIo& port, std::uint16_t transaction, std::uint8_t unit,
                      const Bytes& pdu, std::size_t replyPdu, Bytes* received) {
    Bytes frame;
    BuildMbapFrame(transaction, unit, pdu, frame);
    port.write(frame.data(), static_cast<std::int64_t>(frame.size()));
    received->clear();
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    MbapJudgement j;
    while (std::chrono::steady_clock::now() < deadline && !port.hungUp()) {
        port.waitForInput(20);
        std::uint8_t buffer[512];
        const std::int64_t n = port.read(buffer, sizeof buffer);
        if (n > 0) {
            received->insert(received->end(), buffer, buffer + n);
        }
        j = JudgeMbapReply(*received, transaction, unit, pdu[0], replyPdu);
        if (j.verdict != MbapVerdict::Incomplete) {
            break;
        }
    }
    return j;
}

// The libmodbus server answering `unit`; gives its port, 0 when it did not start.
int StartLibmodbusServer(Peer& peer, int unit) {
    peer.process.start(VR7C_MODBUS_TCP_PEER, {QString::number(unit)});
    return peer.process.waitForReadyRead(3000) ? peer.process.readLine().trimmed().toInt() : 0;
}

TEST(ModbusTcpPeers, LibmodbusServerAnswersItsUnitAndRefusesOthersAsAGateway) {
    Peer peer;
    const int port = StartLibmodbusServer(peer, 5);
    ASSERT_GT(port, 0);
    NetPortIo line;
    ASSERT_TRUE(line.open(("modbus-tcp://127.0.0.1:" + std::to_string(port)).c_str()));
    Bytes received;
    MbapJudgement j = AskMbap(line, 1, 5, {3, 0, 0, 0, 100}, 202, &received);
    ASSERT_EQ(j.verdict, MbapVerdict::Good);
    EXPECT_EQ(j.pdu[1], 200);
    EXPECT_EQ(j.pdu[2] << 8 | j.pdu[3], 1000);
    EXPECT_EQ(j.pdu[200] << 8 | j.pdu[201], 1099);
    EXPECT_EQ(AskMbap(line, 2, 5, {6, 0, 7, 0x12, 0x34}, 5, &received).verdict, MbapVerdict::Good);
    j = AskMbap(line, 3, 5, {3, 0, 7, 0, 1}, 4, &received);
    EXPECT_EQ(j.pdu[2] << 8 | j.pdu[3], 0x1234);
    j = AskMbap(line, 4, 6, {3, 0, 0, 0, 1}, 4, &received);
    EXPECT_EQ(j.verdict, MbapVerdict::Exception);
    EXPECT_EQ(j.exceptionCode, kGatewayTargetFailed);
}

TEST(ModbusTcpPeers, SimulatorGatewayAnswersTheStationAndDropsAClientThatIsNotModbusTcp) {
    sim::SimOptions options;
    options.station = 3;
    options.modbusTcp = sim::ListenAddress{"127.0.0.1", 0};
    sim::SimRunner sim(options);
    ASSERT_TRUE(sim.start());
    const std::string url = "modbus-tcp://127.0.0.1:" + std::to_string(sim.tcpPort());
    NetPortIo line;
    ASSERT_TRUE(line.open(url.c_str()));
    Bytes received;
    MbapJudgement j = AskMbap(line, 0xFFFF, 3, {3, 0, 0, 0, 100}, 202, &received);
    ASSERT_EQ(j.verdict, MbapVerdict::Good);
    const auto image = sim.lastReadImage();
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(j.pdu[2 + 2 * i] << 8 | j.pdu[3 + 2 * i], image[i]) << i;
    }
    EXPECT_EQ(AskMbap(line, 0, 3, {6, 0, 40, 0, 77}, 5, &received).verdict, MbapVerdict::Good);
    EXPECT_EQ(sim.reg(40), 77);
    EXPECT_EQ(AskMbap(line, 1, 3, {3, 0, 95, 0, 10}, 21, &received).exceptionCode, 2);
    EXPECT_EQ(AskMbap(line, 2, 9, {3, 0, 0, 0, 1}, 4, &received).exceptionCode,
              kGatewayTargetFailed);

    // A header with length 0 cannot be framed: the gateway lets that client go.
    const Bytes junk{0, 1, 0, 0, 0, 0, 3, 3, 0, 0};
    line.write(junk.data(), static_cast<std::int64_t>(junk.size()));
    std::uint8_t buffer[16];
    for (int i = 0; i < 200 && !line.hungUp(); ++i) {
        line.waitForInput(10);
        line.read(buffer, sizeof buffer);
    }
    EXPECT_TRUE(line.hungUp());
    NetPortIo again;
    EXPECT_TRUE(again.open(url.c_str()));  // others are served on
}

// The console's master on a modbus-tcp line: one poll as the polling cycle makes it.
bool Poll(TestLink& link) {
    link.master.SendReadRequest(0, 100, 3);
    QElapsedTimer elapsed;
    elapsed.start();
    while (!link.master.TakeReadReply(0)) {
        if (elapsed.elapsed() > 3000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

TEST(ModbusTcpPeers, MasterPollsAndWritesLibmodbusAndKeepsItsGatewayException) {
    Peer peer;
    const int port = StartLibmodbusServer(peer, 5);
    ASSERT_GT(port, 0);
    TestLink link(std::make_unique<LinePortIo>());
    link.station = 5;
    ASSERT_TRUE(link.driver.Open("modbus-tcp://127.0.0.1:" + std::to_string(port), br57600));
    ASSERT_TRUE(link.driver.ModbusTcpLine());
    ASSERT_TRUE(Poll(link));
    EXPECT_EQ(link.RegisterImage[0], 1000);
    EXPECT_EQ(link.RegisterImage[99], 1099);
    EXPECT_TRUE(link.master.WriteRegister(7, 0x1234));
    ASSERT_TRUE(Poll(link));
    EXPECT_EQ(link.RegisterImage[7], 0x1234);
    link.station = 6;
    EXPECT_FALSE(link.master.WriteRegister(7, 1));
    EXPECT_EQ(link.master.LastException(), kGatewayTargetFailed);
    EXPECT_FALSE(Poll(link));
}

}  // namespace
}  // namespace vr7c::net
