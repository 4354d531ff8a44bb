#include <gtest/gtest.h>

#include <QDialog>
#include <QFile>
#include <QPushButton>

#include <functional>
#include <string>

#include "ConsoleHarness.h"
#include "LineDiagnostics.h"
#include "MODBUS_RTU.h"
#include "StatusLineEntry.h"
#include "TTrafficMonitor.h"
#include "TrafficDecoder.h"
#include "TrafficTableModel.h"

namespace {

using Counter = std::function<std::uint32_t(const LineCounters&)>;

std::vector<std::uint8_t> Join(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::uint8_t> Exception02() {
    std::vector<std::uint8_t> frame = {1, 0x83, 2};
    const std::uint16_t crc = Crc16(frame.data(), 3);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

// One case of the fault matrix as the console's line sees it: the chunks that arrive for a
// read request (one tick apart), the counter it must land in and the verdict shown.
struct LineFault {
    const char* name;
    std::vector<std::vector<std::uint8_t>> chunks;
    bool hangUp;
    Counter counter;
    Verdict verdict;
};

const ModuleWords kWords{};
const std::vector<std::uint8_t> kReply = ReadReply(kWords);

std::vector<std::uint8_t> WrongCrc() {
    std::vector<std::uint8_t> frame = kReply;
    frame.back() ^= 0xFF;
    return frame;
}

const LineFault kFaults[] = {
    {"Dropped", {}, false, [](const LineCounters& c) { return c.timeouts; }, Verdict::Timeout},
    {"Silence", {}, false, [](const LineCounters& c) { return c.timeouts; }, Verdict::Timeout},
    {"HangUp", {}, true, [](const LineCounters& c) { return c.timeouts; }, Verdict::Timeout},
    {"BadCrc",
     {WrongCrc()},
     false,
     [](const LineCounters& c) { return c.crcErrors; },
     Verdict::BadCrc},
    {"Split",
     {{kReply.begin(), kReply.begin() + 100}, {kReply.begin() + 100, kReply.end()}},
     false,
     [](const LineCounters& c) { return c.goodReplies; },
     Verdict::Good},
    {"Truncated",
     {{kReply.begin(), kReply.begin() + 100}},
     false,
     [](const LineCounters& c) { return c.incomplete; },
     Verdict::Incomplete},
    {"NoiseBefore",
     {Join({0xF0, 0x0F, 0x55}, kReply)},
     false,
     [](const LineCounters& c) { return c.leadingBytes / 3; },
     Verdict::LeadingBytes},
    {"NoiseAfter",
     {Join(kReply, {0xAA, 0x55})},
     false,
     [](const LineCounters& c) { return c.extraBytes / 2; },
     Verdict::ExtraBytes},
    {"ForeignStation",
     {ReadReply(kWords, 7)},
     false,
     [](const LineCounters& c) { return c.foreign; },
     Verdict::Foreign},
    {"Exception",
     {Exception02()},
     false,
     [](const LineCounters& c) { return c.exceptions[2]; },
     Verdict::Exception},
    {"LateEcho",
     {Join({0x1B, 0x9D}, kReply)},
     false,
     [](const LineCounters& c) { return c.leadingBytes / 2; },
     Verdict::LeadingBytes},
};

class LineFaultCase : public ::testing::TestWithParam<LineFault> {};

TEST_P(LineFaultCase, LandsInItsCounterAndShowsItsVerdict) {
    const LineFault& fault = GetParam();
    ConsoleHarness h;
    h.ConnectAndSend();
    h.port->hung = fault.hangUp;
    for (const auto& chunk : fault.chunks) {
        h.Deliver(chunk);
        h.Tick();
    }
    // A reply that is not taken is judged when the cycle gives up on it.
    if (fault.verdict != Verdict::Good && fault.verdict != Verdict::Foreign) {
        h.Tick(PollingCycle::kReplyTimeoutTicks + 1 - static_cast<int>(fault.chunks.size()));
    }

    const LineCounters& counters = h.form->Line().Modbus().Counters();
    EXPECT_EQ(counters.readsSent, 1u);
    EXPECT_EQ(fault.counter(counters), 1u);
    const std::uint32_t judged = counters.goodReplies + counters.timeouts + counters.incomplete +
                                 counters.crcErrors + counters.foreign + counters.ExceptionTotal() +
                                 (counters.leadingBytes > 0) + (counters.extraBytes > 0);
    EXPECT_EQ(judged, 1u) << "counted once, in one place";

    TTrafficMonitor& monitor = h.form->Line().Monitor();
    TrafficTableModel& model = monitor.Model();
    model.Follow();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.FrameAt(1)->verdict, fault.verdict);
    EXPECT_EQ(model.data(model.index(1, TrafficTableModel::kVerdict), Qt::DisplayRole).toString(),
              VerdictText(fault.verdict));
    model.SetErrorsOnly(true);
    EXPECT_EQ(model.rowCount(), IsError(fault.verdict) ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(FaultMatrix, LineFaultCase, ::testing::ValuesIn(kFaults),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(LineDiagnostics, WritesCountByAttemptsAndTheEntryTellsSilence) {
    ConsoleHarness h;
    h.ConnectWithReply(kWords);
    h.EchoWrites();
    EXPECT_TRUE(h.form->WriteWithPollingPaused(30, 1234));
    h.EchoWrites(false);
    EXPECT_FALSE(h.form->WriteWithPollingPaused(31, 1));
    const LineCounters& counters = h.form->Line().Modbus().Counters();
    EXPECT_EQ(counters.writesFirstAttempt, 1u);
    EXPECT_EQ(counters.writesFailed, 1u);
    EXPECT_EQ(counters.responseTimes.Count(), 1u);

    // The module stops answering: the entry says so within the second.
    h.clock.now += 4'000;
    h.form->Line().ShowStatus();
    EXPECT_TRUE(h.form->Line().Entry().text().contains(QStringLiteral("无应答 4 秒")));
    h.ClickConnect();
    EXPECT_TRUE(h.form->Line().Entry().text().contains(QStringLiteral("未连接")));
}

TEST(LineDiagnostics, AWriteJudgesTheReadItTakesOverAndItsEchoOnce) {
    // What had arrived for the read when the write went out: nothing, part, the whole reply;
    // each read is judged once by that, each echo once, as the write's.
    const std::vector<std::uint8_t> arrivals[] = {
        {}, {kReply.begin(), kReply.begin() + 100}, kReply};
    ConsoleHarness h;
    h.EchoWrites();
    h.ConnectAndSend();
    for (int write = 0; write < 7; ++write) {
        h.ReplyAndTick(kWords);
        h.Tick();  // the next read request goes out
        h.Deliver(arrivals[write % 3]);
        EXPECT_TRUE(h.form->WriteWithPollingPaused(30, 1));
        h.Tick(PollingCycle::kReplyTimeoutTicks + 2);  // the read is given up and sent again
    }
    const LineCounters& c = h.form->Line().Modbus().Counters();
    EXPECT_EQ(
        std::tie(c.echoMismatches, c.writesFirstAttempt, c.timeouts, c.incomplete, c.goodReplies),
        std::make_tuple(0u, 7u, 3u, 2u, 7u + 2u));
}

TEST(LineDiagnostics, WhileTheConsoleHoldsPollingTheEntrySaysSoAndTheHoldIsNoSilence) {
    for (int hold = 0; hold < 3; ++hold) {  // a write, a commit's message, the firmware dialog
        ConsoleHarness h;
        h.ConnectWithReply(kWords);
        h.EchoWrites();
        QString during;
        const auto held = [&] {
            h.clock.now += 21'000;
            h.form->Line().ShowStatus();
            during = h.form->Line().Entry().text();
        };
        QDialog firmware;
        h.form->SetFirmwareForm(&firmware, nullptr);
        h.prompter.onMessage = [&](const PromptRecord&) { held(); };
        h.prompter.onModal = [&](QDialog&) { held(); };
        if (hold == 0) {
            h.port->onWrite = [&](const std::vector<std::uint8_t>& bytes) {
                held();
                h.port->feed(bytes);
            };
        }
        hold == 0   ? void(h.form->WriteWithPollingPaused(30, 1))
        : hold == 1 ? h.form->BitBtn5Click()
                    : h.form->BitBtn3Click();
        EXPECT_TRUE(during.contains(QStringLiteral("color:#808080\">轮询暂停"))) << hold;
        h.form->Line().ShowStatus();
        EXPECT_TRUE(h.form->Line().Entry().text().contains(QStringLiteral("应答正常"))) << hold;
        h.clock.now += 2'000;
        h.form->Line().ShowStatus();
        EXPECT_TRUE(h.form->Line().Entry().text().contains(QStringLiteral("无应答 2 秒"))) << hold;
    }
}

TEST(TrafficMonitor, PauseHoldsTheRowsAndSaveWritesThemAsText) {
    ConsoleHarness h;
    h.ConnectAndSend();
    h.Deliver(WrongCrc());
    h.Tick(PollingCycle::kReplyTimeoutTicks + 1);
    TTrafficMonitor& monitor = h.form->Line().Monitor();
    monitor.Refresh();
    ASSERT_EQ(monitor.Model().rowCount(), 2);
    monitor.Pause->click();
    h.Tick(2);  // a new request and a reply
    h.ReplyAndTick(kWords);
    monitor.Refresh();
    EXPECT_EQ(monitor.Model().rowCount(), 2);

    const QString path = h.dir.filePath(QStringLiteral("traffic.txt"));
    ASSERT_TRUE(monitor.SaveText(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.value(0), QStringLiteral("时间\t线路\t方向\t报文\t解码\t结果"));
    EXPECT_TRUE(lines.value(1).endsWith(QStringLiteral("读 4x0000..4x0099 站 1\t")));
    EXPECT_TRUE(lines.value(2).endsWith(QStringLiteral("CRC 错误\tCRC 错误")));
    EXPECT_EQ(lines.value(2).split(QLatin1Char('\t')).value(3).split(QLatin1Char(' ')).size(), 205)
        << "every byte of the reply";

    monitor.Pause->click();
    EXPECT_EQ(monitor.Model().rowCount(), 4);
}

}  // namespace
