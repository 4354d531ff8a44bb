#include "LineRecorder.h"

#include <algorithm>
#include <cstring>

#include "ReplyJudge.h"

ModbusRecorder::ModbusRecorder(TrafficRing& ring, TickSource now)
    : ring_(ring), now_(std::move(now)) {}

void ModbusRecorder::FrameSent(const std::uint8_t* bytes, int count) {
    sentMs_ = now_();
    arrived_ = false;
    ring_.Push(TrafficLink::Modbus, TrafficDirection::Sent, sentMs_, bytes, count);
    requestLength_ = bytes == nullptr ? 0 : std::clamp(count, 0, kMbapRequestLength);
    if (requestLength_ > 0) {
        std::memcpy(request_, bytes, static_cast<std::size_t>(requestLength_));
    }
    if (RequestFunction(request_, requestLength_) == kModbusReadHolding) {
        ++counters_.readsSent;
    }
}

void ModbusRecorder::FrameContinued(const std::uint8_t* bytes, int count) {
    ring_.Extend(bytes, count);
}

void ModbusRecorder::ReplyJudged(const std::uint8_t* bytes, int count, bool taken) {
    const std::uint32_t now = now_();
    // The reply was complete when its last chunk came in.
    const std::uint32_t completeMs = count > 0 && arrived_ ? lastArrivalMs_ : now;
    const Judgement judged = JudgeModbusReply(request_, requestLength_, bytes, count, taken);
    ring_.Push(TrafficLink::Modbus, TrafficDirection::Received, completeMs, bytes, count,
               judged.verdict, judged.detail);
    const bool isRead = RequestFunction(request_, requestLength_) == kModbusReadHolding;
    switch (judged.verdict) {
        case Verdict::Good:
            if (isRead) {
                ++counters_.goodReplies;
                counters_.responseTimes.Add(completeMs - sentMs_);
            }
            lastGoodMs_ = completeMs;
            return;
        case Verdict::Foreign:
            ++counters_.foreign;
            break;
        case Verdict::Timeout:
            ++counters_.timeouts;
            break;
        case Verdict::Incomplete:
        case Verdict::Late:
            ++counters_.incomplete;
            break;
        case Verdict::BadCrc:
            ++counters_.crcErrors;
            break;
        case Verdict::Exception:
            ++counters_.exceptions[judged.detail & 0xFFu];
            break;
        case Verdict::LeadingBytes:
            counters_.leadingBytes += judged.detail;
            break;
        case Verdict::ExtraBytes:
            counters_.extraBytes += judged.detail;
            break;
        case Verdict::EchoMismatch:
        case Verdict::Rejected:
        case Verdict::Nack:
        case Verdict::None:
            ++counters_.echoMismatches;
            break;
    }
    minuteErrors_.Add(now);
}

void ModbusRecorder::WriteFinished(int attempts, bool written) {
    if (!written) {
        ++counters_.writesFailed;
    } else if (attempts <= 1) {
        ++counters_.writesFirstAttempt;
    } else {
        ++counters_.writesAfterRetries;
    }
}

void ModbusRecorder::LineOpened(std::uint32_t baud) {
    baud_ = baud;
    open_ = true;
    Reset();
    lastGoodMs_ = sinceMs_;
}

void ModbusRecorder::SetHeld(bool held) {
    if (held == held_) {
        return;
    }
    held_ = held;
    const std::uint32_t now = now_();
    if (held) {
        heldSinceMs_ = now;
        lastGoodAtHoldMs_ = lastGoodMs_;
    } else {
        // The time held is no silence: it goes on from where it stood when the hold began, or
        // from now when the module answered meanwhile (a write's echo).
        const std::uint32_t before =
            lastGoodMs_ == lastGoodAtHoldMs_ ? heldSinceMs_ - lastGoodMs_ : 0;
        lastGoodMs_ = now - before;
    }
}

void ModbusRecorder::Reset() {
    counters_ = LineCounters{};
    minuteErrors_ = MinuteErrors{};
    sinceMs_ = now_();
}

LineStatus ModbusRecorder::Status() const {
    if (!open_) {
        return {};
    }
    if (held_) {
        return {LineState::Held, 0, 0};
    }
    const std::uint32_t now = now_();
    const std::uint32_t silentMs = now - lastGoodMs_;
    if (silentMs >= kSilentAfterMs) {
        return {LineState::Silent, static_cast<int>(silentMs / 1000), 0};
    }
    const int errors = minuteErrors_.Count(now);
    return {errors > 0 ? LineState::Errors : LineState::Replying, 0, errors};
}

double ModbusRecorder::PollsPerSecond() const {
    const std::uint32_t elapsed = now_() - sinceMs_;
    return elapsed == 0 ? 0.0 : counters_.goodReplies * 1000.0 / elapsed;
}

BootloaderRecorder::BootloaderRecorder(TrafficRing& ring, TickSource now)
    : ring_(ring), now_(std::move(now)) {}

void BootloaderRecorder::FrameSent(const std::uint8_t* bytes, int count) {
    ring_.Push(TrafficLink::Bootloader, TrafficDirection::Sent, now_(), bytes, count);
}

void BootloaderRecorder::FrameContinued(const std::uint8_t* bytes, int count) {
    ring_.Extend(bytes, count);
}

void BootloaderRecorder::ReplyJudged(const std::uint8_t* bytes, int count, bool taken) {
    const Judgement judged = JudgeBootloaderReply(bytes, count, taken);
    ring_.Push(TrafficLink::Bootloader, TrafficDirection::Received, now_(), bytes, count,
               judged.verdict, judged.detail);
}
