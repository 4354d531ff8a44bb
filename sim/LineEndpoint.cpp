#include "LineEndpoint.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

namespace vr7c::sim {
namespace {

constexpr Micros kIdleWake = 250 * kMicrosPerMilli;
constexpr Micros kHangUpRecheck = 20 * kMicrosPerMilli;
// The lowest real-time priority: above every ordinary thread, below anything the system runs
// in real time itself.
constexpr int kLinePriority = 1;

struct SpeedEntry {
    std::uint32_t baud;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},
#ifdef B460800
    {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
};

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void KeepLinePace() {
    // A UART sends its bytes back to back whatever the machine is doing; a thread that paces
    // them on a busy machine can be held off the processor for several character times, and
    // the master then sees a silence in the middle of a reply that a real line never has. Where
    // the system allows it, the line thread runs at the lowest real-time priority (it only
    // waits in ppoll between its short steps, so it never holds a processor); elsewhere it
    // runs as an ordinary thread.
    sched_param param{};
    param.sched_priority = kLinePriority;
    (void)::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param);
}

}  // namespace

std::optional<unsigned> baudToSpeed(std::uint32_t baud) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.baud == baud) {
            return static_cast<unsigned>(e.speed);
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> speedToBaud(unsigned speed) {
    for (const SpeedEntry& e : kSpeeds) {
        if (static_cast<unsigned>(e.speed) == speed) {
            return e.baud;
        }
    }
    return std::nullopt;
}

Micros LineEndpoint::now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<Micros>(ts.tv_sec) * kMicrosPerSecond + ts.tv_nsec / 1000;
}

LineEndpoint::LineEndpoint(SharedModule& module, Options options)
    : module_(module), options_(std::move(options)) {}

LineEndpoint::~LineEndpoint() {
    closeFd(fd_);
    closeFd(stopPipe_[0]);
    closeFd(stopPipe_[1]);
}

bool LineEndpoint::open(std::string* error) {
    auto fail = [&](std::string message) {
        if (error) {
            *error = std::move(message);
        }
        closeFd(fd_);
        return false;
    };
    if (fd_ >= 0) {
        return fail("already open");
    }
    if (stopPipe_[0] < 0) {
        if (::pipe(stopPipe_) != 0) {
            return fail(errnoText("pipe"));
        }
        for (int fd : stopPipe_) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }

    termios tio{};
    if (options_.device.empty()) {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ < 0) {
            return fail(errnoText("posix_openpt"));
        }
        if (::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0) {
            return fail(errnoText("grantpt/unlockpt"));
        }
        std::array<char, 128> name{};
        if (::ptsname_r(fd_, name.data(), name.size()) != 0) {
            return fail(errnoText("ptsname_r"));
        }
        path_ = name.data();
        if (::tcgetattr(fd_, &tio) != 0) {
            return fail(errnoText("tcgetattr"));
        }
        ::cfmakeraw(&tio);  // no echo, no line editing: every byte passes as it is
        tio.c_cflag |= CLOCAL | CREAD;
    } else {
        fd_ = ::open(options_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) {
            return fail(errnoText(options_.device.c_str()));
        }
        path_ = options_.device;
        if (::tcgetattr(fd_, &tio) != 0) {
            return fail(errnoText("tcgetattr"));
        }
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARODD | CSTOPB | CRTSCTS);
        tio.c_cflag |= CS8 | PARENB | CLOCAL | CREAD;  // 8E1
    }
    if (const auto speed = baudToSpeed(options_.baud)) {
        ::cfsetispeed(&tio, static_cast<speed_t>(*speed));
        ::cfsetospeed(&tio, static_cast<speed_t>(*speed));
    }
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        return fail(errnoText("tcsetattr"));
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    ::tcflush(fd_, TCIOFLUSH);
    if (::tcgetattr(fd_, &tio) == 0) {
        openSpeed_ = static_cast<unsigned>(::cfgetospeed(&tio));
    }
    return true;
}

void LineEndpoint::requestStop() {
    stop_.store(true);
    if (stopPipe_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto n = ::write(stopPipe_[1], &byte, 1);
    }
}

