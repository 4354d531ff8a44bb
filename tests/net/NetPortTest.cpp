// The network port against scripted servers on loopback: connect failures with their causes,
// replies in pieces, a server that goes away mid-reply, and the telnet side of RFC 2217.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "NetPortIo.h"

namespace vr7c::net {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

int ListenOnLoopback(int backlog, std::uint16_t* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd, backlog) != 0) {
        ::close(fd);
        return -1;
    }
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

// Reads what the client sends within `ms`, until `count` bytes have come.
Bytes ReadFrom(int fd, std::size_t count, int ms = 2000) {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd state{fd, POLLIN, 0};
        if (::poll(&state, 1, 20) > 0) {
            std::uint8_t buffer[512];
            const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, count - got.size()), 0);
            if (n <= 0) {
                break;
            }
            got.insert(got.end(), buffer, buffer + n);
        }
    }
    return got;
}

void Send(int fd, const Bytes& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

// One client at a time on a loopback port, served by `script` on a thread of its own.
class ScriptedServer {
public:
    explicit ScriptedServer(std::function<void(int client)> script) {
        listenFd_ = ListenOnLoopback(4, &port_);
        thread_ = std::thread([this, script] {
            const int client = ::accept(listenFd_, nullptr, nullptr);
            if (client >= 0) {
                const int on = 1;
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                script(client);
                ::close(client);
            }
        });
    }
    ~ScriptedServer() {
        ::shutdown(listenFd_, SHUT_RDWR);
        thread_.join();
        ::close(listenFd_);
    }
    std::string url(const char* scheme = "tcp") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
    }

private:
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// Reads from the port until `count` bytes have come, the port hangs up or `ms` pass.
Bytes ReadPort(NetPortIo& port, std::size_t count, std::uint32_t ms = 2000) {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < count && !port.hungUp() && std::chrono::steady_clock::now() < deadline) {
        port.waitForInput(20);
        std::uint8_t buffer[1024];
        const std::int64_t n = port.read(buffer, sizeof buffer);
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
        }
    }
    return got;
}

TEST(NetPortTest, ConnectFailuresSayWhy) {
    std::uint16_t closedPort = 0;
    ::close(ListenOnLoopback(1, &closedPort));

    // A listener whose queue is full drops further connection requests unanswered.
    std::uint16_t fullPort = 0;
    const int full = ListenOnLoopback(0, &fullPort);
    std::vector<std::unique_ptr<NetPortIo>> fillers;
    for (int i = 0; i < 2; ++i) {
        fillers.push_back(std::make_unique<NetPortIo>(NetPortIo::Options{200ms, SystemResolve}));
        fillers.back()->open(("tcp://127.0.0.1:" + std::to_string(fullPort)).c_str());
    }

    const Resolver unknown = [](const std::string&, std::uint16_t, ConnectFailure* failure) {
        *failure = ConnectFailure::NameNotFound;
        return std::vector<ResolvedAddress>{};
    };
    const Resolver hanging = [](const std::string&, std::uint16_t, ConnectFailure*) {
        std::this_thread::sleep_for(2s);
        return std::vector<ResolvedAddress>{};
    };
    struct Row {
        const char* name;
        std::string url;
        Resolver resolver;
        ConnectFailure failure;
        int error;
    };
    const Row rows[] = {
        {"nobody listens", "tcp://127.0.0.1:" + std::to_string(closedPort), SystemResolve,
         ConnectFailure::Refused, ECONNREFUSED},
        {"no answer to the connection request", "rfc2217://127.0.0.1:" + std::to_string(fullPort),
         SystemResolve, ConnectFailure::TimedOut, ETIMEDOUT},
        {"the name is not known", "tcp://serial-server-7:4001", unknown,
         ConnectFailure::NameNotFound, ENXIO},
        {"the name server does not answer", "modbus-tcp://serial-server-7", hanging,
         ConnectFailure::TimedOut, ETIMEDOUT},
        {"not a network line", "/dev/ttyUSB0", SystemResolve, ConnectFailure::Other, EINVAL},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        NetPortIo port({300ms, row.resolver});
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(port.open(row.url.c_str()));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);  // the limit, not 2 s
        EXPECT_EQ(port.lastOpenError(), row.error);
        EXPECT_EQ(port.lastConnectFailure(), row.failure);
        EXPECT_FALSE(port.isOpen());
    }
    ::close(full);
}

