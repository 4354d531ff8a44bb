#pragma once

#include <cstdint>
#include <functional>

#include "LineCounters.h"
#include "TrafficRing.h"
#include "TrafficTap.h"

// The millisecond tick the recorders stamp frames with.
using TickSource = std::function<std::uint32_t()>;

// How the Modbus line stands, in a word.
enum class LineState : std::uint8_t {
    Closed,    // the port is not open
    Replying,  // good replies are coming, no error in the last minute
    Errors,    // good replies are coming, with errors in the last minute
    Silent,    // no good reply for a second or more
    Held,      // the console itself holds polling (a write, a commit, the firmware dialog)
};

struct LineStatus {
    LineState state = LineState::Closed;
    int silentSeconds = 0;  // Silent: whole seconds without a good reply
    int recentErrors = 0;   // errors in the last minute
    bool operator==(const LineStatus&) const = default;
};

// Records the Modbus traffic into the ring and counts what became of each request. The
// polling cycle pays one copy into the ring per frame and a few counter updates.
class ModbusRecorder final : public TrafficTap {
public:
    static constexpr std::uint32_t kSilentAfterMs = 1000;

    ModbusRecorder(TrafficRing& ring, TickSource now);

    void FrameSent(const std::uint8_t* bytes, int count) override;
    void FrameContinued(const std::uint8_t* bytes, int count) override;
    void ReplyJudged(const std::uint8_t* bytes, int count, bool taken) override;
    void WriteFinished(int attempts, bool written) override;

    // Bytes came in (the driver's receive event): the reply is complete at the latest chunk.
    void BytesArrived() {
        lastArrivalMs_ = now_();
        arrived_ = true;
    }

    // The port was opened at this rate: the counters start afresh.
    void LineOpened(std::uint32_t baud);
    void LineClosed() { open_ = false; }
    // The network line hung up while connected; the console opens it again when it can.
    void ConnectionDropped() { ++counters_.connectionDrops; }
    // The console holds polling, or lets it go on; the time held is not counted as silence.
    void SetHeld(bool held);
    // The operator's reset: the counters, the rate and the error minute start afresh.
    void Reset();

    const LineCounters& Counters() const { return counters_; }
    LineStatus Status() const;
    // Good replies a second since the counters started, and what the cycle allows.
    double PollsPerSecond() const;
    double PollLimit() const { return CycleLimitPollsPerSecond(baud_); }
    bool IsOpen() const { return open_; }

private:
    TrafficRing& ring_;
    TickSource now_;
    LineCounters counters_;
    MinuteErrors minuteErrors_;
    std::uint8_t request_[12] = {};  // room for a Modbus TCP request
    int requestLength_ = 0;
    std::uint32_t sentMs_ = 0;
    std::uint32_t lastArrivalMs_ = 0;
    std::uint32_t lastGoodMs_ = 0;
    std::uint32_t sinceMs_ = 0;
    std::uint32_t baud_ = 0;
    std::uint32_t heldSinceMs_ = 0;
    std::uint32_t lastGoodAtHoldMs_ = 0;
    bool arrived_ = false;  // bytes came in since the last frame was sent
    bool open_ = false;
    bool held_ = false;
};

// Records the firmware session's exchange into the same ring.
class BootloaderRecorder final : public TrafficTap {
public:
    BootloaderRecorder(TrafficRing& ring, TickSource now);

    void FrameSent(const std::uint8_t* bytes, int count) override;
    void FrameContinued(const std::uint8_t* bytes, int count) override;
    void ReplyJudged(const std::uint8_t* bytes, int count, bool taken) override;
    void WriteFinished(int, bool) override {}

private:
    TrafficRing& ring_;
    TickSource now_;
};
