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

bool BufferStartsWith(const QByteArray& bytes) {
    return std::memcmp(IspBuffer.ImageBuffer, bytes.constData(),
                       static_cast<std::size_t>(bytes.size())) == 0;
}

// --- The carried image ---

TEST(FirmwareImageTest, CarriedImage_LoadsWithTheDataFilesSizeAndBytesUnchanged) {
    const QByteArray file = ReadFile(QStringLiteral(VR7C_TEST_CARRIED_IMAGE));
    ASSERT_TRUE(LoadFirmwareImage());
    EXPECT_EQ(FirmwareImageSize(), file.size());
    EXPECT_TRUE(BufferStartsWith(file));
}

TEST(FirmwareImageTest, CarriedImage_IsFoundUnderTypeFile1AndNameSrc1) {
    ASSERT_TRUE(LoadFirmwareImage());
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

TEST(FirmwareImageTest, LoadingTwice_GivesTheSameSizeAndContent) {
    ASSERT_TRUE(LoadFirmwareImage());
    const QByteArray first(reinterpret_cast<const char*>(IspBuffer.ImageBuffer),
                           FirmwareImageSize());
    std::memset(IspBuffer.ImageBuffer, 0, 64);
    ASSERT_TRUE(LoadFirmwareImage());
    EXPECT_EQ(FirmwareImageSize(), first.size());
    EXPECT_TRUE(BufferStartsWith(first));
}

TEST(FirmwareImageTest, ImageBuffer_Holds1MiBAndOneByte) {
    EXPECT_EQ(sizeof IspBuffer.ImageBuffer, 1048577u);
}

// --- Images that must be refused ---

TEST(FirmwareImageTest, MissingImage_IsRefused) {
    EXPECT_FALSE(LoadFirmwareImageFrom(QStringLiteral(":/FILE1/NONE")));
    EXPECT_EQ(FirmwareImageSize(), 0);
}

TEST(FirmwareImageTest, EmptyImage_IsRefused) {
    QTemporaryDir dir;
    EXPECT_FALSE(LoadFirmwareImageFrom(WriteFile(dir, QStringLiteral("empty.bin"), 0)));
    EXPECT_EQ(FirmwareImageSize(), 0);
}

TEST(FirmwareImageTest, ImageBeyondWhatTheEraseFrameDescribes_IsRefusedAndNotCopied) {
    ASSERT_TRUE(LoadFirmwareImage());
    const QByteArray carried(reinterpret_cast<const char*>(IspBuffer.ImageBuffer),
                             FirmwareImageSize());
    QTemporaryDir dir;
    EXPECT_FALSE(LoadFirmwareImageFrom(WriteFile(dir, QStringLiteral("big.bin"), 262144)));
    EXPECT_EQ(FirmwareImageSize(), 0);
    EXPECT_TRUE(BufferStartsWith(carried));
}

TEST(FirmwareImageTest, ImageBeyondTheBufferCapacity_IsRefusedAndNotCopied) {
    ASSERT_TRUE(LoadFirmwareImage());
    const QByteArray carried(reinterpret_cast<const char*>(IspBuffer.ImageBuffer),
                             FirmwareImageSize());
    QTemporaryDir dir;
    EXPECT_FALSE(LoadFirmwareImageFrom(WriteFile(dir, QStringLiteral("huge.bin"), 1048578)));
    EXPECT_TRUE(BufferStartsWith(carried));
}

TEST(FirmwareImageTest, LargestErasableImage_IsAccepted) {
    QTemporaryDir dir;
    EXPECT_TRUE(LoadFirmwareImageFrom(WriteFile(dir, QStringLiteral("max.bin"), 262143)));
    EXPECT_EQ(FirmwareImageSize(), 262143);
    EXPECT_EQ(IspBuffer.ImageBuffer[262142], 0x5A);
}

}  // namespace
