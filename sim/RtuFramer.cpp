#include "RtuFramer.h"

#include <utility>

namespace vr7c::sim {

void RtuFramer::push(std::uint8_t byte, Micros now, Micros silence) {
    if (collecting_ && now - current_.lastByteAt >= silence) {
        closeCurrent();
    }
    if (!collecting_) {
        current_ = RtuFrame{};
        current_.firstByteAt = now;
        collecting_ = true;
    }
    current_.lastByteAt = now;
    if (current_.bytes.size() < kMaxFrameBytes) {
        current_.bytes.push_back(byte);
    } else {
        current_.overrun = true;
    }
}

std::optional<RtuFrame> RtuFramer::poll(Micros now, Micros silence) {
    if (collecting_ && now - current_.lastByteAt >= silence) {
        closeCurrent();
    }
    if (complete_.empty()) {
        return std::nullopt;
    }
    RtuFrame frame = std::move(complete_.front());
    complete_.pop_front();
    return frame;
}

std::optional<Micros> RtuFramer::deadline(Micros silence) const {
    if (!complete_.empty()) {
        return complete_.front().lastByteAt + silence;
    }
    if (collecting_) {
        return current_.lastByteAt + silence;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> RtuFramer::drain() {
    std::vector<std::uint8_t> bytes;
    for (const RtuFrame& frame : complete_) {
        bytes.insert(bytes.end(), frame.bytes.begin(), frame.bytes.end());
    }
    if (collecting_) {
        bytes.insert(bytes.end(), current_.bytes.begin(), current_.bytes.end());
    }
    reset();
    return bytes;
}

void RtuFramer::reset() {
    complete_.clear();
    current_ = RtuFrame{};
    collecting_ = false;
}

void RtuFramer::closeCurrent() {
    complete_.push_back(std::move(current_));
    current_ = RtuFrame{};
    collecting_ = false;
}

}  // namespace vr7c::sim
