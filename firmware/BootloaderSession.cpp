#include "BootloaderSession.h"

#include <algorithm>
#include <cstring>

#include "FirmwareImage.h"
#include "Stm32Protocol.h"

namespace {

using namespace stm32;

constexpr std::uint8_t READ_FOUR_BYTES = 0x03;

// The fewest bytes worth looking at in each state, indexed by IspState.
constexpr std::uint8_t MinReplyLength[12] = {0, 1, 15, 5, 1, 1, 5, 1, 1, 1, 1, 1};

std::uint8_t* TxBuffer() {
    return IspBuffer.TxBuffer;
}

// Byte k of the reply, counting from 1.
std::uint8_t ReplyByte(int k) {
    return IspBuffer.TxBuffer[k - 1];
}

}  // namespace

QString BootloaderText::PortErrorText(int portIndex) {
    return QStringLiteral("当前串口号 COM") + QString::number(portIndex + 1) +
           QStringLiteral(" 已经被占用，或其它错误 ！") + QChar(13) +
           QStringLiteral("请选择其它串口，或检查串口设置是否正确。");
}

BootloaderSession::BootloaderSession(VEVErizEvezad& comDriver, BootloaderView& view,
                                     TickClock& clock, QObject* parent)
    : QObject(parent),
      comDriver_(comDriver),
      view_(view),
      clock_(clock),
      loadImage_(LoadFirmwareImage) {
    Timer5.setObjectName(QStringLiteral("Timer5"));
    Timer5.setTimerType(Qt::PreciseTimer);
    Timer5.setInterval(kStepIntervalMs);
    OvertimeT.setObjectName(QStringLiteral("OvertimeT"));
    OvertimeT.setInterval(kWatchdogIntervalMs);
    connect(&Timer5, &QTimer::timeout, this, &BootloaderSession::Timer5Timer);
    connect(&OvertimeT, &QTimer::timeout, this, &BootloaderSession::OvertimeTTimer);
}

void BootloaderSession::Start() {
    RetryCount = 0;
    STM_ISP();
}

void BootloaderSession::STM_ISP() {
    PortOpen = comDriver_.Connected();
    const int portIndex = std::clamp(view_.SelectedPortIndex(), 0, 7);
    comDriver_.SetComPort(static_cast<TComPortNumber>(portIndex));
    comDriver_.SetComPortSpeed(br115200);
    comDriver_.SetComPortDataBits(db8BITS);
    comDriver_.SetComPortParity(ptEVEN);
    comDriver_.SetComPortStopBits(sb1BITS);
    comDriver_.RxCount = 0;
    if (!comDriver_.Connect()) {
        OvertimeT.stop();
        view_.ShowMessage(BootloaderText::kPortErrorCaption,
                          BootloaderText::PortErrorText(portIndex));
        return;
    }
    PortOpen = true;

    // The module's wiring starts its system bootloader on this sequence of the modem lines.
    comDriver_.SetDTR(true);
    comDriver_.SetRTS(true);
    clock_.sleep(kLinePauseMs);
    comDriver_.SetDTR(false);
    clock_.sleep(kLinePauseMs);

    IspState = kAwaitSyncAck;
    TxBuffer()[0] = SYNC;
    Send(TxBuffer(), 1);
    comDriver_.RxCount = 0;
    view_.SetStatusText(BootloaderText::kSearching);

    // Not 0: the first deadline is four watchdog ticks away.
    IdleTicks = 2;
    OvertimeT.start();
    Timer5.start();
}

