#pragma once

#include <cstdint>

#include "TrafficTap.h"

class TickClock;
class VEVErizEvezad;

// What one run of the exchange does beyond the firmware dialog's own.
struct BootloaderPlan {
    // How the answers are judged. The dialog's way: the Get listing exactly as this module's
    // bootloader gives it (eleven commands, Get first) and a wrong answer dropped in favour of
    // the watchdog. By count: a listing of any length its own count gives, offering the
    // commands needed, and a refusal seen at its first byte.
    bool byCount = false;
    // Bytes read from the flash-size register on: 4, or 20 with the chip's unique ID.
    int identityBytes = 4;
    // Known before the exchange (0: not known): refused before the erase when the chip's
    // flash, as it reports it, is smaller.
    std::int32_t imageSize = 0;
    // Ends once the chip has told who it is, before anything is erased.
    bool identifyOnly = false;
    bool verify = false;
    bool go = false;
};

// The STM32 USART system bootloader's exchange as one firmware download needs it: the
// synchronisation byte, Get, Get ID, a Read Memory of the flash-size register, the page erase,
// the Write Memory blocks and, on request, a read-back of each block and a Go. A state
// machine fed with the bytes received; it sends through the driver and keeps nothing outside
// itself, so one client per line can run beside others.
class BootloaderClient {
public:
    enum State : std::int32_t {
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
        kAwaitVerifyReadAck = 12,
        kAwaitVerifyAddressAck = 13,
        kAwaitVerifyData = 14,
        kAwaitGoAck = 15,
        kAwaitGoAddressAck = 16,
        kDone = 17,
    };

    // What a judged reply led to.
    enum class Verdict : std::uint8_t {
        kRefused,         // not accepted; nothing sent, the state is unchanged
        kDropped,         // longer than any answer: dropped unjudged
        kAccepted,        // the next command is on its way
        kEraseDue,        // Erase Memory acknowledged: Erase() with the image is next
        kFinished,        // the exchange is complete
        kMismatch,        // a block read back differs (see Mismatch...)
        kTooLarge,        // the image does not fit the chip's flash
        kMissingCommand,  // the bootloader does not offer a command needed (MissingCommand)
    };

    static constexpr int kReplyAreaSize = 264;
    // Each pause of the modem-line sequences, as the module's reset wiring needs it.
    static constexpr std::uint32_t kLinePauseMs = 500;

    BootloaderClient(VEVErizEvezad& driver, const BootloaderPlan& plan);

    // The modem-line sequence that starts the module's bootloader, and the one that leaves it.
    static void StartLineSequence(VEVErizEvezad& driver, TickClock& clock, std::uint32_t pauseMs);
    static void EndLineSequence(VEVErizEvezad& driver, TickClock& clock, std::uint32_t pauseMs);

    // Sends the synchronisation byte and awaits its answer.
    void Begin();
    // Whether the bytes received so far are worth judging in this state.
    bool Complete(const std::uint8_t* bytes, int count) const;
    // Judges the bytes received (all of them: the caller drops them afterwards) and takes
    // the step they allow. A reply longer than the reply area is dropped unjudged.
    Verdict Take(const std::uint8_t* bytes, int count);
    // Sends the page erase for the image (1 to 262,143 bytes, kept by the caller until the
    // exchange ends) and goes on to the blocks.
    void Erase(const std::uint8_t* image, std::int32_t size);

    // Time the chip itself may take for the answer awaited now (page erase, programming).
    std::uint32_t ChipAllowanceMs() const { return allowanceMs_; }
    // Whether the step just taken counts as progress for a watchdog: the write states do not
    // reset it, so that one deadline covers a whole block.
    bool StepResetsWatchdog() const { return resetsWatchdog_; }

    // Byte k of the last reply taken, counting from 1.
    std::uint8_t ReplyByte(int k) const { return TxBuffer[k - 1]; }
    int ReplyLength() const { return replyLength_; }

    std::int32_t IspState = kNotStarted;
    std::int32_t FlashAddress = 0;
    std::int32_t ImageOffset = 0;
    std::int32_t BytesLeft = 0;
    std::int32_t ImageSize = 0;
    // The command and reply area: commands are built here, each reply is copied here.
    std::uint8_t TxBuffer[kReplyAreaSize] = {};

    // What the chip told: bootloader version, product ID, the bytes from the flash-size
    // register on.
    std::uint8_t BootloaderVersion = 0;
    std::uint8_t ProductId[8] = {};
    int ProductIdLength = 0;
    std::uint8_t Identity[20] = {};
    // The flash size in KiB the chip reports (0 if unknown or not read).
    int FlashKiB() const;

    std::uint8_t MissingCommand = 0;
    std::uint32_t MismatchAddress = 0;
    std::uint8_t MismatchWrote = 0;
    std::uint8_t MismatchRead = 0;

    // Where the frames sent and the replies judged are reported (null: nowhere).
    TrafficTap* Tap = nullptr;

private:
    bool Accepted() const;
    Verdict Advance();
    Verdict AfterIdentity();
    Verdict AfterBlocks();
    Verdict CheckReadBack();
    void Send(const std::uint8_t* bytes, std::int32_t count, bool continues = false);
    // Tells the driver how long the answer to the frame of `sent` bytes just sent is, so that
    // it is read as soon as it can be whole.
    void Await(std::int32_t sent, int answerBytes);
    void SendCommand(std::uint8_t command);
    void SendAddressFrame(std::uint32_t address);
    void SendReadLength(int count);
    void SendDataBlock();
    int ListingLength(const std::uint8_t* bytes, int count) const;

    VEVErizEvezad& driver_;
    BootloaderPlan plan_;
    const std::uint8_t* image_ = nullptr;
    int replyLength_ = 0;
    int readCount_ = 0;  // bytes asked of the Read Memory under way
    std::uint32_t allowanceMs_ = 0;
    bool resetsWatchdog_ = false;
};
