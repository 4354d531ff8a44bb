#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

#include "PortCatalogue.h"

// A running process, by id and name.
struct ProcessInfo {
    std::int64_t pid = 0;
    QString name;

    bool operator==(const ProcessInfo&) const = default;
};

// What a re-check of a device found after its open failed. Gathered from the system by
// CheckDevice, or made up by tests (as root, permissions never bite).
struct DeviceCheck {
    int openErrno = 0;           // errno of the failed open when the port told it; 0 otherwise
    bool exists = false;         // the device node (or the link to it) exists
    bool readWrite = false;      // this process may open it for reading and writing
    QString group;               // the device's group, e.g. "dialout"
    bool listedInGroup = false;  // the user is a member of that group in the group file
    std::vector<ProcessInfo> holders;  // processes holding the device (lock file or open file)
    std::vector<ProcessInfo> running;  // running programs known to grab serial devices
};

// Where CheckDevice looks; tests point it at their own folders.
struct DeviceCheckPlaces {
    QStringList lockDirectories = {QStringLiteral("/var/lock"), QStringLiteral("/run/lock")};
    QString procDirectory = QStringLiteral("/proc");
};

// Re-checks the device at path: whether it exists, whether this process may use it, its group,
// who holds it (a lock file of a live process, or an open descriptor seen under /proc), and
// whether brltty or ModemManager run.
DeviceCheck CheckDevice(const QString& path, int openErrno = 0,
                        const DeviceCheckPlaces& places = {});

enum class OpenFailureCause : std::uint8_t {
    NoDevice,      // nothing at the path
    Permission,    // not allowed to open it
    Busy,          // another process holds it
    Brltty,        // brltty took a CH34x adapter
    ModemManager,  // ModemManager is probing it
    Network,       // a network line did not connect
    Unknown
};

struct OpenFailureExplanation {
    OpenFailureCause cause = OpenFailureCause::Unknown;
    QString text;  // cause and remedy, for the message box's further text
    // Busy, and one of the holders is this program itself (another of its windows).
    bool heldByThisProgram = false;
};

// Why the port named comName (device path, the adapter assigned to it if any) could not be
// opened, and what to do. existing lists the ports that do exist, as "COM2 → /dev/ttyUSB1".
OpenFailureExplanation ExplainOpenFailure(const QString& comName, const QString& path,
                                          const DeviceCheck& check,
                                          const std::optional<PortEntry>& adapter,
                                          const QStringList& existing);

// Why the network line at url did not connect, from the error number its port gave
// (ECONNREFUSED, EHOSTUNREACH, ENXIO for an unknown name, ETIMEDOUT, EPROTONOSUPPORT for a
// server without RFC 2217), and what to do.
OpenFailureExplanation ExplainNetworkFailure(const QString& url, int openErrno);