void BootloaderSession::Timer5Timer() {
    if (IspState < kNotStarted || IspState > kAwaitLastBlockAck ||
        comDriver_.RxCount < MinReplyLength[IspState]) {
        return;
    }
    const int replyLength = comDriver_.RxCount;
    comDriver_.RxCount = 0;
    // No reply of this exchange comes near the size of TxBuffer; a longer accumulation is line
    // noise and is dropped rather than copied over the image behind TxBuffer.
    if (replyLength > static_cast<int>(kTxBufferSize)) {
        return;
    }
    std::memcpy(TxBuffer(), comDriver_.RxBuffer, static_cast<std::size_t>(replyLength));
    // A step that fails leaves the state it reached; the watchdog ends the attempt.
    try {
        TakeStep(replyLength);
    } catch (...) {
    }
}

void BootloaderSession::TakeStep(int replyLength) {
    if (IspState == kNotStarted) {
        return;
    }
    const bool accepted = ReplyAccepted(replyLength);
    if (Tap != nullptr) {
        Tap->ReplyJudged(TxBuffer(), replyLength, accepted);
    }
    if (!accepted) {
        if (IspState == kAwaitSyncAck) {
            view_.SetStatusText(BootloaderText::kNoCommunication);
        }
        return;
    }
    Advance();
}

bool BootloaderSession::ReplyAccepted(int replyLength) const {
    switch (IspState) {
        case kAwaitSyncAck:
            // Noise may come before the answer; only the last byte counts.
            return ReplyByte(replyLength) == ACK;
        case kAwaitGet:
            return ReplyByte(1) == ACK && ReplyByte(2) == GET_BYTE_COUNT &&
                   ReplyByte(4) == CMD_GET && ReplyByte(15) == ACK;
        case kAwaitGetId:
            return ReplyByte(1) == ACK && ReplyByte(2) == GET_ID_BYTE_COUNT && ReplyByte(5) == ACK;
        default:
            return ReplyByte(1) == ACK;
    }
}

void BootloaderSession::Advance() {
    switch (IspState) {
        case kAwaitSyncAck:
            IdleTicks = 0;
            view_.SetStatusText(BootloaderText::kConnected);
            SendCommand(CMD_GET);
            IspState = kAwaitGet;
            break;
        case kAwaitGet: {
            IdleTicks = 0;
            const std::uint8_t version = ReplyByte(3);
            view_.SetStatusText(QStringLiteral("Boot:") + QString::number(version >> 4) +
                                QStringLiteral(".") + QString::number(version & 0x0F));
            SendCommand(CMD_GET_ID);
            IspState = kAwaitGetId;
            break;
        }
        case kAwaitGetId:
            IdleTicks = 0;
            SendCommand(CMD_READ_MEMORY);
            IspState = kAwaitReadMemoryAck;
            break;
        case kAwaitReadMemoryAck:
            IdleTicks = 0;
            SendAddressFrame(FLASH_SIZE_REGISTER);
            IspState = kAwaitReadAddressAck;
            break;
        case kAwaitReadAddressAck:
            IdleTicks = 0;
            TxBuffer()[0] = READ_FOUR_BYTES;
            TxBuffer()[1] = static_cast<std::uint8_t>(~READ_FOUR_BYTES);
            Send(TxBuffer(), 2);
            IspState = kAwaitReadData;
            break;
        case kAwaitReadData:
            IdleTicks = 0;
            SendCommand(CMD_ERASE);
            IspState = kAwaitEraseAck;
            break;
        case kAwaitEraseAck:
            IdleTicks = 0;
            LoadAndErase();
            break;
        case kAwaitEraseFrameOrBlockAck:
            IdleTicks = 0;
            SendCommand(CMD_WRITE_MEMORY);
            IspState = kAwaitWriteMemoryAck;
            break;
        case kAwaitWriteMemoryAck:
            // No reset here: the deadline set by the last step covers the whole block.
            SendAddressFrame(static_cast<std::uint32_t>(FlashAddress));
            IspState = kAwaitWriteAddressAck;
            break;
        case kAwaitWriteAddressAck:
            SendDataBlock();
            IspState = BytesLeft > 0 ? kAwaitEraseFrameOrBlockAck : kAwaitLastBlockAck;
            break;
        case kAwaitLastBlockAck:
            Finish();
            break;
        default:
            break;
    }
}

