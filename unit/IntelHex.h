#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// An image taken from an Intel HEX file: the bytes from `base` on, gaps filled with 0xFF.
struct HexImage {
    std::uint32_t base = 0;
    QByteArray bytes;
};

// Reads Intel HEX text (record types 00 data, 01 end of file, 02 extended segment address,
// 03 start segment address, 04 extended linear address, 05 start linear address). Every data
// byte must lie in [lowest, lowest + capacity), no address may be given twice, every record's
// length and checksum must be right and the file must end with an end-of-file record. The
// image starts at `lowest`. On failure gives nothing and a message naming the line.
std::optional<HexImage> ReadIntelHex(const QByteArray& text, std::uint32_t lowest,
                                     std::uint32_t capacity, QString* error);
