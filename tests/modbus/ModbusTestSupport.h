#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "FakeClock.h"
#include "FakeSerialPortIo.h"
#include "MODBUS_RTU.h"
#include "QuietLine.h"
#include "RegisterMap.h"
#include "TestLink.h"
#include "ZQ_ComDrv.h"

using Bytes = std::vector<std::uint8_t>;

// CRC-16/MODBUS written independently of Crc16 (reflected polynomial, table-free), for
// building test replies.
inline std::uint16_t ReferenceCrc(const std::uint8_t* data, std::size_t length) {
    std::uint32_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ ((crc & 1u) != 0 ? 0xA001u : 0u);
        }
    }
    return static_cast<std::uint16_t>(crc);
}

// bytes followed by their CRC, low byte first.
inline Bytes WithCrc(Bytes bytes) {
    const std::uint16_t crc = ReferenceCrc(bytes.data(), bytes.size());
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFFu));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

// A function-3 reply carrying words, with the given header bytes and a correct CRC.
inline Bytes ReadReply(const std::vector<std::uint16_t>& words, std::uint8_t station = 1,
                       std::uint8_t function = 3, int byteCountField = -1) {
    Bytes bytes{station, function,
                static_cast<std::uint8_t>(byteCountField < 0 ? words.size() * 2 : byteCountField)};
    for (auto w : words) {
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
        bytes.push_back(static_cast<std::uint8_t>(w & 0xFFu));
    }
    return WithCrc(std::move(bytes));
}

// n distinct words: 0x1000 + 7 i.
inline std::vector<std::uint16_t> PatternWords(int n, std::uint16_t base = 0x1000) {
    std::vector<std::uint16_t> words;
    for (int i = 0; i < n; ++i) {
        words.push_back(static_cast<std::uint16_t>(base + 7 * i));
    }
    return words;
}

// A master whose driver is opened on the fake port with the fake clock; each test starts with
// a new master.
class ModbusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(driver->Connect());
        port->writes.clear();
        clock.sleeps.clear();
        // The pauses of the quiet-line wait before each request are not recorded, only those
        // of the echo wait and of the retries (QuietLineTest covers the quiet wait).
        clock.onSleep = [this](std::uint32_t ms) {
            if (ms == kQuietPollPauseMs) {
                clock.sleeps.pop_back();
            }
        };
    }

    // Delivers bytes in one read of the driver.
    void Arrive(const Bytes& bytes) {
        port->feed(bytes);
        driver->PollReceive();
    }
    // Puts bytes straight into the driver's buffer, as if accumulated.
    void SetRx(const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), driver->RxBuffer);
        driver->RxCount = static_cast<std::uint16_t>(bytes.size());
    }
    // Every write is answered with reply(request); an empty reply sends nothing.
    template <typename F>
    void AnswerWrites(F reply) {
        port->onWrite = [this, reply](const Bytes& request) {
            Bytes answer = reply(request);
            if (!answer.empty()) {
                port->feed(answer);
            }
        };
    }
    Bytes LastFrame() const { return port->writes.empty() ? Bytes{} : port->writes.back(); }

    // The master's routines, state and image under the names the routines give them.
    void SendReadRequest(std::int32_t start, std::int32_t count, std::uint8_t function) {
        master.SendReadRequest(start, count, function);
    }
    void CheckReadReply() { master.CheckReadReply(); }
    bool TakeReadReply(std::int32_t index) { return master.TakeReadReply(index); }
    bool WriteRegisterOnce(std::int32_t reg, std::int32_t value, std::uint8_t function) {
        return master.WriteRegisterOnce(reg, value, function);
    }
    bool WriteRegister(std::int32_t reg, std::uint16_t value) {
        return master.WriteRegister(reg, value);
    }
    void ClearRegisterImage() { RegisterImage.fill(0); }
    void FillImage(std::uint16_t value) { RegisterImage.fill(value); }
    RegisterImageWords Image() const { return RegisterImage; }

    FakeClock clock;  // outlives the driver
    FakeSerialPortIo* port = nullptr;
    TestLink host{NewFakePort(port), &clock};
    VEVErizEvezad* driver = &host.driver;
    RtuMaster& master = host.master;
    RegisterImageWords& RegisterImage = host.RegisterImage;
    std::uint16_t& ExpectedBytes = master.ExpectedBytes;
    bool& ReplyOk = master.ReplyOk;
    std::uint16_t (&ReplyWords)[kReplyWordsCapacity] = master.ReplyWords;
};
