#pragma once

#include <QString>

#include <functional>

// Gives the device for port number 1 to 8, or an empty text when nothing is there.
using SerialDeviceResolver = std::function<QString(int number)>;

// Device path for the port named "COM1" … "COM8". On Windows the name itself; elsewhere the
// path in the environment variable VR7C_COM1 … VR7C_COM8 when set, else what `resolver`
// gives (the adapter that owns the number) when there is one, else /dev/ttyUSB0 … 7. Any
// other name (a device path or a network URL) is its own device.
QString SerialDevicePath(const char* portName, const SerialDeviceResolver& resolver = {});
// The path VR7C_COMn names for the port, or an empty text.
QString SerialPortOverride(const char* portName);
