#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>

#include "TickClock.h"
#include "TrafficTap.h"
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
inline const QString kSearching = QStringLiteral("正在查找设备。。。");
inline const QString kConnected = QStringLiteral("已成功连接");
inline const QString kNoCommunication = QStringLiteral("无法和设备通讯，请重新尝试");
inline const QString kErasing = QStringLiteral("正在擦除。。。");
inline const QString kProgressPrefix = QStringLiteral("写进度: ");
inline const QString kUploadComplete = QStringLiteral("上载完成！");
inline const QString kConnectionFailed = QStringLiteral("连机失败！请检查通信线。");
inline const QString kPortErrorCaption = QStringLiteral("串口错误");
// "Current port COMn is already in use, or another error", CR, "choose another port or check
// the port settings".
QString PortErrorText(int portIndex);
}  // namespace BootloaderText

// One firmware download through the STM32 USART system bootloader: the line sequence, the
// synchronisation byte, Get, Get ID, a Read Memory, the page erase and the Write Memory blocks.
// Timer5 takes one step per tick once a complete reply is in the driver's RxBuffer; OvertimeT
// ends an attempt that hears nothing for too long and starts the next one, three at most.
class BootloaderSession : public QObject {
    Q_OBJECT

public:
    // Protocol states; IspState holds one of these.
    enum Step : std::int32_t {
        kNotStarted = 0,
        kAwaitSyncAck = 1,
        kAwaitGet = 2,
        kAwaitGetId = 3,
        kAwaitReadMemoryAck = 4,
        kAwaitReadAddressAck = 5,
        kAwaitReadData = 6,
        kAwaitEraseAck = 7,
        kAwaitEraseFrameOrBlockAck = 8,
        kAwaitWriteMemoryAck = 9,
        kAwaitWriteAddressAck = 10,
        kAwaitLastBlockAck = 11,
    };

    static constexpr int kStepIntervalMs = 3;
    static constexpr int kWatchdogIntervalMs = 1000;
    static constexpr std::uint32_t kLinePauseMs = 500;

    BootloaderSession(VEVErizEvezad& comDriver, BootloaderView& view, TickClock& clock,
                      QObject* parent = nullptr);

    // The start button: a fresh count of attempts, then the first attempt.
    void Start();
    // Opens the port and starts one attempt.
    void STM_ISP();
    // One protocol step when a complete reply has arrived.
    void Timer5Timer();
    // Ends an attempt that waited too long, and starts the next while attempts are left.
    void OvertimeTTimer();

    // Replaces the image loader, so that tests can offer images other than the carried one.
    void SetImageLoader(std::function<bool()> loader) { loadImage_ = std::move(loader); }

    std::int32_t IspState = kNotStarted;
    std::uint8_t IdleTicks = 0;
    std::uint8_t RetryCount = 0;
    bool PortOpen = false;
    std::int32_t FlashAddress = 0;
    std::int32_t ImageOffset = 0;
    std::int32_t BytesLeft = 0;
    // Where the frames sent and the replies judged are reported (null: nowhere).
    TrafficTap* Tap = nullptr;

    QTimer Timer5;
    QTimer OvertimeT;

private:
    void TakeStep(int replyLength);
    bool ReplyAccepted(int replyLength) const;
    void Advance();

    // Sends bytes as a frame of their own, or as further bytes of the frame just sent.
    void Send(const std::uint8_t* bytes, std::int32_t count, bool continues = false);
    void SendCommand(std::uint8_t command);
    void SendAddressFrame(std::uint32_t address);
    void LoadAndErase();
    void SendDataBlock();
    void Finish();
    void FailAttempt();

    VEVErizEvezad& comDriver_;
    BootloaderView& view_;
    TickClock& clock_;
    std::function<bool()> loadImage_;
};
