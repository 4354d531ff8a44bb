#include "ModbusLink.h"

#include <utility>

#include "TickClock.h"

namespace {

// The innermost guard alive; each guard links to the one before it.
ModbusHostGuard* g_innermost = nullptr;

}  // namespace

ModbusLink::ModbusLink(StationSource station, PlcCanSource plcCan,
                       std::unique_ptr<SerialPortIo> port, TickClock* clock, QObject* owner)
    : station_(std::move(station)),
      plcCan_(std::move(plcCan)),
      clock_(clock != nullptr ? *clock : systemClock()),
      driver_(owner, std::move(port), clock) {}

ModbusHostGuard::ModbusHostGuard(ModbusHost& host)
    : previous_(SetModbusHost(&host)), outer_(g_innermost) {
    g_innermost = this;
}

ModbusHostGuard::~ModbusHostGuard() {
    if (g_innermost == this) {
        SetModbusHost(previous_);
        g_innermost = outer_;
        return;
    }
    // Ending out of order: the guard started right after this one takes over what this one
    // would have put back, and the host installed now stays.
    for (ModbusHostGuard* guard = g_innermost; guard != nullptr; guard = guard->outer_) {
        if (guard->outer_ == this) {
            guard->previous_ = previous_;
            guard->outer_ = outer_;
            return;
        }
    }
}
