#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "LineOutput.h"
#include "Stm32Bootloader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using vr7c::sim::LineOutput;
using vr7c::sim::LineOwner;
using vr7c::sim::Micros;
using vr7c::sim::Stm32Bootloader;
using vr7c::sim::Stm32BootloaderFaults;

constexpr std::uint8_t ACK = 0x79;
constexpr std::uint8_t NACK = 0x1F;
// One character at 115200 baud, 11 bits.
constexpr Micros kCharacter = 96;

// Faults set up by the given function on top of the defaults.
template <typename Setup>
Stm32BootloaderFaults Faults(Setup setup) {
    Stm32BootloaderFaults faults;
    setup(faults);
    return faults;
}

Bytes WithXor(Bytes bytes) {
    std::uint8_t sum = 0;
    for (auto b : bytes) {
        sum ^= b;
    }
    bytes.push_back(sum);
    return bytes;
}

Bytes Address(std::uint32_t address) {
    return WithXor({static_cast<std::uint8_t>(address >> 24),
                    static_cast<std::uint8_t>(address >> 16),
                    static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)});
}

class Stm32BootloaderTest : public ::testing::Test {
protected:
    explicit Stm32BootloaderTest(Stm32BootloaderFaults faults = {}) : boot(std::move(faults)) {
        boot.reset(0);
    }

    // Sends the bytes at the current time and collects everything the bootloader answers.
    Bytes Exchange(const Bytes& bytes) {
        for (auto b : bytes) {
            boot.receive(b, now, line);
        }
        now += 1'000'000;
        Bytes answer;
        line.takeDue(now, answer);
        return answer;
    }
    Bytes Command(std::uint8_t code) { return Exchange({code, static_cast<std::uint8_t>(~code)}); }

    void Synchronise() { ASSERT_EQ(Exchange({0x7F}), Bytes{ACK}); }
    void EraseAll() {
        ASSERT_EQ(Command(0x43), Bytes{ACK});
        ASSERT_EQ(Exchange({0xFF, 0x00}), Bytes{ACK});
    }
    Bytes Write(std::uint32_t address, const Bytes& data) {
        Bytes answer = Command(0x31);
        const Bytes addressAnswer = Exchange(Address(address));
        answer.insert(answer.end(), addressAnswer.begin(), addressAnswer.end());
        if (addressAnswer != Bytes{ACK}) {
            return answer;
        }
        Bytes block = {static_cast<std::uint8_t>(data.size() - 1)};
        block.insert(block.end(), data.begin(), data.end());
        const Bytes dataAnswer = Exchange(WithXor(block));
        answer.insert(answer.end(), dataAnswer.begin(), dataAnswer.end());
        return answer;
    }

    Stm32Bootloader boot;
    LineOutput line{vr7c::sim::LineTiming{115200, 11}};
    Micros now = 0;
};

// --- Synchronisation and the information commands ---

TEST_F(Stm32BootloaderTest, Sync_IsAnsweredWithAck) {
    EXPECT_FALSE(boot.synchronised());
    Synchronise();
    EXPECT_TRUE(boot.synchronised());
}

TEST_F(Stm32BootloaderTest, BeforeSync_OtherBytesAreIgnored) {
    EXPECT_TRUE(Exchange({0x00, 0xFF, 0x11}).empty());
    Synchronise();
}

TEST_F(Stm32BootloaderTest, Get_ListsVersion22AndTheElevenStandardCommands) {
    Synchronise();
    EXPECT_EQ(Command(0x00), (Bytes{ACK, 0x0B, 0x22, 0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43, 0x63,
                                    0x73, 0x82, 0x92, ACK}));
}

TEST_F(Stm32BootloaderTest, GetVersionAndGetId_AnswerVersion22AndProduct0410) {
    Synchronise();
    EXPECT_EQ(Command(0x01), (Bytes{ACK, 0x22, 0x00, 0x00, ACK}));
    EXPECT_EQ(Command(0x02), (Bytes{ACK, 0x01, 0x04, 0x10, ACK}));
}

TEST_F(Stm32BootloaderTest, CommandWithWrongComplement_IsRefused) {
    Synchronise();
    EXPECT_EQ(Exchange({0x00, 0x00}), Bytes{NACK});
    EXPECT_EQ(Command(0x44), Bytes{NACK});
    EXPECT_EQ(Command(0x02).front(), ACK);
}

TEST_F(Stm32BootloaderTest, ReadMemory_OfFlashSizeRegisterGives64KiB) {
    Synchronise();
    EXPECT_EQ(Command(0x11), Bytes{ACK});
    EXPECT_EQ(Exchange({0x1F, 0xFF, 0xF7, 0xE0, 0xF7}), Bytes{ACK});
    EXPECT_EQ(Exchange({0x03, 0xFC}), (Bytes{ACK, 0x40, 0x00, 0xFF, 0xFF}));
}

