#include "Stm32Bootloader.h"

#include <algorithm>
#include <utility>

namespace vr7c::sim {

namespace {

constexpr std::uint8_t SYNC = 0x7F;
constexpr std::uint8_t ACK = 0x79;
constexpr std::uint8_t NACK = 0x1F;

constexpr std::uint8_t CMD_GET = 0x00;
constexpr std::uint8_t CMD_GET_VERSION = 0x01;
constexpr std::uint8_t CMD_GET_ID = 0x02;
constexpr std::uint8_t CMD_READ_MEMORY = 0x11;
constexpr std::uint8_t CMD_GO = 0x21;
constexpr std::uint8_t CMD_WRITE_MEMORY = 0x31;
constexpr std::uint8_t CMD_ERASE = 0x43;
constexpr std::uint8_t CMD_WRITE_PROTECT = 0x63;
constexpr std::uint8_t CMD_WRITE_UNPROTECT = 0x73;
constexpr std::uint8_t CMD_READOUT_PROTECT = 0x82;
constexpr std::uint8_t CMD_READOUT_UNPROTECT = 0x92;

// The commands of a version 2.2 bootloader, in the order Get lists them.
constexpr std::uint8_t kStandardCommands[] = {CMD_GET,
                                              CMD_GET_VERSION,
                                              CMD_GET_ID,
                                              CMD_READ_MEMORY,
                                              CMD_GO,
                                              CMD_WRITE_MEMORY,
                                              CMD_ERASE,
                                              CMD_WRITE_PROTECT,
                                              CMD_WRITE_UNPROTECT,
                                              CMD_READOUT_PROTECT,
                                              CMD_READOUT_UNPROTECT};
// Listed by bootloaders of other versions; this one does not carry them out.
constexpr std::uint8_t kOtherCommands[] = {0x44, 0xA1, 0xA2, 0x50, 0x51, 0x52};

constexpr std::uint8_t kGlobalErase = 0xFF;
constexpr std::size_t kAddressFrame = 5;
constexpr std::size_t kCountFrame = 2;

// Offsets in the system area.
constexpr std::uint32_t kFlashSizeRegister = 0x7E0;
constexpr std::uint32_t kUniqueId = 0x7E8;
constexpr std::uint32_t kOptionBytes = 0x800;

std::uint8_t XorOf(const std::vector<std::uint8_t>& bytes) {
    std::uint8_t sum = 0;
    for (auto b : bytes) {
        sum ^= b;
    }
    return sum;
}

std::vector<std::uint8_t> OldFirmware(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 31 + 7) % 251);
    }
    return bytes;
}

std::vector<std::uint8_t> SystemArea() {
    std::vector<std::uint8_t> area(Stm32Bootloader::kSystemSize, 0x00);
    const std::uint16_t flashKiB = Stm32Bootloader::kFlashSize / 1024;
    area[kFlashSizeRegister] = static_cast<std::uint8_t>(flashKiB);
    area[kFlashSizeRegister + 1] = static_cast<std::uint8_t>(flashKiB >> 8);
    area[kFlashSizeRegister + 2] = 0xFF;
    area[kFlashSizeRegister + 3] = 0xFF;
    for (std::uint32_t i = 0; i < 12; ++i) {
        area[kUniqueId + i] = static_cast<std::uint8_t>(0x30 + i * 7);
    }
    // Read protection off (RDP 0xA5), everything else at its erased value, each option byte
    // followed by its complement.
    const std::uint8_t options[8] = {0xA5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (std::uint32_t i = 0; i < 8; ++i) {
        area[kOptionBytes + 2 * i] = options[i];
        area[kOptionBytes + 2 * i + 1] = static_cast<std::uint8_t>(~options[i]);
    }
    return area;
}

}  // namespace

Stm32Bootloader::Stm32Bootloader(Stm32BootloaderFaults faults, Stm32BootloaderTiming timing)
    : faults_(std::move(faults)),
      timing_(timing),
      flash_(OldFirmware(kFlashSize)),
      sram_(kSramSize, 0x00),
      system_(SystemArea()) {}

void Stm32Bootloader::setUniqueId(const ChipUid& id) {
    std::copy(id.begin(), id.end(), system_.begin() + kUniqueId);
}

