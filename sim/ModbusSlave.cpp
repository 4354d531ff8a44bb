#include "ModbusSlave.h"

#include <algorithm>
#include <utility>

#include "SimCrc.h"

namespace vr7c::sim {
namespace {

constexpr std::size_t kRequestBytes = 8;  // both functions: station, function, 2 × 2 bytes, CRC
constexpr std::size_t kMaxRegisterWrites = 10'000;
constexpr std::size_t kSentReadRepliesKept = 4096;
constexpr int kMaxNoiseBytes = 3;
constexpr int kMaxSplitPieces = 4;

std::uint16_t word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void appendWord(std::vector<std::uint8_t>& frame, std::uint16_t value) {
    frame.push_back(static_cast<std::uint8_t>(value >> 8));
    frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

}  // namespace

ModbusSlave::ModbusSlave(ModuleModel& model, FaultInjector& faults, SlaveConfig config)
    : model_(model), faults_(faults), config_(config) {}

void ModbusSlave::reset(Micros /*now*/) {
    framer_.reset();
    handover_.reset();
}

void ModbusSlave::receive(std::uint8_t byte, Micros now, LineOutput& out) {
    silence_ = out.timing().frameSilence();
    ++counters_.bytesReceived;
    framer_.push(byte, now, silence_);
}

void ModbusSlave::advance(Micros now, LineOutput& out) {
    silence_ = out.timing().frameSilence();
    while (!handover_) {
        std::optional<RtuFrame> frame = framer_.poll(now, silence_);
        if (!frame) {
            break;
        }
        if (syncDetection_ && !frame->overrun && frame->bytes.size() == 1 &&
            frame->bytes[0] == kBootloaderSync) {
            ++counters_.framesReceived;
            LineHandover handover{LineOwner::Bootloader, {kBootloaderSync}, frame->lastByteAt};
            const std::vector<std::uint8_t> rest = framer_.drain();
            handover.replay.insert(handover.replay.end(), rest.begin(), rest.end());
            handover_ = std::move(handover);
            break;
        }
        handleFrame(*frame, now, out);
    }
}

std::optional<Micros> ModbusSlave::deadline() const {
    return framer_.deadline(silence_);
}

std::optional<LineHandover> ModbusSlave::takeHandover() {
    return std::exchange(handover_, std::nullopt);
}

std::optional<std::vector<std::uint8_t>> ModbusSlave::respond(std::span<const std::uint8_t> frame,
                                                              Micros now) {
    if (frame.size() < 4 || !crcMatches(frame)) {
        return std::nullopt;
    }
    const std::uint8_t station = frame[0];
    const std::uint8_t function = frame[1];
    const bool broadcast = station == modbus::kBroadcastAddress && config_.station != station;
    if (station != config_.station && !broadcast) {
        return std::nullopt;
    }
    const int base = addressBase();

    if (function == modbus::kReadHoldingRegisters) {
        if (broadcast) {
            return std::nullopt;  // a read cannot be broadcast
        }
        if (frame.size() != kRequestBytes) {
            return exceptionReply(station, function, modbus::kIllegalDataValue);
        }
        const int start = word(frame, 2);
        const int count = word(frame, 4);
        if (count < 1 || count > modbus::kMaxReadCount) {
            return exceptionReply(station, function, modbus::kIllegalDataValue);
        }
        if (start < base || start + count > base + kModuleRegisterCount) {
            return exceptionReply(station, function, modbus::kIllegalDataAddress);
        }
        model_.countReadReply();
        lastReadImage_ = model_.registers();
        std::vector<std::uint8_t> reply;
        reply.reserve(5 + 2 * static_cast<std::size_t>(count));
        reply.push_back(station);
        reply.push_back(function);
        reply.push_back(static_cast<std::uint8_t>(2 * count));
        for (int i = 0; i < count; ++i) {
            appendWord(reply, lastReadImage_[static_cast<std::size_t>(start - base + i)]);
        }
        appendCrc(reply);
        return reply;
    }

    if (function == modbus::kWriteSingleRegister) {
        if (frame.size() != kRequestBytes) {
            return broadcast ? std::nullopt
                             : std::optional(
                                   exceptionReply(station, function, modbus::kIllegalDataValue));
        }
        const int address = word(frame, 2);
        if (address < base || address >= base + kModuleRegisterCount) {
            return broadcast ? std::nullopt
                             : std::optional(
                                   exceptionReply(station, function, modbus::kIllegalDataAddress));
        }
        const int reg = address - base;
        const std::uint16_t value = word(frame, 4);
        model_.write(reg, value);
        ++counters_.writesApplied;
        if (writes_.size() >= kMaxRegisterWrites) {
            writes_.erase(writes_.begin(), writes_.begin() + kMaxRegisterWrites / 2);
        }
        writes_.push_back({reg, value, now});
        if (broadcast) {
            return std::nullopt;
        }
        return std::vector<std::uint8_t>(frame.begin(), frame.end());
    }

    if (broadcast) {
        return std::nullopt;
    }
    return exceptionReply(station, function, modbus::kIllegalFunction);
}

std::vector<std::uint8_t> ModbusSlave::exceptionReply(std::uint8_t station, std::uint8_t function,
                                                      std::uint8_t code) {
    std::vector<std::uint8_t> reply = {
        station, static_cast<std::uint8_t>(function | modbus::kExceptionFlag), code};
    appendCrc(reply);
    return reply;
}

void ModbusSlave::handleFrame(const RtuFrame& frame, Micros now, LineOutput& out) {
    ++counters_.framesReceived;
    const std::span<const std::uint8_t> bytes(frame.bytes);
    if (deaf_ || frame.overrun || bytes.size() < 4 || !crcMatches(bytes)) {
        ++counters_.badFrames;
        return;
    }
    const std::uint8_t station = bytes[0];
    const std::uint8_t function = bytes[1];
    if (station != config_.station && station != modbus::kBroadcastAddress) {
        ++counters_.otherStationFrames;
        return;
    }
    ++counters_.requestsSeen;
    if (function == modbus::kReadHoldingRegisters) {
        ++counters_.readRequests;
    } else if (function == modbus::kWriteSingleRegister) {
        ++counters_.writeRequests;
    }
    if (station != config_.station) {
        (void)respond(bytes, now);  // broadcast: carried out, never answered
        return;
    }
    if (function == modbus::kWriteSingleRegister && bytes.size() == kRequestBytes &&
        config_.unheardWriteRegister >= 0 &&
        word(bytes, 2) - addressBase() == config_.unheardWriteRegister) {
        return;
    }
    if (faults_.roll(FaultKind::Silence)) {
        return;
    }

    std::vector<std::uint8_t> reply;
    bool normalWriteEcho = false;
    if (faults_.roll(FaultKind::Exception)) {
        reply = exceptionReply(station, function, config_.exceptionCode);
    } else {
        std::optional<std::vector<std::uint8_t>> normal = respond(bytes, now);
        if (!normal) {
            return;
        }
        reply = std::move(*normal);
        if (reply[1] & modbus::kExceptionFlag) {
            ++counters_.exceptionReplies;
        } else {
            normalWriteEcho = function == modbus::kWriteSingleRegister;
        }
    }
    const bool readReply =
        function == modbus::kReadHoldingRegisters && !(reply[1] & modbus::kExceptionFlag);
    if (faults_.roll(FaultKind::Drop)) {
        if (readReply) {
            recordReadReply(false);
        }
        return;
    }
    // The slave recognises the end of the request after the silence, then takes its latency.
    const Micros start = std::max(now, frame.lastByteAt + silence_) + config_.latency;
    const bool intact = transmit(std::move(reply), normalWriteEcho, start, out);
    if (readReply) {
        recordReadReply(intact);
    }
}

void ModbusSlave::recordReadReply(bool intact) {
    const SentReadReply sent{lastReadImage_, intact};
    if (sentReadReplies_.size() < kSentReadRepliesKept) {
        sentReadReplies_.push_back(sent);
    } else {
        sentReadReplies_[nextSentReadReply_] = sent;
    }
    nextSentReadReply_ = (nextSentReadReply_ + 1) % kSentReadRepliesKept;
}

std::optional<SentReadReply> ModbusSlave::sentReadReply(std::uint16_t sequence) const {
    const std::size_t n = sentReadReplies_.size();
    for (std::size_t back = 1; back <= n; ++back) {
        const SentReadReply& r = sentReadReplies_[(nextSentReadReply_ + n - back) % n];
        if (r.image[regs::kReplySequence] == sequence) {
            return r;
        }
    }
    return std::nullopt;
}

bool ModbusSlave::transmit(std::vector<std::uint8_t> reply, bool isWriteEcho, Micros start,
                           LineOutput& out) {
    SimRandom& random = faults_.random();
    const std::size_t unchangedSize = reply.size();
    bool intact = true;
    if (faults_.roll(FaultKind::BadCrc) && reply.size() >= 2) {
        reply[reply.size() - 2] ^= 0xFF;
        reply[reply.size() - 1] ^= 0x5A;
        intact = false;
    }
    if (faults_.roll(FaultKind::PartialEcho, isWriteEcho)) {
        const auto keep = static_cast<std::size_t>(std::max(config_.partialEchoBytes, 0));
        reply.resize(std::min(keep, reply.size()));
    }
    if (faults_.roll(FaultKind::NoiseBefore)) {
        const auto n = random.range(1, kMaxNoiseBytes);
        for (std::int64_t i = 0; i < n; ++i) {
            reply.insert(reply.begin(), static_cast<std::uint8_t>(random.next() & 0xFF));
        }
    }
    // Noise after a reply leaves the reply's own bytes as they were: a master that judges the
    // reply before the noise arrives takes a correct image.
    intact = intact && reply.size() == unchangedSize;
    if (faults_.roll(FaultKind::NoiseAfter)) {
        const auto n = random.range(1, kMaxNoiseBytes);
        for (std::int64_t i = 0; i < n; ++i) {
            reply.push_back(static_cast<std::uint8_t>(random.next() & 0xFF));
        }
    }
    if (faults_.roll(FaultKind::Slow)) {
        start += config_.slowDelay;
    }
    if (reply.empty()) {
        return false;
    }
    ++counters_.repliesSent;
    counters_.bytesSent += reply.size();

    const std::span<const std::uint8_t> bytes(reply);
    if (reply.size() >= 2 && faults_.roll(FaultKind::Split)) {
        // Two to four pieces, cut at distinct random places, with a random gap before each
        // piece after the first.
        const auto maxPieces =
            std::min<std::int64_t>(kMaxSplitPieces, static_cast<std::int64_t>(reply.size()));
        const auto pieces = random.range(2, maxPieces);
        std::vector<std::size_t> cuts;
        while (static_cast<std::int64_t>(cuts.size()) < pieces - 1) {
            const auto cut = static_cast<std::size_t>(
                random.range(1, static_cast<std::int64_t>(reply.size()) - 1));
            if (std::find(cuts.begin(), cuts.end(), cut) == cuts.end()) {
                cuts.push_back(cut);
            }
        }
        std::sort(cuts.begin(), cuts.end());
        cuts.push_back(reply.size());
        std::size_t from = 0;
        Micros at = start;
        for (std::size_t cut : cuts) {
            const Micros end = out.send(bytes.subspan(from, cut - from), at);
            at = end + random.range(config_.splitGapMin, config_.splitGapMax);
            from = cut;
        }
        return intact;
    }
    out.send(bytes, start);
    return intact;
}

}  // namespace vr7c::sim
