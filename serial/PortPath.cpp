#include "PortPath.h"

#include <QtGlobal>

QString SerialPortOverride(const char* portName) {
    return QString::fromLocal8Bit(qgetenv((QByteArray("VR7C_") + portName).constData()));
}

QString SerialDevicePath(const char* portName, const SerialDeviceResolver& resolver) {
    const QString name = QString::fromLocal8Bit(portName);
    const bool comName = name.size() == 4 && name.startsWith(QLatin1String("COM")) &&
                         name[3] >= QLatin1Char('1') && name[3] <= QLatin1Char('8');
    if (!comName) {
        return name;
    }
#ifdef Q_OS_WIN
    return name;
#else
    if (const QString overridden = SerialPortOverride(portName); !overridden.isEmpty()) {
        return overridden;
    }
    const int number = name.mid(3).toInt();
    if (resolver) {
        return resolver(number);
    }
    return QStringLiteral("/dev/ttyUSB%1").arg(number - 1);
#endif
}
