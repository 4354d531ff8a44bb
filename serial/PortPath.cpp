#include "PortPath.h"

#include <QtGlobal>

QString SerialDevicePath(const char* portName) {
    const QString name = QString::fromLatin1(portName);
#ifdef Q_OS_WIN
    return name;
#else
    const QByteArray fromEnvironment = qgetenv(("VR7C_" + name.toLatin1()).constData());
    if (!fromEnvironment.isEmpty()) {
        return QString::fromLocal8Bit(fromEnvironment);
    }
    const int number = name.mid(3).toInt();
    return QStringLiteral("/dev/ttyUSB%1").arg(number - 1);
#endif
}