std::optional<std::uint32_t> LineEndpoint::readLineBaud() const {
    // A serial device runs at the rate set here; the other end's cannot be seen.
    if (!options_.device.empty()) {
        return std::nullopt;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return std::nullopt;
    }
    const auto speed = static_cast<unsigned>(::cfgetospeed(&tio));
    if (speed == openSpeed_) {
        return options_.baud;
    }
    return speedToBaud(speed);
}

void LineEndpoint::run() {
    if (fd_ < 0) {
        return;
    }
    KeepLinePace();
    std::vector<std::uint8_t> out;
    out.reserve(512);
    while (!stop_.load()) {
        Micros t = now();
        out.clear();
        const std::optional<Micros> deadline = module_.with([&](SimModule& m) {
            m.advance(t);
            m.takeOutput(t, out);
            return m.deadline();
        });
        if (!out.empty()) {
            writeOutput(out);
        }
        module_.notifyAll();  // frames may have been judged, faults counted

        Micros wait = kIdleWake;
        if (deadline) {
            wait = std::clamp<Micros>(*deadline - t, 0, kIdleWake);
            if (wait > 0) {
                wait = std::max(wait, options_.writeQuantum);
            }
        }
        const bool hung = hungUp_.load();
        if (hung) {
            wait = std::min(wait, kHangUpRecheck);
        }
        std::array<pollfd, 2> fds = {pollfd{stopPipe_[0], POLLIN, 0}, pollfd{fd_, POLLIN, 0}};
        const timespec timeout{static_cast<time_t>(wait / kMicrosPerSecond),
                               static_cast<long>(wait % kMicrosPerSecond) * 1000};
        // While hung up the line reports POLLHUP at once, so only the stop pipe is waited on.
        const int ready = ::ppoll(fds.data(), hung ? 1 : 2, &timeout, nullptr);
        if (stop_.load()) {
            break;
        }
        if (ready < 0) {
            if (errno != EINTR) {
                ::usleep(1000);  // should not happen; never spin
            }
            continue;
        }
        if (hung) {
            pollfd probe{fd_, POLLIN, 0};
            ::poll(&probe, 1, 0);
            if (!(probe.revents & POLLHUP)) {
                hungUp_.store(false);  // a client has the line again
            }
            continue;
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            readInput();
            if (fds[1].revents & (POLLHUP | POLLERR)) {
                hungUp_.store(true);
                const Micros dropAt = now();
                module_.with([&](SimModule& m) { m.lineDropped(dropAt); });
                discardUnreadOutput();
                module_.notifyAll();
            }
        }
    }
}

void LineEndpoint::discardUnreadOutput() {
    ::tcflush(fd_, TCIOFLUSH);
    if (!options_.device.empty()) {
        return;
    }
    // A pseudo-terminal keeps what the client left unread for whoever opens it next; a real
    // line loses it. Empty the client's side (best effort: an exclusive lock refuses us).
    const int slave = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave >= 0) {
        ::tcflush(slave, TCIFLUSH);
        ::close(slave);
    }
}

void LineEndpoint::readInput() {
    std::array<std::uint8_t, 512> buffer{};
    std::vector<std::uint8_t> bytes;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n > 0) {
            bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break;  // EAGAIN: all read; EIO: hung up; 0: end of file
    }
    if (bytes.empty()) {
        return;
    }
    const Micros t = now();
    const std::optional<std::uint32_t> baud = readLineBaud();
    if (baud) {
        lineBaud_.store(*baud);
    }
    module_.with([&](SimModule& m) {
        if (baud) {
            m.setBaud(*baud);
        }
        m.receive(bytes, t);
    });
    module_.notifyAll();
}

void LineEndpoint::writeOutput(const std::vector<std::uint8_t>& bytes) {
    if (hungUp_.load()) {
        return;  // nobody listens: the bytes are lost, as on a line without a receiver
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;  // full or gone: the rest is lost, as on an overrun line
        }
    }
}

}  // namespace vr7c::sim
