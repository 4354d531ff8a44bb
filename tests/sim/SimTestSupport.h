#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "SimModule.h"
#include "SimTime.h"

namespace vr7c::sim::test {

using Bytes = std::vector<std::uint8_t>;

// The bytes with their CRC appended.
Bytes withCrc(std::initializer_list<std::uint8_t> bytes);
Bytes withCrc(Bytes bytes);
Bytes readRequest(std::uint8_t station, std::uint16_t start, std::uint16_t count);
Bytes writeRequest(std::uint8_t station, std::uint16_t address, std::uint16_t value);
std::string hex(std::span<const std::uint8_t> bytes);

// What came out of the module, each byte with the time it was due.
struct Received {
    Bytes bytes;
    std::vector<Micros> times;
};

// Drives a SimModule with simulated time: sends a request at the current time, then runs time
// forward from deadline to deadline, collecting what the module puts on the line.
class ModuleDriver {
public:
    explicit ModuleDriver(const ModuleConfig& config = {}) : module(config) {}

    // Sends `request` at `now` and collects everything due within `horizon`; time ends at the
    // end of the horizon.
    Received exchange(std::span<const std::uint8_t> request,
                      Micros horizon = 600 * kMicrosPerMilli);
    // Runs time forward by `duration`, collecting output.
    Received run(Micros duration);

    SimModule module;
    Micros now = 1'000 * kMicrosPerMilli;
};

// The client's end of the line, opened with plain termios as any serial program would.
class ClientPort {
public:
    ClientPort() = default;
    ~ClientPort() { close(); }
    ClientPort(const ClientPort&) = delete;
    ClientPort& operator=(const ClientPort&) = delete;

    // Opens the device raw at 8E1 and the given baud rate.
    bool open(const std::string& path, std::uint32_t baud);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    bool write(std::span<const std::uint8_t> bytes);
    // Reads until `count` bytes have come or the time-out ends; gives what came.
    Bytes read(std::size_t count, Micros timeout);
    // Everything that comes within `duration`.
    Bytes readFor(Micros duration);

private:
    int fd_ = -1;
};

// Monotonic time, as the line endpoint stamps it.
Micros monotonicNow();

}  // namespace vr7c::sim::test
