#include "SimRunner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <utility>

namespace vr7c::sim {

std::uint64_t SimCounters::faultsInjected() const {
    return std::accumulate(faults.begin(), faults.end(), std::uint64_t{0});
}

bool makeSymlink(const std::string& link, const std::string& target, std::string* error) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            if (error) {
                *error = link + " exists and is not a symbolic link";
            }
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        if (error) {
            *error = "symlink " + link + ": " + std::strerror(errno);
        }
        return false;
    }
    return true;
}

void removeSymlink(const std::string& link, const std::string& target) {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size() - 1);
    if (n > 0 && std::string(buffer.data(), static_cast<std::size_t>(n)) == target) {
        ::unlink(link.c_str());
    }
}

SimRunner::SimRunner(SimOptions options)
    : options_(std::move(options)),
      shared_(std::make_unique<SharedModule>(options_.makeModule())) {}

SimRunner::~SimRunner() {
    stop();
}

bool SimRunner::start(std::string* error) {
    if (endpoint_) {
        if (error) {
            *error = "already started";
        }
        return false;
    }
    LineEndpoint::Options endpointOptions;
    endpointOptions.device = options_.device;
    endpointOptions.baud = options_.baud;
    auto endpoint = std::make_unique<LineEndpoint>(*shared_, endpointOptions);
    if (!endpoint->open(error)) {
        return false;
    }
    path_ = endpoint->path();
    if (!options_.link.empty()) {
        if (!makeSymlink(options_.link, path_, error)) {
            return false;
        }
        linkMade_ = true;
    }
    if (options_.tcp || options_.modbusTcp) {
        TcpListener::Options listen;
        listen.mode = options_.tcp ? TcpListener::Mode::Raw : TcpListener::Mode::ModbusTcp;
        listen.address = options_.tcp ? *options_.tcp : *options_.modbusTcp;
        listen.linePath = path_;
        listen.baud = options_.baud;
        auto listener = std::make_unique<TcpListener>(listen);
        if (!listener->open(error)) {
            return false;
        }
        listener_ = std::move(listener);
    }
    endpoint_ = std::move(endpoint);
    thread_ = std::thread([this] { endpoint_->run(); });
    if (listener_) {
        listenerThread_ = std::thread([this] { listener_->run(); });
    }
    return true;
}

void SimRunner::stop() {
    if (listener_) {
        listener_->requestStop();
    }
    if (listenerThread_.joinable()) {
        listenerThread_.join();
    }
    listener_.reset();
    if (endpoint_) {
        endpoint_->requestStop();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    endpoint_.reset();
    if (linkMade_) {
        removeSymlink(options_.link, path_);
        linkMade_ = false;
    }
}

std::uint32_t SimRunner::baud() const {
    return shared_->with([](const SimModule& m) { return m.baud(); });
}

std::uint16_t SimRunner::reg(int n) const {
    return shared_->with([n](const SimModule& m) { return m.model().get(n); });
}

std::array<std::uint16_t, kModuleRegisterCount> SimRunner::registers() const {
    return shared_->with([](const SimModule& m) { return m.model().registers(); });
}

std::array<std::uint16_t, kModuleRegisterCount> SimRunner::lastReadImage() const {
    return shared_->with([](const SimModule& m) { return m.slave().lastReadImage(); });
}

void SimRunner::setRegister(int n, std::uint16_t value) {
    shared_->with([&](SimModule& m) { m.model().hold(n, value); });
}

void SimRunner::writeRegister(int n, std::uint16_t value) {
    shared_->with([&](SimModule& m) { m.model().write(n, value); });
}

void SimRunner::releaseRegister(int n) {
    shared_->with([&](SimModule& m) { m.model().release(n); });
}

void SimRunner::releaseAllRegisters() {
    shared_->with([](SimModule& m) { m.model().releaseAll(); });
}

void SimRunner::setFrozen(bool frozen) {
    shared_->with([&](SimModule& m) { m.model().setFrozen(frozen); });
}

void SimRunner::setFault(FaultKind kind, double percent) {
    shared_->with([&](SimModule& m) { m.faults().setPercent(kind, percent); });
}

void SimRunner::forceFault(FaultKind kind, int count) {
    shared_->with([&](SimModule& m) { m.faults().force(kind, count); });
}

void SimRunner::clearFaults() {
    shared_->with([](SimModule& m) { m.faults().clear(); });
}

void SimRunner::setStation(std::uint8_t station) {
    shared_->with([&](SimModule& m) { m.slave().config().station = station; });
}

void SimRunner::setPlcCan(bool on) {
    shared_->with([&](SimModule& m) { m.slave().config().plcCan = on; });
}

void SimRunner::setLatency(std::chrono::microseconds latency) {
    shared_->with([&](SimModule& m) { m.slave().config().latency = latency.count(); });
}

void SimRunner::setSlowDelay(std::chrono::microseconds delay) {
    shared_->with([&](SimModule& m) { m.slave().config().slowDelay = delay.count(); });
}

void SimRunner::setSplitGaps(std::chrono::microseconds min, std::chrono::microseconds max) {
    shared_->with([&](SimModule& m) {
        m.slave().config().splitGapMin = min.count();
        m.slave().config().splitGapMax = std::max(min, max).count();
    });
}

void SimRunner::setPartialEchoBytes(int bytes) {
    shared_->with([&](SimModule& m) { m.slave().config().partialEchoBytes = bytes; });
}

void SimRunner::setExceptionCode(std::uint8_t code) {
    shared_->with([&](SimModule& m) { m.slave().config().exceptionCode = code; });
}

SimCounters SimRunner::countersOf(const SimModule& module) {
    SimCounters counters;
    counters.slave = module.slave().counters();
    counters.faults = module.faults().injectedCounts();
    return counters;
}

SimCounters SimRunner::counters() const {
    return shared_->with([](const SimModule& m) { return countersOf(m); });
}

std::vector<RegisterWrite> SimRunner::writes() const {
    return shared_->with([](const SimModule& m) { return m.slave().writes(); });
}

void SimRunner::setUnheardWriteRegister(int reg) {
    shared_->with([&](SimModule& m) { m.slave().config().unheardWriteRegister = reg; });
}

std::optional<SentReadReply> SimRunner::sentReadReply(std::uint16_t sequence) const {
    return shared_->with([&](const SimModule& m) { return m.slave().sentReadReply(sequence); });
}

void SimRunner::clearWrites() {
    shared_->with([](SimModule& m) { m.slave().clearWrites(); });
}

bool SimRunner::waitFor(const std::function<bool(const SimCounters&)>& pred,
                        std::chrono::milliseconds timeout) const {
    return shared_->waitUntil([&](const SimModule& m) { return pred(countersOf(m)); }, timeout);
}

bool SimRunner::waitForRequests(std::uint64_t total, std::chrono::milliseconds timeout) const {
    return waitFor([total](const SimCounters& c) { return c.requestsSeen() >= total; }, timeout);
}

bool SimRunner::hungUp() const {
    return endpoint_ && endpoint_->hungUp();
}

}  // namespace vr7c::sim
