#pragma once

#include <QString>

// Device path for the port named "COM1" … "COM8". On Windows the name itself; elsewhere the
// path in the environment variable VR7C_COM1 … VR7C_COM8 when set, else /dev/ttyUSB0 … 7.
QString SerialDevicePath(const char* portName);
