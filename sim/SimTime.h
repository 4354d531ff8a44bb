#pragma once

#include <algorithm>
#include <cstdint>

namespace vr7c::sim {

// Time in microseconds on a monotonic clock. The pure parts of the simulator never read a clock:
// the caller passes the time in, so tests drive them with any time they like.
using Micros = std::int64_t;

inline constexpr Micros kMicrosPerMilli = 1'000;
inline constexpr Micros kMicrosPerSecond = 1'000'000;

// Timing of characters on the line.
struct LineTiming {
    std::uint32_t baud = 57600;
    // 8 data bits, even parity, one stop bit and the start bit: 11 bit times a character.
    std::uint32_t bitsPerCharacter = 11;

    // Time the line needs for n characters, rounded up to whole microseconds.
    constexpr Micros charactersTime(std::uint64_t n) const {
        const std::uint64_t bits =
            n * bitsPerCharacter * static_cast<std::uint64_t>(kMicrosPerSecond);
        return static_cast<Micros>((bits + baud - 1) / baud);
    }
    // Silence that ends a Modbus RTU frame: 3.5 character times, never less than 1.75 ms
    // (the fixed value Modbus RTU prescribes above 19200 baud).
    constexpr Micros frameSilence() const {
        const std::uint64_t bits7 =
            7ull * bitsPerCharacter * static_cast<std::uint64_t>(kMicrosPerSecond);
        const auto t = static_cast<Micros>((bits7 + 2ull * baud - 1) / (2ull * baud));
        return std::max<Micros>(t, 1'750);
    }
};

}  // namespace vr7c::sim
