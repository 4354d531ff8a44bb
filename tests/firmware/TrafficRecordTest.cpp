#include <gtest/gtest.h>

#include <QStringList>

#include "LineRecorder.h"
#include "SessionRig.h"
#include "TrafficDecoder.h"

namespace {

// A whole download into the simulated bootloader, recorded as the traffic monitor sees it.
TEST(TrafficRecordTest, DownloadIsRecordedFrameByFrameAndDecoded) {
    SessionRig rig;
    rig.AttachBootloader();
    TrafficRing ring(1024);
    BootloaderRecorder recorder(ring, [&rig] { return rig.clock.now; });
    rig.session->Client().Tap = &recorder;
    rig.Press();
    rig.RunUntilIdle();

    QStringList lines;
    const TrafficFrame* previousSent = nullptr;
    for (std::uint64_t seq = ring.First(); seq <= ring.Last(); ++seq) {
        const TrafficFrame& frame = *ring.Find(seq);
        lines << DecodeFrame(frame, previousSent);
        if (frame.direction == TrafficDirection::Sent) {
            previousSent = &frame;
        }
        EXPECT_FALSE(IsError(frame.verdict)) << lines.back().toStdString();
    }
    ASSERT_GE(lines.size(), 8);
    EXPECT_EQ(lines.mid(0, 5),
              (QStringList{QStringLiteral("同步"), QStringLiteral("ACK"), QStringLiteral("Get"),
                           QStringLiteral("ACK，Boot:2.2"), QStringLiteral("Get ID")}));
    EXPECT_TRUE(lines.contains(QStringLiteral("擦除")));
    EXPECT_TRUE(lines.contains(QStringLiteral("擦除 25 页")));
    // Each data block is one frame: count, 256 bytes, checksum.
    EXPECT_EQ(lines.count(QStringLiteral("写 0x08000000 256 字节")), 1);
    EXPECT_EQ(lines.count(QStringLiteral("写 0x08006200 148 字节")), 1);
    EXPECT_EQ(lines.filter(QStringLiteral("字节")).filter(QStringLiteral("写 0x")).size(), 99);
}

}  // namespace
