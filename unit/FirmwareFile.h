#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

#include "ExitCode.h"

// A firmware image ready for the flasher: raw flash content from 0x08000000 on.
struct FirmwareFile {
    QByteArray bytes;
    QString name;  // "carried" or the file's path
    // CRC-32 of the bytes, as logged and reported.
    std::uint32_t crc32 = 0;
};

// The carried image when `path` is empty, else a raw .bin or an Intel HEX file (by the
// extension .hex or .ihx, or text that starts with a colon). Refuses empty images, images
// larger than the page erase can describe, HEX files with any fault and, unless forced, images
// that do not look like firmware for the module's STM32 (see FirmwareImageFault); a refusal is
// kExitBadFile with a one-line message.
Outcome LoadFirmwareFile(const QString& path, FirmwareFile& out, bool force = false);

// CRC-32 (IEEE 802.3, as zip and Ethernet use it).
std::uint32_t Crc32(const QByteArray& bytes);
QString Crc32Text(std::uint32_t crc);
