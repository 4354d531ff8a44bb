#include "BootloaderClient.h"

#include <algorithm>
#include <cstring>

#include "FirmwareImage.h"
#include "Stm32Protocol.h"
#include "TickClock.h"
#include "ZQ_ComDrv.h"

using namespace stm32;

namespace {

// The fewest bytes worth looking at in each state of the dialog's exchange.
constexpr std::uint8_t MinReplyLength[12] = {0, 1, 15, 5, 1, 1, 5, 1, 1, 1, 1, 1};

// Time an STM32F1 may take for a page erase, and for programming a block of 256 bytes.
constexpr std::uint32_t kPageEraseMs = 40;
constexpr std::uint32_t kBlockProgramMs = 10;

constexpr int kUniqueIdEnd = 20;

}  // namespace

BootloaderClient::BootloaderClient(VEVErizEvezad& driver, const BootloaderPlan& plan)
    : driver_(driver), plan_(plan) {
    plan_.identityBytes = std::clamp(plan_.identityBytes, 1, kUniqueIdEnd);
}

void BootloaderClient::StartLineSequence(VEVErizEvezad& driver, TickClock& clock,
                                         std::uint32_t pauseMs) {
    // The module's wiring starts its system bootloader on this sequence of the modem lines.
    driver.SetDTR(true);
    driver.SetRTS(true);
    clock.sleep(pauseMs);
    driver.SetDTR(false);
    clock.sleep(pauseMs);
}

void BootloaderClient::EndLineSequence(VEVErizEvezad& driver, TickClock& clock,
                                       std::uint32_t pauseMs) {
    driver.SetDTR(true);
    clock.sleep(pauseMs);
    driver.SetRTS(false);
}

void BootloaderClient::Begin() {
    IspState = kAwaitSyncAck;
    TxBuffer[0] = SYNC;
    Send(TxBuffer, 1);
    Await(1, 1);
}

int BootloaderClient::ListingLength(const std::uint8_t* bytes, int count) const {
    // ACK, the count of following bytes less one, those bytes, ACK.
    return count >= 2 ? bytes[1] + 4 : kReplyAreaSize;
}

bool BootloaderClient::Complete(const std::uint8_t* bytes, int count) const {
    if (IspState < kAwaitSyncAck || IspState >= kDone || count <= 0) {
        return false;
    }
    if (plan_.byCount && IspState != kAwaitSyncAck) {
        if (bytes[0] != ACK) {
            return true;
        }
        if (IspState == kAwaitGet || IspState == kAwaitGetId) {
            return count >= ListingLength(bytes, count);
        }
    }
    if (IspState == kAwaitReadData || IspState == kAwaitVerifyData) {
        return count >= 1 + readCount_;
    }
    if (IspState <= kAwaitLastBlockAck) {
        return count >= MinReplyLength[IspState];
    }
    return true;
}

BootloaderClient::Verdict BootloaderClient::Take(const std::uint8_t* bytes, int count) {
    if (IspState < kAwaitSyncAck || IspState >= kDone || count <= 0) {
        return Verdict::kRefused;
    }
    // No reply of this exchange comes near the size of the reply area; a longer accumulation
    // is line noise and is dropped rather than copied past it.
    if (count > kReplyAreaSize) {
        return Verdict::kDropped;
    }
    std::memcpy(TxBuffer, bytes, static_cast<std::size_t>(count));
    replyLength_ = count;
    const bool accepted = Accepted();
    if (Tap != nullptr) {
        Tap->ReplyJudged(TxBuffer, count, accepted);
    }
    return accepted ? Advance() : Verdict::kRefused;
}

bool BootloaderClient::Accepted() const {
    const int n = replyLength_;
    switch (IspState) {
        case kAwaitSyncAck:
            // Noise may come before the answer; only the last byte counts.
            return ReplyByte(n) == ACK;
        case kAwaitGet:
            if (plan_.byCount) {
                const int length = ListingLength(TxBuffer, n);
                return n >= length && ReplyByte(1) == ACK && ReplyByte(length) == ACK;
            }
            return n >= 15 && ReplyByte(1) == ACK && ReplyByte(2) == GET_BYTE_COUNT &&
                   ReplyByte(4) == CMD_GET && ReplyByte(15) == ACK;
        case kAwaitGetId:
            if (plan_.byCount) {
                const int length = ListingLength(TxBuffer, n);
                return n >= length && ReplyByte(1) == ACK && ReplyByte(length) == ACK;
            }
            return n >= 5 && ReplyByte(1) == ACK && ReplyByte(2) == GET_ID_BYTE_COUNT &&
                   ReplyByte(5) == ACK;
        case kAwaitReadData:
        case kAwaitVerifyData:
            return n >= 1 + readCount_ && ReplyByte(1) == ACK;
        default:
            return ReplyByte(1) == ACK;
    }
}

