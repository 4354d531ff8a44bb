#include "TcpListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

#include "LineEndpoint.h"
#include "SimCrc.h"

namespace vr7c::sim {
namespace {

constexpr std::size_t kHeaderBytes = 7;
constexpr std::uint16_t kMinLength = 2;
constexpr std::uint16_t kMaxLength = 254;
constexpr std::uint8_t kExceptionFlag = 0x80;
constexpr std::uint8_t kGatewayTargetFailed = 0x0B;

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

void noDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

enum class Sink : std::uint8_t { Socket, Line };

// Writes all of it, waiting while the socket or line is full; false when it has gone. A
// socket whose client has gone gives an error, never SIGPIPE.
bool writeAll(int fd, const std::uint8_t* data, std::size_t size, Sink sink) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = sink == Sink::Socket ? ::send(fd, data + done, size - done, MSG_NOSIGNAL)
                                               : ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd state{fd, POLLOUT, 0};
            ::poll(&state, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

std::uint16_t word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

// The length of the RTU answer whose first bytes are these; 0 while it cannot be told yet.
std::size_t rtuAnswerLength(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 2) {
        return 0;
    }
    if (bytes[1] & kExceptionFlag) {
        return 5;
    }
    if (bytes[1] == 0x03 || bytes[1] == 0x04) {
        return bytes.size() < 3 ? 0 : 5 + std::size_t{bytes[2]};
    }
    return 8;  // a write's echo
}

}  // namespace

std::optional<ListenAddress> parseListenAddress(const std::string& text) {
    ListenAddress address;
    std::string host;
    std::string port;
    if (text.starts_with('[')) {
        const auto close = text.find("]:");
        if (close == std::string::npos) {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string::npos) {
            return std::nullopt;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    in6_addr v6{};
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) != 1 &&
        ::inet_pton(AF_INET6, host.c_str(), &v6) != 1) {
        return std::nullopt;
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value > 65535) {
        return std::nullopt;
    }
    address.host = host;
    address.port = static_cast<std::uint16_t>(value);
    return address;
}

bool isLoopback(const std::string& host) {
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return ::inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

TcpListener::TcpListener(Options options) : options_(std::move(options)) {}

TcpListener::~TcpListener() {
    closeLine();
    closeFd(listenFd_);
    closeFd(stopPipe_[0]);
    closeFd(stopPipe_[1]);
}

bool TcpListener::open(std::string* error) {
    auto fail = [&](std::string message) {
        if (error) {
            *error = std::move(message);
        }
        closeFd(listenFd_);
        return false;
    };
    if (::pipe2(stopPipe_, O_NONBLOCK | O_CLOEXEC) != 0) {
        return fail(errnoText("pipe"));
    }
    sockaddr_storage address{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (::inet_pton(AF_INET, options_.address.host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(options_.address.port);
        length = sizeof *v4;
    } else if (::inet_pton(AF_INET6, options_.address.host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(options_.address.port);
        length = sizeof *v6;
    } else {
        return fail(options_.address.host + ": not a numeric address");
    }
    listenFd_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        return fail(errnoText("socket"));
    }
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        return fail(errnoText(("bind " + options_.address.host).c_str()));
    }
    if (::listen(listenFd_, 8) != 0) {
        return fail(errnoText("listen"));
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    port_ = ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&bound)->sin_port
                                             : reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    return true;
}

void TcpListener::requestStop() {
    stop_.store(true);
    if (stopPipe_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto n = ::write(stopPipe_[1], &byte, 1);
    }
}

bool TcpListener::openLine() {
    lineFd_ = ::open(options_.linePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (lineFd_ < 0) {
        return false;
    }
    termios tio{};
    if (::tcgetattr(lineFd_, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD | PARENB;
        if (const auto speed = baudToSpeed(options_.baud)) {
            ::cfsetispeed(&tio, static_cast<speed_t>(*speed));
            ::cfsetospeed(&tio, static_cast<speed_t>(*speed));
        }
        ::tcsetattr(lineFd_, TCSANOW, &tio);
    }
    return true;
}

void TcpListener::closeLine() {
    closeFd(lineFd_);
}

void TcpListener::run() {
    if (listenFd_ < 0) {
        return;
    }
    if (options_.mode == Mode::Raw) {
        serveRaw();
    } else {
        serveGateway();
    }
}

void TcpListener::serveRaw() {
    int client = -1;
    std::array<std::uint8_t, 512> buffer{};
    while (!stop_.load()) {
        std::array<pollfd, 4> fds = {pollfd{stopPipe_[0], POLLIN, 0}, pollfd{listenFd_, POLLIN, 0},
                                     pollfd{client, POLLIN, 0}, pollfd{lineFd_, POLLIN, 0}};
        if (::poll(fds.data(), fds.size(), 250) < 0 && errno != EINTR) {
            break;
        }
        if (stop_.load()) {
            break;
        }
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0 && client < 0 && openLine()) {
                noDelay(fd);
                client = fd;
            } else if (fd >= 0) {
                ::close(fd);  // the line is taken: a serial server has one client per line
            }
            continue;
        }
        bool drop = false;
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(client, buffer.data(), buffer.size(), 0);
            drop = n <= 0 ||
                   !writeAll(lineFd_, buffer.data(), static_cast<std::size_t>(n), Sink::Line);
        }
        if (!drop && (fds[3].revents & POLLIN)) {
            const ssize_t n = ::read(lineFd_, buffer.data(), buffer.size());
            if (n > 0) {
                drop = !writeAll(client, buffer.data(), static_cast<std::size_t>(n), Sink::Socket);
            }
        }
        if (drop) {
            closeFd(client);
            closeLine();
        }
    }
    closeFd(client);
    closeLine();
}

void TcpListener::serveGateway() {
    if (!openLine()) {
        return;
    }
    std::vector<Client> clients;
    while (!stop_.load()) {
        std::vector<pollfd> fds = {pollfd{stopPipe_[0], POLLIN, 0}, pollfd{listenFd_, POLLIN, 0}};
        for (const Client& c : clients) {
            fds.push_back(pollfd{c.fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), 250) < 0 && errno != EINTR) {
            break;
        }
        if (stop_.load()) {
            break;
        }
        if (fds[1].revents & POLLIN) {
            acceptGatewayClient(clients);
        }
        for (std::size_t i = 0; i < fds.size() - 2 && i < clients.size(); ++i) {
            if (!(fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR))) {
                continue;
            }
            Client& c = clients[i];
            std::array<std::uint8_t, 512> buffer{};
            const ssize_t n = ::recv(c.fd, buffer.data(), buffer.size(), 0);
            bool keep = n > 0;
            if (keep) {
                c.in.insert(c.in.end(), buffer.begin(), buffer.begin() + n);
                keep = answerRequests(c);
            }
            if (!keep) {
                closeFd(c.fd);
            }
        }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
    }
    for (Client& c : clients) {
        closeFd(c.fd);
    }
    closeLine();
}

void TcpListener::acceptGatewayClient(std::vector<Client>& clients) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    if (static_cast<int>(clients.size()) >= kMaxGatewayClients) {
        ::close(fd);
        return;
    }
    noDelay(fd);
    clients.push_back(Client{fd, {}});
}

