#include "BootloaderSession.h"

#include <QCoreApplication>

#include <algorithm>
#include <span>

#include "FirmwareImage.h"

QString BootloaderText::Tr(const char* text) {
    return QCoreApplication::translate("BootloaderText", text);
}

QString BootloaderText::PortErrorText(int portIndex) {
    return QCoreApplication::translate("BootloaderText",
                                       "当前串口号 COM%1 已经被占用，或其它错误 ！\r"
                                       "请选择其它串口，或检查串口设置是否正确。")
        .arg(portIndex + 1);
}

BootloaderSession::BootloaderSession(VEVErizEvezad& comDriver, BootloaderView& view,
                                     TickClock& clock, QObject* parent)
    : QObject(parent),
      comDriver_(comDriver),
      view_(view),
      clock_(clock),
      client_(comDriver, BootloaderPlan{}),
      loadImage_(LoadFirmwareImage) {
    Timer5.setObjectName(QStringLiteral("Timer5"));
    Timer5.setTimerType(Qt::PreciseTimer);
    Timer5.setInterval(kStepIntervalMs);
    OvertimeT.setObjectName(QStringLiteral("OvertimeT"));
    OvertimeT.setInterval(kWatchdogIntervalMs);
    connect(&Timer5, &QTimer::timeout, this, &BootloaderSession::Timer5Timer);
    connect(&OvertimeT, &QTimer::timeout, this, &BootloaderSession::OvertimeTTimer);
    // A read that brought bytes is followed by a step as soon as the read is over, so the
    // answer is taken without waiting for the next tick of Timer5.
    comDriver_.SetOnReceiveData([this](VEVErizEvezad*, const void*, std::int32_t) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (Timer5.isActive()) {
                    Timer5Timer();
                }
            },
            Qt::QueuedConnection);
    });
}

BootloaderSession::~BootloaderSession() {
    comDriver_.SetOnReceiveData({});
}

void BootloaderSession::Start() {
    RetryCount = 0;
    erased_ = false;
    STM_ISP();
}

void BootloaderSession::STM_ISP() {
    PortOpen = comDriver_.Connected();
    const int portIndex = std::clamp(view_.SelectedPortIndex(), 0, 7);
    if (!comDriver_.Open(static_cast<TComPortNumber>(portIndex), br115200)) {
        OvertimeT.stop();
        view_.ShowMessage(BootloaderText::Tr(BootloaderText::kPortErrorCaption),
                          BootloaderText::PortErrorText(portIndex));
        if (erased_) {
            view_.SetStatusText(BootloaderText::Tr(BootloaderText::kProgramIncomplete));
        }
        return;
    }
    PortOpen = true;

    BootloaderClient::StartLineSequence(comDriver_, clock_, kLinePauseMs);
    client_.Begin();
    comDriver_.DropReceived();
    view_.SetStatusText(BootloaderText::Tr(BootloaderText::kSearching));

    // Not 0: the first deadline is four watchdog ticks away.
    IdleTicks = 2;
    OvertimeT.start();
    Timer5.start();
}

void BootloaderSession::Timer5Timer() {
    const std::span<const std::uint8_t> received = comDriver_.PeekReceived();
    if (client_.IspState > BootloaderClient::kAwaitLastBlockAck ||
        !client_.Complete(received.data(), static_cast<int>(received.size()))) {
        return;
    }
    const std::span<const std::uint8_t> reply = comDriver_.TakeReceived();
    const std::int32_t stateBefore = client_.IspState;
    // A step that fails leaves the state it reached; the watchdog ends the attempt.
    try {
        Step(client_.Take(reply.data(), static_cast<int>(reply.size())), stateBefore);
    } catch (...) {
    }
}