BootloaderClient::Verdict BootloaderClient::Advance() {
    resetsWatchdog_ = true;
    switch (IspState) {
        case kAwaitSyncAck:
            IspState = kAwaitGet;
            SendCommand(CMD_GET);
            Await(2, 15);
            return Verdict::kAccepted;
        case kAwaitGet: {
            BootloaderVersion = ReplyByte(3);
            if (plan_.byCount) {
                const std::uint8_t* codes = TxBuffer + 3;
                const std::uint8_t* codesEnd = TxBuffer + ListingLength(TxBuffer, replyLength_) - 1;
                for (const std::uint8_t needed :
                     {CMD_READ_MEMORY, CMD_WRITE_MEMORY, CMD_ERASE, CMD_GO}) {
                    if (std::find(codes, codesEnd, needed) == codesEnd) {
                        MissingCommand = needed;
                        return Verdict::kMissingCommand;
                    }
                }
            }
            IspState = kAwaitGetId;
            SendCommand(CMD_GET_ID);
            Await(2, 5);
            return Verdict::kAccepted;
        }
        case kAwaitGetId: {
            // The product ID is kept, but any ID is accepted.
            const int idBytes = plan_.byCount ? ListingLength(TxBuffer, replyLength_) - 3 : 2;
            ProductIdLength = std::min<int>(idBytes, sizeof ProductId);
            std::memcpy(ProductId, TxBuffer + 2, static_cast<std::size_t>(ProductIdLength));
            IspState = kAwaitReadMemoryAck;
            SendCommand(CMD_READ_MEMORY);
            Await(2, 1);
            return Verdict::kAccepted;
        }
        case kAwaitReadMemoryAck:
            IspState = kAwaitReadAddressAck;
            SendAddressFrame(FLASH_SIZE_REGISTER);
            return Verdict::kAccepted;
        case kAwaitReadAddressAck:
            IspState = kAwaitReadData;
            SendReadLength(plan_.identityBytes);
            return Verdict::kAccepted;
        case kAwaitReadData:
            std::memcpy(Identity, TxBuffer + 1, static_cast<std::size_t>(plan_.identityBytes));
            return AfterIdentity();
        case kAwaitEraseAck:
            return Verdict::kEraseDue;
        case kAwaitEraseFrameOrBlockAck:
            IspState = kAwaitWriteMemoryAck;
            SendCommand(CMD_WRITE_MEMORY);
            Await(2, 1);
            return Verdict::kAccepted;
        case kAwaitWriteMemoryAck:
            // No watchdog reset here and at the address: one deadline covers the whole block.
            resetsWatchdog_ = false;
            IspState = kAwaitWriteAddressAck;
            SendAddressFrame(static_cast<std::uint32_t>(FlashAddress));
            return Verdict::kAccepted;
        case kAwaitWriteAddressAck:
            resetsWatchdog_ = false;
            SendDataBlock();
            return Verdict::kAccepted;
        case kAwaitLastBlockAck:
            return AfterBlocks();
        case kAwaitVerifyReadAck:
            IspState = kAwaitVerifyAddressAck;
            SendAddressFrame(static_cast<std::uint32_t>(FlashAddress));
            return Verdict::kAccepted;
        case kAwaitVerifyAddressAck:
            IspState = kAwaitVerifyData;
            SendReadLength(std::min(BytesLeft, MAX_BLOCK));
            return Verdict::kAccepted;
        case kAwaitVerifyData:
            return CheckReadBack();
        case kAwaitGoAck:
            IspState = kAwaitGoAddressAck;
            SendAddressFrame(FLASH_START);
            return Verdict::kAccepted;
        case kAwaitGoAddressAck:
            IspState = kDone;
            return Verdict::kFinished;
        default:
            return Verdict::kRefused;
    }
}

BootloaderClient::Verdict BootloaderClient::AfterIdentity() {
    if (plan_.identifyOnly) {
        IspState = kDone;
        return Verdict::kFinished;
    }
    // Nothing is erased or written beyond the chip's own flash.
    if (plan_.imageSize > 0 && FlashKiB() > 0 && plan_.imageSize > FlashKiB() * 1024) {
        return Verdict::kTooLarge;
    }
    IspState = kAwaitEraseAck;
    SendCommand(CMD_ERASE);
    Await(2, 1);
    return Verdict::kAccepted;
}