TEST_F(Stm32BootloaderTest, ReadMemory_OutsideTheMemoriesOrWithBadChecksumIsRefused) {
    Synchronise();
    Command(0x11);
    EXPECT_EQ(Exchange(Address(0x30000000)), Bytes{NACK});
    Command(0x11);
    EXPECT_EQ(Exchange({0x08, 0x00, 0x00, 0x00, 0x00}), Bytes{NACK});
    Command(0x11);
    EXPECT_EQ(Exchange(Address(0x0800FFF0)), Bytes{ACK});
    EXPECT_EQ(Exchange({0xFF, 0x00}), Bytes{NACK}) << "256 bytes run past the end of flash";
}

// --- Erase and write ---

TEST_F(Stm32BootloaderTest, Erase_OfPageListClearsExactlyThosePages) {
    Synchronise();
    ASSERT_EQ(Command(0x43), Bytes{ACK});
    EXPECT_EQ(Exchange({0x02, 0x00, 0x01, 0x02, 0x01}), Bytes{ACK});
    EXPECT_EQ(boot.pagesErased(), 3);
    for (std::size_t i = 0; i < 3 * 1024; ++i) {
        ASSERT_EQ(boot.flash()[i], 0xFF) << i;
    }
    EXPECT_NE(boot.flash()[3 * 1024], 0xFF);
}

TEST_F(Stm32BootloaderTest, Erase_WithBadChecksumOrMissingPageIsRefused) {
    Synchronise();
    Command(0x43);
    EXPECT_EQ(Exchange({0x01, 0x00, 0x01, 0x55}), Bytes{NACK});
    Command(0x43);
    EXPECT_EQ(Exchange(WithXor({0x00, 64})), Bytes{NACK});
    EXPECT_EQ(boot.pagesErased(), 0);
}

TEST_F(Stm32BootloaderTest, GlobalErase_ClearsTheWholeFlash) {
    Synchronise();
    EraseAll();
    for (auto b : boot.flash()) {
        ASSERT_EQ(b, 0xFF);
    }
}

TEST_F(Stm32BootloaderTest, Write_StoresTheBlockAtItsAddress) {
    Synchronise();
    EraseAll();
    Bytes data(256);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i ^ 0xA5);
    }
    EXPECT_EQ(Write(0x08000100, data), (Bytes{ACK, ACK, ACK}));
    EXPECT_EQ(Bytes(boot.flash().begin() + 0x100, boot.flash().begin() + 0x200), data);
    EXPECT_EQ(boot.blocksWritten(), 1);
}

TEST_F(Stm32BootloaderTest, Write_WithBadDataChecksumIsRefusedAndNotStored) {
    Synchronise();
    EraseAll();
    Command(0x31);
    Exchange(Address(0x08000000));
    EXPECT_EQ(Exchange({0x03, 1, 2, 3, 4, 0x00}), Bytes{NACK});
    EXPECT_EQ(boot.flash()[0], 0xFF);
}

TEST_F(Stm32BootloaderTest, Write_ToAddressOutsideFlashAndSramIsRefused) {
    Synchronise();
    EXPECT_EQ(Write(0x08010000, {1, 2, 3, 4}), (Bytes{ACK, NACK}));
    EXPECT_EQ(Write(0x1FFFF800, {1, 2, 3, 4}), (Bytes{ACK, NACK}));
    Command(0x31);
    EXPECT_EQ(Exchange({0x08, 0x00, 0x00, 0x00, 0x09}), Bytes{NACK});
}

TEST_F(Stm32BootloaderTest, Write_OverUnerasedFlashIsRefused) {
    Synchronise();
    EXPECT_EQ(Write(0x08000000, {1, 2, 3, 4}), (Bytes{ACK, ACK, NACK}));
}

TEST_F(Stm32BootloaderTest, Write_OfPartialWordFillsTheRestWith0xFF) {
    Synchronise();
    EraseAll();
    EXPECT_EQ(Write(0x08000000, {1, 2, 3, 4, 5}), (Bytes{ACK, ACK, ACK}));
    EXPECT_EQ(Bytes(boot.flash().begin(), boot.flash().begin() + 8),
              (Bytes{1, 2, 3, 4, 5, 0xFF, 0xFF, 0xFF}));
}

// --- Leaving the bootloader ---

