#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QTimer>

#include <string>

#include "TestLink.h"

// A test link around a real driver on the QSerialPort-backed port, mapped to a device path
// through VR7C_COM1, for tests and benchmarks over pseudo-terminals.
class RealModbusHost final : public TestLink {
public:
    explicit RealModbusHost(const std::string& devicePath) {
        qputenv("VR7C_COM1", QByteArray::fromStdString(devicePath));
        driver.SetComPort(pnCOM1);
        driver.SetComPortSpeed(br57600);
        driver.SetComPortDataBits(db8BITS);
        driver.SetComPortParity(ptEVEN);
        driver.SetComPortStopBits(sb1BITS);
    }

    // Lets the event loop run (the driver's poll timer) until done() holds or time runs out.
    template <class Done>
    bool RunUntil(Done done, int timeoutMs) {
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        deadline.start(timeoutMs);
        while (!done()) {
            if (!deadline.isActive()) {
                return false;
            }
            loop.processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    }
};