TEST(NetPortTest, RawLineTakesAReplyInPiecesAndSeesTheServerGoMidReply) {
    Bytes reply(205);
    for (std::size_t i = 0; i < reply.size(); ++i) {
        reply[i] = static_cast<std::uint8_t>(i * 7);
    }
    ScriptedServer server([&](int client) {
        const Bytes request = ReadFrom(client, 8);
        Send(client, request);  // an echo, then the reply a byte per segment
        for (const std::uint8_t b : reply) {
            Send(client, Bytes{b});
        }
        ReadFrom(client, 1);  // the next request: half an answer, then the server goes
        Send(client, Bytes{1, 3, 200});
    });
    NetPortIo port;
    ASSERT_TRUE(port.open(("TCP://localhost:" + server.url().substr(16)).c_str()));
    EXPECT_TRUE(port.setLineSettings(LineSettings{}));  // the server's settings stand
    EXPECT_TRUE(port.changeModemLine(ModemLineChange::SetDtr));
    const Bytes request{1, 3, 0, 0, 0, 100, 0x44, 0x21};
    ASSERT_EQ(port.write(request.data(), 8), 8);
    Bytes expected = request;
    expected.insert(expected.end(), reply.begin(), reply.end());
    EXPECT_EQ(ReadPort(port, expected.size()), expected);
    EXPECT_FALSE(port.waitForInput(30));  // the server says nothing until asked
    EXPECT_FALSE(port.hungUp());

    ASSERT_EQ(port.write(request.data(), 8), 8);
    EXPECT_EQ(ReadPort(port, 10), (Bytes{1, 3, 200}));
    EXPECT_TRUE(port.hungUp());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.write(request.data(), 8), -1);
    std::uint8_t buffer[8];
    EXPECT_EQ(port.read(buffer, 8), -1);
}

TEST(NetPortTest, Rfc2217LineNegotiatesSendsSettingsAndPassesDataWithTelnetTakenOut) {
    constexpr std::uint8_t IAC = 255, SB = 250, SE = 240, CPO = 44;
    Bytes fromClient;
    {
        ScriptedServer server([&](int client) {
            Send(client, {IAC, telnet::kDo, CPO, IAC, telnet::kWill, 1});
            fromClient = ReadFrom(client, 15 + 3);  // the client's offers and its answer
            // Line settings (baud 9600, 8, even, 1, no flow, DTR off, RTS off) and a purge.
            Bytes settings = ReadFrom(client, 10 + 6 * 7 + 7);
            fromClient.insert(fromClient.end(), settings.begin(), settings.end());
            Send(client, {IAC, SB,  CPO,  101, 0,  0,   0x25, 0x80, IAC, SE, 0x01,
                          IAC, IAC, 0x02, IAC, SB, CPO, 107,  0x30, IAC, SE, 0x03});
            const Bytes data = ReadFrom(client, 3);
            fromClient.insert(fromClient.end(), data.begin(), data.end());
            ReadFrom(client, 1, 500);
        });
        NetPortIo port;
        ASSERT_TRUE(port.open(server.url("rfc2217").c_str()));
        LineSettings settings;
        settings.baudRate = 9600;
        settings.parity = 2;
        ASSERT_TRUE(port.setLineSettings(settings));
        ASSERT_TRUE(port.purge(kPurgeRxClear | kPurgeTxClear));
        EXPECT_EQ(ReadPort(port, 4), (Bytes{0x01, IAC, 0x02, 0x03}));
        const Bytes data{IAC, 0x7F};
        ASSERT_EQ(port.write(data.data(), 2), 2);
        EXPECT_TRUE(port.telnet().setting(comport::kSetBaudRate).confirmed());
        EXPECT_EQ(port.telnet().modemState(), 0x30);
        port.close();
    }  // the server has read all the client sent

    const Bytes expected{
        IAC, 251, 0,   IAC, 253, 0,  IAC,  251,  3,   IAC, 253, 3,   IAC, 251, CPO,  // offers
        IAC, 254, 1,                                                                 // no echo
        IAC, SB,  CPO, 1,   0,   0,  0x25, 0x80, IAC, SE,  IAC, SB,  CPO, 2,   8,   IAC,
        SE,  IAC, SB,  CPO, 3,   3,  IAC,  SE,   IAC, SB,  CPO, 4,   1,   IAC, SE,  IAC,
        SB,  CPO, 5,   1,   IAC, SE, IAC,  SB,   CPO, 5,   9,   IAC, SE,  IAC, SB,  CPO,
        5,   12,  IAC, SE,  IAC, SB, CPO,  12,   3,   IAC, SE,  IAC, IAC, 0x7F};  // the data, its
                                                                                  // 255 doubled
    EXPECT_EQ(fromClient, expected);
}

TEST(NetPortTest, ServerWithoutComPortControlIsRefusedAtOpen) {
    ScriptedServer server([](int client) {
        Send(client, {255, telnet::kDont, 44});
        ReadFrom(client, 100, 300);
    });
    NetPortIo port;
    EXPECT_FALSE(port.open(server.url("rfc2217").c_str()));
    EXPECT_TRUE(port.comPortRefused());
    EXPECT_EQ(port.lastOpenError(), EPROTONOSUPPORT);
}

}  // namespace
}  // namespace vr7c::net
