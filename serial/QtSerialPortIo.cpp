#include "QtSerialPortIo.h"

#include "PortPath.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#endif

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
    port_.setPortName(SerialDevicePath(portName));
    if (!port_.open(QIODevice::ReadWrite)) {
        return false;
    }
    requestLowLatency();
    readsFromDescriptor_ = stopQtReadNotifications();
    return true;
}

bool QtSerialPortIo::stopQtReadNotifications() {
#ifdef Q_OS_LINUX
    // The driver reads on its own 5 ms poll. QSerialPort would also wake the thread for every
    // chunk the line delivers, to copy it into a buffer of its own; with its read notifier off,
    // the driver reads the descriptor itself. Where the notifier cannot be found, reads stay
    // with QSerialPort, so that no byte can go to two places.
    bool stopped = false;
    for (QSocketNotifier* notifier : port_.findChildren<QSocketNotifier*>()) {
        if (notifier->type() == QSocketNotifier::Read) {
            notifier->setEnabled(false);
            stopped = true;
        }
    }
    return stopped;
#else
    return false;
#endif
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
    // Push what QSerialPort still holds towards the device, then count both queues.
    port_.flush();
    auto waiting = static_cast<std::uint32_t>(port_.bytesToWrite());
#ifdef Q_OS_LINUX
    int inDevice = 0;
    if (::ioctl(port_.handle(), TIOCOUTQ, &inDevice) == 0 && inDevice > 0) {
        waiting += static_cast<std::uint32_t>(inDevice);
    }
#endif
    return waiting;
}

std::int64_t QtSerialPortIo::write(const std::uint8_t* data, std::int64_t count) {
    if (!port_.isOpen() || hungUp_) {
        return -1;
    }
#ifdef Q_OS_LINUX
    // With nothing queued in QSerialPort, the bytes go straight to the device: no buffer is
    // allocated per request, and the order of the bytes is kept.
    if (port_.bytesToWrite() == 0) {
        const ssize_t written = ::write(port_.handle(), data, static_cast<std::size_t>(count));
        if (written >= 0) {
            return written;
        }
        if (errno == EAGAIN || errno == EINTR) {
            return 0;
        }
        onError(QSerialPort::WriteError);
        return -1;
    }
#endif
    const qint64 taken = port_.write(reinterpret_cast<const char*>(data), count);
    if (taken > 0) {
        port_.flush();
    }
    return hungUp_ ? -1 : taken;
}

bool QtSerialPortIo::deviceHungUp() const {
#ifdef Q_OS_LINUX
    pollfd state{port_.handle(), POLLIN, 0};
    return ::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

int QtSerialPortIo::pendingInput() const {
#ifdef Q_OS_LINUX
    int available = 0;
    if (::ioctl(port_.handle(), FIONREAD, &available) == 0) {
        return available;
    }
    return 0;
#else
    return 1;
#endif
}

std::int64_t QtSerialPortIo::read(std::uint8_t* buffer, std::int64_t maxCount) {
    if (!port_.isOpen() || hungUp_) {
        return -1;
    }
#ifdef Q_OS_LINUX
    if (readsFromDescriptor_) {
        const ssize_t got = ::read(port_.handle(), buffer, static_cast<std::size_t>(maxCount));
        if (got > 0) {
            return got;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            return 0;
        }
        // A raw tty also reads 0 bytes when nothing has arrived; only a hang-up says so in
        // its poll state. EIO is how a pseudo-terminal reports that its other end closed.
        if (got == 0 && !deviceHungUp()) {
            return 0;
        }
        onError(QSerialPort::ReadError);
        return -1;
    }
#endif
    // Without an event loop (inside a wait loop) QSerialPort does not fetch new bytes by
    // itself; a zero wait makes it take in what the device holds.
    if (port_.bytesAvailable() < maxCount && pendingInput() > 0) {
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
#ifdef Q_OS_LINUX
    if (readsFromDescriptor_) {
        pollfd state{port_.handle(), POLLIN, 0};
        return ::poll(&state, 1, static_cast<int>(milliseconds)) > 0;
    }
#endif
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

void QtSerialPortIo::requestLowLatency() {
#ifdef Q_OS_LINUX
    // USB adapters hold received bytes up to their latency timer (16 ms by default) unless
    // asked for low latency. Devices that refuse (pseudo-terminals) are left as they are.
    serial_struct info{};
    if (::ioctl(port_.handle(), TIOCGSERIAL, &info) == 0) {
        info.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(port_.handle(), TIOCSSERIAL, &info);
    }
#endif
}