void Stm32Bootloader::reset(Micros now) {
    phase_ = Phase::AwaitSync;
    frame_.clear();
    expected_ = 0;
    lastArrival_ = now;
    heardAnything_ = false;
    handover_.reset();
}

void Stm32Bootloader::receive(std::uint8_t byte, Micros now, LineOutput& out) {
    if (faults_.silent) {
        return;
    }
    if (byte == SYNC && phase_ != Phase::AwaitSync && heardAnything_ &&
        now - lastArrival_ >= kRestartSilence) {
        phase_ = Phase::AwaitSync;
        frame_.clear();
    }
    // Bytes that reach the simulator together would have followed each other on the line.
    const Micros at =
        heardAnything_ ? std::max(now, lastArrival_ + out.timing().charactersTime(1)) : now;
    lastArrival_ = at;
    heardAnything_ = true;

    switch (phase_) {
        case Phase::AwaitSync:
            if (byte == SYNC) {
                OnSync(at, out);
            }
            break;
        case Phase::AwaitCommand:
            command_ = byte;
            phase_ = Phase::AwaitComplement;
            break;
        case Phase::AwaitComplement:
            if (static_cast<std::uint8_t>(command_ ^ byte) != 0xFF || !CommandListed(command_)) {
                Nack(at, out);
                Idle();
            } else {
                OnCommand(command_, at, out);
            }
            break;
        default:
            Collect(byte, at, out);
            break;
    }
}

void Stm32Bootloader::advance(Micros /*now*/, LineOutput& /*out*/) {}

std::optional<LineHandover> Stm32Bootloader::takeHandover() {
    return std::exchange(handover_, std::nullopt);
}

void Stm32Bootloader::Collect(std::uint8_t byte, Micros at, LineOutput& out) {
    frame_.push_back(byte);
    // The first byte of a data block, page list or sector list tells how many follow.
    if (frame_.size() == 1) {
        if (phase_ == Phase::WriteData) {
            expected_ = 1 + (byte + 1u) + 1;
        } else if (phase_ == Phase::EraseList || phase_ == Phase::WriteProtectList) {
            expected_ =
                byte == kGlobalErase && phase_ == Phase::EraseList ? 2 : 1 + (byte + 1u) + 1;
        }
    }
    if (frame_.size() < expected_) {
        return;
    }
    switch (phase_) {
        case Phase::ReadAddress:
            OnReadAddress(at, out);
            break;
        case Phase::ReadCount:
            OnReadCount(at, out);
            break;
        case Phase::GoAddress:
            OnGoAddress(at, out);
            break;
        case Phase::WriteAddress:
            OnWriteAddress(at, out);
            break;
        case Phase::WriteData:
            OnWriteData(at, out);
            break;
        case Phase::EraseList:
            OnEraseList(at, out);
            break;
        case Phase::WriteProtectList:
            OnWriteProtectList(at, out);
            break;
        default:
            Idle();
            break;
    }
}

void Stm32Bootloader::OnSync(Micros at, LineOutput& out) {
    if (faults_.nackCommand == SYNC) {
        Nack(at, out);
        return;
    }
    std::vector<std::uint8_t> answer = faults_.noiseBeforeSyncAck;
    answer.push_back(ACK);
    Answer(std::move(answer), at, out);
    blocksSinceSync_ = 0;
    Idle();
}

