#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BootloaderFaults.h"
#include "FakeClock.h"
#include "FaultRig.h"
#include "FirmwareImage.h"
#include "RecordingMessageBox.h"
#include "SimModule.h"
#include "SimRunner.h"
#include "TFirmwareFrm.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using vr7c::sim::SimModule;
using vr7c::sim::SimOptions;
using vr7c::sim::SimRunner;
using vr7c::sim::Stm32BootloaderFaults;

const QString kSearching = QStringLiteral("正在查找设备。。。");
const QString kConnected = QStringLiteral("已成功连接");
const QString kNoCommunication = QStringLiteral("无法和设备通讯，请重新尝试");
const QString kErasing = QStringLiteral("正在擦除。。。");
const QString kComplete = QStringLiteral("上载完成！");
const QString kFailed = QStringLiteral("连机失败！请检查通信线。");
// After "上载完成！": how the module leaves its bootloader.
const QString kCompleteAndReset = kComplete + QStringLiteral("模块已复位，未运行请重新上电。");
const QString kIncomplete = QStringLiteral("模块程序不完整！请重新更新固件。");
const QString kPortErrorCaption = QStringLiteral("串口错误");

QString PortErrorText(int port) {
    return QStringLiteral(
               "当前串口号 COM%1 已经被占用，或其它错误 ！\r"
               "请选择其它串口，或检查串口设置是否正确。")
        .arg(port);
}

Bytes CarriedImage() {
    const QByteArray image = LoadFirmwareImage();
    EXPECT_FALSE(image.isEmpty());
    return Bytes(image.begin(), image.end());
}

// How the session is timed in a case.
enum class Pace {
    // The real clock and the one-second watchdog.
    Real,
    // The line-sequence pauses cut to a fifth and a watchdog tick of 200 ms: the same steps
    // and deadlines in ticks, so that a table of cases fits in a test run.
    Quick,
};

// The firmware dialog on COM1, which leads through a stable link to a simulated module whose
// bootloader shows the faults asked for.
class FirmwareOnSim {
public:
    explicit FirmwareOnSim(Pace pace, ScriptedBootloaderFaults scripted = {},
                           Stm32BootloaderFaults inner = {})
        : link_(dir_.filePath(QStringLiteral("COM1")).toStdString()) {
        qputenv("VR7C_COM1", QByteArray::fromStdString(link_));
        if (pace == Pace::Quick) {
            clock_.autoAdvance = 1;
            clock_.onSleep = [](std::uint32_t ms) { QThread::msleep(ms / 5); };
        }
        form = std::make_unique<TFirmwareFrm>(nullptr, nullptr,
                                              pace == Pace::Quick ? &clock_ : nullptr, &messages);
        if (pace == Pace::Quick) {
            form->Session().OvertimeT.setInterval(200);
        }
        form->Serial_Port->setCurrentIndex(0);
        StartSim(scripted, inner);
    }
    ~FirmwareOnSim() {
        form.reset();
        sim.reset();
        qunsetenv("VR7C_COM1");
    }

    void StartSim(ScriptedBootloaderFaults scripted = {}, Stm32BootloaderFaults inner = {}) {
        SimOptions options;
        options.link = link_;
        options.bootloaderFactory = [scripted, inner] {
            return std::make_unique<ScriptedBootloader>(scripted, inner);
        };
        sim = std::make_unique<SimRunner>(options);
        std::string error;
        EXPECT_TRUE(sim->start(&error)) << error;
    }

    // Presses start and runs the event loop until both timers of the session have stopped,
    // noting every status text shown on the way. `during` runs at every check.
    bool Run(int timeoutMs, const std::function<void()>& during = {}) {
        form->BitBtn1->click();
        QEventLoop loop;
        QTimer check;
        QElapsedTimer elapsed;
        elapsed.start();
        QObject::connect(&check, &QTimer::timeout, [&] {
            Note();
            if (during) {
                during();
            }
            if (Idle() || elapsed.hasExpired(timeoutMs)) {
                loop.quit();
            }
        });
        check.start(5);
        loop.exec();
        Note();
        seconds = static_cast<double>(elapsed.elapsed()) / 1000.0;
        return Idle();
    }

