#pragma once

#include <cstdint>

// Millisecond tick count and blocking sleep, behind an interface so that waits can be
// driven by a fake clock in tests.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual std::uint32_t tickCount() = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

// The real clock: a monotonic millisecond count and a thread sleep.
TickClock& systemClock();
