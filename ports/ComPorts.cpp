#include "ComPorts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include "NetAddress.h"
#include "PortPath.h"
#include "TcpConnect.h"

namespace {

QString ComName(int index) {
    return QStringLiteral("COM%1").arg(index + 1);
}

QString Override(int index) {
    return SerialPortOverride(ComName(index).toLatin1().constData());
}

bool IsNetworkLine(const QString& text) {
    return vr7c::net::LooksLikeNetAddress(text.toStdString());
}

}  // namespace

QString ConsoleSettingsPath() {
    const QString overridden = qEnvironmentVariable("VR7C_SETTINGS");
    if (!overridden.isEmpty()) {
        return overridden;
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/VR7C-20NP/vr7c-console.ini");
}

ComPorts::ComPorts(PortCatalogue& catalogue, QString settingsPath, DeviceChecker checker)
    : catalogue_(catalogue),
      settingsPath_(std::move(settingsPath)),
      checker_(checker ? std::move(checker)
                       : [](const QString& path) { return CheckDevice(path); }),
      assignment_(ComAssignment::Load(settingsPath_)),
      shown_(assignment_) {}

void ComPorts::Refresh() {
    entries_ = catalogue_.List();
    for (const PortEntry& entry : entries_) {
        const QString identity = StableIdentity(entry);
        if (assignment_.Find(identity) < 0 && assignment_.Assign(identity) >= 0) {
            unsaved_ = true;
        }
    }
    ShowAssignment();
    Store();
}

void ComPorts::ShowAssignment() {
    std::bitset<ComAssignment::kPortCount> overridden;
    for (int i = 0; i < ComAssignment::kPortCount; ++i) {
        overridden.set(static_cast<std::size_t>(i), !Override(i).isEmpty());
    }
    shown_ = assignment_;
    for (int i = 0; i < ComAssignment::kPortCount; ++i) {
        if (overridden.test(static_cast<std::size_t>(i))) {
            const QString displaced = shown_.Owner(i);
            shown_.SetOwner(i, {});
            if (PresentEntry(displaced) != nullptr) {
                shown_.Assign(displaced, overridden);
            }
        }
    }
}

void ComPorts::Store() {
    // Until the settings file exists the new numbers are kept here and stored later.
    if (unsaved_ && QFileInfo(settingsPath_).isFile()) {
        unsaved_ = !assignment_.Save(settingsPath_);
    }
}

SerialDeviceResolver ComPorts::DeviceLookup() const {
    return [this](int number) { return DevicePath(number - 1); };
}

const PortEntry* ComPorts::PresentEntry(const QString& identity) const {
    if (identity.isEmpty()) {
        return nullptr;
    }
    for (const PortEntry& entry : entries_) {
        if (StableIdentity(entry) == identity) {
            return &entry;
        }
    }
    return nullptr;
}

ComPortView ComPorts::View(int index) const {
    ComPortView view;
    view.name = ComName(index);
    if (index < 0 || index >= ComAssignment::kPortCount) {
        return view;
    }
    if (const QString overridden = Override(index); !overridden.isEmpty()) {
        view.overridden = true;
        // A link or device that is not there now reaches nothing, as an unplugged adapter;
        // a network line is always there until a connection says otherwise.
        if (IsNetworkLine(overridden) || QFileInfo::exists(overridden)) {
            view.devicePath = overridden;
        }
        return view;
    }
    if (IsNetworkLine(shown_.Owner(index))) {
        view.devicePath = shown_.Owner(index);
        view.network = true;
        return view;
    }
    if (const PortEntry* entry = PresentEntry(shown_.Owner(index))) {
        view.adapter = *entry;
        view.devicePath = entry->devicePath;
    }
    return view;
}

QString ComPorts::ToolTip(int index) const {
    const ComPortView view = View(index);
    if (view.overridden) {
        const QString path = Override(index);
        return view.devicePath.isEmpty()
                   ? QCoreApplication::translate("ComPorts", "%1 → %2（VR7C_%1，现在不存在）")
                         .arg(view.name, path)
                   : QCoreApplication::translate("ComPorts", "%1 → %2（VR7C_%1）")
                         .arg(view.name, path);
    }
    if (view.network) {
        return QCoreApplication::translate("ComPorts", "%1 → %2（网络线路）")
            .arg(view.name, view.devicePath);
    }
    if (!view.adapter) {
        return QCoreApplication::translate("ComPorts", "%1 → 没有插入设备").arg(view.name);
    }
    QStringList parts{view.devicePath};
    if (!view.adapter->description.isEmpty()) {
        parts << view.adapter->description;
    }
    if (!view.adapter->serialNumber.isEmpty()) {
        parts << view.adapter->serialNumber;
    }
    return view.name + QStringLiteral(" → ") + parts.join(QStringLiteral(" · "));
}

QStringList ComPorts::ExistingPorts() const {
    QStringList existing;
    for (int i = 0; i < ComAssignment::kPortCount; ++i) {
        if (const ComPortView view = View(i); !view.devicePath.isEmpty()) {
            existing << view.name + QStringLiteral(" → ") + view.devicePath;
        }
    }
    for (const PortEntry& entry : entries_) {
        if (shown_.Find(StableIdentity(entry)) < 0) {
            existing << entry.devicePath + QCoreApplication::translate(
                                               "ComPorts", "（COM1 至 COM8 都已分给其它适配器）");
        }
    }
    return existing;
}

bool ComPorts::IsNetwork(int index) const {
    return IsNetworkLine(View(index).devicePath);
}

bool ComPorts::AssignNetworkLine(int index, const QString& url) {
    if (index < 0 || index >= ComAssignment::kPortCount || !assignment_.Owner(index).isEmpty() ||
        !vr7c::net::ParseNetAddress(url.toStdString())) {
        return false;
    }
    assignment_.SetOwner(index, url);
    unsaved_ = true;
    ShowAssignment();
    Store();
    return true;
}

bool ComPorts::FreeNetworkLine(int index) {
    if (index < 0 || index >= ComAssignment::kPortCount ||
        !IsNetworkLine(assignment_.Owner(index))) {
        return false;
    }
    assignment_.SetOwner(index, QString());
    unsaved_ = true;
    ShowAssignment();
    Store();
    return true;
}

OpenFailureExplanation ComPorts::ExplainOpenFailure(int index, int openErrno) const {
    const ComPortView view = View(index);
    if (IsNetworkLine(view.devicePath)) {
        return ExplainNetworkFailure(view.devicePath, openErrno);
    }
    // A device that vanished is still named by the path it was last seen at.
    const QString path =
        view.devicePath.isEmpty() && view.overridden ? Override(index) : view.devicePath;
    std::optional<PortEntry> adapter = view.adapter;
    if (!adapter) {
        // The identity of an absent adapter still tells its vendor and product.
        const QStringList parts = shown_.Owner(index).split(QLatin1Char(':'));
        if (parts.size() >= 3 && parts[0] == QStringLiteral("usb")) {
            PortEntry remembered;
            remembered.hasUsbIds = true;
            remembered.vendorId = static_cast<std::uint16_t>(parts[1].toUInt(nullptr, 16));
            remembered.productId = static_cast<std::uint16_t>(parts[2].toUInt(nullptr, 16));
            adapter = remembered;
        }
    }
    return ::ExplainOpenFailure(view.name, path, checker_(path), adapter, ExistingPorts());
}