TEST_F(Stm32BootloaderTest, Go_HandsTheLineBackToTheApplication) {
    Synchronise();
    EXPECT_FALSE(boot.takeHandover().has_value());
    Command(0x21);
    EXPECT_EQ(Exchange(Address(0x08000000)), Bytes{ACK});
    const auto handover = boot.takeHandover();
    ASSERT_TRUE(handover.has_value());
    EXPECT_EQ(handover->to, LineOwner::Application);
    EXPECT_FALSE(boot.synchronised());
}

TEST_F(Stm32BootloaderTest, SyncAfterLongSilence_StartsAfreshEvenInTheMiddleOfACommand) {
    Synchronise();
    Command(0x31);
    now += Stm32Bootloader::kRestartSilence;
    EXPECT_EQ(Exchange({0x7F}), Bytes{ACK});
    EXPECT_EQ(Command(0x02).front(), ACK);
}

// --- Timing ---

TEST_F(Stm32BootloaderTest, Answers_ArePacedAtTheLineRate) {
    boot.receive(0x7F, 0, line);
    ASSERT_TRUE(line.nextDue().has_value());
    EXPECT_GE(*line.nextDue(), kCharacter);
    EXPECT_LT(*line.nextDue(), 200);
}

TEST_F(Stm32BootloaderTest, BytesSentTogether_ArriveOneCharacterTimeApart) {
    Synchronise();
    EraseAll();
    Bytes block = {0xFF};
    block.resize(257, 0x00);
    block = WithXor(block);
    Command(0x31);
    Exchange(Address(0x08000000));
    const Micros sent = now;
    for (auto b : block) {
        boot.receive(b, sent, line);
    }
    // 258 characters on the line, then 128 half-words programmed.
    ASSERT_TRUE(line.nextDue().has_value());
    EXPECT_GE(*line.nextDue() - sent, 257 * kCharacter + 128 * 40);
    EXPECT_LE(*line.nextDue() - sent, 259 * kCharacter + 128 * 70 + 200);
}

TEST_F(Stm32BootloaderTest, PageErase_TakesBetween20And40MsAPage) {
    Synchronise();
    Command(0x43);
    const Micros sent = now;
    for (auto b : WithXor({0x04, 0, 1, 2, 3, 4})) {
        boot.receive(b, sent, line);
    }
    ASSERT_TRUE(line.nextDue().has_value());
    EXPECT_GE(*line.nextDue() - sent, 5 * 20'000);
    EXPECT_LE(*line.nextDue() - sent, 5 * 40'000 + 2'000);
}

// --- Faults ---

class Stm32BootloaderSilentTest : public Stm32BootloaderTest {
protected:
    Stm32BootloaderSilentTest() : Stm32BootloaderTest(Faults([](auto& f) { f.silent = true; })) {}
};

TEST_F(Stm32BootloaderSilentTest, Silent_AnswersNothing) {
    EXPECT_TRUE(Exchange({0x7F}).empty());
    EXPECT_TRUE(Command(0x00).empty());
}

class Stm32BootloaderNoisyTest : public Stm32BootloaderTest {
protected:
    Stm32BootloaderNoisyTest()
        : Stm32BootloaderTest(Faults([](auto& f) {
              f.getCommandCount = 12;
              f.noiseBeforeSyncAck = {0x00, 0xE0};
          })) {}
};

TEST_F(Stm32BootloaderNoisyTest, Noise_ComesBeforeTheSyncAckAndGetListsTwelve) {
    EXPECT_EQ(Exchange({0x7F}), (Bytes{0x00, 0xE0, ACK}));
    const Bytes get = Command(0x00);
    ASSERT_EQ(get.size(), 16u);
    EXPECT_EQ(get[1], 0x0C);
}

class Stm32BootloaderNackTest : public Stm32BootloaderTest {
protected:
    Stm32BootloaderNackTest()
        : Stm32BootloaderTest(Faults([](auto& f) {
              f.nackCommand = 0x43;
              f.nackDataBlock = 2;
          })) {}
};

TEST_F(Stm32BootloaderNackTest, Nack_OfChosenCommandAndDataBlock) {
    Synchronise();
    EXPECT_EQ(Command(0x43), Bytes{NACK});
    EXPECT_EQ(Command(0x92), (Bytes{ACK, ACK})) << "readout unprotect erases everything";
    Synchronise();
    EXPECT_EQ(Write(0x08000000, {1, 2, 3, 4}), (Bytes{ACK, ACK, ACK}));
    EXPECT_EQ(Write(0x08000004, {1, 2, 3, 4}), (Bytes{ACK, ACK, NACK}));
    EXPECT_EQ(Write(0x08000004, {1, 2, 3, 4}), (Bytes{ACK, ACK, ACK}));
}

}  // namespace
