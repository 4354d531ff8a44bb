#pragma once

#include <QByteArray>
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

// The carried image, read afresh for whoever flashes with it (each session keeps its own
// copy). Empty when the image is missing, unreadable, empty, or too large for the erase frame
// or the image buffer's room.
QByteArray LoadFirmwareImage();
// The same from another resource or file, so that tests can offer other images.
QByteArray LoadFirmwareImageFrom(const QString& path);
