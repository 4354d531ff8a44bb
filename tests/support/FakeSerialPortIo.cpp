#include "FakeSerialPortIo.h"

#include <algorithm>

bool FakeSerialPortIo::open(const char* portName) {
    calls.push_back(std::string("open ") + portName);
    if (failOpen) {
        return false;
    }
    openedName = portName;
    open_ = true;
    hung = false;
    return true;
}

void FakeSerialPortIo::close() {
    calls.emplace_back("close");
    open_ = false;
}

bool FakeSerialPortIo::setLineSettings(const LineSettings& settings) {
    calls.emplace_back("settings");
    lastSettings = settings;
    dtr = settings.dtrEnabled;
    if (!settings.rtsHandshake) {
        rts = false;
    }
    return true;
}

bool FakeSerialPortIo::setQueueSizes(std::uint16_t inputBytes, std::uint16_t outputBytes) {
    calls.push_back("queues " + std::to_string(inputBytes) + " " + std::to_string(outputBytes));
    inputQueueSize = inputBytes;
    outputQueueSize = outputBytes;
    return true;
}

bool FakeSerialPortIo::setTimeouts(const CommTimeouts& timeouts) {
    calls.emplace_back("timeouts");
    lastTimeouts = timeouts;
    return true;
}

bool FakeSerialPortIo::purge(std::uint32_t flags) {
    calls.push_back("purge " + std::to_string(flags));
    purges.push_back(flags);
    return true;
}

bool FakeSerialPortIo::changeModemLine(ModemLineChange change) {
    calls.push_back("modem " + std::to_string(static_cast<int>(change)));
    switch (change) {
        case ModemLineChange::SetRts:
            rts = true;
            break;
        case ModemLineChange::ClearRts:
            rts = false;
            break;
        case ModemLineChange::SetDtr:
            dtr = true;
            break;
        case ModemLineChange::ClearDtr:
            dtr = false;
            break;
    }
    return true;
}

std::uint32_t FakeSerialPortIo::outputQueueLength() {
    return outputQueue;
}

std::int64_t FakeSerialPortIo::write(const std::uint8_t* data, std::int64_t count) {
    calls.push_back("write " + std::to_string(count));
    if (hung) {
        return -1;
    }
    const std::int64_t taken = writeResult == -2 ? count : writeResult;
    if (taken <= 0) {
        return taken;
    }
    std::vector<std::uint8_t> bytes(data, data + std::min(taken, count));
    writes.push_back(bytes);
    if (onWrite) {
        onWrite(bytes);
    }
    return taken;
}

std::int64_t FakeSerialPortIo::read(std::uint8_t* buffer, std::int64_t maxCount) {
    ++readCalls;
    if (onRead) {
        onRead();
    }
    if (hung) {
        return -1;
    }
    if (failingReads > 0) {
        --failingReads;
        return -1;
    }
    if (pendingReads.empty() || maxCount <= 0) {
        return 0;
    }
    auto& chunk = pendingReads.front();
    const auto n = std::min<std::int64_t>(maxCount, static_cast<std::int64_t>(chunk.size()));
    std::copy_n(chunk.begin(), n, buffer);
    chunk.erase(chunk.begin(), chunk.begin() + n);
    if (chunk.empty()) {
        pendingReads.pop_front();
    }
    return n;
}
