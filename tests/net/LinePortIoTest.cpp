// COM numbers resolved through the lookup each line was given, with VR7C_COMn first.
#include <gtest/gtest.h>

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <vector>

#include "LinePortIo.h"
#include "PseudoTerminal.h"

namespace vr7c::net {
namespace {

SerialDeviceResolver OnlyComOne(const PseudoTerminal& pty) {
    const QString path = QString::fromStdString(pty.slavePath());
    return [path](int number) { return number == 1 ? path : QString(); };
}

// Two lines in one process, each with its own lookup: the same COM number reaches two devices,
// and neither sees the other's bytes.
TEST(LinePortIo, EachLineResolvesComNumbersThroughItsOwnLookup) {
    qunsetenv("VR7C_COM1");
    PseudoTerminal first;
    PseudoTerminal second;
    ASSERT_TRUE(first.valid() && second.valid());
    LinePortIo a;
    LinePortIo b;
    a.setDeviceLookup(OnlyComOne(first));
    b.setDeviceLookup(OnlyComOne(second));
    ASSERT_TRUE(a.open("COM1"));
    ASSERT_TRUE(b.open("COM1"));
    const std::uint8_t toFirst[] = {1, 2};
    const std::uint8_t toSecond[] = {3};
    a.write(toFirst, 2);
    b.write(toSecond, 1);
    EXPECT_EQ(first.read(3, 2000), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(second.read(3, 2000), (std::vector<std::uint8_t>{3}));
    // A number the lookup has no device for does not open.
    EXPECT_FALSE(a.open("COM2"));
}

TEST(LinePortIo, TheEnvironmentOverridesTheLookup) {
    PseudoTerminal looked;
    PseudoTerminal overriding;
    ASSERT_TRUE(looked.valid() && overriding.valid());
    qputenv("VR7C_COM1", QByteArray::fromStdString(overriding.slavePath()));
    LinePortIo line;
    line.setDeviceLookup(OnlyComOne(looked));
    const bool opened = line.open("COM1");
    qunsetenv("VR7C_COM1");
    ASSERT_TRUE(opened);
    const std::uint8_t byte[] = {7};
    line.write(byte, 1);
    EXPECT_EQ(overriding.read(1, 2000), (std::vector<std::uint8_t>{7}));
}

}  // namespace
}  // namespace vr7c::net
