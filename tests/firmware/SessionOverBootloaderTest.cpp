#include <gtest/gtest.h>

#include "FirmwareImage.h"
#include "SessionRig.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Faults set up by the given function on top of the defaults.
template <typename Setup>
vr7c::sim::Stm32BootloaderFaults Faults(Setup setup) {
    vr7c::sim::Stm32BootloaderFaults faults;
    setup(faults);
    return faults;
}

Bytes CarriedImage() {
    const QByteArray image = LoadFirmwareImage();
    EXPECT_FALSE(image.isEmpty());
    return Bytes(image.begin(), image.end());
}

Bytes FlashStart(const SessionRig& rig, std::size_t count) {
    const auto& flash = rig.bootloader->flash();
    return Bytes(flash.begin(), flash.begin() + static_cast<std::ptrdiff_t>(count));
}

// --- A whole download ---

TEST(SessionOverBootloaderTest, Download_WritesTheCarriedImageIntoFlashByteForByte) {
    const Bytes image = CarriedImage();
    SessionRig rig;
    rig.AttachBootloader();
    rig.Press();
    rig.RunUntilIdle();

    EXPECT_EQ(rig.view.status(), QStringLiteral("上载完成！模块已复位，未运行请重新上电。"));
    EXPECT_EQ(FlashStart(rig, image.size()), image);
    EXPECT_EQ(rig.bootloader->pagesErased(), 25);
    EXPECT_EQ(rig.bootloader->blocksWritten(), 99);
    EXPECT_EQ(rig.session->RetryCount, 0);
    EXPECT_FALSE(rig.driver->Connected());
    EXPECT_TRUE(rig.view.statusTexts.contains(QStringLiteral("Boot:2.2")));
    EXPECT_TRUE(rig.view.statusTexts.contains(QStringLiteral("写进度: 1%")));
    EXPECT_TRUE(rig.view.statusTexts.contains(QStringLiteral("写进度: 100%")));
}

TEST(SessionOverBootloaderTest, Download_TakesNoMoreThanLineTimeStepsAndFixedPauses) {
    SessionRig rig;
    rig.AttachBootloader();
    const std::uint32_t start = rig.clock.now;
    rig.Press();
    rig.RunUntilIdle();
    const std::uint32_t elapsed = rig.clock.now - start;
    // 1.5 s of line-sequence pauses, about 2.5 s of wire time and 0.7 s of erase and
    // programming, plus up to one 3 ms step and one 5 ms poll per exchange (about 300).
    EXPECT_GT(elapsed, 4'000u);
    EXPECT_LT(elapsed, 8'000u);
}

TEST(SessionOverBootloaderTest, NoiseBeforeSyncAck_IsAcceptedAndTheDownloadCompletes) {
    const Bytes image = CarriedImage();
    SessionRig rig;
    rig.AttachBootloader(Faults([](auto& f) { f.noiseBeforeSyncAck = {0x00, 0x55, 0xFE}; }));
    rig.Press();
    rig.RunUntilIdle();
    EXPECT_EQ(rig.view.status(), QStringLiteral("上载完成！模块已复位，未运行请重新上电。"));
    EXPECT_EQ(FlashStart(rig, image.size()), image);
}

// --- Failures end after three attempts ---

TEST(SessionOverBootloaderTest, SilentModule_ThreeAttemptsThenFailureAndPortClosed) {
    SessionRig rig;
    rig.AttachBootloader(Faults([](auto& f) { f.silent = true; }));
    const std::uint32_t start = rig.clock.now;
    rig.Press();
    rig.RunUntilIdle();
    EXPECT_EQ(rig.view.status(), QStringLiteral("连机失败！请检查通信线。"));
    EXPECT_EQ(rig.session->RetryCount, 3);
    EXPECT_EQ(rig.port->writes.size(), 3u);
    EXPECT_FALSE(rig.driver->Connected());
    // Three attempts of about 1 s line sequence and 3 to 4 s of waiting.
    EXPECT_GT(rig.clock.now - start, 12'000u);
    EXPECT_LT(rig.clock.now - start, 16'000u);
}

TEST(SessionOverBootloaderTest, GetListingTwelveCommands_FailsAllThreeAttempts) {
    SessionRig rig;
    rig.AttachBootloader(Faults([](auto& f) { f.getCommandCount = 12; }));
    rig.Press();
    rig.RunUntilIdle();
    EXPECT_EQ(rig.view.status(), QStringLiteral("连机失败！请检查通信线。"));
    EXPECT_EQ(rig.session->RetryCount, 3);
    EXPECT_EQ(rig.bootloader->pagesErased(), 0);
}

TEST(SessionOverBootloaderTest, NackOfEraseCommand_LeavesTheFlashUntouched) {
    SessionRig rig;
    rig.AttachBootloader(Faults([](auto& f) { f.nackCommand = 0x43; }));
    const Bytes before = FlashStart(rig, 64 * 1024);
    rig.Press();
    rig.RunUntilIdle();
    EXPECT_EQ(rig.view.status(), QStringLiteral("连机失败！请检查通信线。"));
    EXPECT_EQ(FlashStart(rig, 64 * 1024), before);
}

TEST(SessionOverBootloaderTest, NackOfADataBlock_FailsEachAttemptAtThatBlock) {
    SessionRig rig;
    rig.AttachBootloader(Faults([](auto& f) { f.nackDataBlock = 10; }));
    rig.Press();
    rig.RunUntilIdle();
    // The third failure is shown, then what it left: a module without a whole program.
    EXPECT_EQ(rig.view.statusTexts.takeLast(), QStringLiteral("模块程序不完整！请重新更新固件。"));
    EXPECT_EQ(rig.view.status(), QStringLiteral("连机失败！请检查通信线。"));
    EXPECT_EQ(rig.session->RetryCount, 3);
    EXPECT_EQ(rig.bootloader->blocksWritten(), 3 * 9);
    EXPECT_EQ(rig.bootloader->pagesErased(), 3 * 25);
}

TEST(SessionOverBootloaderTest, RefusedImage_NeverErasesTheModule) {
    SessionRig rig;
    rig.AttachBootloader();
    rig.session->SetImageLoader([] { return LoadFirmwareImageFrom(QStringLiteral(":/none")); });
    rig.Press();
    rig.RunUntilIdle();
    EXPECT_EQ(rig.view.status(), QStringLiteral("连机失败！请检查通信线。"));
    EXPECT_EQ(rig.bootloader->pagesErased(), 0);
}

}  // namespace
