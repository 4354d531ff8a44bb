#pragma once

#include <cstdint>

#include "PortPath.h"

// The operations the serial driver needs of the operating system, kept small so that the
// driver can run on a real port (PosixSerialPortIo, QtSerialPortIo on Windows) or on an
// in-memory fake in tests.

// Line settings handed to the port in one go, as the driver computes them.
struct LineSettings {
    std::uint32_t baudRate = 0;
    bool binaryMode = true;
    bool parityCheck = false;    // received parity errors are not checked
    bool dtrEnabled = false;     // DTR raised (true) or dropped (false)
    bool ctsOutputFlow = false;  // transmit waits for CTS
    bool rtsHandshake = false;   // RTS follows the input queue; false: RTS dropped
    bool xonXoffOutput = false;
    bool xonXoffInput = false;
    std::uint16_t xonLimit = 0;
    std::uint16_t xoffLimit = 0;
    std::uint8_t byteSize = 8;  // 5 to 8
    std::uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
    char xonChar = 17;
    char xoffChar = 19;

    bool operator==(const LineSettings&) const = default;
};

struct CommTimeouts {
    std::uint32_t readIntervalTimeout = 0;
    std::uint32_t readTotalTimeoutMultiplier = 0;
    std::uint32_t readTotalTimeoutConstant = 0;
    std::uint32_t writeTotalTimeoutMultiplier = 0;
    std::uint32_t writeTotalTimeoutConstant = 0;

    bool operator==(const CommTimeouts&) const = default;
};

// Purge flags, combinable.
enum PurgeFlag : std::uint32_t {
    kPurgeTxAbort = 0x01,
    kPurgeRxAbort = 0x02,
    kPurgeTxClear = 0x04,
    kPurgeRxClear = 0x08,
};

// Modem-control line changes.
enum class ModemLineChange : std::uint8_t { SetRts = 3, ClearRts = 4, SetDtr = 5, ClearDtr = 6 };

class SerialPortIo {
public:
    virtual ~SerialPortIo() = default;

    // Opens the port named "COM1" … "COM8" for reading and writing, exclusively.
    virtual bool open(const char* portName) = 0;
    // How the port finds the device of "COM1" … "COM8": the COM numbers of whoever owns the
    // line. Ports that map no numbers themselves ignore it.
    virtual void setDeviceLookup(SerialDeviceResolver /*lookup*/) {}
    // Why the last open failed, as a system error number: ENOENT (no such device), EACCES
    // (permission denied), EBUSY (in use by another program or another port object), ENOTTY
    // (not a serial device), or another errno value; 0 after a good open.
    virtual int lastOpenError() const { return 0; }
    // With EBUSY: the id of the process that holds the port when its lock file names it,
    // otherwise 0.
    virtual long lastOpenBusyOwner() const { return 0; }
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual bool setLineSettings(const LineSettings& settings) = 0;
    virtual bool setQueueSizes(std::uint16_t inputBytes, std::uint16_t outputBytes) = 0;
    virtual bool setTimeouts(const CommTimeouts& timeouts) = 0;
    virtual bool purge(std::uint32_t flags) = 0;
    virtual bool changeModemLine(ModemLineChange change) = 0;

    // Bytes still waiting in the output queue.
    virtual std::uint32_t outputQueueLength() = 0;
    // Hands the bytes to the port; gives the number taken, or -1 when the write failed.
    virtual std::int64_t write(const std::uint8_t* data, std::int64_t count) = 0;
    // Reads what has arrived, up to maxCount bytes, without waiting for more; gives the
    // number read, or -1 when the read failed.
    virtual std::int64_t read(std::uint8_t* buffer, std::int64_t maxCount) = 0;

    // A descriptor that turns readable when bytes arrive or the device hangs up, so that the
    // driver can sleep while the line is quiet; -1 when the port has none.
    virtual int arrivalDescriptor() const { return -1; }

    // True once the device has gone away since it was opened (adapter unplugged, the other
    // end of a pseudo-terminal closed). The port then reads nothing and writes nothing.
    virtual bool hungUp() const = 0;

    // Blocks until bytes have arrived, the device has hung up, or `milliseconds` have passed;
    // gives whether a read may now bring something. Ports that cannot wait on the device
    // say so at once, and the caller reads and sleeps in short steps.
    virtual bool waitForInput(std::uint32_t milliseconds) {
        (void)milliseconds;
        return true;
    }

    // True while open on a line that carries Modbus as Modbus TCP (MBAP frames) rather than
    // as RTU frames: a Modbus TCP gateway or device.
    virtual bool carriesModbusTcp() const { return false; }
};