void BootloaderSession::Step(BootloaderClient::Verdict verdict, std::int32_t stateBefore) {
    using Verdict = BootloaderClient::Verdict;
    if (verdict == Verdict::kRefused && stateBefore == BootloaderClient::kAwaitSyncAck) {
        view_.SetStatusText(BootloaderText::Tr(BootloaderText::kNoCommunication));
    }
    if (verdict != Verdict::kAccepted && verdict != Verdict::kEraseDue &&
        verdict != Verdict::kFinished) {
        return;
    }
    if (client_.StepResetsWatchdog()) {
        IdleTicks = 0;
    }
    switch (stateBefore) {
        case BootloaderClient::kAwaitSyncAck:
            view_.SetStatusText(BootloaderText::Tr(BootloaderText::kConnected));
            break;
        case BootloaderClient::kAwaitGet: {
            const std::uint8_t version = client_.BootloaderVersion;
            view_.SetStatusText(QStringLiteral("Boot:") + QString::number(version >> 4) +
                                QStringLiteral(".") + QString::number(version & 0x0F));
            break;
        }
        case BootloaderClient::kAwaitEraseAck:
            LoadAndErase();
            break;
        case BootloaderClient::kAwaitWriteAddressAck:
            ShowProgress();
            break;
        case BootloaderClient::kAwaitLastBlockAck:
            Finish();
            break;
        default:
            break;
    }
}

// The image is loaded afresh for each attempt. A refused image sends nothing, so the flash is
// not erased, and Timer5 stays off until the watchdog ends the attempt.
void BootloaderSession::LoadAndErase() {
    Timer5.stop();
    image_ = loadImage_();
    if (image_.isEmpty()) {
        return;
    }
    client_.Erase(reinterpret_cast<const std::uint8_t*>(image_.constData()),
                  static_cast<std::int32_t>(image_.size()));
    erased_ = true;
    view_.SetStatusText(BootloaderText::Tr(BootloaderText::kErasing));
    Timer5.start();
}

void BootloaderSession::ShowProgress() {
    view_.SetProgress(
        static_cast<int>(std::int64_t{client_.ImageOffset} * 100 / client_.ImageSize));
    view_.SetStatusText(BootloaderText::Tr(BootloaderText::kProgressPrefix) +
                        QString::number(view_.Progress()) + QStringLiteral("%"));
}

void BootloaderSession::Finish() {
    client_.IspState = BootloaderClient::kAwaitSyncAck;
    view_.SetProgress(0);
    view_.SetStatusText(BootloaderText::Tr(BootloaderText::kUploadComplete));
    OvertimeT.stop();
    Timer5.stop();
    erased_ = false;
    BootloaderClient::EndLineSequence(comDriver_, clock_, kLinePauseMs);
    if (PortOpen) {
        comDriver_.Disconnect();
    }
    view_.SetStatusText(BootloaderText::Tr(BootloaderText::kUploadComplete) +
                        BootloaderText::Tr(BootloaderText::kLeavesBootloader));
}

void BootloaderSession::OvertimeTTimer() {
    ++IdleTicks;
    if (IdleTicks <= 5) {
        return;
    }
    if (client_.Tap != nullptr) {
        const std::span<const std::uint8_t> received = comDriver_.PeekReceived();
        client_.Tap->ReplyJudged(
            received.data(),
            std::min<int>(static_cast<int>(received.size()), BootloaderClient::kReplyAreaSize),
            false);
    }
    FailAttempt();
    ++RetryCount;
    if (RetryCount < 3) {
        STM_ISP();
    } else if (erased_) {
        view_.SetStatusText(BootloaderText::Tr(BootloaderText::kProgramIncomplete));
    }
}

void BootloaderSession::FailAttempt() {
    client_.IspState = BootloaderClient::kAwaitSyncAck;
    view_.SetProgress(0);
    view_.SetStatusText(BootloaderText::Tr(BootloaderText::kConnectionFailed));
    OvertimeT.stop();
    Timer5.stop();
    if (PortOpen) {
        comDriver_.Disconnect();
    }
}