void Stm32Bootloader::OnCommand(std::uint8_t command, Micros at, LineOutput& out) {
    if (faults_.nackCommand == command) {
        Nack(at, out);
        Idle();
        return;
    }
    switch (command) {
        case CMD_GET: {
            const std::vector<std::uint8_t> listed = ListedCommands();
            std::vector<std::uint8_t> answer = {ACK, static_cast<std::uint8_t>(listed.size()),
                                                kVersion};
            answer.insert(answer.end(), listed.begin(), listed.end());
            answer.push_back(ACK);
            Answer(std::move(answer), at, out);
            Idle();
            break;
        }
        case CMD_GET_VERSION:
            Answer({ACK, kVersion, 0x00, 0x00, ACK}, at, out);
            Idle();
            break;
        case CMD_GET_ID:
            Answer({ACK, 0x01, static_cast<std::uint8_t>(kProductId >> 8),
                    static_cast<std::uint8_t>(kProductId), ACK},
                   at, out);
            Idle();
            break;
        case CMD_READ_MEMORY:
            Ack(at, out);
            Expect(Phase::ReadAddress, kAddressFrame);
            break;
        case CMD_GO:
            Ack(at, out);
            Expect(Phase::GoAddress, kAddressFrame);
            break;
        case CMD_WRITE_MEMORY:
            Ack(at, out);
            Expect(Phase::WriteAddress, kAddressFrame);
            break;
        case CMD_ERASE:
            Ack(at, out);
            Expect(Phase::EraseList, 1);
            break;
        case CMD_WRITE_PROTECT:
            Ack(at, out);
            Expect(Phase::WriteProtectList, 1);
            break;
        case CMD_WRITE_UNPROTECT:
        case CMD_READOUT_PROTECT:
            // The option bytes change, and the chip resets to take them up.
            Answer({ACK, ACK}, at, out);
            ResetChip(at);
            break;
        case CMD_READOUT_UNPROTECT:
            Ack(at, out);
            Answer({ACK}, at + EraseAll(), out);
            ResetChip(at);
            break;
        default:
            Nack(at, out);
            Idle();
            break;
    }
}

void Stm32Bootloader::OnReadAddress(Micros at, LineOutput& out) {
    address_ = FrameAddress();
    if (XorOf(frame_) != 0 || Memory(address_, 1) == nullptr) {
        Nack(at, out);
        Idle();
        return;
    }
    Ack(at, out);
    Expect(Phase::ReadCount, kCountFrame);
}

void Stm32Bootloader::OnReadCount(Micros at, LineOutput& out) {
    const std::size_t count = frame_[0] + 1u;
    const std::uint8_t* data = Memory(address_, count);
    if (static_cast<std::uint8_t>(frame_[0] ^ frame_[1]) != 0xFF || data == nullptr) {
        Nack(at, out);
        Idle();
        return;
    }
    std::vector<std::uint8_t> answer = {ACK};
    answer.insert(answer.end(), data, data + count);
    Answer(std::move(answer), at, out);
    Idle();
}

void Stm32Bootloader::OnGoAddress(Micros at, LineOutput& out) {
    const std::uint32_t address = FrameAddress();
    const bool runnable =
        InFlash(address, 1) || (address >= kSramBase && address < kSramBase + kSramSize);
    if (XorOf(frame_) != 0 || !runnable) {
        Nack(at, out);
        Idle();
        return;
    }
    Ack(at, out);
    ResetChip(at);
}

void Stm32Bootloader::OnWriteAddress(Micros at, LineOutput& out) {
    address_ = FrameAddress();
    const bool writable =
        InFlash(address_, 1) || (address_ >= kSramBase && address_ < kSramBase + kSramSize);
    if (XorOf(frame_) != 0 || !writable) {
        Nack(at, out);
        Idle();
        return;
    }
    Ack(at, out);
    Expect(Phase::WriteData, 1);
}

void Stm32Bootloader::OnWriteData(Micros at, LineOutput& out) {
    ++blocksSinceSync_;
    const std::size_t count = frame_[0] + 1u;
    // Memory is written in whole words; a shorter block is filled up with 0xFF.
    std::vector<std::uint8_t> data(frame_.begin() + 1, frame_.begin() + 1 + count);
    data.resize((count + 3) / 4 * 4, 0xFF);
    std::uint8_t* target = Memory(address_, data.size());
    const bool flash = InFlash(address_, data.size());
    // Flash can only be programmed where it is erased.
    const bool programmable =
        target != nullptr && (!flash || std::equal(data.begin(), data.end(), target,
                                                   [](std::uint8_t want, std::uint8_t have) {
                                                       return have == 0xFF || have == want;
                                                   }));
    if (XorOf(frame_) != 0 || !programmable || blocksSinceSync_ == faults_.nackDataBlock) {
        Nack(at, out);
        Idle();
        return;
    }
    std::copy(data.begin(), data.end(), target);
    ++blocksWritten_;
    const Micros programTime =
        flash ? static_cast<Micros>(data.size() / 2) * timing_.halfWordProgramNanos / 1000 : 0;
    Answer({ACK}, at + programTime, out);
    Idle();
}

