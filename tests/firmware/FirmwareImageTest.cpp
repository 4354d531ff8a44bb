#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstring>

#include "FirmwareImage.h"

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

std::uint32_t Word(const QByteArray& bytes, int offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.constData() + offset, sizeof value);
    return value;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, qint64 size) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(static_cast<int>(size), '\x5A'));
    return path;
}

// --- The carried image ---

TEST(FirmwareImageTest, CarriedImage_LoadsWithTheDataFilesSizeAndBytesUnchanged) {
    const QByteArray file = ReadFile(QStringLiteral(VR7C_TEST_CARRIED_IMAGE));
    EXPECT_EQ(LoadFirmwareImage(), file);
}

TEST(FirmwareImageTest, CarriedImage_IsFoundUnderTypeFile1AndNameSrc1) {
    ASSERT_FALSE(LoadFirmwareImage().isEmpty());
    EXPECT_TRUE(QFile::exists(QStringLiteral(":/FILE1/SRC1")));
}

TEST(FirmwareImageTest, StandIn_Is25236BytesWithACortexMVectorTable) {
    const QByteArray standIn = ReadFile(QStringLiteral(VR7C_TEST_STANDIN_IMAGE));
    ASSERT_EQ(standIn.size(), 25236);
    const std::uint32_t stackPointer = Word(standIn, 0);
    const std::uint32_t reset = Word(standIn, 4);
    EXPECT_GE(stackPointer, 0x20000000u);
    EXPECT_LE(stackPointer, 0x20005000u);
    EXPECT_EQ(stackPointer % 8, 0u);
    EXPECT_EQ(reset & 1u, 1u) << "reset handler without the Thumb bit";
    EXPECT_GE(reset, 0x08000000u);
    EXPECT_LT(reset, 0x08000000u + 25236);
    for (int vector = 2; vector < 7; ++vector) {
        EXPECT_EQ(Word(standIn, 4 * vector) & 0xFFF00001u, 0x08000001u) << vector;
    }
}

// --- Images that must be refused ---

TEST(FirmwareImageTest, MissingImage_IsRefused) {
    EXPECT_TRUE(LoadFirmwareImageFrom(QStringLiteral(":/FILE1/NONE")).isEmpty());
}

TEST(FirmwareImageTest, EmptyImage_IsRefused) {
    QTemporaryDir dir;
    EXPECT_TRUE(LoadFirmwareImageFrom(WriteFile(dir, QStringLiteral("empty.bin"), 0)).isEmpty());
}

TEST(FirmwareImageTest, ImagesBeyondTheEraseFrameOrTheBuffer_AreRefused) {
    QTemporaryDir dir;
    for (const qint64 size : {262144, 1048577, 1048578}) {
        EXPECT_TRUE(
            LoadFirmwareImageFrom(WriteFile(dir, QStringLiteral("big.bin"), size)).isEmpty())
            << size;
    }
}

TEST(FirmwareImageTest, LargestErasableImage_IsAccepted) {
    QTemporaryDir dir;
    const QByteArray image =
        LoadFirmwareImageFrom(WriteFile(dir, QStringLiteral("max.bin"), 262143));
    EXPECT_EQ(image.size(), 262143);
    EXPECT_EQ(image[262142], '\x5A');
}

}  // namespace
