#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "FaultInjector.h"
#include "LineEndpoint.h"
#include "ModbusSlave.h"
#include "ModuleModel.h"
#include "SimModule.h"
#include "SimOptions.h"
#include "TcpListener.h"

namespace vr7c::sim {

// Everything counted so far.
struct SimCounters {
    SlaveCounters slave;
    std::array<std::uint64_t, kFaultKindCount> faults{};  // injected, by FaultKind

    std::uint64_t requestsSeen() const { return slave.requestsSeen; }
    std::uint64_t repliesSent() const { return slave.repliesSent; }
    std::uint64_t faultsInjected(FaultKind kind) const {
        return faults[static_cast<std::size_t>(kind)];
    }
    std::uint64_t faultsInjected() const;
};

// The simulated module running in-process: the line endpoint serves a pseudo-terminal (or a
// device) on its own thread, and the test thread reads and changes the module through this
// object. Every method except start() and stop() is thread-safe (one mutex guards the module);
// start() and stop() belong to the thread that owns the runner.
class SimRunner {
public:
    explicit SimRunner(SimOptions options = {});
    ~SimRunner();  // stops
    SimRunner(const SimRunner&) = delete;
    SimRunner& operator=(const SimRunner&) = delete;

    // Creates the pseudo-terminal (or opens options.device), makes options.link, starts the
    // line thread. False with a message when any of it fails.
    bool start(std::string* error = nullptr);
    // With options.tcp or options.modbusTcp, also listens there on a thread of its own.
    // Stops the threads, closes the line, removes the link. Safe to call twice.
    void stop();
    bool running() const { return thread_.joinable(); }
    // The device path a client opens, e.g. /dev/pts/3 (valid after start()).
    std::string path() const { return path_; }
    // The baud rate used for pacing: the client's, when the line shows it, else options.baud.
    std::uint32_t baud() const;

    // Registers (0 to 99; others read 0 and are ignored).
    std::uint16_t reg(int n) const;
    std::array<std::uint16_t, kModuleRegisterCount> registers() const;
    // The registers as they stood when the latest read reply was built; register 97 holds
    // that reply's sequence number. All zero before the first read.
    std::array<std::uint16_t, kModuleRegisterCount> lastReadImage() const;
    // Sets a register and holds it there (the simulation leaves it alone).
    void setRegister(int n, std::uint16_t value);
    // Writes a register as a Modbus write would (a measured one moves on with the next sample).
    void writeRegister(int n, std::uint16_t value);
    void releaseRegister(int n);
    void releaseAllRegisters();
    // Stops (true) or restarts the movement of the measured values.
    void setFrozen(bool frozen);

    // Faults.
    void setFault(FaultKind kind, double percent);
    // The next `count` replies that can have this fault get it.
    void forceFault(FaultKind kind, int count);
    void clearFaults();

    // Settings that may change while running.
    void setStation(std::uint8_t station);
    void setPlcCan(bool on);
    void setLatency(std::chrono::microseconds latency);
    void setSlowDelay(std::chrono::microseconds delay);
    void setSplitGaps(std::chrono::microseconds min, std::chrono::microseconds max);
    void setPartialEchoBytes(int bytes);
    void setExceptionCode(std::uint8_t code);
    // Writes to this register are never heard (-1: none).
    void setUnheardWriteRegister(int reg);

    // Observation.
    SimCounters counters() const;
    // Writes carried out (register without the bridge offset, value, time), oldest first.
    std::vector<RegisterWrite> writes() const;
    void clearWrites();
    // The read reply with this sequence number (register 97), if it was among the last sent.
    std::optional<SentReadReply> sentReadReply(std::uint16_t sequence) const;
    // Waits until pred(counters) holds or the time-out ends; gives whether it held.
    bool waitFor(const std::function<bool(const SimCounters&)>& pred,
                 std::chrono::milliseconds timeout) const;
    // Waits until at least `total` requests for this station have been seen since start.
    bool waitForRequests(std::uint64_t total, std::chrono::milliseconds timeout) const;
    bool hungUp() const;
    // The TCP port of --tcp or --modbus-tcp once started; 0 when the simulator has none.
    std::uint16_t tcpPort() const { return listener_ ? listener_->port() : 0; }

    // Anything else: runs f(SimModule&) under the module's lock and gives its result.
    template <class F>
    decltype(auto) withModule(F&& f) {
        return shared_->with(std::forward<F>(f));
    }

private:
    static SimCounters countersOf(const SimModule& module);

    SimOptions options_;
    std::unique_ptr<SharedModule> shared_;
    std::unique_ptr<LineEndpoint> endpoint_;
    std::thread thread_;
    std::unique_ptr<TcpListener> listener_;
    std::thread listenerThread_;
    std::string path_;
    bool linkMade_ = false;
};

// Makes `link` a symbolic link to `target`, replacing an older symbolic link there (never
// anything else). False with a message on failure.
bool makeSymlink(const std::string& link, const std::string& target, std::string* error);
// Removes `link` if it still is a symbolic link to `target`.
void removeSymlink(const std::string& link, const std::string& target);

}  // namespace vr7c::sim
