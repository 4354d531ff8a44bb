#pragma once

#include <QString>

#include <cstdint>

#include "ExitCode.h"
#include "MODBUS_RTU.h"
#include "RegisterMap.h"

class VEVErizEvezad;
class TickClock;

// Reads and writes registers of one module through a Modbus master of its own on the driver,
// waiting on the line for each reply.
class RegisterAccess final {
public:
    // Registers a read may cover: the console's poll range.
    static constexpr int kReadableRegisters = 100;

    RegisterAccess(VEVErizEvezad& driver, TickClock& clock, std::uint8_t station, bool plcCan);
    ~RegisterAccess();
    RegisterAccess(const RegisterAccess&) = delete;
    RegisterAccess& operator=(const RegisterAccess&) = delete;

    void SetStation(std::uint8_t station) { station_ = station; }
    std::uint8_t StationAddress() const { return station_; }
    void SetPlcCan(bool on) { plcCan_ = on; }

    // Registers first .. first + count - 1 (inside 0 to 99) into out.
    Outcome Read(int first, int count, std::uint32_t timeoutMs, std::uint16_t* out);
    // One register with the console's write (echo check, six attempts).
    Outcome Write(int reg, std::uint16_t value);

private:
    bool ExceptionReply(std::uint8_t function, int& code) const;
    static QString ExceptionText(int code);

    VEVErizEvezad& driver_;
    TickClock& clock_;
    std::uint8_t station_;
    bool plcCan_;
    RegisterImageWords image_{};
    RtuMaster master_;
};
