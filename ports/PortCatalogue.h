#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// One serial device that exists now, as the operating system lists it.
struct PortEntry {
    QString devicePath;    // e.g. /dev/ttyUSB0
    QString description;   // e.g. "FT232R USB UART"
    QString manufacturer;  // e.g. "FTDI"
    QString serialNumber;  // e.g. "A50285BI"; empty when the adapter has none
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool hasUsbIds = false;
    QString byIdName;  // the device's name under /dev/serial/by-id, when udev made one

    bool operator==(const PortEntry&) const = default;
};

// What stays the same for one adapter across replugs and restarts: vendor, product and serial
// number where the adapter has a serial number, else udev's by-id name, else the device path.
QString StableIdentity(const PortEntry& entry);

// Every serial device that exists now. Behind an interface so that tests can give a list.
class PortCatalogue {
public:
    virtual ~PortCatalogue() = default;
    virtual std::vector<PortEntry> List() = 0;
};

// The system's serial devices: QSerialPortInfo, completed from the /dev/serial/by-id links.
// Asking QSerialPortInfo costs about 14 ms of CPU here, so it is asked again only when the
// device nodes under /dev have changed (a look that costs a fraction of a millisecond).
class SystemPortCatalogue final : public PortCatalogue {
public:
    std::vector<PortEntry> List() override;

private:
    QString nodes_;
    std::vector<PortEntry> entries_;
};
