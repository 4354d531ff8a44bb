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
      slave_(model_, faults_, config.slave) {}

void SimModule::setBaud(std::uint32_t baud) {
    if (baud > 0 && baud != output_.timing().baud) {
        LineTiming timing = output_.timing();
        timing.baud = baud;
        output_.setTiming(timing);
    }
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
    return output_.takeDue(now, out);
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
