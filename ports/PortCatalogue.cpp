#include "PortCatalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

QString StableIdentity(const PortEntry& entry) {
    if (entry.hasUsbIds) {
        // An adapter without a serial number is known by its udev name or, failing that, by
        // its device node: two such adapters of one make cannot be told apart otherwise.
        QString unit = entry.serialNumber;
        if (unit.isEmpty()) {
            unit =
                QLatin1Char('@') + (entry.byIdName.isEmpty() ? entry.devicePath : entry.byIdName);
        }
        return QStringLiteral("usb:%1:%2:%3")
            .arg(entry.vendorId, 4, 16, QLatin1Char('0'))
            .arg(entry.productId, 4, 16, QLatin1Char('0'))
            .arg(unit);
    }
    if (!entry.byIdName.isEmpty()) {
        return QStringLiteral("by-id:") + entry.byIdName;
    }
    return QStringLiteral("path:") + entry.devicePath;
}

namespace {

// Device node -> name of its link under /dev/serial/by-id.
QHash<QString, QString> ByIdNames() {
    QHash<QString, QString> names;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files)) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty()) {
            names.insert(target, link.fileName());
        }
    }
    return names;
}

// The serial device nodes and their udev links, each with the time its node was set up: a
// device that went and came back between two looks still shows as changed.
QString DeviceNodes() {
    QString nodes;
    const auto add = [&nodes](const QString& place, const QStringList& patterns) {
        const QDir dir(place);
        for (const QFileInfo& node : dir.entryInfoList(
                 patterns, QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
            nodes += node.fileName() + QLatin1Char('@') +
                     QString::number(node.metadataChangeTime().toMSecsSinceEpoch()) +
                     QLatin1Char('\n');
        }
    };
    add(QStringLiteral("/dev"), {QStringLiteral("tty*")});
    add(QStringLiteral("/dev/serial/by-id"), {});
    return nodes;
}

}  // namespace

std::vector<PortEntry> SystemPortCatalogue::List() {
    QString nodes = DeviceNodes();
    if (nodes == nodes_) {
        return entries_;
    }
    nodes_ = std::move(nodes);
    const QHash<QString, QString> byId = ByIdNames();
    std::vector<PortEntry>& entries = entries_;
    entries.clear();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortEntry entry;
        entry.devicePath = info.systemLocation();
        entry.description = info.description();
        entry.manufacturer = info.manufacturer();
        entry.serialNumber = info.serialNumber();
        entry.hasUsbIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        entry.vendorId = info.vendorIdentifier();
        entry.productId = info.productIdentifier();
        entry.byIdName = byId.value(QFileInfo(entry.devicePath).canonicalFilePath());
        entries.push_back(entry);
    }
    return entries;
}
