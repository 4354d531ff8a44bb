#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "LineOutput.h"
#include "SimTime.h"

namespace vr7c::sim {

// Which of the module's personalities should own the line.
enum class LineOwner : std::uint8_t {
    Application,  // the module's firmware: the Modbus RTU slave
    Bootloader,   // the microcontroller's USART system bootloader
};

// A request from the device that owns the line to hand the line to another one.
struct LineHandover {
    LineOwner to = LineOwner::Application;
    // Bytes the new owner receives first, in order, at the moment of the handover (for the
    // bootloader: the synchronisation byte 0x7F that woke it).
    std::vector<std::uint8_t> replay;
    // When the last of those bytes actually arrived on the line.
    Micros receivedAt = 0;
};

// One personality of the module on the serial line: the Modbus slave, or the STM32 bootloader
// added in Stm32Bootloader.*. The module (SimModule) gives every received byte to the device
// that owns the line at that moment, lets it see time pass, and puts what it sends through the
// shared, paced LineOutput. A device is pure: it reads no clock and does no I/O.
class LineDevice {
public:
    virtual ~LineDevice() = default;

    // The device has just been given the line (also at start for the first owner). Drop any
    // half-received input.
    virtual void reset(Micros now) = 0;

    // One byte has been received complete at `now`. Bytes that arrived together carry the
    // same time. Replies go to `out` with LineOutput::send.
    virtual void receive(std::uint8_t byte, Micros now, LineOutput& out) = 0;

    // Time has reached `now` (called at least at every deadline() and after every batch of
    // received bytes). Silence-based decisions (end of a frame, time-outs) are taken here.
    virtual void advance(Micros now, LineOutput& out) = 0;

    // The next moment at which advance() has something to do, if any.
    virtual std::optional<Micros> deadline() const = 0;

    // A pending request to give the line to another device; taking it clears it.
    virtual std::optional<LineHandover> takeHandover() = 0;

    // The other end of the line went away (the client closed the pseudo-terminal); anything
    // queued for it has been discarded. The device keeps its mode.
    virtual void lineDropped(Micros now) { (void)now; }
};

}  // namespace vr7c::sim
