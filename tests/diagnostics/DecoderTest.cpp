#include <gtest/gtest.h>

#include <vector>

#include "MODBUS_RTU.h"
#include "ReplyJudge.h"
#include "TrafficDecoder.h"

namespace {

std::vector<std::uint8_t> WithCrc(std::vector<std::uint8_t> frame) {
    const std::uint16_t crc = Crc16(frame.data(), static_cast<std::uint16_t>(frame.size()));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

std::vector<std::uint8_t> ReadReply(std::uint8_t station = 1) {
    std::vector<std::uint8_t> frame = {station, 3, 200};
    frame.resize(203, 0x11);
    return WithCrc(frame);
}

std::vector<std::uint8_t> WrongCrc() {
    std::vector<std::uint8_t> frame = ReadReply();
    frame.back() ^= 0xFF;
    return frame;
}

std::vector<std::uint8_t> Join(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TrafficFrame Frame(TrafficLink link, TrafficDirection direction,
                   const std::vector<std::uint8_t>& bytes, Judgement judged = {}) {
    TrafficRing ring(1);
    return ring.Push(link, direction, 0, bytes.data(), static_cast<int>(bytes.size()),
                     judged.verdict, judged.detail);
}

const std::vector<std::uint8_t> kReadRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x64, 0x44, 0x21};
const std::vector<std::uint8_t> kWrite30 = WithCrc({1, 6, 0, 30, 0x04, 0xD2});
// The same read on a Modbus TCP line, transaction 7; a reply to it of transaction t.
const std::vector<std::uint8_t> kMbapRead = {0, 7, 0, 0, 0, 6, 1, 3, 0, 0, 0, 0x64};
std::vector<std::uint8_t> MbapReply(std::uint8_t t, std::vector<std::uint8_t> pdu) {
    return Join({0, t, 0, 0, 0, static_cast<std::uint8_t>(pdu.size() + 1), 1}, pdu);
}

// Received bytes for the read request, whether the master took them, and what is shown.
struct ReplyCase {
    const char* name;
    std::vector<std::uint8_t> request;
    std::vector<std::uint8_t> reply;
    bool taken;
    Verdict verdict;
    const char* decoded;
};

const ReplyCase kReplies[] = {
    {"Good", kReadRequest, ReadReply(), true, Verdict::Good, "回复 200 字节 CRC 正确"},
    {"Foreign", kReadRequest, ReadReply(2), true, Verdict::Foreign,
     "回复 200 字节 CRC 正确，来自 站 2 功能码 3"},
    {"Nothing", kReadRequest, {}, false, Verdict::Timeout, "无回复"},
    {"Part", kReadRequest, {1, 3, 200, 0}, false, Verdict::Incomplete, "不完整 4 字节"},
    {"Crc", kReadRequest, WrongCrc(), false, Verdict::BadCrc, "CRC 错误"},
    {"Exception", kReadRequest, WithCrc({1, 0x83, 2}), false, Verdict::Exception, "回复异常 02"},
    {"Trailing", kReadRequest, Join(ReadReply(), {0xAA, 0x55}), false, Verdict::ExtraBytes,
     "多余字节 2"},
    {"LateEcho", kReadRequest, Join({0x1B, 0x9D}, ReadReply()), false, Verdict::LeadingBytes,
     "多余字节 2（在回复前）"},
    {"EchoTaken", kWrite30, kWrite30, true, Verdict::Good, "回复 写 4x0030 = 1234"},
    {"EchoWrong", kWrite30, WithCrc({1, 6, 0, 31, 0x04, 0xD2}), false, Verdict::EchoMismatch,
     "回显不符"},
    {"MbapGood", kMbapRead, MbapReply(7, {3, 2, 0, 5}), true, Verdict::Good, "事务 7 回复 2 字节"},
    {"MbapLate", kMbapRead, MbapReply(6, {3, 2, 0, 5}), false, Verdict::Foreign,
     "事务 6 回复 2 字节，来自 站 1 功能码 3"},
    {"MbapGateway", kMbapRead, MbapReply(7, {0x83, 0x0B}), false, Verdict::Exception,
     "回复异常 0B（网关后的模块无回复）"},
    {"MbapLengthZero", kMbapRead, {0, 7, 0, 0, 0, 0, 1}, false, Verdict::Rejected, "7 字节"},
};

class ModbusReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ModbusReply, IsJudgedAndDecoded) {
    const ReplyCase& c = GetParam();
    const Judgement judged =
        JudgeModbusReply(c.request.data(), static_cast<int>(c.request.size()), c.reply.data(),
                         static_cast<int>(c.reply.size()), c.taken);
    EXPECT_EQ(judged.verdict, c.verdict);
    const TrafficFrame frame =
        Frame(TrafficLink::Modbus, TrafficDirection::Received, c.reply, judged);
    EXPECT_EQ(DecodeFrame(frame, nullptr), QString::fromUtf8(c.decoded));
}

INSTANTIATE_TEST_SUITE_P(Table, ModbusReply, ::testing::ValuesIn(kReplies),
                         [](const auto& param) { return std::string(param.param.name); });

// Frames sent, with the frame sent before them, and their decode.
struct SentCase {
    const char* name;
    TrafficLink link;
    std::vector<std::uint8_t> previous;
    std::vector<std::uint8_t> bytes;
    const char* decoded;
};

std::vector<std::uint8_t> DataBlock(int count) {
    std::vector<std::uint8_t> block = {static_cast<std::uint8_t>(count - 1)};
    block.resize(static_cast<std::size_t>(count) + 2, 0xA5);
    return block;
}

const SentCase kSent[] = {
    {"Read", TrafficLink::Modbus, {}, kReadRequest, "读 4x0000..4x0099 站 1"},
    {"Write", TrafficLink::Modbus, {}, kWrite30, "写 4x0030 = 1234"},
    {"Sync", TrafficLink::Bootloader, {}, {0x7F}, "同步"},
    {"Get", TrafficLink::Bootloader, {0x7F}, {0x00, 0xFF}, "Get"},
    {"GetId", TrafficLink::Bootloader, {}, {0x02, 0xFD}, "Get ID"},
    {"Erase", TrafficLink::Bootloader, {}, {0x43, 0xBC}, "擦除"},
    {"ErasePages", TrafficLink::Bootloader, {0x43, 0xBC}, {0x01, 0x00, 0x01, 0x00}, "擦除 2 页"},
    {"Address", TrafficLink::Bootloader, {0x31, 0xCE}, {0x08, 0, 0, 0, 0x08}, "地址 0x08000000"},
    {"Block",
     TrafficLink::Bootloader,
     {0x08, 0, 0, 0, 0x08},
     DataBlock(256),
     "写 0x08000000 256 字节"},
    {"ReadLength",
     TrafficLink::Bootloader,
     {0x1F, 0xFF, 0xF7, 0xE0, 0xF7},
     {0x03, 0xFC},
     "读 4 字节"},
};

class SentFrame : public ::testing::TestWithParam<SentCase> {};

TEST_P(SentFrame, IsDecoded) {
    const SentCase& c = GetParam();
    const TrafficFrame previous = Frame(c.link, TrafficDirection::Sent, c.previous);
    const TrafficFrame frame = Frame(c.link, TrafficDirection::Sent, c.bytes);
    EXPECT_EQ(DecodeFrame(frame, c.previous.empty() ? nullptr : &previous),
              QString::fromUtf8(c.decoded));
}

INSTANTIATE_TEST_SUITE_P(Table, SentFrame, ::testing::ValuesIn(kSent),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(BootloaderReply, AckNackAndSilence) {
    const struct {
        std::vector<std::uint8_t> bytes;
        bool taken;
        const char* decoded;
    } cases[] = {{{0x79}, true, "ACK"},
                 {{0x1F}, false, "NACK"},
                 {{}, false, "无回复"},
                 {{0x79, 0x0B, 0x22, 0x00}, true, "ACK，3 字节数据"}};
    for (const auto& c : cases) {
        const Judgement judged =
            JudgeBootloaderReply(c.bytes.data(), static_cast<int>(c.bytes.size()), c.taken);
        EXPECT_EQ(
            DecodeFrame(Frame(TrafficLink::Bootloader, TrafficDirection::Received, c.bytes, judged),
                        nullptr),
            QString::fromUtf8(c.decoded));
    }
}

}  // namespace
