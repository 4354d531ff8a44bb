#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "LineDevice.h"
#include "LineOutput.h"
#include "SimTime.h"

namespace vr7c::sim {

// The chip's 96-bit unique ID, as its registers hold it from 0x1FFFF7E8 on.
using ChipUid = std::array<std::uint8_t, 12>;

// Faults the bootloader shows on request.
struct Stm32BootloaderFaults {
    // Hears nothing and answers nothing, not even the synchronisation byte.
    bool silent = false;
    // This command (or 0x7F for the synchronisation byte) is answered with NACK instead of ACK.
    std::optional<std::uint8_t> nackCommand;
    // The n-th Write Memory data block since the last synchronisation (counting from 1) is
    // answered with NACK and not written.
    int nackDataBlock = 0;
    // How many commands Get lists (the standard 11 of a version 2.2 bootloader).
    int getCommandCount = 11;
    // Sent right before the ACK of the synchronisation byte.
    std::vector<std::uint8_t> noiseBeforeSyncAck;
};

// How long an STM32F1 takes for its work. The line's own timing is the module's LineOutput's.
struct Stm32BootloaderTiming {
    // From the last byte of a command to the start of the answer.
    Micros commandLatency = 20;
    // Page and mass erase take 20 to 40 ms on an STM32F1.
    Micros pageErase = 22 * kMicrosPerMilli;
    Micros massErase = 30 * kMicrosPerMilli;
    // Programming one half-word takes 40 to 70 µs, typically 52.5 µs.
    std::int64_t halfWordProgramNanos = 52'500;
};

// The USART system bootloader of an STM32F103 with 64 KiB of flash (ST application note AN3155,
// version 2.2): the synchronisation byte, then commands as a code and its complement, each
// confirmed with ACK or refused with NACK. Flash, SRAM and the system area behind the chip's
// information registers can be read; flash pages erased; flash and SRAM written in blocks of up
// to 256 bytes; Go hands the line back to the application.
//
// The bytes sent to it arrive in the time the line at its baud rate would take (a
// pseudo-terminal delivers them at once), so the replies come no sooner than on a real module.
class Stm32Bootloader final : public LineDevice {
public:
    static constexpr std::uint32_t kFlashBase = 0x08000000;
    static constexpr std::uint32_t kFlashSize = 64 * 1024;
    static constexpr std::uint32_t kPageSize = 1024;
    static constexpr std::uint32_t kSramBase = 0x20000000;
    static constexpr std::uint32_t kSramSize = 20 * 1024;
    // System memory, the flash-size and unique-ID registers and the option bytes.
    static constexpr std::uint32_t kSystemBase = 0x1FFFF000;
    static constexpr std::uint32_t kSystemSize = 0x810;
    static constexpr std::uint8_t kVersion = 0x22;
    static constexpr std::uint16_t kProductId = 0x0410;
    // A synchronisation byte after this much silence starts the bootloader afresh: on the real
    // module the DTR/RTS sequence before it has reset the chip, which a pseudo-terminal cannot
    // show.
    static constexpr Micros kRestartSilence = 500 * kMicrosPerMilli;

    explicit Stm32Bootloader(Stm32BootloaderFaults faults = {}, Stm32BootloaderTiming timing = {});

    void reset(Micros now) override;
    void receive(std::uint8_t byte, Micros now, LineOutput& out) override;
    void advance(Micros now, LineOutput& out) override;
    std::optional<Micros> deadline() const override { return std::nullopt; }
    std::optional<LineHandover> takeHandover() override;

    Stm32BootloaderFaults& faults() { return faults_; }
    void setUniqueId(const ChipUid& id);
    const Stm32BootloaderTiming& timing() const { return timing_; }

    // The flash, from kFlashBase on. Starts with an old firmware in place (no byte erased).
    const std::vector<std::uint8_t>& flash() const { return flash_; }
    std::vector<std::uint8_t>& flash() { return flash_; }

    bool synchronised() const { return phase_ != Phase::AwaitSync; }
    int pagesErased() const { return pagesErased_; }
    int blocksWritten() const { return blocksWritten_; }

private:
    enum class Phase : std::uint8_t {
        AwaitSync,
        AwaitCommand,
        AwaitComplement,
        ReadAddress,
        ReadCount,
        GoAddress,
        WriteAddress,
        WriteData,
        EraseList,
        WriteProtectList,
    };

    void Collect(std::uint8_t byte, Micros at, LineOutput& out);
    void OnSync(Micros at, LineOutput& out);
    void OnCommand(std::uint8_t command, Micros at, LineOutput& out);
    void OnReadAddress(Micros at, LineOutput& out);
    void OnReadCount(Micros at, LineOutput& out);
    void OnGoAddress(Micros at, LineOutput& out);
    void OnWriteAddress(Micros at, LineOutput& out);
    void OnWriteData(Micros at, LineOutput& out);
    void OnEraseList(Micros at, LineOutput& out);
    void OnWriteProtectList(Micros at, LineOutput& out);

    bool CommandListed(std::uint8_t command) const;
    std::vector<std::uint8_t> ListedCommands() const;
    // Expects `count` more bytes for the current phase.
    void Expect(Phase phase, std::size_t count);
    void Answer(std::vector<std::uint8_t> bytes, Micros at, LineOutput& out);
    void Ack(Micros at, LineOutput& out);
    void Nack(Micros at, LineOutput& out);
    // Back to waiting for a command, as after every answered command.
    void Idle();
    void ResetChip(Micros at);
    std::uint32_t FrameAddress() const;

    // Memory access: a pointer to `count` bytes at `address`, or null outside the memories.
    std::uint8_t* Memory(std::uint32_t address, std::size_t count);
    bool InFlash(std::uint32_t address, std::size_t count) const;
    Micros EraseAll();

    Stm32BootloaderFaults faults_;
    Stm32BootloaderTiming timing_;
    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> sram_;
    std::vector<std::uint8_t> system_;

    Phase phase_ = Phase::AwaitSync;
    std::uint8_t command_ = 0;
    std::vector<std::uint8_t> frame_;
    std::size_t expected_ = 0;
    std::uint32_t address_ = 0;
    Micros lastArrival_ = 0;
    bool heardAnything_ = false;
    int blocksSinceSync_ = 0;
    int pagesErased_ = 0;
    int blocksWritten_ = 0;
    std::optional<LineHandover> handover_;
};

}  // namespace vr7c::sim
