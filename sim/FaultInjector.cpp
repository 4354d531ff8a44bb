#include "FaultInjector.h"

#include <algorithm>

namespace vr7c::sim {
namespace {

constexpr std::array<std::string_view, kFaultKindCount> kNames = {
    "drop",         "badcrc",    "split",   "noise-before", "noise-after",
    "partial-echo", "exception", "silence", "slow",
};

}  // namespace

std::string_view faultName(FaultKind kind) {
    return kNames[static_cast<std::size_t>(kind)];
}

std::optional<FaultKind> faultFromName(std::string_view name) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (kNames[i] == name) {
            return static_cast<FaultKind>(i);
        }
    }
    return std::nullopt;
}

void FaultInjector::setPercent(FaultKind kind, double percent) {
    percent_[index(kind)] = std::clamp(percent, 0.0, 100.0);
}

void FaultInjector::force(FaultKind kind, int count) {
    forced_[index(kind)] = std::max(count, 0);
}

void FaultInjector::clear() {
    percent_.fill(0.0);
    forced_.fill(0);
}

bool FaultInjector::roll(FaultKind kind, bool eligible) {
    if (!eligible) {
        return false;
    }
    const std::size_t i = index(kind);
    bool hit = false;
    if (forced_[i] > 0) {
        --forced_[i];
        hit = true;
    } else if (percent_[i] > 0.0) {
        hit = percent_[i] >= 100.0 || random_.uniform() * 100.0 < percent_[i];
    }
    if (hit) {
        ++injected_[i];
    }
    return hit;
}

}  // namespace vr7c::sim
