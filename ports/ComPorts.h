#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

#include "ComAssignment.h"
#include "OpenFailure.h"
#include "PortCatalogue.h"
#include "PortPath.h"

// The console's settings file, where the COM numbers are kept too: $VR7C_SETTINGS when set,
// else VR7C-20NP/vr7c-console.ini in the user's configuration folder.
QString ConsoleSettingsPath();

// What one of COM1 to COM8 reaches now.
struct ComPortView {
    QString name;                      // "COM3"
    QString devicePath;                // empty when nothing is plugged in for it
    bool overridden = false;           // VR7C_COMn names the device
    bool network = false;              // the settings file assigns a network line (a URL)
    std::optional<PortEntry> adapter;  // the adapter assigned to it, when it is present
};

// The COM numbers of the console: the catalogue's devices, each adapter keeping the number it
// got when first seen (kept in the settings file), and VR7C_COMn first. An adapter whose
// number VR7C_COMn takes reaches a free number for as long as the override lasts; the settings
// file keeps its own. Once installed, the serial ports resolve "COMn" through it.
class ComPorts {
public:
    using DeviceChecker = std::function<DeviceCheck(const QString& path)>;

    // checker: how a failed open is re-checked; empty: CheckDevice on this system.
    ComPorts(PortCatalogue& catalogue, QString settingsPath, DeviceChecker checker = {});
    ComPorts(const ComPorts&) = delete;
    ComPorts& operator=(const ComPorts&) = delete;

    // Lists the catalogue again; adapters seen for the first time get the lowest free number,
    // and a changed assignment is stored once the settings file exists.
    void Refresh();
    // Stores a changed assignment, once the settings file exists (the main window creates it).
    void Store();
    // The lookup that resolves "COMn" through this object, for the drivers that open lines by
    // number; it must not outlive this object.
    SerialDeviceResolver DeviceLookup() const;

    ComPortView View(int index) const;  // index 0 is COM1
    QString DevicePath(int index) const { return View(index).devicePath; }
    // "COM3 → /dev/ttyUSB0 · FT232R USB UART · A50285BI", or that nothing is plugged in.
    QString ToolTip(int index) const;
    // The devices that exist now, each with the COM number that reaches it if any.
    QStringList ExistingPorts() const;
    // Why the port at index did not open, and what to do, from a re-check of its device; for
    // a network line from the error number the port gave (see SerialPortIo::lastOpenError).
    OpenFailureExplanation ExplainOpenFailure(int index, int openErrno = 0) const;
    // The number reaches a network line (tcp://, rfc2217:// or modbus-tcp://), from the
    // settings file or VR7C_COMn.
    bool IsNetwork(int index) const;
    // Assigns a network line to a number no adapter owns, or frees a number from one; stored
    // as for an adapter. False when the number is taken, the URL invalid, or (freeing) the
    // number holds no network line.
    bool AssignNetworkLine(int index, const QString& url);
    bool FreeNetworkLine(int index);

    // The numbers kept in the settings file, overrides left aside.
    const ComAssignment& Assignment() const { return assignment_; }
    const std::vector<PortEntry>& Entries() const { return entries_; }

private:
    const PortEntry* PresentEntry(const QString& identity) const;
    void ShowAssignment();

    PortCatalogue& catalogue_;
    QString settingsPath_;
    DeviceChecker checker_;
    ComAssignment assignment_;
    // What each number reaches in this run: the kept numbers, with adapters whose number an
    // override takes moved to a free one.
    ComAssignment shown_;
    std::vector<PortEntry> entries_;
    bool unsaved_ = false;
};
