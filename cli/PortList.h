#pragma once

#include <QString>

#include <vector>

// One port the console would offer.
struct PortEntry {
    QString name;         // "COM1" … "COM8"
    QString device;       // the device it opens
    QString description;  // what is known of the device
    bool present = false;
};

// The console's eight ports with their devices, as the port mapping resolves them now.
std::vector<PortEntry> ListPorts();