void BootloaderSession::Send(const std::uint8_t* bytes, std::int32_t count, bool continues) {
    comDriver_.SendData(bytes, count);
    if (Tap != nullptr) {
        if (continues) {
            Tap->FrameContinued(bytes, count);
        } else {
            Tap->FrameSent(bytes, count);
        }
    }
}

// A command goes out as its code followed by the code's complement.
void BootloaderSession::SendCommand(std::uint8_t command) {
    TxBuffer()[0] = command;
    TxBuffer()[1] = static_cast<std::uint8_t>(~command);
    Send(TxBuffer(), 2);
}

// Four address bytes, most significant first, then their XOR.
void BootloaderSession::SendAddressFrame(std::uint32_t address) {
    AddressFrame(address, TxBuffer());
    Send(TxBuffer(), 5);
}

// The image is loaded afresh for each attempt. A refused image sends nothing, so the flash is
// not erased, and Timer5 stays off until the watchdog ends the attempt.
void BootloaderSession::LoadAndErase() {
    Timer5.stop();
    if (!loadImage_()) {
        return;
    }
    const std::int32_t imageSize = FirmwareImageSize();
    FlashAddress = static_cast<std::int32_t>(FLASH_START);
    ImageOffset = 0;
    BytesLeft = imageSize;

    const std::size_t frameLength = EraseFrame(imageSize, TxBuffer());
    Send(TxBuffer(), static_cast<std::int32_t>(frameLength));

    view_.SetStatusText(BootloaderText::kErasing);
    IspState = kAwaitEraseFrameOrBlockAck;
    Timer5.start();
}

// The byte count less one, the data straight from the image, then the XOR of both.
void BootloaderSession::SendDataBlock() {
    const std::int32_t count = std::min(BytesLeft, MAX_BLOCK);
    const std::uint8_t* data = IspBuffer.ImageBuffer + ImageOffset;
    TxBuffer()[0] = static_cast<std::uint8_t>(count - 1);
    Send(TxBuffer(), 1);
    Send(data, count, true);
    TxBuffer()[0] =
        static_cast<std::uint8_t>((count - 1) ^ XorOf(data, static_cast<std::size_t>(count)));
    Send(TxBuffer(), 1, true);

    BytesLeft -= count;
    FlashAddress += count;
    ImageOffset += count;

    view_.SetProgress(static_cast<int>(std::int64_t{ImageOffset} * 100 / FirmwareImageSize()));
    view_.SetStatusText(BootloaderText::kProgressPrefix + QString::number(view_.Progress()) +
                        QStringLiteral("%"));
}

void BootloaderSession::Finish() {
    IspState = kAwaitSyncAck;
    view_.SetProgress(0);
    view_.SetStatusText(BootloaderText::kUploadComplete);
    OvertimeT.stop();
    Timer5.stop();
    comDriver_.SetDTR(true);
    clock_.sleep(kLinePauseMs);
    comDriver_.SetRTS(false);
    if (PortOpen) {
        comDriver_.Disconnect();
    }
}

void BootloaderSession::OvertimeTTimer() {
    ++IdleTicks;
    if (IdleTicks <= 5) {
        return;
    }
    if (Tap != nullptr) {
        Tap->ReplyJudged(comDriver_.RxBuffer, std::min<int>(comDriver_.RxCount, kTxBufferSize),
                         false);
    }
    FailAttempt();
    ++RetryCount;
    if (RetryCount < 3) {
        STM_ISP();
    }
}

void BootloaderSession::FailAttempt() {
    IspState = kAwaitSyncAck;
    view_.SetProgress(0);
    view_.SetStatusText(BootloaderText::kConnectionFailed);
    OvertimeT.stop();
    Timer5.stop();
    if (PortOpen) {
        comDriver_.Disconnect();
    }
}