    bool Idle() const {
        return !form->Session().Timer5.isActive() && !form->Session().OvertimeT.isActive();
    }
    bool Seen(const QString& status) const {
        return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
    }
    bool SeenStartingWith(const QString& prefix) const {
        return std::any_of(statuses.begin(), statuses.end(),
                           [&](const QString& s) { return s.startsWith(prefix); });
    }

    // Reads the scripted bootloader of the running simulator.
    template <class F>
    auto Boot(F&& f) {
        return sim->withModule([&](SimModule& module) {
            return f(*static_cast<ScriptedBootloader*>(module.bootloader()));
        });
    }
    Bytes Flash(std::size_t count) {
        return Boot([count](ScriptedBootloader& boot) {
            const auto& flash = boot.Inner().flash();
            return Bytes(flash.begin(), flash.begin() + static_cast<std::ptrdiff_t>(count));
        });
    }

    RecordingMessageBox messages;
    std::unique_ptr<TFirmwareFrm> form;
    std::unique_ptr<SimRunner> sim;
    std::vector<QString> statuses;
    double seconds = 0;

private:
    void Note() {
        const QString text = form->Panel1->text();
        if (statuses.empty() || statuses.back() != text) {
            statuses.push_back(text);
        }
    }

    QTemporaryDir dir_;
    std::string link_;
    FakeClock clock_;
};

std::string Statuses(const FirmwareOnSim& rig) {
    std::string all;
    for (const QString& s : rig.statuses) {
        all += " | " + s.toStdString();
    }
    return all;
}

// After an attempt that failed three times: the failure text or, once the erase frame has gone
// out, what that left; the port closed, no message.
void ExpectThreeFailedAttempts(FirmwareOnSim& rig, bool erased = false) {
    EXPECT_EQ(rig.form->Panel1->text(), erased ? kIncomplete : kFailed) << Statuses(rig);
    EXPECT_EQ(rig.form->Session().RetryCount, 3);
    EXPECT_EQ(rig.Boot([](ScriptedBootloader& b) { return b.Attempts(); }), 3);
    EXPECT_EQ(rig.form->ProgressBar1->value(), 0);
    EXPECT_FALSE(rig.form->ComDriver.Connected());
    EXPECT_TRUE(WaitUntil([&] { return rig.sim->hungUp(); }, 3000));
    EXPECT_TRUE(rig.messages.shown.empty());
}

void ExpectFlashUntouched(FirmwareOnSim& rig) {
    EXPECT_EQ(rig.Boot([](ScriptedBootloader& b) { return b.Inner().pagesErased(); }), 0);
    EXPECT_EQ(rig.Boot([](ScriptedBootloader& b) { return b.Inner().blocksWritten(); }), 0);
}

