#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

#include "BootloaderSession.h"
#include "ExitCode.h"

class VEVErizEvezad;
class TickClock;

// What one flash run does.
struct FlashRequest {
    QByteArray image;  // raw flash content from 0x08000000 on, 1 to 262,143 bytes
    bool verify = false;
    bool go = false;
    std::uint32_t replyTimeoutMs = 1000;
    int attempts = 3;  // line sequence and synchronisation, as often as this
    // The pauses of the DTR/RTS sequence (the firmware dialog's 500 ms by default).
    std::uint32_t linePauseMs = BootloaderSession::kLinePauseMs;
    // Bytes done of the phase ("erase", "write", "verify"), out of total.
    std::function<void(const char* phase, int done, int total)> progress;
};

// What the bootloader told about the chip, and how the run ended.
struct FlashReport {
    Outcome outcome;
    QString deviceId;           // product ID and unique ID, e.g. "0410-3F00..."; empty if unknown
    int bootloaderVersion = 0;  // e.g. 0x22
    int flashKiB = 0;           // from the flash-size register; 0 if unknown
};

// Writes an image into the module's STM32 through its USART system bootloader, with the
// firmware dialog's line sequence, commands and page erase, but blocking on the line for each
// answer instead of looking every few milliseconds. The driver must be open at 115200 8E1.
class Stm32Flasher {
public:
    Stm32Flasher(VEVErizEvezad& driver, TickClock& clock) : driver_(driver), clock_(clock) {}

    FlashReport Run(const FlashRequest& request);

    // The line sequence and the synchronisation byte, up to `attempts` times; then Get, Get ID
    // and the chip's identity registers.
    Outcome Connect(const FlashRequest& request, FlashReport& report);

private:
    Outcome Identify(const FlashRequest& request, FlashReport& report);
    Outcome Erase(const FlashRequest& request);
    Outcome WriteBlock(std::uint32_t address, const std::uint8_t* data, int count,
                       std::uint32_t timeoutMs);
    Outcome VerifyBlock(std::uint32_t address, const std::uint8_t* data, int count,
                        std::uint32_t timeoutMs);
    Outcome Go(std::uint32_t timeoutMs);
    void FinishLineSequence(std::uint32_t pauseMs);

    // Sends a command and takes its answer: ACK, a count less one, count + 1 bytes, ACK.
    Outcome AwaitListing(std::uint8_t command, std::uint32_t timeoutMs, const char* what,
                         int& length);
    // Sends a command code and its complement and waits for ACK.
    Outcome Command(std::uint8_t command, std::uint32_t timeoutMs, const char* what);
    // Sends the bytes and waits for ACK.
    Outcome SendForAck(const std::uint8_t* bytes, int count, std::uint32_t timeoutMs,
                       const char* what);
    void Send(const std::uint8_t* bytes, int count);
    // Waits for `count` bytes; false on time-out.
    bool Await(int count, std::uint32_t timeoutMs);
    Outcome Silent(const char* what) const;
    Outcome Refused(const char* what) const;
    // Reads `count` (1 to 256) bytes at `address` into out.
    Outcome ReadMemory(std::uint32_t address, int count, std::uint8_t* out,
                       std::uint32_t timeoutMs);

    VEVErizEvezad& driver_;
    TickClock& clock_;
};
