#include "SimTestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "LineEndpoint.h"
#include "SimCrc.h"

namespace vr7c::sim::test {

Bytes withCrc(std::initializer_list<std::uint8_t> bytes) {
    return withCrc(Bytes(bytes));
}

Bytes withCrc(Bytes bytes) {
    appendCrc(bytes);
    return bytes;
}

Bytes readRequest(std::uint8_t station, std::uint16_t start, std::uint16_t count) {
    return withCrc({station, 0x03, static_cast<std::uint8_t>(start >> 8),
                    static_cast<std::uint8_t>(start & 0xFF), static_cast<std::uint8_t>(count >> 8),
                    static_cast<std::uint8_t>(count & 0xFF)});
}

Bytes writeRequest(std::uint8_t station, std::uint16_t address, std::uint16_t value) {
    return withCrc({station, 0x06, static_cast<std::uint8_t>(address >> 8),
                    static_cast<std::uint8_t>(address & 0xFF),
                    static_cast<std::uint8_t>(value >> 8),
                    static_cast<std::uint8_t>(value & 0xFF)});
}

std::string hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
        char buffer[4];
        std::snprintf(buffer, sizeof buffer, "%02X ", b);
        text += buffer;
    }
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

Received ModuleDriver::exchange(std::span<const std::uint8_t> request, Micros horizon) {
    module.receive(request, now);
    return run(horizon);
}

Received ModuleDriver::run(Micros duration) {
    Received received;
    const Micros end = now + duration;
    auto step = [&](Micros t) {
        now = t;
        module.advance(now);
        module.takeOutput(now, received.bytes);
        received.times.resize(received.bytes.size(), now);
    };
    for (;;) {
        const std::optional<Micros> deadline = module.deadline();
        if (!deadline || *deadline > end) {
            break;
        }
        // A deadline that does not move on would be a bug in the module; step past it.
        step(*deadline > now ? *deadline : now + 1);
    }
    step(end);
    return received;
}

Micros monotonicNow() {
    return LineEndpoint::now();
}

bool ClientPort::open(const std::string& path, std::uint32_t baud) {
    close();
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        close();
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARODD | CSTOPB);
    tio.c_cflag |= CS8 | PARENB | CLOCAL | CREAD;
    const auto speed = baudToSpeed(baud);
    if (speed) {
        ::cfsetispeed(&tio, static_cast<speed_t>(*speed));
        ::cfsetospeed(&tio, static_cast<speed_t>(*speed));
    }
    if (!speed) {
        close();
        return false;
    }
    // A pseudo-terminal drops the parity bit, and the C library then reports EINVAL although
    // everything else was applied: what counts is that the speed took.
    ::tcsetattr(fd_, TCSANOW, &tio);
    termios applied{};
    if (::tcgetattr(fd_, &applied) != 0 ||
        ::cfgetospeed(&applied) != static_cast<speed_t>(*speed)) {
        close();
        return false;
    }
    return true;  // no flush: what is waiting on the line is seen, as by QSerialPort
}

void ClientPort::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool ClientPort::write(std::span<const std::uint8_t> bytes) {
    return fd_ >= 0 &&
           ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

Bytes ClientPort::read(std::size_t count, Micros timeout) {
    Bytes bytes;
    const Micros end = monotonicNow() + timeout;
    while (fd_ >= 0 && bytes.size() < count) {
        const Micros left = end - monotonicNow();
        if (left <= 0) {
            break;
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>((left + 999) / 1000)) <= 0) {
            continue;
        }
        std::uint8_t buffer[256];
        const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (n > 0) {
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
    }
    return bytes;
}

Bytes ClientPort::readFor(Micros duration) {
    return read(static_cast<std::size_t>(-1), duration);
}

}  // namespace vr7c::sim::test
