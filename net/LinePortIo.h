#pragma once

#include <memory>

#include "NetPortIo.h"
#include "SerialPortIo.h"

namespace vr7c::net {

// The port of a line named "COM1" … "COM8", whatever the number stands for: a serial device,
// or a network line when its device (from VR7C_COMn or the COM assignment) is a tcp://,
// rfc2217:// or modbus-tcp:// URL, through the lookup it was given. Each open() looks again, so a
// number reassigned between two connections reaches its new line. Everything else goes to the port
// that is open.
class LinePortIo final : public SerialPortIo {
public:
    LinePortIo();
    ~LinePortIo() override;

    bool open(const char* portName) override;
    void setDeviceLookup(SerialDeviceResolver lookup) override { lookup_ = std::move(lookup); }
    int lastOpenError() const override { return active_->lastOpenError(); }
    long lastOpenBusyOwner() const override { return active_->lastOpenBusyOwner(); }
    void close() override { active_->close(); }
    bool isOpen() const override { return active_->isOpen(); }
    bool setLineSettings(const LineSettings& s) override { return active_->setLineSettings(s); }
    bool setQueueSizes(std::uint16_t in, std::uint16_t out) override {
        return active_->setQueueSizes(in, out);
    }
    bool setTimeouts(const CommTimeouts& t) override { return active_->setTimeouts(t); }
    bool purge(std::uint32_t flags) override { return active_->purge(flags); }
    bool changeModemLine(ModemLineChange c) override { return active_->changeModemLine(c); }
    std::uint32_t outputQueueLength() override { return active_->outputQueueLength(); }
    std::int64_t write(const std::uint8_t* data, std::int64_t count) override {
        return active_->write(data, count);
    }
    std::int64_t read(std::uint8_t* buffer, std::int64_t maxCount) override {
        return active_->read(buffer, maxCount);
    }
    int arrivalDescriptor() const override { return active_->arrivalDescriptor(); }
    bool hungUp() const override { return active_->hungUp(); }
    bool waitForInput(std::uint32_t ms) override { return active_->waitForInput(ms); }
    bool carriesModbusTcp() const override { return active_->carriesModbusTcp(); }

    // The network line when the last open went to one, else nothing.
    const NetPortIo* network() const { return active_ == &net_ ? &net_ : nullptr; }

private:
    std::unique_ptr<SerialPortIo> serial_;
    NetPortIo net_;
    SerialPortIo* active_;
    SerialDeviceResolver lookup_;
};

}  // namespace vr7c::net