void BootloaderClient::Erase(const std::uint8_t* image, std::int32_t size) {
    if (image == nullptr || size <= 0 || size > kLargestErasableImage) {
        return;
    }
    image_ = image;
    ImageSize = size;
    FlashAddress = static_cast<std::int32_t>(FLASH_START);
    ImageOffset = 0;
    BytesLeft = size;
    const std::size_t length = EraseFrame(size, TxBuffer);
    IspState = kAwaitEraseFrameOrBlockAck;
    Send(TxBuffer, static_cast<std::int32_t>(length));
    allowanceMs_ = static_cast<std::uint32_t>(length - 2) * kPageEraseMs;
    Await(static_cast<std::int32_t>(length), 1);
}

// The byte count less one, the data straight from the image, then the XOR of both.
void BootloaderClient::SendDataBlock() {
    const std::int32_t count = std::min(BytesLeft, MAX_BLOCK);
    const std::uint8_t* data = image_ + ImageOffset;
    BytesLeft -= count;
    FlashAddress += count;
    ImageOffset += count;
    IspState = BytesLeft > 0 ? kAwaitEraseFrameOrBlockAck : kAwaitLastBlockAck;

    TxBuffer[0] = static_cast<std::uint8_t>(count - 1);
    Send(TxBuffer, 1);
    Send(data, count, true);
    TxBuffer[0] =
        static_cast<std::uint8_t>((count - 1) ^ XorOf(data, static_cast<std::size_t>(count)));
    Send(TxBuffer, 1, true);
    allowanceMs_ = kBlockProgramMs;
    Await(count + 2, 1);
}

BootloaderClient::Verdict BootloaderClient::AfterBlocks() {
    if (plan_.verify) {
        FlashAddress = static_cast<std::int32_t>(FLASH_START);
        ImageOffset = 0;
        BytesLeft = ImageSize;
        IspState = kAwaitVerifyReadAck;
        SendCommand(CMD_READ_MEMORY);
        Await(2, 1);
        return Verdict::kAccepted;
    }
    if (plan_.go) {
        IspState = kAwaitGoAck;
        SendCommand(CMD_GO);
        Await(2, 1);
        return Verdict::kAccepted;
    }
    IspState = kDone;
    return Verdict::kFinished;
}

BootloaderClient::Verdict BootloaderClient::CheckReadBack() {
    const std::uint8_t* expected = image_ + ImageOffset;
    for (int i = 0; i < readCount_; ++i) {
        if (TxBuffer[1 + i] != expected[i]) {
            MismatchAddress = static_cast<std::uint32_t>(FlashAddress + i);
            MismatchWrote = expected[i];
            MismatchRead = TxBuffer[1 + i];
            return Verdict::kMismatch;
        }
    }
    BytesLeft -= readCount_;
    FlashAddress += readCount_;
    ImageOffset += readCount_;
    if (BytesLeft > 0) {
        IspState = kAwaitVerifyReadAck;
        SendCommand(CMD_READ_MEMORY);
        Await(2, 1);
        return Verdict::kAccepted;
    }
    plan_.verify = false;
    return AfterBlocks();
}

int BootloaderClient::FlashKiB() const {
    if (plan_.identityBytes < 2) {
        return 0;
    }
    const int kib = Identity[0] | Identity[1] << 8;
    return kib == 0xFFFF ? 0 : kib;
}

void BootloaderClient::Send(const std::uint8_t* bytes, std::int32_t count, bool continues) {
    if (!continues) {
        allowanceMs_ = 0;
    }
    driver_.SendData(bytes, count);
    if (Tap != nullptr) {
        if (continues) {
            Tap->FrameContinued(bytes, count);
        } else {
            Tap->FrameSent(bytes, count);
        }
    }
}

void BootloaderClient::Await(std::int32_t sent, int answerBytes) {
    driver_.AwaitAnswer(static_cast<std::uint32_t>(sent), static_cast<std::uint32_t>(answerBytes));
}

// A command goes out as its code followed by the code's complement.
void BootloaderClient::SendCommand(std::uint8_t command) {
    TxBuffer[0] = command;
    TxBuffer[1] = static_cast<std::uint8_t>(~command);
    Send(TxBuffer, 2);
}

// Four address bytes, most significant first, then their XOR.
void BootloaderClient::SendAddressFrame(std::uint32_t address) {
    AddressFrame(address, TxBuffer);
    Send(TxBuffer, 5);
    Await(5, 1);
}

// The count less one and its complement; the answer is ACK and the bytes.
void BootloaderClient::SendReadLength(int count) {
    readCount_ = count;
    TxBuffer[0] = static_cast<std::uint8_t>(count - 1);
    TxBuffer[1] = static_cast<std::uint8_t>(~(count - 1));
    Send(TxBuffer, 2);
    Await(2, 1 + count);
}
