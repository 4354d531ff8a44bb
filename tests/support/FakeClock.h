#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "TickClock.h"

// A clock that only moves when told: sleep() advances it at once and records the pause.
class FakeClock final : public TickClock {
public:
    std::uint32_t now = 0;
    std::vector<std::uint32_t> sleeps;
    // Added to the time at every tickCount() call, so busy waits on the tick count end.
    std::uint32_t autoAdvance = 0;
    // Called after each sleep, e.g. to deliver bytes while the caller waits.
    std::function<void(std::uint32_t)> onSleep;

    std::uint32_t tickCount() override {
        now += autoAdvance;
        return now;
    }
    void sleep(std::uint32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        now += milliseconds;
        if (onSleep) {
            onSleep(milliseconds);
        }
    }
    std::uint32_t totalSlept() const {
        std::uint32_t total = 0;
        for (auto s : sleeps) {
            total += s;
        }
        return total;
    }
};
