#include "PortList.h"

#include <QFileInfo>

#include "PortPath.h"

std::vector<PortEntry> ListPorts() {
    std::vector<PortEntry> ports;
    for (int n = 1; n <= 8; ++n) {
        PortEntry entry;
        entry.name = QStringLiteral("COM%1").arg(n);
        entry.device = SerialDevicePath(entry.name.toLatin1().constData());
        const QFileInfo info(entry.device);
        entry.present = info.exists();
        if (!entry.present) {
            entry.description = QStringLiteral("no device");
        } else if (info.isSymLink()) {
            entry.description = QStringLiteral("link to ") + info.symLinkTarget();
        } else {
            entry.description = QStringLiteral("serial device");
        }
        ports.push_back(entry);
    }
    return ports;
}
