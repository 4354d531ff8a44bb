#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "SimRandom.h"

namespace vr7c::sim {

// What can go wrong with a reply.
enum class FaultKind : std::uint8_t {
    Drop,         // the request is carried out, the reply is lost
    BadCrc,       // the reply's CRC is wrong
    Split,        // the reply comes in pieces with gaps between them
    NoiseBefore,  // random bytes right before the reply
    NoiseAfter,   // random bytes right after the reply
    PartialEcho,  // a write is answered with only the first bytes of its echo
    Exception,    // an exception reply instead of the normal one (the request is not carried out)
    Silence,      // the request is not even heard: not carried out, no reply
    Slow,         // the reply starts later than usual
};
inline constexpr std::size_t kFaultKindCount = 9;

// Command-line names: drop, badcrc, split, noise-before, noise-after, partial-echo, exception,
// silence, slow.
std::string_view faultName(FaultKind kind);
std::optional<FaultKind> faultFromName(std::string_view name);

// Decides, reply by reply, which faults to inject: forced ones first (the next N eligible
// replies), otherwise at random with the kind's percentage. Deterministic for a given seed.
class FaultInjector {
public:
    explicit FaultInjector(std::uint64_t seed) : random_(seed) {}

    // Percentage 0 to 100 (clamped) of eligible replies that get this fault.
    void setPercent(FaultKind kind, double percent);
    double percent(FaultKind kind) const { return percent_[index(kind)]; }
    // The next `count` eligible replies get this fault, whatever the percentage.
    void force(FaultKind kind, int count);
    int forcedLeft(FaultKind kind) const { return forced_[index(kind)]; }
    // No percentages, nothing forced. Counts stay.
    void clear();

    // Whether this reply gets the fault; counts it when it does. A reply that is not eligible
    // (a read reply for PartialEcho) never gets it and does not use up a forced one.
    bool roll(FaultKind kind, bool eligible = true);

    std::uint64_t injected(FaultKind kind) const { return injected_[index(kind)]; }
    const std::array<std::uint64_t, kFaultKindCount>& injectedCounts() const { return injected_; }

    // The generator for the details of a fault (noise bytes, split points, gaps).
    SimRandom& random() { return random_; }

private:
    static std::size_t index(FaultKind kind) { return static_cast<std::size_t>(kind); }

    SimRandom random_;
    std::array<double, kFaultKindCount> percent_{};
    std::array<int, kFaultKindCount> forced_{};
    std::array<std::uint64_t, kFaultKindCount> injected_{};
};

}  // namespace vr7c::sim
