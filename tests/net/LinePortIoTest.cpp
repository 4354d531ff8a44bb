#include <gtest/gtest.h>

#include <QtGlobal>

#include "LinePortIo.h"
#include "PseudoTerminal.h"

namespace vr7c::net {
namespace {

// Two lines in one process, each with its own lookup: the same COM number reaches two devices
// and neither sees the other's bytes; VR7C_COMn still comes first.
TEST(LinePortIo, EachLineResolvesComNumbersThroughItsOwnLookup) {
    qunsetenv("VR7C_COM1");
    PseudoTerminal ptys[2];
    LinePortIo lines[2];
    for (int i = 0; i < 2; ++i) {
        const QString path = QString::fromStdString(ptys[i].slavePath());
        lines[i].setDeviceLookup([path](int n) { return n == 1 ? path : QString(); });
        ASSERT_TRUE(lines[i].open("COM1"));
        const std::uint8_t byte[] = {static_cast<std::uint8_t>(i + 1)};
        lines[i].write(byte, 1);
    }
    EXPECT_EQ(ptys[0].read(2, 2000), std::vector<std::uint8_t>{1});
    EXPECT_EQ(ptys[1].read(2, 2000), std::vector<std::uint8_t>{2});
    EXPECT_FALSE(lines[0].open("COM2"));  // the lookup has no device for it
    lines[1].close();
    qputenv("VR7C_COM1", QByteArray::fromStdString(ptys[1].slavePath()));
    const bool opened = lines[0].open("COM1");
    qunsetenv("VR7C_COM1");
    ASSERT_TRUE(opened);
    const std::uint8_t byte[] = {9};
    lines[0].write(byte, 1);
    EXPECT_EQ(ptys[1].read(1, 2000), std::vector<std::uint8_t>{9});
}

}  // namespace
}  // namespace vr7c::net