bool TcpListener::answerRequests(Client& client) {
    while (client.in.size() >= kHeaderBytes) {
        const std::uint16_t length = word(client.in, 4);
        if (word(client.in, 2) != 0 || length < kMinLength || length > kMaxLength) {
            return false;  // not Modbus TCP: nothing after this can be framed
        }
        const std::size_t frame = 6 + std::size_t{length};
        if (client.in.size() < frame) {
            return true;
        }
        const std::uint8_t unit = client.in[6];
        std::vector<std::uint8_t> answer =
            askLine(unit, client.in.data() + kHeaderBytes, frame - kHeaderBytes);
        std::vector<std::uint8_t> reply(client.in.begin(), client.in.begin() + 6);
        if (answer.empty()) {
            answer = {static_cast<std::uint8_t>(client.in[7] | kExceptionFlag),
                      kGatewayTargetFailed};
        }
        const auto replyLength = static_cast<std::uint16_t>(answer.size() + 1);
        reply[4] = static_cast<std::uint8_t>(replyLength >> 8);
        reply[5] = static_cast<std::uint8_t>(replyLength);
        reply.push_back(unit);
        reply.insert(reply.end(), answer.begin(), answer.end());
        client.in.erase(client.in.begin(), client.in.begin() + static_cast<std::ptrdiff_t>(frame));
        if (!writeAll(client.fd, reply.data(), reply.size(), Sink::Socket)) {
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> TcpListener::askLine(std::uint8_t unit, const std::uint8_t* pdu,
                                               std::size_t pduBytes) {
    std::vector<std::uint8_t> frame(pduBytes + 1);
    frame[0] = unit;
    std::memcpy(frame.data() + 1, pdu, pduBytes);
    appendCrc(frame);
    ::tcflush(lineFd_, TCIFLUSH);  // an earlier answer that came too late is not this one's
    if (!writeAll(lineFd_, frame.data(), frame.size(), Sink::Line)) {
        return {};
    }
    std::vector<std::uint8_t> answer;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::microseconds(options_.gatewayTimeout);
    for (;;) {
        const std::size_t whole = rtuAnswerLength(answer);
        if (whole != 0 && answer.size() >= whole) {
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd state{lineFd_, POLLIN, 0};
        if (left <= 0 || ::poll(&state, 1, static_cast<int>(left)) <= 0) {
            return {};
        }
        std::array<std::uint8_t, 512> buffer{};
        const ssize_t n = ::read(lineFd_, buffer.data(), buffer.size());
        if (n > 0) {
            answer.insert(answer.end(), buffer.begin(), buffer.begin() + n);
        }
    }
    const std::size_t whole = rtuAnswerLength(answer);
    answer.resize(whole);
    if (answer[0] != unit || !crcMatches(answer)) {
        return {};  // spoilt on the line: the gateway has no answer to give
    }
    // The PDU: without the station address and the CRC.
    return std::vector<std::uint8_t>(answer.begin() + 1, answer.end() - 2);
}

}  // namespace vr7c::sim
