#include "LineOutput.h"

#include <algorithm>

namespace vr7c::sim {

Micros LineOutput::send(std::span<const std::uint8_t> bytes, Micros notBefore) {
    const Micros start = std::max(notBefore, lineFreeAt_);
    if (bytes.empty()) {
        return start;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        queue_.push_back({start + timing_.charactersTime(i + 1), bytes[i]});
    }
    lineFreeAt_ = start + timing_.charactersTime(bytes.size());
    return lineFreeAt_;
}

std::size_t LineOutput::takeDue(Micros now, std::vector<std::uint8_t>& out) {
    std::size_t taken = 0;
    while (!queue_.empty() && queue_.front().due <= now) {
        out.push_back(queue_.front().byte);
        queue_.pop_front();
        ++taken;
    }
    return taken;
}

std::optional<Micros> LineOutput::nextDue() const {
    if (queue_.empty()) {
        return std::nullopt;
    }
    return queue_.front().due;
}

void LineOutput::clear() {
    queue_.clear();
    lineFreeAt_ = 0;
}

}  // namespace vr7c::sim
