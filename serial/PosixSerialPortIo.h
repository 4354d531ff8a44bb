#pragma once

#include <string>

#include "SerialPortIo.h"

// A real serial port (USB adapter, built-in port or pseudo-terminal) on its own descriptor.
// Reads never wait: what has arrived is taken on the driver's poll, so nothing wakes the
// thread per received chunk and the driver's wait loops work without an event loop. Writes go
// straight to the device. A port that hangs up is closed at once and reads nothing after.
//
// Two programs never share a port: the device is opened with TIOCEXCL and flock, and a lock
// file LCK..<device> under /var/lock names the owning process, in the layout QSerialPort and
// the UUCP tools read (the process id on the first line).
class PosixSerialPortIo final : public SerialPortIo {
public:
    PosixSerialPortIo() = default;
    ~PosixSerialPortIo() override;
    PosixSerialPortIo(const PosixSerialPortIo&) = delete;
    PosixSerialPortIo& operator=(const PosixSerialPortIo&) = delete;

    bool open(const char* portName) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    bool setLineSettings(const LineSettings& settings) override;
    bool setQueueSizes(std::uint16_t inputBytes, std::uint16_t outputBytes) override;
    bool setTimeouts(const CommTimeouts& timeouts) override;
    bool purge(std::uint32_t flags) override;
    bool changeModemLine(ModemLineChange change) override;
    std::uint32_t outputQueueLength() override;
    std::int64_t write(const std::uint8_t* data, std::int64_t count) override;
    std::int64_t read(std::uint8_t* buffer, std::int64_t maxCount) override;
    bool hungUp() const override { return hungUp_; }
    bool waitForInput(std::uint32_t milliseconds) override;
    int arrivalDescriptor() const override { return fd_; }
    int lastOpenError() const override { return openError_; }
    long lastOpenBusyOwner() const override { return busyOwner_; }

    // The lock file path for a device path: "/dev/ttyUSB0" gives "/var/lock/LCK..ttyUSB0",
    // "/dev/pts/3" gives "/var/lock/LCK..pts_3" (the device's real path after "/dev/").
    static std::string LockFilePath(const std::string& devicePath);

private:
    bool takeLock(const std::string& lockPath);
    void releaseLock();
    bool failOpen(int error);
    void hangUp();

    int fd_ = -1;
    bool hungUp_ = false;
    int openError_ = 0;
    long busyOwner_ = 0;
    std::string lockPath_;  // empty while no lock file of ours exists
};
