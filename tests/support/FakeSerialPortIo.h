#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SerialPortIo.h"

// In-memory serial port for unit tests: records everything the driver asks of it and
// delivers scripted reads and failures.
class FakeSerialPortIo final : public SerialPortIo {
public:
    // Every call in order, e.g. "open COM1", "settings", "purge 15", "queues 1024 512",
    // "timeouts", "modem 5", "write 8", "close".
    std::vector<std::string> calls;

    LineSettings lastSettings;
    CommTimeouts lastTimeouts;
    std::uint16_t inputQueueSize = 0;
    std::uint16_t outputQueueSize = 0;
    std::vector<std::uint32_t> purges;
    std::vector<std::vector<std::uint8_t>> writes;  // one entry per write call
    std::string openedName;

    // Modem lines as they stand now (set by settings and by line changes).
    bool dtr = false;
    bool rts = false;

    // Script.
    bool failOpen = false;
    int openError = 0;              // what lastOpenError() tells after a failed open
    bool hung = false;              // the device has gone away
    bool modbusTcp = false;         // the line carries Modbus TCP
    std::uint32_t outputQueue = 0;  // reported output-queue length
    std::int64_t writeResult = -2;  // -2: take all bytes; otherwise return this value
    int failingReads = 0;           // the next reads fail (-1)
    std::deque<std::vector<std::uint8_t>> pendingReads;  // one chunk per read call
    // Called after each successful write with the bytes written, e.g. to queue a reply.
    std::function<void(const std::vector<std::uint8_t>&)> onWrite;
    // Called at each read before the chunk is taken, e.g. to deliver bytes over time.
    std::function<void()> onRead;

    // Queues bytes to be returned by one later read.
    void feed(std::vector<std::uint8_t> bytes) { pendingReads.push_back(std::move(bytes)); }
    int readCalls = 0;

    bool open(const char* portName) override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool setLineSettings(const LineSettings& settings) override;
    bool setQueueSizes(std::uint16_t inputBytes, std::uint16_t outputBytes) override;
    bool setTimeouts(const CommTimeouts& timeouts) override;
    bool purge(std::uint32_t flags) override;
    bool changeModemLine(ModemLineChange change) override;
    std::uint32_t outputQueueLength() override;
    std::int64_t write(const std::uint8_t* data, std::int64_t count) override;
    std::int64_t read(std::uint8_t* buffer, std::int64_t maxCount) override;
    bool hungUp() const override { return hung; }
    bool carriesModbusTcp() const override { return open_ && modbusTcp; }
    int lastOpenError() const override { return failOpen ? openError : 0; }

private:
    bool open_ = false;
};

// A new fake port for a driver to own; raw keeps its address for the test.
inline std::unique_ptr<SerialPortIo> NewFakePort(FakeSerialPortIo*& raw) {
    auto port = std::make_unique<FakeSerialPortIo>();
    raw = port.get();
    return port;
}
