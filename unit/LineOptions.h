#pragma once

#include <QString>

#include <cstdint>

#include "PortPath.h"

// How one module is reached on its line: the port, the module's station, the connection mode
// and how long a reply may take.
struct LineOptions {
    QString port = QStringLiteral("COM1");
    int station = 1;
    bool plcCan = false;
    std::uint32_t timeoutMs = 1000;
    // How COM1 … COM8 become devices: the console's COM numbers (not from the command line)
    SerialDeviceResolver deviceLookup;
};
