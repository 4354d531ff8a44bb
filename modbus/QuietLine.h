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

// Polls the driver directly, pausing between polls, until nothing has arrived for the
// inter-frame gap at the driver's baud rate (3.5 characters of 11 bits, never less than the
// 1.75 ms Modbus RTU fixes above 19200 baud), dropping what arrives; leaves RxCount at 0.
// owedBytes are the bytes of a reply already begun that are still to come: the line is not
// taken for quiet before they have arrived, since a reply that the machine or an adapter hands
// on in bursts can seem to pause for longer than the gap. On a line that never falls silent the
// wait ends after the time of the longest RTU frame (256 bytes) plus the gap, so that a reply in
// flight can always end but the program is never held longer. A closed driver receives nothing
// and is quiet at once; so is a line on which the driver has taken nothing in for longer than
// the gap, when a first poll brings nothing and nothing is owed.
void AwaitQuietLine(VEVErizEvezad& driver, TickClock& clock, int owedBytes = 0);
