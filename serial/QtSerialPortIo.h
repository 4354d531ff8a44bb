#pragma once

#include <QObject>
#include <QSerialPort>

#include "SerialPortIo.h"

// A real serial port through QSerialPort's public interface, for Windows (elsewhere the port
// has a descriptor of its own, PosixSerialPortIo). Reads never wait: what has arrived is
// taken, so the driver's wait loops can poll the port without an event loop. A port that
// hangs up is closed as soon as control is back in the event loop and reads nothing after.
class QtSerialPortIo final : public QObject, public SerialPortIo {
    Q_OBJECT

public:
    QtSerialPortIo();
    ~QtSerialPortIo() override;

    bool open(const char* portName) override;
    void close() override;
    bool isOpen() const override;
    bool setLineSettings(const LineSettings& settings) override;
    bool setQueueSizes(std::uint16_t inputBytes, std::uint16_t outputBytes) override;
    bool setTimeouts(const CommTimeouts& timeouts) override;
    bool purge(std::uint32_t flags) override;
    bool changeModemLine(ModemLineChange change) override;
    std::uint32_t outputQueueLength() override;
    std::int64_t write(const std::uint8_t* data, std::int64_t count) override;
    std::int64_t read(std::uint8_t* buffer, std::int64_t maxCount) override;
    bool hungUp() const override { return hungUp_; }
    int lastOpenError() const override { return openError_; }
    bool waitForInput(std::uint32_t milliseconds) override;

private:
    void onError(QSerialPort::SerialPortError error);
    void closeAfterHangUp();

    QSerialPort port_;
    bool hungUp_ = false;
    int openError_ = 0;
};
