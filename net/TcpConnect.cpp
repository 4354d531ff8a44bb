#include "TcpConnect.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace vr7c::net {
namespace {

using Clock = std::chrono::steady_clock;

// What the resolver thread hands back; shared, since the thread may outlive the wait.
struct Resolution {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::vector<ResolvedAddress> addresses;
    ConnectFailure failure = ConnectFailure::None;
};

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// One connect attempt; the failure and its error number on the way out.
int ConnectOne(const ResolvedAddress& to, Clock::time_point deadline, ConnectResult* result) {
    const int fd = ::socket(to.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        result->error = errno;
        result->failure = ConnectFailure::Other;
        return -1;
    }
    auto fail = [&](int error) {
        result->error = error;
        result->failure = ConnectFailureOf(error);
        ::close(fd);
        return -1;
    };
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to.address), to.length) != 0) {
        if (errno != EINPROGRESS) {
            return fail(errno);
        }
        for (;;) {
            pollfd state{fd, POLLOUT, 0};
            const int ready = ::poll(&state, 1, MillisecondsUntil(deadline));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                return fail(ETIMEDOUT);
            }
            break;
        }
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0) {
            return fail(error);
        }
    }
    // Requests and replies are small: each goes out at once instead of waiting for the
    // acknowledgement of the one before (Nagle), which would add a delayed ACK to each poll.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

}  // namespace

const char* ConnectFailureText(ConnectFailure failure) {
    switch (failure) {
        case ConnectFailure::None:
            return "connected";
        case ConnectFailure::Refused:
            return "connection refused";
        case ConnectFailure::NoRoute:
            return "no route to host";
        case ConnectFailure::NameNotFound:
            return "host name not found";
        case ConnectFailure::TimedOut:
            return "connect timed out";
        case ConnectFailure::Other:
            break;
    }
    return "connection failed";
}

ConnectFailure ConnectFailureOf(int error) {
    switch (error) {
        case 0:
            return ConnectFailure::None;
        case ECONNREFUSED:
            return ConnectFailure::Refused;
        case EHOSTUNREACH:
        case ENETUNREACH:
        case ENETDOWN:
        case EHOSTDOWN:
            return ConnectFailure::NoRoute;
        case ENXIO:
            return ConnectFailure::NameNotFound;
        case ETIMEDOUT:
            return ConnectFailure::TimedOut;
        default:
            return ConnectFailure::Other;
    }
}

int ErrorNumberOf(ConnectFailure failure) {
    switch (failure) {
        case ConnectFailure::None:
            return 0;
        case ConnectFailure::Refused:
            return ECONNREFUSED;
        case ConnectFailure::NoRoute:
            return EHOSTUNREACH;
        case ConnectFailure::NameNotFound:
            return ENXIO;
        case ConnectFailure::TimedOut:
            return ETIMEDOUT;
        case ConnectFailure::Other:
            break;
    }
    return ECONNABORTED;
}

std::vector<ResolvedAddress> SystemResolve(const std::string& host, std::uint16_t port,
                                           ConnectFailure* failure) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    std::vector<ResolvedAddress> addresses;
    if (status != 0) {
        *failure = status == EAI_AGAIN ? ConnectFailure::TimedOut : ConnectFailure::NameNotFound;
        return addresses;
    }
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage)) {
            continue;
        }
        ResolvedAddress r;
        std::memcpy(&r.address, a->ai_addr, a->ai_addrlen);
        r.length = a->ai_addrlen;
        addresses.push_back(r);
    }
    ::freeaddrinfo(found);
    if (addresses.empty()) {
        *failure = ConnectFailure::NameNotFound;
    }
    return addresses;
}

ConnectResult TcpConnect(const std::string& host, std::uint16_t port,
                         std::chrono::milliseconds limit, const Resolver& resolver) {
    const Clock::time_point deadline = Clock::now() + limit;
    ConnectResult result;
    // The resolver may hang on a name server; the thread is left to finish on its own then,
    // and what it finds is dropped with the last reference to its results.
    auto resolution = std::make_shared<Resolution>();
    std::thread([resolution, resolver, host, port] {
        ConnectFailure failure = ConnectFailure::None;
        std::vector<ResolvedAddress> found = resolver(host, port, &failure);
        const std::lock_guard<std::mutex> lock(resolution->mutex);
        resolution->addresses = std::move(found);
        resolution->failure = failure;
        resolution->finished = true;
        resolution->done.notify_all();
    }).detach();
    std::vector<ResolvedAddress> addresses;
    {
        std::unique_lock<std::mutex> lock(resolution->mutex);
        if (!resolution->done.wait_until(lock, deadline, [&] { return resolution->finished; })) {
            result.failure = ConnectFailure::TimedOut;
            result.error = ETIMEDOUT;
            return result;
        }
        addresses = std::move(resolution->addresses);
        result.failure = resolution->failure;
    }
    if (addresses.empty()) {
        if (result.failure == ConnectFailure::None) {
            result.failure = ConnectFailure::NameNotFound;
        }
        result.error = ErrorNumberOf(result.failure);
        return result;
    }
    for (const ResolvedAddress& address : addresses) {
        result.fd = ConnectOne(address, deadline, &result);
        if (result.fd >= 0) {
            result.failure = ConnectFailure::None;
            result.error = 0;
            break;
        }
        if (MillisecondsUntil(deadline) == 0) {
            break;
        }
    }
    return result;
}

}  // namespace vr7c::net
