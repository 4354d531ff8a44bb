#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BootloaderClient.h"
#include "DriverOnFake.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Verdict = BootloaderClient::Verdict;

constexpr std::uint8_t ACK = 0x79;
constexpr std::uint8_t NACK = 0x1F;

const Bytes kGet = {ACK,  0x0B, 0x22, 0x00, 0x01, 0x02, 0x11, 0x21,
                    0x31, 0x43, 0x63, 0x73, 0x82, 0x92, ACK};
const Bytes kGetId = {ACK, 0x01, 0x04, 0x10, ACK};

Bytes Image() {
    Bytes image(2048);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    return image;
}

// The frame of the data block at `offset`: count less one, the bytes, their XOR with the count.
Bytes Block(std::size_t offset, std::size_t count) {
    const Bytes image = Image();
    Bytes frame = {static_cast<std::uint8_t>(count - 1)};
    std::uint8_t sum = frame[0];
    for (std::size_t i = offset; i < offset + count; ++i) {
        frame.push_back(image[i]);
        sum ^= image[i];
    }
    frame.push_back(sum);
    return frame;
}

Bytes Identity(std::uint8_t flashKiB) {
    Bytes reply = {ACK, flashKiB, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    reply.insert(reply.end(), 12, 0x3C);
    return reply;
}

std::vector<Bytes> Then(std::vector<Bytes> first, const std::vector<Bytes>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

BootloaderPlan ByCount(bool verify = false, bool go = false, std::int32_t imageSize = 2048) {
    BootloaderPlan plan;
    plan.byCount = true;
    plan.identityBytes = 20;
    plan.imageSize = imageSize;
    plan.verify = verify;
    plan.go = go;
    return plan;
}

// The firmware dialog's answers up to the Erase Memory command, and vr7c's.
const std::vector<Bytes> kToErase = {{ACK}, kGet, kGetId, {ACK}, {ACK}, {ACK, 0x40, 0, 0xFF, 0xFF}};
const std::vector<Bytes> kToEraseByCount = {{ACK}, kGet, kGetId, {ACK}, {ACK}, Identity(64)};
// From the Erase Memory acknowledgement to the last block's: erase, then eight blocks of three.
const std::vector<Bytes> kEightBlocks(1 + 1 + 8 * 3, Bytes{ACK});

struct Case {
    const char* name;
    BootloaderPlan plan;
    std::vector<Bytes> replies;  // taken in turn; the last one is judged below
    Verdict verdict;             // of the last reply
    std::int32_t state;          // afterwards
    Bytes sent;                  // the bytes the last reply made the client send
};

class BootloaderClientTable : public ::testing::TestWithParam<Case> {};

TEST_P(BootloaderClientTable, AnswersGiveTheirStepAndFrames) {
    const Case& c = GetParam();
    DriverOnFake line;
    ASSERT_TRUE(line.driver->Connect());
    const Bytes image = Image();
    BootloaderClient client(*line.driver, c.plan);
    client.Begin();
    ASSERT_EQ(line.port->writes.back(), Bytes{0x7F});
    Verdict verdict = Verdict::kRefused;
    std::size_t writesBefore = 0;
    for (const Bytes& reply : c.replies) {
        ASSERT_TRUE(client.Complete(reply.data(), static_cast<int>(reply.size())) ||
                    reply.size() > 264);
        writesBefore = line.port->writes.size();
        verdict = client.Take(reply.data(), static_cast<int>(reply.size()));
        if (verdict == Verdict::kEraseDue) {
            client.Erase(image.data(), static_cast<std::int32_t>(image.size()));
        }
    }
    Bytes sent;
    for (std::size_t i = writesBefore; i < line.port->writes.size(); ++i) {
        sent.insert(sent.end(), line.port->writes[i].begin(), line.port->writes[i].end());
    }
    EXPECT_EQ(verdict, c.verdict);
    EXPECT_EQ(client.IspState, c.state);
    EXPECT_EQ(sent, c.sent);
}

Bytes Erase2048() {
    return {0x02, 0x00, 0x01, 0x02, 0x01};
}

INSTANTIATE_TEST_SUITE_P(
    Exchange, BootloaderClientTable,
    ::testing::Values(
        // The dialog's way of judging.
        Case{"SyncAckSendsGet", {}, {{ACK}}, Verdict::kAccepted, 2, {0x00, 0xFF}},
        Case{"SyncNoiseEndingInAck", {}, {{0x00, 0xF0, ACK}}, Verdict::kAccepted, 2, {0x00, 0xFF}},
        Case{"SyncEndingInAnythingElse", {}, {{ACK, 0x00}}, Verdict::kRefused, 1, {}},
        Case{"GetSendsGetId", {}, {{ACK}, kGet}, Verdict::kAccepted, 3, {0x02, 0xFD}},
        Case{"GetOfTwelveCommands", {}, {{ACK}, {ACK, 0x0C, 0x22, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9,
                                                10, 11, ACK}},
             Verdict::kRefused, 2, {}},
        Case{"GetWithOtherFirstCommand", {}, {{ACK}, {ACK, 0x0B, 0x22, 0x01, 1, 2, 3, 4, 5, 6, 7, 8,
                                                     9, 10, ACK}},
             Verdict::kRefused, 2, {}},
        Case{"AnyProductIdThenReadMemory", {}, {{ACK}, kGet, {ACK, 0x01, 0x04, 0x14, ACK}},
             Verdict::kAccepted, 4, {0x11, 0xEE}},
        Case{"ReadOfTheFlashSizeRegister", {}, {{ACK}, kGet, kGetId, {ACK}}, Verdict::kAccepted, 5,
             {0x1F, 0xFF, 0xF7, 0xE0, 0xF7}},
        Case{"FourBytesAsked", {}, {{ACK}, kGet, kGetId, {ACK}, {ACK}}, Verdict::kAccepted, 6,
             {0x03, 0xFC}},
        Case{"ReadDataUnexaminedThenErase", {}, kToErase, Verdict::kAccepted, 7, {0x43, 0xBC}},
        Case{"NackIsDroppedWithoutResend", {}, {{ACK}, kGet, kGetId, {NACK}}, Verdict::kRefused, 4,
             {}},
        Case{"EraseOf2048BytesNamesThreePages", {}, Then(kToErase, {{ACK}}), Verdict::kEraseDue, 8,
             Erase2048()},
        Case{"WriteMemoryAfterTheErase", {}, Then(kToErase, {{ACK}, {ACK}}), Verdict::kAccepted, 9,
             {0x31, 0xCE}},
        Case{"FirstBlockAddress", {}, Then(kToErase, {{ACK}, {ACK}, {ACK}}), Verdict::kAccepted,
             10, {0x08, 0x00, 0x00, 0x00, 0x08}},
        Case{"FirstBlockWithChecksum", {}, Then(kToErase, {{ACK}, {ACK}, {ACK}, {ACK}}),
             Verdict::kAccepted, 8, Block(0, 256)},
        Case{"SecondBlockAddress", {}, Then(kToErase, std::vector<Bytes>(6, Bytes{ACK})),
             Verdict::kAccepted, 10, {0x08, 0x00, 0x01, 0x00, 0x09}},
        Case{"EighthBlockIsTheLast", {}, Then(kToErase, std::vector<Bytes>(25, Bytes{ACK})),
             Verdict::kAccepted, 11, Block(1792, 256)},
        Case{"LastAckFinishes", {}, Then(kToErase, kEightBlocks), Verdict::kFinished, 17, {}},
        Case{"LongerThanTheReplyArea", {}, {Bytes(300, ACK)}, Verdict::kDropped, 1, {}},
        // vr7c's way: listings by their own count, refusals at their first byte.
        Case{"SyncNack", ByCount(), {{NACK}}, Verdict::kRefused, 1, {}},
        Case{"GetOfTwelveCommandsByCount", ByCount(),
             {{ACK}, {ACK, 0x0C, 0x31, 0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43, 0x63, 0x73, 0x82,
                      0x92, 0x44, ACK}},
             Verdict::kAccepted, 3, {0x02, 0xFD}},
        Case{"GetWithoutGo", ByCount(), {{ACK}, {ACK, 0x04, 0x22, 0x00, 0x11, 0x31, 0x43, ACK}},
             Verdict::kMissingCommand, 2, {}},
        Case{"GetNackAtItsFirstByte", ByCount(), {{ACK}, {NACK}}, Verdict::kRefused, 2, {}},
        Case{"TwentyIdentityBytesAsked", ByCount(), {{ACK}, kGet, kGetId, {ACK}, {ACK}},
             Verdict::kAccepted, 6, {0x13, 0xEC}},
        Case{"ImageLargerThanTheChip", ByCount(false, false, 70000), kToEraseByCount,
             Verdict::kTooLarge, 6, {}},
        Case{"IdentifyOnlyEndsBeforeTheErase",
             [] {
                 BootloaderPlan plan = ByCount();
                 plan.identifyOnly = true;
                 return plan;
             }(),
             kToEraseByCount, Verdict::kFinished, 17, {}},
        Case{"VerifyReadsFromTheStart", ByCount(true), Then(kToEraseByCount, kEightBlocks),
             Verdict::kAccepted, 12, {0x11, 0xEE}},
        Case{"VerifyAsksABlock", ByCount(true),
             Then(Then(kToEraseByCount, kEightBlocks), {{ACK}, {ACK}}), Verdict::kAccepted, 14,
             {0xFF, 0x00}},
        Case{"VerifiedBlockThenTheNext", ByCount(true),
             Then(Then(kToEraseByCount, kEightBlocks), {{ACK}, {ACK}, [] {
                                                            Bytes reply = Block(0, 256);
                                                            reply[0] = ACK;
                                                            reply.pop_back();
                                                            return reply;
                                                        }()}),
             Verdict::kAccepted, 12, {0x11, 0xEE}},
        Case{"VerifyMismatch", ByCount(true),
             Then(Then(kToEraseByCount, kEightBlocks), {{ACK}, {ACK}, Bytes(257, ACK)}),
             Verdict::kMismatch, 14, {}},
        Case{"GoAfterTheBlocks", ByCount(false, true), Then(kToEraseByCount, kEightBlocks),
             Verdict::kAccepted, 15, {0x21, 0xDE}},
        Case{"GoToTheStartOfFlash", ByCount(false, true),
             Then(kToEraseByCount, Then(kEightBlocks, {{ACK}})), Verdict::kAccepted, 16,
             {0x08, 0x00, 0x00, 0x00, 0x08}},
        Case{"GoAcknowledgedFinishes", ByCount(false, true),
             Then(kToEraseByCount, Then(kEightBlocks, {{ACK}, {ACK}})), Verdict::kFinished, 17,
             {}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(BootloaderClient, RepliesAreJudgedOnlyOnceTheyCanBeWhole) {
    DriverOnFake line;
    ASSERT_TRUE(line.driver->Connect());
    BootloaderClient dialog(*line.driver, BootloaderPlan{});
    BootloaderClient byCount(*line.driver, ByCount());
    for (BootloaderClient* client : {&dialog, &byCount}) {
        client->Begin();
        client->Take(kGet.data(), 1);
    }
    // The dialog waits for fifteen bytes; vr7c for as many as the listing's count gives, or
    // judges a refusal at once.
    EXPECT_FALSE(dialog.Complete(kGet.data(), 14));
    EXPECT_TRUE(dialog.Complete(kGet.data(), 15));
    EXPECT_FALSE(byCount.Complete(kGet.data(), 14));
    EXPECT_TRUE(byCount.Complete(kGet.data(), 15));
    const Bytes nack = {NACK};
    EXPECT_FALSE(dialog.Complete(nack.data(), 1));
    EXPECT_TRUE(byCount.Complete(nack.data(), 1));
}

}  // namespace
