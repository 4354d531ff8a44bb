#include "SimModule.h"

#include <algorithm>
#include <utility>

namespace vr7c::sim {
namespace {

void earliest(std::optional<Micros>& best, std::optional<Micros> candidate) {
    if (candidate && (!best || *candidate < *best)) {
        best = candidate;
    }
}

}  // namespace

SimModule::SimModule(const ModuleConfig& config)
    : model_(config.seed),
      faults_(config.seed),
      output_(LineTiming{config.baud > 0 ? config.baud : 57600}),
      slave_(model_, faults_, config.slave),
      rs485Baud_(output_.timing().baud),
      format_(config.format) {
    // The configuration block tells the settings the module runs with.
    for (std::size_t i = 0; i < std::size(kRs485Rates); ++i) {
        if (kRs485Rates[i] == rs485Baud_) {
            model_.write(regs::kRs485Baud, static_cast<std::uint16_t>(i));
        }
    }
    model_.write(regs::kFrameFormat, static_cast<std::uint16_t>(format_));
    retime();
}

void SimModule::setBaud(std::uint32_t baud) {
    if (baud > 0 && lineBaud_ != baud) {
        lineBaud_ = baud;
        retime();
    }
}

void SimModule::retime() {
    LineTiming timing = output_.timing();
    timing.baud = lineBaud_.value_or(rs485Baud_);
    timing.bitsPerCharacter = format_ == FrameFormat::N81 ? 10 : 11;
    if (timing.baud != output_.timing().baud ||
        timing.bitsPerCharacter != output_.timing().bitsPerCharacter) {
        output_.setTiming(timing);
    }
    // A bridge (PLC-CAN) answers on its own line, whatever the module's RS-485 rate.
    slave_.setDeaf(!slave_.config().plcCan && lineBaud_ && *lineBaud_ != rs485Baud_);
}

void SimModule::applyCommit() {
    // The commit's last echo goes out with the old settings; the new ones hold after it.
    if (!output_.empty() || !model_.takeCommit()) {
        return;
    }
    const std::uint16_t station = model_.get(regs::kStationNumber);
    if (station >= 1 && station <= 247) {
        slave_.config().station = static_cast<std::uint8_t>(station);
    }
    if (const std::uint16_t rate = model_.get(regs::kRs485Baud); rate < std::size(kRs485Rates)) {
        rs485Baud_ = kRs485Rates[rate];
    }
    if (const std::uint16_t format = model_.get(regs::kFrameFormat);
        format <= static_cast<std::uint16_t>(FrameFormat::E81)) {
        format_ = static_cast<FrameFormat>(format);
    }
    retime();
}

LineDevice& SimModule::active() {
    if (owner_ == LineOwner::Bootloader && bootloader_) {
        return *bootloader_;
    }
    return slave_;
}

void SimModule::receive(std::span<const std::uint8_t> bytes, Micros now) {
    advance(now);
    for (std::uint8_t byte : bytes) {
        active().receive(byte, now, output_);
        applyHandovers(now);
    }
}

void SimModule::advance(Micros now) {
    model_.advance(now);
    active().advance(now, output_);
    applyHandovers(now);
    applyCommit();
}

void SimModule::applyHandovers(Micros now) {
    // Bounded: two devices can only pass the line back and forth so often on one call.
    for (int guard = 0; guard < 4; ++guard) {
        std::optional<LineHandover> handover = active().takeHandover();
        if (!handover) {
            return;
        }
        const LineOwner to = handover->to == LineOwner::Bootloader && !bootloader_
                                 ? LineOwner::Application
                                 : handover->to;
        owner_ = to;
        LineDevice& next = active();
        next.reset(now);
        // The new owner hears the replayed bytes now: it cannot answer before it has the line.
        for (std::uint8_t byte : handover->replay) {
            next.receive(byte, now, output_);
        }
        next.advance(now, output_);
    }
}

std::optional<Micros> SimModule::deadline() const {
    std::optional<Micros> best = output_.nextDue();
    earliest(best, model_.deadline());
    if (owner_ == LineOwner::Bootloader && bootloader_) {
        earliest(best, bootloader_->deadline());
    } else {
        earliest(best, slave_.deadline());
    }
    return best;
}

std::size_t SimModule::takeOutput(Micros now, std::vector<std::uint8_t>& out) {
    const std::size_t taken = output_.takeDue(now, out);
    applyCommit();
    return taken;
}

void SimModule::lineDropped(Micros now) {
    output_.clear();
    active().lineDropped(now);
}

void SimModule::installBootloader(std::unique_ptr<LineDevice> bootloader) {
    if (owner_ == LineOwner::Bootloader) {
        owner_ = LineOwner::Application;
    }
    bootloader_ = std::move(bootloader);
    slave_.setSyncDetection(bootloader_ != nullptr);
}

}  // namespace vr7c::sim
