#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "SimModule.h"
#include "SimTime.h"

namespace vr7c::sim {

// A SimModule shared between the line thread and whoever watches it, behind one mutex. The line
// thread notifies after every step in which bytes came in or went out.
class SharedModule {
public:
    explicit SharedModule(std::unique_ptr<SimModule> module) : module_(std::move(module)) {}

    template <class F>
    decltype(auto) with(F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::forward<F>(f)(*module_);
    }
    template <class F>
    decltype(auto) with(F&& f) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::forward<F>(f)(static_cast<const SimModule&>(*module_));
    }
    // Waits until pred(module) holds (checked under the lock) or the time-out ends.
    template <class Pred>
    bool waitUntil(Pred&& pred, std::chrono::milliseconds timeout) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout,
                                 [&] { return pred(static_cast<const SimModule&>(*module_)); });
    }
    void notifyAll() const { changed_.notify_all(); }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::unique_ptr<SimModule> module_;
};

// The module's end of the line: a pseudo-terminal it creates, or a serial device it is given.
// Reads what the client sends, stamps it with the monotonic time, hands it to the module, and
// writes the module's bytes to the line when they are due, so that replies arrive paced as at
// the baud rate in use. On a pseudo-terminal the baud rate is read from the line's settings
// (the client sets it; parity cannot be seen there), else the configured one is used.
//
// When the client closes the pseudo-terminal (hang-up), the endpoint keeps its side open,
// discards what was queued, checks every 20 ms whether a client has opened it again, and
// carries on; it never spins.
class LineEndpoint {
public:
    struct Options {
        std::string device;  // empty: create a pseudo-terminal
        std::uint32_t baud = 57600;
        // Bytes due within this much of each other go out in one write (never early).
        Micros writeQuantum = 500;
    };

    LineEndpoint(SharedModule& module, Options options);
    ~LineEndpoint();
    LineEndpoint(const LineEndpoint&) = delete;
    LineEndpoint& operator=(const LineEndpoint&) = delete;

    // Creates the pseudo-terminal or opens the device. False with a message on failure.
    bool open(std::string* error);
    // The device path a client opens (/dev/pts/N for a pseudo-terminal).
    const std::string& path() const { return path_; }

    // Serves the line until requestStop(). Call once, on any one thread.
    void run();
    // Ends run() soon; async-signal-safe.
    void requestStop();

    // The baud rate last read from the line (0 before anything was read).
    std::uint32_t lineBaud() const { return lineBaud_.load(); }
    bool hungUp() const { return hungUp_.load(); }

    // The monotonic clock the endpoint stamps bytes with.
    static Micros now();

private:
    void readInput();
    void discardUnreadOutput();
    void writeOutput(const std::vector<std::uint8_t>& bytes);
    std::optional<std::uint32_t> readLineBaud() const;

    SharedModule& module_;
    Options options_;
    std::string path_;
    int fd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    std::atomic<std::uint32_t> lineBaud_{0};
    // The line's speed setting right after opening: while it stands, no client has set one
    // of its own, and the configured baud rate applies.
    unsigned openSpeed_ = 0;
};

// Maps a baud rate to the termios speed constant and back; nullopt when there is none.
std::optional<unsigned> baudToSpeed(std::uint32_t baud);
std::optional<std::uint32_t> speedToBaud(unsigned speed);

}  // namespace vr7c::sim
