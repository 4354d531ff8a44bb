#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <sys/socket.h>

namespace vr7c::net {

// Why a connection did not come about.
enum class ConnectFailure : std::uint8_t {
    None,
    Refused,       // the host answered that nobody listens on the port
    NoRoute,       // the host or its network cannot be reached
    NameNotFound,  // the host name is not known
    TimedOut,      // no answer within the connect time
    Other,
};

// The English words for a failure, for the command line and logs ("connection refused").
const char* ConnectFailureText(ConnectFailure failure);
// The failure a system error number stands for (ECONNREFUSED, EHOSTUNREACH, ...).
ConnectFailure ConnectFailureOf(int error);
// The system error number a port reports for a failure (see SerialPortIo::lastOpenError):
// ECONNREFUSED, EHOSTUNREACH, ETIMEDOUT, and ENXIO (no such address) for an unknown name.
int ErrorNumberOf(ConnectFailure failure);

// One address a name resolved to.
struct ResolvedAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
};

// Turns a host name and port into addresses; empty with `failure` set when it cannot.
// May block (the system resolver asks the name servers); TcpConnect runs it on a thread of
// its own so that a hanging name server costs no more than the connect time.
using Resolver = std::function<std::vector<ResolvedAddress>(
    const std::string& host, std::uint16_t port, ConnectFailure* failure)>;
std::vector<ResolvedAddress> SystemResolve(const std::string& host, std::uint16_t port,
                                           ConnectFailure* failure);

inline constexpr std::chrono::milliseconds kConnectTimeLimit{3000};

struct ConnectResult {
    int fd = -1;  // a connected, non-blocking stream socket with TCP_NODELAY; -1 on failure
    ConnectFailure failure = ConnectFailure::None;
    int error = 0;  // the system error number behind the failure, when there is one
};

// Resolves the host and connects to the first of its addresses that accepts, all within
// `limit`: the caller waits no longer than that, whatever the name servers do.
ConnectResult TcpConnect(const std::string& host, std::uint16_t port,
                         std::chrono::milliseconds limit = kConnectTimeLimit,
                         const Resolver& resolver = SystemResolve);

}  // namespace vr7c::net
