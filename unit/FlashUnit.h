#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

#include "BootloaderClient.h"
#include "ExitCode.h"
#include "LinePort.h"

// What one flash run does.
struct FlashRequest {
    QByteArray image;  // raw flash content from 0x08000000 on, 1 to 262,143 bytes
    bool verify = false;
    bool go = false;
    std::uint32_t replyTimeoutMs = 1000;
    int attempts = 3;  // line sequence and synchronisation, as often as this
    // The pauses of the DTR/RTS sequence (the firmware dialog's 500 ms by default).
    std::uint32_t linePauseMs = BootloaderClient::kLinePauseMs;
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

// Flashes one unit on one port: opens it at 115200 8E1, gives the firmware dialog's line
// sequence, then drives the bootloader client, blocking on the line for each answer. Keeps
// nothing outside the call, so several ports can be flashed from several threads at once.
FlashReport FlashUnit(const PortChoice& port, const FlashRequest& request);

// Whether a bootloader answers on the port now (one line sequence; nothing is erased).
bool BootloaderAnswers(const PortChoice& port, const FlashRequest& request);
