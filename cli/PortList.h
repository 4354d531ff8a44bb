#pragma once

#include <QString>

#include <vector>

class ComPorts;

// One port the console would offer.
struct PortLine {
    QString name;         // "COM1" … "COM8"
    QString device;       // the device it opens; empty when nothing is plugged in for it
    QString description;  // what is known of the device
    bool present = false;
};

// The console's COM numbers for this run, read on first use and installed, so that
// "--port COMn" opens what the console would open.
ComPorts& MachinePorts();

// The console's eight ports with their devices: each adapter keeps the COM number it got when
// first seen (kept in the console's settings file), and VR7C_COMn comes first.
std::vector<PortLine> ListPorts(const ComPorts& ports);
