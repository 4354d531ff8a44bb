#include "BootloaderFaults.h"

#include <limits>
#include <vector>

using vr7c::sim::LineOutput;
using vr7c::sim::Micros;

namespace {

constexpr std::uint8_t kSync = 0x7F;
// The session pauses at least this long before a new synchronisation byte.
constexpr Micros kAttemptSilence = 400 * vr7c::sim::kMicrosPerMilli;

}  // namespace

ScriptedBootloader::ScriptedBootloader(ScriptedBootloaderFaults faults,
                                       vr7c::sim::Stm32BootloaderFaults inner)
    : faults_(faults), inner_(inner) {}

void ScriptedBootloader::reset(Micros now) {
    inner_.reset(now);
}

void ScriptedBootloader::receive(std::uint8_t byte, Micros now, LineOutput& out) {
    if (byte == kSync && (!heardAnything_ || now - lastByteAt_ >= kAttemptSilence)) {
        ++attempts_;
        answersSinceSync_ = 0;
    }
    heardAnything_ = true;
    lastByteAt_ = now;
    answers_.setTiming(out.timing());
    inner_.receive(byte, now, answers_);
    Forward(out);
}

void ScriptedBootloader::advance(Micros now, LineOutput& out) {
    answers_.setTiming(out.timing());
    inner_.advance(now, answers_);
    Forward(out);
}

void ScriptedBootloader::Forward(LineOutput& out) {
    const std::optional<Micros> firstDue = answers_.nextDue();
    if (!firstDue) {
        return;
    }
    std::vector<std::uint8_t> answer;
    answers_.takeDue(std::numeric_limits<Micros>::max(), answer);
    ++answersSinceSync_;
    if (answersSinceSync_ == faults_.nackAnswer) {
        answer = {kNack};
        ++nacksSent_;
    } else if (faults_.noiseBeforeEveryAck && answer.front() == kAck) {
        answer.insert(answer.begin(), kNoise);
    }
    // The answer starts when the bootloader would have started it.
    out.send(answer, *firstDue - out.timing().charactersTime(1));
}
