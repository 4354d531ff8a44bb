#pragma once

#include <cstdint>

class VEVErizEvezad;
class TickClock;

// The module speaks only when asked, so nothing received before a request can be its reply.
// Before a request goes out, the master waits until the line has been silent for the Modbus RTU
// inter-frame gap and drops whatever arrived until then: the tail of an echo still on the wire,
// a read reply still arriving, noise.

// Pause between the direct receive polls of the quiet wait.
inline constexpr std::uint32_t kQuietPollPauseMs = 1;

// Silence that ends a frame at this rate (3.5 characters of 11 bits, never less than 1.75 ms),
// in microseconds.
std::uint32_t InterFrameGapMicros(std::uint32_t baud);

// Whole milliseconds of measured silence that prove the gap has passed.
std::uint32_t QuietLineMs(std::uint32_t baud);

// Longest quiet wait: the time of the longest RTU frame (256 bytes) plus the gap, so that a reply
// in flight can always end, while a line that never falls silent does not hold the program.
std::uint32_t QuietLineLimitMs(std::uint32_t baud);

// Polls the driver directly, pausing between polls, until nothing has arrived for QuietLineMs at
// the driver's baud rate or QuietLineLimitMs has passed; leaves RxCount at 0. A closed driver
// receives nothing and is quiet at once.
void AwaitQuietLine(VEVErizEvezad& driver, TickClock& clock);