TEST(FirmwareFault, SilentBootloader_ThreeAttemptsOfAboutFourSecondsThenFailureAndClosedPort) {
    Stm32BootloaderFaults silent;
    silent.silent = true;
    FirmwareOnSim rig(Pace::Real, {}, silent);
    ASSERT_TRUE(rig.Run(60'000));
    EXPECT_TRUE(rig.Seen(kSearching));
    EXPECT_FALSE(rig.Seen(kConnected));
    // Each attempt: one second of line sequence, then four watchdog ticks.
    EXPECT_GE(rig.seconds, 11.0);
    ExpectThreeFailedAttempts(rig);
    ExpectFlashUntouched(rig);
}

// A NACK in place of the answer awaited in one state of the exchange.
class NackAtState : public ::testing::TestWithParam<int> {};

TEST_P(NackAtState, IsDroppedAndTheWatchdogFailsAllThreeAttempts) {
    const int state = GetParam();
    ScriptedBootloaderFaults faults;
    // Answers 1 to 10 are awaited in the states of the same number. The last block's ACK comes
    // after the seven answers before the erase, three per block and the erase's ACK; an image
    // of eight blocks keeps three whole writes short.
    constexpr int kSmallImageBlocks = 8;
    faults.nackAnswer = state <= 10 ? state : 7 + 3 * kSmallImageBlocks + 1;
    FirmwareOnSim rig(Pace::Quick, faults);
    QTemporaryDir dir;
    if (state == 11) {
        const QString path = dir.filePath(QStringLiteral("small.bin"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(kSmallImageBlocks * 256, '\x5A'));
        file.close();
        rig.form->Session().SetImageLoader([path] { return LoadFirmwareImageFrom(path); });
    }
    ASSERT_TRUE(rig.Run(90'000));
    EXPECT_EQ(rig.Boot([](ScriptedBootloader& b) { return b.NacksSent(); }), 3);
    ExpectThreeFailedAttempts(rig, state >= 8);
    EXPECT_FALSE(rig.Seen(kComplete));
    if (state == 1) {
        EXPECT_TRUE(rig.Seen(kNoCommunication)) << Statuses(rig);
        EXPECT_FALSE(rig.Seen(kConnected));
    } else {
        EXPECT_TRUE(rig.Seen(kConnected)) << Statuses(rig);
    }
    EXPECT_EQ(rig.SeenStartingWith(QStringLiteral("Boot:2.2")), state >= 3) << Statuses(rig);
    EXPECT_EQ(rig.Seen(kErasing), state >= 8) << Statuses(rig);
    EXPECT_EQ(rig.SeenStartingWith(QStringLiteral("写进度: ")), state >= 11) << Statuses(rig);
    if (state <= 7) {
        // Nothing was erased: the erase frame is sent only after state 7.
        ExpectFlashUntouched(rig);
    }
}

INSTANTIATE_TEST_SUITE_P(States, NackAtState, ::testing::Range(1, 12),
                         [](const ::testing::TestParamInfo<int>& p) {
                             return "State" + std::to_string(p.param);
                         });

TEST(FirmwareFault, GetListingAnotherCommandCount_IsNeverAcceptedAndNothingIsErased) {
    Stm32BootloaderFaults inner;
    inner.getCommandCount = 12;
    FirmwareOnSim rig(Pace::Quick, {}, inner);
    ASSERT_TRUE(rig.Run(60'000));
    EXPECT_TRUE(rig.Seen(kConnected)) << Statuses(rig);
    EXPECT_FALSE(rig.SeenStartingWith(QStringLiteral("Boot:")));
    ExpectThreeFailedAttempts(rig);
    ExpectFlashUntouched(rig);
}

TEST(FirmwareFault, NoiseBeforeEveryAck_SyncAcceptedGetRefusedAndNothingIsErased) {
    ScriptedBootloaderFaults faults;
    faults.noiseBeforeEveryAck = true;
    FirmwareOnSim rig(Pace::Quick, faults);
    ASSERT_TRUE(rig.Run(60'000));
    // Only the answer to the synchronisation byte is judged by its last byte.
    EXPECT_TRUE(rig.Seen(kConnected)) << Statuses(rig);
    EXPECT_FALSE(rig.SeenStartingWith(QStringLiteral("Boot:")));
    ExpectThreeFailedAttempts(rig);
    ExpectFlashUntouched(rig);
}

TEST(FirmwareFault, NoiseBeforeTheSyncAck_IsAcceptedAndTheImageIsWritten) {
    Stm32BootloaderFaults inner;
    inner.noiseBeforeSyncAck = {0x00, 0x55, 0xFF};
    FirmwareOnSim rig(Pace::Quick, {}, inner);
    const Bytes image = CarriedImage();
    ASSERT_TRUE(rig.Run(60'000));
    EXPECT_EQ(rig.form->Panel1->text(), kCompleteAndReset) << Statuses(rig);
    EXPECT_EQ(rig.Flash(image.size()), image);
    EXPECT_FALSE(rig.form->ComDriver.Connected());
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(FirmwareFault, SimulatorEndedDuringTheBlockWrites_AttemptFailsThenPortErrorAndIdleProcess) {
    FirmwareOnSim rig(Pace::Real);
    bool ended = false;
    ASSERT_TRUE(rig.Run(60'000, [&] {
        if (!ended &&
            rig.Boot([](ScriptedBootloader& b) { return b.Inner().blocksWritten(); }) >= 20) {
            rig.sim->stop();
            ended = true;
        }
    }));
    ASSERT_TRUE(ended) << Statuses(rig);
    // The watchdog ends the attempt; the next one cannot open the vanished port, and the
    // status line says what the erase left behind.
    EXPECT_EQ(rig.form->Panel1->text(), kIncomplete) << Statuses(rig);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].caption, kPortErrorCaption);
    EXPECT_EQ(rig.messages.shown[0].text, PortErrorText(1));
    EXPECT_FALSE(rig.form->ComDriver.Connected());
    const double cpu = CpuShareWhilePumping(2000);
    EXPECT_LT(cpu, 0.05) << "share of one core: " << cpu;
    RecordProperty("cpu_percent_after_hang_up", std::to_string(cpu * 100.0));
}

TEST(FirmwareFault, SimulatorEndedDuringTheBlockWritesAndRestarted_NextAttemptWritesTheImage) {
    FirmwareOnSim rig(Pace::Quick);
    const Bytes image = CarriedImage();
    bool restarted = false;
    ASSERT_TRUE(rig.Run(90'000, [&] {
        if (!restarted &&
            rig.Boot([](ScriptedBootloader& b) { return b.Inner().blocksWritten(); }) >= 20) {
            rig.sim->stop();
            rig.StartSim();
            restarted = true;
        }
    }));
    ASSERT_TRUE(restarted);
    // The first attempt's failure text is replaced at once by the second attempt's search.
    EXPECT_EQ(rig.form->Panel1->text(), kCompleteAndReset) << Statuses(rig);
    EXPECT_EQ(rig.form->Session().RetryCount, 1);
    EXPECT_EQ(rig.Flash(image.size()), image);
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_FALSE(rig.form->ComDriver.Connected());
}

TEST(FirmwareFault, PortHeldByTheMainWindow_OnePortErrorPerPressAndTheMainWindowKeepsPolling) {
    QTemporaryDir dir;
    SimOptions options = ConsoleOnSim::DefaultSimOptions();
    SimRunner sim(options);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    qputenv("VR7C_COM3", QByteArray::fromStdString(sim.path()));
    RecordingPrompter prompter;
    MainFormOptions formOptions;
    formOptions.prompter = &prompter;
    formOptions.settingsPath = dir.filePath(QStringLiteral("settings.ini"));
    TMainForm form(std::move(formOptions));
    RecordingMessageBox messages;
    TFirmwareFrm firmware(nullptr, nullptr, nullptr, &messages);
    form.SetFirmwareForm(&firmware, firmware.Serial_Port);
    firmware.SetPorts(&form.Ports());

    form.ComboBox1->setCurrentIndex(2);
    form.SpeedButton1->click();
    ASSERT_TRUE(form.ComDriver().Connected()) << prompter.LastText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return form.Polling().GoodPolls >= 2; }, 10000));

    // "固件升级" copies the port and shows the dialog; the operator presses start twice.
    prompter.onModal = [&](QDialog&) {
        firmware.BitBtn1->click();
        firmware.BitBtn1->click();
    };
    form.BitBtn3->click();
    EXPECT_EQ(prompter.modals.size(), 1u);
    EXPECT_EQ(firmware.Serial_Port->currentIndex(), 2);
    ASSERT_EQ(messages.shown.size(), 2u);
    for (const RecordingMessageBox::Shown& message : messages.shown) {
        EXPECT_EQ(message.caption, kPortErrorCaption);
        EXPECT_EQ(message.text, PortErrorText(3));
        // The main window is this program: the operator is told to disconnect it first.
        EXPECT_EQ(
            message.further,
            QStringLiteral("原因：COM3 正由本程序的主窗口连接着。\n处理：请先在主窗口断开连接，"
                           "再更新固件。"));
    }
    EXPECT_FALSE(firmware.ComDriver.Connected());
    EXPECT_FALSE(firmware.Session().OvertimeT.isActive());
    EXPECT_FALSE(firmware.Session().Timer5.isActive());
    EXPECT_EQ(firmware.Panel1->text(), QStringLiteral("就绪..."));
    // Nothing reached the module from the dialog, and the main window polls on.
    const int polls = form.Polling().GoodPolls;
    EXPECT_TRUE(WaitUntil([&] { return form.Polling().GoodPolls >= polls + 2; }, 10000));
    EXPECT_TRUE(form.ComDriver().Connected());
    EXPECT_TRUE(prompter.messages.empty());
    form.SpeedButton1->click();
    EXPECT_FALSE(form.ComDriver().Connected());
    qunsetenv("VR7C_COM3");
}

}  // namespace
