#include "LinePortIo.h"

#include "PortPath.h"

#ifdef Q_OS_WIN
#include "QtSerialPortIo.h"
using SystemSerialPortIo = QtSerialPortIo;
#else
#include "PosixSerialPortIo.h"
using SystemSerialPortIo = PosixSerialPortIo;
#endif

namespace vr7c::net {

LinePortIo::LinePortIo()
    : serial_(std::make_unique<SystemSerialPortIo>()), active_(serial_.get()) {}

LinePortIo::~LinePortIo() = default;

bool LinePortIo::open(const char* portName) {
    active_->close();
    const QString device = SerialDevicePath(portName, lookup_);
    if (LooksLikeNetAddress(device.toStdString())) {
        active_ = &net_;
        return net_.open(device.toUtf8().constData());
    }
    active_ = serial_.get();
    return serial_->open(device.toLocal8Bit().constData());
}

}  // namespace vr7c::net