void Stm32Bootloader::OnEraseList(Micros at, LineOutput& out) {
    if (frame_[0] == kGlobalErase) {
        if (frame_[1] != 0x00) {
            Nack(at, out);
        } else {
            Answer({ACK}, at + EraseAll(), out);
        }
        Idle();
        return;
    }
    const std::size_t pages = frame_[0] + 1u;
    const bool pagesExist =
        std::all_of(frame_.begin() + 1, frame_.begin() + 1 + pages,
                    [](std::uint8_t page) { return page < kFlashSize / kPageSize; });
    if (XorOf(frame_) != 0 || !pagesExist) {
        Nack(at, out);
        Idle();
        return;
    }
    for (std::size_t i = 0; i < pages; ++i) {
        const auto start = flash_.begin() + frame_[1 + i] * kPageSize;
        std::fill(start, start + kPageSize, 0xFF);
        ++pagesErased_;
    }
    Answer({ACK}, at + static_cast<Micros>(pages) * timing_.pageErase, out);
    Idle();
}

void Stm32Bootloader::OnWriteProtectList(Micros at, LineOutput& out) {
    if (XorOf(frame_) != 0) {
        Nack(at, out);
        Idle();
        return;
    }
    Ack(at, out);
    ResetChip(at);
}

bool Stm32Bootloader::CommandListed(std::uint8_t command) const {
    const std::vector<std::uint8_t> listed = ListedCommands();
    return std::find(listed.begin(), listed.end(), command) != listed.end();
}

std::vector<std::uint8_t> Stm32Bootloader::ListedCommands() const {
    std::vector<std::uint8_t> listed(std::begin(kStandardCommands), std::end(kStandardCommands));
    listed.insert(listed.end(), std::begin(kOtherCommands), std::end(kOtherCommands));
    listed.resize(static_cast<std::size_t>(
        std::clamp(faults_.getCommandCount, 1, static_cast<int>(listed.size()))));
    return listed;
}

void Stm32Bootloader::Expect(Phase phase, std::size_t count) {
    phase_ = phase;
    frame_.clear();
    expected_ = count;
}

void Stm32Bootloader::Answer(std::vector<std::uint8_t> bytes, Micros at, LineOutput& out) {
    out.send(bytes, at + timing_.commandLatency);
}

void Stm32Bootloader::Ack(Micros at, LineOutput& out) {
    Answer({ACK}, at, out);
}

void Stm32Bootloader::Nack(Micros at, LineOutput& out) {
    Answer({NACK}, at, out);
}

void Stm32Bootloader::Idle() {
    phase_ = Phase::AwaitCommand;
    frame_.clear();
    expected_ = 0;
}

void Stm32Bootloader::ResetChip(Micros at) {
    phase_ = Phase::AwaitSync;
    frame_.clear();
    handover_ = LineHandover{LineOwner::Application, {}, at};
}

std::uint32_t Stm32Bootloader::FrameAddress() const {
    return static_cast<std::uint32_t>(frame_[0]) << 24 |
           static_cast<std::uint32_t>(frame_[1]) << 16 |
           static_cast<std::uint32_t>(frame_[2]) << 8 | frame_[3];
}

std::uint8_t* Stm32Bootloader::Memory(std::uint32_t address, std::size_t count) {
    const auto inside = [&](std::uint32_t base, std::size_t size) {
        return address >= base && address - base <= size && count <= size - (address - base);
    };
    if (inside(kFlashBase, flash_.size())) {
        return flash_.data() + (address - kFlashBase);
    }
    if (inside(kSramBase, sram_.size())) {
        return sram_.data() + (address - kSramBase);
    }
    if (inside(kSystemBase, system_.size())) {
        return system_.data() + (address - kSystemBase);
    }
    return nullptr;
}

bool Stm32Bootloader::InFlash(std::uint32_t address, std::size_t count) const {
    return address >= kFlashBase && address - kFlashBase < kFlashSize &&
           count <= kFlashSize - (address - kFlashBase);
}

Micros Stm32Bootloader::EraseAll() {
    std::fill(flash_.begin(), flash_.end(), 0xFF);
    pagesErased_ += static_cast<int>(kFlashSize / kPageSize);
    return timing_.massErase;
}

}  // namespace vr7c::sim
