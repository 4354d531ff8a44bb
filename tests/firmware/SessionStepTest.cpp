#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "FirmwareImage.h"
#include "SessionRig.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t ACK = 0x79;
constexpr std::uint8_t NACK = 0x1F;

const Bytes kGetReply = {ACK,  0x0B, 0x22, 0x00, 0x01, 0x02, 0x11, 0x21,
                         0x31, 0x43, 0x63, 0x73, 0x82, 0x92, ACK};
const Bytes kGetIdReply = {ACK, 0x01, 0x04, 0x10, ACK};

// Writes an image of the given size with a recognisable pattern and returns its path.
QString WriteImage(const QTemporaryDir& dir, int size) {
    const QString path = dir.filePath(QStringLiteral("image-%1.bin").arg(size));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    }
    file.write(bytes);
    return path;
}

class SessionStepTest : public ::testing::Test {
protected:
    // Presses start and answers every step up to the erase frame.
    void RunToEraseFrame() {
        rig.Press();
        rig.Reply({ACK});
        rig.Reply(kGetReply);
        rig.Reply(kGetIdReply);
        rig.Reply({ACK});
        rig.Reply({ACK});
        rig.Reply({ACK, 0x40, 0x00, 0xFF, 0xFF});
        rig.Reply({ACK});
    }

    // Answers the three exchanges of one data block.
    void WriteOneBlock() {
        rig.Reply({ACK});  // erase frame or previous block
        rig.Reply({ACK});  // Write Memory
        rig.Reply({ACK});  // address
    }

    // Uses an image of the given size instead of the carried one.
    void UseImageOfSize(int size) {
        const QString path = WriteImage(dir, size);
        rig.session->SetImageLoader([path] { return LoadFirmwareImageFrom(path); });
    }

    SessionRig rig;
    QTemporaryDir dir;
};

// --- Starting an attempt ---

TEST_F(SessionStepTest, Start_OpensPortAt115200EvenParityAndSendsSyncAfterLineSequence) {
    rig.view.portIndex = 2;
    rig.Press();

    EXPECT_EQ(rig.port->openedName, "COM3");
    EXPECT_EQ(rig.port->lastSettings.baudRate, 115200u);
    EXPECT_EQ(rig.port->lastSettings.byteSize, 8);
    EXPECT_EQ(rig.port->lastSettings.parity, 2);
    EXPECT_EQ(rig.port->lastSettings.stopBits, 0);
    EXPECT_EQ(rig.clock.sleeps, (std::vector<std::uint32_t>{500, 500}));
    ASSERT_EQ(rig.port->writes.size(), 1u);
    EXPECT_EQ(rig.LastWrite(), Bytes{0x7F});
    EXPECT_EQ(rig.session->Client().IspState, 1);
    EXPECT_EQ(rig.session->IdleTicks, 2);
    EXPECT_EQ(rig.view.status(), QStringLiteral("正在查找设备。。。"));
    EXPECT_TRUE(rig.session->Timer5.isActive());
    EXPECT_TRUE(rig.session->OvertimeT.isActive());
}

TEST_F(SessionStepTest, Start_RaisesDtrAndRtsThenDropsDtrBeforeSync) {
    rig.Press();
    std::vector<std::string> lines;
    for (const auto& call : rig.port->calls) {
        if (call.rfind("modem", 0) == 0 || call.rfind("write", 0) == 0) {
            lines.push_back(call);
        }
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"modem 5", "modem 3", "modem 6", "write 1"}));
    EXPECT_FALSE(rig.port->dtr);
    EXPECT_TRUE(rig.port->rts);
}

TEST_F(SessionStepTest, Timers_StepEvery3msPreciseAndWatchdogEverySecond) {
    EXPECT_EQ(rig.session->Timer5.interval(), 3);
    EXPECT_EQ(rig.session->Timer5.timerType(), Qt::PreciseTimer);
    EXPECT_EQ(rig.session->OvertimeT.interval(), 1000);
    EXPECT_FALSE(rig.session->Timer5.isActive());
    EXPECT_FALSE(rig.session->OvertimeT.isActive());
}

