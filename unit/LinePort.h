#pragma once

#include <QString>

#include <cstdint>
#include <functional>

#include "ComTypes.h"
#include "ExitCode.h"
#include "PortPath.h"

class VEVErizEvezad;
class TickClock;

// The port the user named: "COM1" … "COM8" (mapped as the console maps them) or a device path.
struct PortChoice {
    QString given;          // as given
    QString device;         // the device that is opened
    bool byNumber = false;  // named by its COM number rather than its device
    TComPortNumber number = pnCOM1;
};

// Resolves --port: a COM number through `lookup` (the console's COM numbers), or a device path
// or URL as given.
PortChoice ResolvePort(const QString& given, const SerialDeviceResolver& lookup);

// Why a device could not be opened: missing, permission or busy, with a one-line message.
Outcome OpenFailure(const PortChoice& port);

// Why a network line could not be opened, from the port's error number: refused, no route,
// unknown host and connect time-out are exit code 3.
Outcome NetOpenFailure(const PortChoice& port, int openError);

// Opens the driver on the port, a COM number on the device it was resolved to, with 8 data bits,
// one stop bit, the given rate and parity.
Outcome OpenPort(VEVErizEvezad& driver, const PortChoice& port, std::uint32_t baud,
                 TComPortParity parity);

// The driver's rate for a number of bits per second; false for a rate it does not know.
bool BaudRateFor(std::uint32_t baud, TComPortBaudRate& out);

// Takes in line input until `done` holds or `timeoutMs` have passed, blocking on the line
// between arrivals. Gives whether `done` held.
bool WaitOnLine(VEVErizEvezad& driver, TickClock& clock, std::uint32_t timeoutMs,
                const std::function<bool()>& done);

// Time on the wire of `characters` at `baud` with 11 bits a character (8E1, 8O1; 8N1 has 10),
// in microseconds.
double WireMicros(int characters, std::uint32_t baud, int bitsPerCharacter = 11);
