#include "QtSerialPortIo.h"

#include "PortPath.h"

#include <QMetaObject>
#include <QtGlobal>

#include <cerrno>

QtSerialPortIo::QtSerialPortIo() {
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPortIo::onError);
}

QtSerialPortIo::~QtSerialPortIo() {
    port_.close();
}

bool QtSerialPortIo::open(const char* portName) {
    if (port_.isOpen()) {
        port_.close();
    }
    hungUp_ = false;
    openError_ = 0;
    port_.setPortName(SerialDevicePath(portName));
    if (!port_.open(QIODevice::ReadWrite)) {
        switch (port_.error()) {
            case QSerialPort::DeviceNotFoundError:
                openError_ = ENOENT;
                break;
            case QSerialPort::PermissionError:
                openError_ = EACCES;
                break;
            case QSerialPort::OpenError:
                openError_ = EBUSY;
                break;
            default:
                openError_ = EIO;
                break;
        }
        return false;
    }
    return true;
}

void QtSerialPortIo::close() {
    if (port_.isOpen()) {
        port_.close();
    }
}

bool QtSerialPortIo::isOpen() const {
    return port_.isOpen();
}

bool QtSerialPortIo::setLineSettings(const LineSettings& s) {
    if (!port_.isOpen()) {
        return false;
    }
    // Each setting is tried on its own; what the device cannot do (1.5 stop bits, modem lines
    // on a pseudo-terminal) is carried on past.
    bool ok = port_.setBaudRate(static_cast<qint32>(s.baudRate));
    ok = port_.setDataBits(static_cast<QSerialPort::DataBits>(qBound(5, int(s.byteSize), 8))) && ok;
    static constexpr QSerialPort::Parity kParity[5] = {
        QSerialPort::NoParity, QSerialPort::OddParity, QSerialPort::EvenParity,
        QSerialPort::MarkParity, QSerialPort::SpaceParity};
    ok = port_.setParity(kParity[qMin(int(s.parity), 4)]) && ok;
    static constexpr QSerialPort::StopBits kStop[3] = {
        QSerialPort::OneStop, QSerialPort::OneAndHalfStop, QSerialPort::TwoStop};
    ok = port_.setStopBits(kStop[qMin(int(s.stopBits), 2)]) && ok;
    QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
    if (s.rtsHandshake || s.ctsOutputFlow) {
        flow = QSerialPort::HardwareControl;
    } else if (s.xonXoffOutput || s.xonXoffInput) {
        flow = QSerialPort::SoftwareControl;
    }
    ok = port_.setFlowControl(flow) && ok;
    // Opening a tty may raise DTR and RTS by itself: put both where the control modes say.
    ok = port_.setDataTerminalReady(s.dtrEnabled) && ok;
    if (!s.rtsHandshake) {
        ok = port_.setRequestToSend(false) && ok;
    }
    return ok;
}

bool QtSerialPortIo::setQueueSizes(std::uint16_t, std::uint16_t) {
    // The operating system sizes its own queues; QSerialPort's buffer grows as needed.
    return port_.isOpen();
}

bool QtSerialPortIo::setTimeouts(const CommTimeouts&) {
    // Reads never wait here and writes are handed over whole, which is what the driver asks.
    return port_.isOpen();
}

bool QtSerialPortIo::purge(std::uint32_t flags) {
    if (!port_.isOpen()) {
        return false;
    }
    QSerialPort::Directions directions;
    if (flags & (kPurgeRxAbort | kPurgeRxClear)) {
        directions |= QSerialPort::Input;
    }
    if (flags & (kPurgeTxAbort | kPurgeTxClear)) {
        directions |= QSerialPort::Output;
    }
    return port_.clear(directions);
}

bool QtSerialPortIo::changeModemLine(ModemLineChange change) {
    if (!port_.isOpen()) {
        return false;
    }
    switch (change) {
        case ModemLineChange::SetRts:
            return port_.setRequestToSend(true);
        case ModemLineChange::ClearRts:
            return port_.setRequestToSend(false);
        case ModemLineChange::SetDtr:
            return port_.setDataTerminalReady(true);
        case ModemLineChange::ClearDtr:
            return port_.setDataTerminalReady(false);
    }
    return false;
}

std::uint32_t QtSerialPortIo::outputQueueLength() {
    if (!port_.isOpen() || hungUp_) {
        return 0;
    }
    // Push what QSerialPort still holds towards the device, then count what is left.
    port_.flush();
    return static_cast<std::uint32_t>(port_.bytesToWrite());
}

std::int64_t QtSerialPortIo::write(const std::uint8_t* data, std::int64_t count) {
    if (!port_.isOpen() || hungUp_) {
        return -1;
    }
    const qint64 taken = port_.write(reinterpret_cast<const char*>(data), count);
    if (taken > 0) {
        port_.flush();
    }
    return hungUp_ ? -1 : taken;
}

std::int64_t QtSerialPortIo::read(std::uint8_t* buffer, std::int64_t maxCount) {
    if (!port_.isOpen() || hungUp_) {
        return -1;
    }
    // Without an event loop (inside a wait loop) QSerialPort does not fetch new bytes by
    // itself; a zero wait makes it take in what the device holds.
    if (port_.bytesAvailable() < maxCount) {
        port_.waitForReadyRead(0);
    }
    if (hungUp_) {
        return -1;
    }
    return port_.read(reinterpret_cast<char*>(buffer), maxCount);
}

bool QtSerialPortIo::waitForInput(std::uint32_t milliseconds) {
    if (!port_.isOpen() || hungUp_) {
        return false;
    }
    return port_.bytesAvailable() > 0 || port_.waitForReadyRead(static_cast<int>(milliseconds));
}

void QtSerialPortIo::onError(QSerialPort::SerialPortError error) {
    switch (error) {
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
        case QSerialPort::ResourceError:
            if (!hungUp_ && port_.isOpen()) {
                // The device has gone away. Qt keeps reporting the error from its read
                // notifier in a tight loop while the port stays open, so the port is closed
                // as soon as control is back in the event loop, and nothing touches it before.
                hungUp_ = true;
                QMetaObject::invokeMethod(this, &QtSerialPortIo::closeAfterHangUp,
                                          Qt::QueuedConnection);
            }
            break;
        default:
            break;
    }
}

void QtSerialPortIo::closeAfterHangUp() {
    if (hungUp_) {
        port_.close();
    }
}