// --- Port errors ---

TEST_F(SessionStepTest, PortInUse_ShowsOneMessageWithPortNumberAndDoesNotRetry) {
    rig.port->failOpen = true;
    rig.view.portIndex = 4;
    rig.Press();

    ASSERT_EQ(rig.view.messages.size(), 1u);
    EXPECT_EQ(rig.view.messages[0].first, QStringLiteral("串口错误"));
    EXPECT_EQ(rig.view.messages[0].second,
              QStringLiteral("当前串口号 COM5 已经被占用，或其它错误 ！\r"
                             "请选择其它串口，或检查串口设置是否正确。"));
    EXPECT_FALSE(rig.session->OvertimeT.isActive());
    EXPECT_TRUE(rig.port->writes.empty());
    EXPECT_TRUE(rig.view.statusTexts.isEmpty());

    rig.RunFor(20'000);
    EXPECT_EQ(rig.view.messages.size(), 1u);
}

TEST_F(SessionStepTest, PortInUse_EachPressGivesExactlyOneMessage) {
    rig.port->failOpen = true;
    rig.view.portIndex = 0;
    rig.Press();
    rig.RunFor(10'000);
    rig.Press();
    rig.RunFor(10'000);
    ASSERT_EQ(rig.view.messages.size(), 2u);
    EXPECT_TRUE(rig.view.messages[1].second.startsWith(QStringLiteral("当前串口号 COM1 ")));
}

// --- Replies and their tests ---

TEST_F(SessionStepTest, SyncReply_EndingInAnythingElse_IsRefusedWithMessage) {
    rig.Press();
    rig.Reply({ACK, 0x00});
    EXPECT_EQ(rig.session->Client().IspState, 1);
    EXPECT_EQ(rig.view.status(), QStringLiteral("无法和设备通讯，请重新尝试"));
    EXPECT_EQ(rig.port->writes.size(), 1u);

    rig.Reply({NACK});
    EXPECT_EQ(rig.session->Client().IspState, 1);
    EXPECT_EQ(rig.port->writes.size(), 1u);
}

TEST_F(SessionStepTest, ShortReply_WaitsUntilMinReplyLengthHasAccumulated) {
    rig.Press();
    rig.Reply({ACK});
    const Bytes firstPart(kGetReply.begin(), kGetReply.begin() + 14);
    rig.Reply(firstPart);
    EXPECT_EQ(rig.session->Client().IspState, 2);
    EXPECT_EQ(rig.driver->RxCount, 14);
    rig.Reply({ACK});
    EXPECT_EQ(rig.session->Client().IspState, 3);
    EXPECT_EQ(rig.driver->RxCount, 0);
}

TEST_F(SessionStepTest, ReadThatBringsTheAnswer_IsFollowedByAStepWithoutWaitingForTimer5) {
    rig.Press();
    rig.port->feed({ACK});
    rig.driver->PollReceive();
    EXPECT_EQ(rig.session->Client().IspState, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.session->Client().IspState, 2);
    EXPECT_EQ(rig.LastWrite(), (Bytes{0x00, 0xFF}));
}

TEST_F(SessionStepTest, GetReply_ShowsBootloaderVersionAndSendsGetId) {
    rig.Press();
    rig.Reply({ACK});
    rig.Reply(kGetReply);
    EXPECT_EQ(rig.view.statusTexts.at(rig.view.statusTexts.size() - 2),
              QStringLiteral("已成功连接"));
    EXPECT_EQ(rig.view.status(), QStringLiteral("Boot:2.2"));
    EXPECT_EQ(rig.LastWrite(), (Bytes{0x02, 0xFD}));
    EXPECT_EQ(rig.session->Client().IspState, 3);
}

// --- Erase frame ---

TEST_F(SessionStepTest, EraseFrame_ForCarriedImage_Is27BytesOfPages0To24) {
    RunToEraseFrame();
    ASSERT_EQ(LoadFirmwareImage().size(), 25236);
    Bytes expected = {0x18};
    for (std::uint8_t page = 0; page <= 0x18; ++page) {
        expected.push_back(page);
    }
    expected.push_back(0x00);
    ASSERT_EQ(rig.LastWrite().size(), 27u);
    EXPECT_EQ(rig.LastWrite(), expected);
    EXPECT_EQ(rig.session->Client().IspState, 8);
    EXPECT_EQ(rig.view.status(), QStringLiteral("正在擦除。。。"));
    EXPECT_TRUE(rig.session->Timer5.isActive());
    EXPECT_EQ(rig.session->Client().BytesLeft, 25236);
    EXPECT_EQ(rig.session->Client().FlashAddress, 0x08000000);
}

TEST_F(SessionStepTest, ImageRefused_SendsNoEraseFrameAndStopsTheStepTimer) {
    rig.session->SetImageLoader([] { return LoadFirmwareImageFrom(QStringLiteral(":/none")); });
    RunToEraseFrame();
    EXPECT_EQ(rig.LastWrite(), (Bytes{0x43, 0xBC}));
    EXPECT_EQ(rig.session->Client().IspState, 7);
    EXPECT_FALSE(rig.session->Timer5.isActive());
    EXPECT_TRUE(rig.session->OvertimeT.isActive());
    EXPECT_EQ(rig.view.status(), QStringLiteral("Boot:2.2"));
}

TEST_F(SessionStepTest, EmptyAndOversizedImages_SendNoEraseFrame) {
    for (int size : {0, 262144}) {
        SessionRig fresh;
        const QString path = WriteImage(dir, size);
        fresh.session->SetImageLoader([path] { return LoadFirmwareImageFrom(path); });
        fresh.Press();
        for (const Bytes& reply : {Bytes{ACK}, kGetReply, kGetIdReply, Bytes{ACK}, Bytes{ACK},
                                   Bytes{ACK, 0, 0, 0, 0}, Bytes{ACK}}) {
            fresh.Reply(reply);
        }
        EXPECT_EQ(fresh.LastWrite(), (Bytes{0x43, 0xBC})) << size;
        EXPECT_EQ(fresh.session->Client().IspState, 7) << size;
    }
}

// --- Data blocks ---

TEST_F(SessionStepTest, Blocks_OfCarriedImage_Are99EndingAt0x08006200With148Bytes) {
    RunToEraseFrame();
    std::vector<std::uint32_t> addresses;
    for (int block = 0; block < 99; ++block) {
        rig.Reply({ACK});
        rig.Reply({ACK});
        const Bytes& frame = rig.LastWrite();
        addresses.push_back(std::uint32_t{frame[0]} << 24 | std::uint32_t{frame[1]} << 16 |
                            std::uint32_t{frame[2]} << 8 | frame[3]);
        rig.Reply({ACK});
    }
    EXPECT_EQ(addresses.front(), 0x08000000u);
    EXPECT_EQ(addresses.back(), 0x08006200u);
    for (std::size_t i = 1; i < addresses.size(); ++i) {
        EXPECT_EQ(addresses[i], addresses[i - 1] + 256);
    }
    const auto& writes = rig.port->writes;
    EXPECT_EQ(writes[writes.size() - 3], Bytes{0x93});
    EXPECT_EQ(writes[writes.size() - 2].size(), 148u);
    EXPECT_EQ(rig.session->Client().BytesLeft, 0);
    EXPECT_EQ(rig.session->Client().IspState, 11);
}

TEST_F(SessionStepTest, Progress_Is1PercentAfterFirstBlockAnd100AfterLast) {
    RunToEraseFrame();
    WriteOneBlock();
    EXPECT_EQ(rig.view.status(), QStringLiteral("写进度: 1%"));
    for (int block = 1; block < 99; ++block) {
        WriteOneBlock();
    }
    EXPECT_EQ(rig.view.status(), QStringLiteral("写进度: 100%"));
    EXPECT_EQ(rig.view.progress, 100);
}

TEST_F(SessionStepTest, WriteStates_DoNotResetTheWatchdog) {
    RunToEraseFrame();
    rig.Reply({ACK});
    EXPECT_EQ(rig.session->IdleTicks, 0);
    rig.session->OvertimeTTimer();
    rig.Reply({ACK});
    rig.Reply({ACK});
    EXPECT_EQ(rig.session->IdleTicks, 1);
}

// --- Finishing ---

TEST_F(SessionStepTest, LastAck_FinishesWithCompleteTextAndClosesThePort) {
    UseImageOfSize(2048);
    RunToEraseFrame();
    for (int block = 0; block < 8; ++block) {
        WriteOneBlock();
    }
    rig.clock.sleeps.clear();
    rig.port->calls.clear();
    rig.Reply({ACK});

    EXPECT_EQ(rig.view.status(), QStringLiteral("上载完成！模块已复位，未运行请重新上电。"));
    // "上载完成！" alone first, as soon as the last block is acknowledged.
    EXPECT_EQ(rig.view.statusTexts.at(rig.view.statusTexts.size() - 2),
              QStringLiteral("上载完成！"));
    EXPECT_EQ(rig.view.progress, 0);
    EXPECT_EQ(rig.session->Client().IspState, 1);
    EXPECT_FALSE(rig.session->Timer5.isActive());
    EXPECT_FALSE(rig.session->OvertimeT.isActive());
    EXPECT_EQ(rig.clock.sleeps, std::vector<std::uint32_t>{500});
    EXPECT_EQ(rig.port->calls, (std::vector<std::string>{"modem 5", "modem 4", "close"}));
    EXPECT_FALSE(rig.driver->Connected());
}

// --- Watchdog ---

TEST_F(SessionStepTest, Watchdog_FirstDeadlineIsFourTicksAfterStart) {
    rig.Press();
    for (int tick = 0; tick < 3; ++tick) {
        rig.session->OvertimeTTimer();
    }
    EXPECT_EQ(rig.session->Client().IspState, 1);
    EXPECT_EQ(rig.port->writes.size(), 1u);
    rig.session->OvertimeTTimer();
    EXPECT_EQ(rig.session->RetryCount, 1);
    EXPECT_EQ(rig.port->writes.size(), 2u);
}

TEST_F(SessionStepTest, Watchdog_AfterAcceptedReplyDeadlineIsSixTicksLater) {
    rig.Press();
    rig.Reply({ACK});
    for (int tick = 0; tick < 5; ++tick) {
        rig.session->OvertimeTTimer();
    }
    EXPECT_EQ(rig.session->Client().IspState, 2);
    rig.session->OvertimeTTimer();
    EXPECT_EQ(rig.session->RetryCount, 1);
}

TEST_F(SessionStepTest, Watchdog_ThreeSilentAttemptsEndWithFailureTextAndClosedPort) {
    rig.Press();
    for (int tick = 0; tick < 4 * 3; ++tick) {
        rig.session->OvertimeTTimer();
    }
    EXPECT_EQ(rig.session->RetryCount, 3);
    EXPECT_EQ(rig.port->writes.size(), 3u);
    EXPECT_EQ(rig.view.status(), QStringLiteral("连机失败！请检查通信线。"));
    EXPECT_EQ(rig.view.statusTexts.count(QStringLiteral("正在查找设备。。。")), 3);
    EXPECT_FALSE(rig.session->OvertimeT.isActive());
    EXPECT_FALSE(rig.session->Timer5.isActive());
    EXPECT_FALSE(rig.driver->Connected());
    EXPECT_EQ(rig.clock.totalSlept(), 3000u);
}

TEST_F(SessionStepTest, PressDuringAttempt_RestartsCountAndUsesTheOpenPort) {
    rig.Press();
    rig.session->OvertimeTTimer();
    rig.session->OvertimeTTimer();
    rig.session->OvertimeTTimer();
    rig.session->OvertimeTTimer();
    EXPECT_EQ(rig.session->RetryCount, 1);
    rig.view.portIndex = 5;
    rig.Press();
    EXPECT_EQ(rig.session->RetryCount, 0);
    EXPECT_EQ(rig.port->openedName, "COM1");
    EXPECT_TRUE(rig.session->PortOpen);
}

}  // namespace
