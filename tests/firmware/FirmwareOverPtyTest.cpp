#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <string>

#include "FirmwareImage.h"
#include "RecordingMessageBox.h"
#include "SimOnPty.h"
#include "TFirmwareFrm.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using vr7c::sim::Stm32BootloaderFaults;

Bytes CarriedImage() {
    const QByteArray image = LoadFirmwareImage();
    EXPECT_FALSE(image.isEmpty());
    return Bytes(image.begin(), image.end());
}

// The console's dialog on COM1, which leads to the simulator's pseudo-terminal.
class ConsoleOnPty {
public:
    explicit ConsoleOnPty(const std::string& path) : form(nullptr, nullptr, nullptr, &messages) {
        qputenv("VR7C_COM1", QByteArray::fromStdString(path));
        form.Serial_Port->setCurrentIndex(0);
    }
    ~ConsoleOnPty() { qunsetenv("VR7C_COM1"); }

    // Presses start and runs the event loop until the session is idle again. The loop runs
    // undisturbed in between checks, so the timers keep their periods.
    bool RunSession(int timeoutMs) {
        QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
        QEventLoop loop;
        QTimer check;
        QElapsedTimer elapsed;
        elapsed.start();
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (Idle() || elapsed.hasExpired(timeoutMs)) {
                loop.quit();
            }
        });
        check.start(50);
        loop.exec();
        return Idle();
    }

    bool Idle() {
        return !form.Session().Timer5.isActive() && !form.Session().OvertimeT.isActive();
    }

    RecordingMessageBox messages;
    TFirmwareFrm form;
};

// --- The console against the simulated module ---

TEST(FirmwareOverPtyTest, ConsoleWritesTheCarriedImageIntoTheSimulatedFlash) {
    const Bytes image = CarriedImage();
    SimOnPty module(SimOnPty::WithBootloader());
    ASSERT_TRUE(module.started());
    ConsoleOnPty console(module.path());

    ASSERT_TRUE(console.RunSession(60'000));
    EXPECT_EQ(console.form.Panel1->text(),
              QStringLiteral("上载完成！模块已复位，未运行请重新上电。"));
    EXPECT_TRUE(console.messages.shown.empty());
    EXPECT_EQ(module.Flash(image.size()), image);
    EXPECT_FALSE(console.form.ComDriver.Connected());
}

TEST(FirmwareOverPtyTest, SilentModule_ThreeAttemptsThenFailureAndClosedPort) {
    Stm32BootloaderFaults silent;
    silent.silent = true;
    SimOnPty module(SimOnPty::WithBootloader({}, silent));
    ASSERT_TRUE(module.started());
    ConsoleOnPty console(module.path());

    ASSERT_TRUE(console.RunSession(60'000));
    EXPECT_EQ(console.form.Panel1->text(), QStringLiteral("连机失败！请检查通信线。"));
    EXPECT_EQ(console.form.Session().RetryCount, 3);
    EXPECT_FALSE(console.form.ComDriver.Connected());
}

// --- The simulator against a flasher written elsewhere ---

TEST(FirmwareOverPtyTest, Stm32flashWritesAndVerifiesAnImageOnTheSimulator) {
    const QString stm32flash = QStandardPaths::findExecutable(QStringLiteral("stm32flash"));
    if (stm32flash.isEmpty()) {
        GTEST_SKIP() << "stm32flash is not installed (Debian package stm32flash); the simulated "
                        "bootloader is not checked against it";
    }
    const Bytes image = CarriedImage();
    SimOnPty module(SimOnPty::WithBootloader());
    ASSERT_TRUE(module.started());

    // A pseudo-terminal cannot keep even parity, which stm32flash checks: it runs at 8N1 here.
    QProcess flasher;
    flasher.setProcessChannelMode(QProcess::MergedChannels);
    flasher.start(stm32flash, {QStringLiteral("-b"), QStringLiteral("115200"), QStringLiteral("-m"),
                               QStringLiteral("8n1"), QStringLiteral("-w"),
                               QStringLiteral(VR7C_TEST_CARRIED_IMAGE), QStringLiteral("-v"),
                               QString::fromStdString(module.path())});
    ASSERT_TRUE(flasher.waitForFinished(90'000));
    const QString output = QString::fromLocal8Bit(flasher.readAll());
    EXPECT_EQ(flasher.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(flasher.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("Device ID    : 0x0410"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("Wrote and verified address 0x08006294")))
        << output.toStdString();
    EXPECT_EQ(module.Flash(image.size()), image);
}

}  // namespace
