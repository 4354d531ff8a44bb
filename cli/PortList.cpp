#include "PortList.h"

#include "ComPorts.h"
#include "PortCatalogue.h"

ComPorts& MachinePorts() {
    static SystemPortCatalogue catalogue;
    static ComPorts ports(catalogue, ConsoleSettingsPath());
    static const bool ready = [] {
        ports.Refresh();
        return true;
    }();
    static_cast<void>(ready);
    return ports;
}

std::vector<PortLine> ListPorts(const ComPorts& ports) {
    std::vector<PortLine> lines;
    for (int index = 0; index < 8; ++index) {
        const ComPortView view = ports.View(index);
        PortLine line;
        line.name = view.name;
        line.device = view.devicePath;
        line.present = !view.devicePath.isEmpty();
        if (view.adapter) {
            QStringList known;
            for (const QString& part : {view.adapter->description, view.adapter->serialNumber}) {
                if (!part.isEmpty()) {
                    known << part;
                }
            }
            line.description = known.join(QStringLiteral(" · "));
        } else if (view.overridden) {
            line.description = QStringLiteral("VR7C_%1").arg(view.name);
        } else if (!line.present) {
            line.description = QStringLiteral("nothing plugged in");
        }
        lines.push_back(line);
    }
    return lines;
}
