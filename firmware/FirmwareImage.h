#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// Where the carried firmware image is found in the program's resources: type "FILE1", name
// "SRC1".
inline const QString kFirmwareResource = QStringLiteral(":/FILE1/SRC1");

// Room for the image: 1 MiB plus one byte.
inline constexpr std::size_t kImageBufferCapacity = 1048577;
// The erase frame names the last page in one byte, so an image may cover at most 256 pages of
// 1 KiB, less one byte (the page count is the size div 1024 plus one).
inline constexpr std::int64_t kLargestErasableImage = 262143;

// The firmware dialog's static image buffer. The command and reply area belongs to each
// bootloader client, so that clients on several lines never share it.
struct FirmwareBuffers {
    std::uint8_t ImageBuffer[kImageBufferCapacity];
};
extern FirmwareBuffers IspBuffer;

// Copies the carried image into ImageBuffer. False when the image is missing, unreadable,
// empty, or too large for the erase frame or the buffer; a refused image is not copied.
bool LoadFirmwareImage();
// The same from another resource or file, so that tests can offer other images.
bool LoadFirmwareImageFrom(const QString& path);

// Size in bytes of the last loaded image (0 before the first load and after a failed one).
std::int32_t FirmwareImageSize();
