#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>

#include "BootloaderClient.h"
#include "TickClock.h"
#include "ZQ_ComDrv.h"

// What the session needs of the window that shows it.
class BootloaderView {
public:
    virtual ~BootloaderView() = default;
    virtual int SelectedPortIndex() const = 0;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void SetProgress(int position) = 0;
    // The progress position as the window holds it now.
    virtual int Progress() const = 0;
    virtual void ShowMessage(const QString& caption, const QString& text) = 0;
};

// The operator-visible texts of the session.
namespace BootloaderText {
inline constexpr const char* kSearching = QT_TRANSLATE_NOOP("BootloaderText", "正在查找设备。。。");
inline constexpr const char* kConnected = QT_TRANSLATE_NOOP("BootloaderText", "已成功连接");
inline constexpr const char* kNoCommunication =
    QT_TRANSLATE_NOOP("BootloaderText", "无法和设备通讯，请重新尝试");
inline constexpr const char* kErasing = QT_TRANSLATE_NOOP("BootloaderText", "正在擦除。。。");
inline constexpr const char* kProgressPrefix = QT_TRANSLATE_NOOP("BootloaderText", "写进度: ");
inline constexpr const char* kUploadComplete = QT_TRANSLATE_NOOP("BootloaderText", "上载完成！");
inline constexpr const char* kConnectionFailed =
    QT_TRANSLATE_NOOP("BootloaderText", "连机失败！请检查通信线。");
inline constexpr const char* kPortErrorCaption = QT_TRANSLATE_NOOP("BootloaderText", "串口错误");
// After "上载完成！": how the module leaves its bootloader.
inline constexpr const char* kLeavesBootloader =
    QT_TRANSLATE_NOOP("BootloaderText", "模块已复位，未运行请重新上电。");
// The attempts ended after the erase: the module's program is incomplete.
inline constexpr const char* kProgramIncomplete =
    QT_TRANSLATE_NOOP("BootloaderText", "模块程序不完整！请重新更新固件。");
// A text above in the language of the windows.
QString Tr(const char* text);
// "Current port COMn is already in use, or another error", CR, "choose another port or check
// the port settings".
QString PortErrorText(int portIndex);
}  // namespace BootloaderText

// The firmware dialog's download through the STM32 USART system bootloader: the line
// sequence, then the bootloader client's exchange. Timer5 takes one step per tick once a
// complete reply is in the driver's RxBuffer, and a step is also taken as soon as a read has
// brought the awaited answer; OvertimeT ends an attempt that hears nothing for too long and
// starts the next one, three at most.
class BootloaderSession : public QObject {
    Q_OBJECT

public:
    static constexpr int kStepIntervalMs = 3;
    static constexpr int kWatchdogIntervalMs = 1000;
    static constexpr std::uint32_t kLinePauseMs = BootloaderClient::kLinePauseMs;

    BootloaderSession(VEVErizEvezad& comDriver, BootloaderView& view, TickClock& clock,
                      QObject* parent = nullptr);
    ~BootloaderSession() override;

    // The start button: a fresh count of attempts, then the first attempt.
    void Start();
    // Opens the port and starts one attempt.
    void STM_ISP();
    // One protocol step when a complete reply has arrived.
    void Timer5Timer();
    // Ends an attempt that waited too long, and starts the next while attempts are left.
    void OvertimeTTimer();

    // Replaces the image loader, so that tests can offer images other than the carried one.
    void SetImageLoader(std::function<QByteArray()> loader) { loadImage_ = std::move(loader); }

    // The exchange itself: its state (IspState), the block under way, the frames it sends.
    BootloaderClient& Client() { return client_; }

    std::uint8_t IdleTicks = 0;
    std::uint8_t RetryCount = 0;
    bool PortOpen = false;

    QTimer Timer5;
    QTimer OvertimeT;

private:
    void Step(BootloaderClient::Verdict verdict, std::int32_t stateBefore);
    void LoadAndErase();
    void ShowProgress();
    void Finish();
    void FailAttempt();

    VEVErizEvezad& comDriver_;
    BootloaderView& view_;
    TickClock& clock_;
    BootloaderClient client_;
    std::function<QByteArray()> loadImage_;
    QByteArray image_;  // the image of the attempt under way (empty: refused)
    // The erase frame went out since the start button: until a download completes, the
    // module's program is incomplete.
    bool erased_ = false;
};
