#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>

#include "PortPath.h"
#include "SerialPortIo.h"

// A real serial port (USB adapter, built-in port or pseudo-terminal) through QSerialPort.
// Reads never wait: what has arrived is taken, so the driver's wait loops can poll the port
// without an event loop. On Linux the bytes are read from the descriptor on the driver's own
// poll rather than through QSerialPort's notifier. A port that hangs up is closed at once and
// reads nothing after.
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
    bool waitForInput(std::uint32_t milliseconds) override;
    // True when received bytes are read from the descriptor on the driver's poll (Linux).
    bool readsFromDescriptor() const { return readsFromDescriptor_; }

private:
    void onError(QSerialPort::SerialPortError error);
    void closeAfterHangUp();
    void requestLowLatency();
    bool stopQtReadNotifications();
    int pendingInput() const;
    bool deviceHungUp() const;

    QSerialPort port_;
    bool hungUp_ = false;
    bool readsFromDescriptor_ = false;
};
