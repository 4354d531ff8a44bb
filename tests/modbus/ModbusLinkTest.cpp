// The guard that installs a Modbus host: whatever order guards end in, the host installed is
// always one that still lives, and the last guard to end leaves none.

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "FakeSerialPortIo.h"
#include "ModbusLink.h"

namespace {

struct GuardCase {
    const char* name;
    std::vector<std::size_t> endOrder;  // guards 0, 1, 2 start in this order, end in this one
    std::vector<int> hostAfterEnd;      // the link installed after each end; -1: none
    friend void PrintTo(const GuardCase& c, std::ostream* os) { *os << c.name; }
};

class ModbusHostGuardTest : public ::testing::TestWithParam<GuardCase> {};

TEST_P(ModbusHostGuardTest, InstalledHostIsAlwaysALiveOne) {
    std::array<std::optional<ModbusLink>, 3> links;
    std::array<std::optional<ModbusHostGuard>, 3> guards;
    for (std::size_t i = 0; i < 3; ++i) {
        FakeSerialPortIo* port = nullptr;
        links[i].emplace([] { return std::uint8_t{1}; }, [] { return false; }, NewFakePort(port));
        guards[i].emplace(*links[i]);
    }
    for (std::size_t step = 0; step < GetParam().endOrder.size(); ++step) {
        guards[GetParam().endOrder[step]].reset();
        const int expected = GetParam().hostAfterEnd[step];
        ModbusHost* const installed = SetModbusHost(nullptr);
        SetModbusHost(installed);
        EXPECT_EQ(installed, expected < 0 ? nullptr : &*links[static_cast<std::size_t>(expected)])
            << "step " << step;
    }
}

INSTANTIATE_TEST_SUITE_P(EndOrders, ModbusHostGuardTest,
                         ::testing::Values(GuardCase{"Reverse", {2, 1, 0}, {1, 0, -1}},
                                           GuardCase{"StartOrder", {0, 1, 2}, {2, 2, -1}},
                                           GuardCase{"MiddleFirst", {1, 2, 0}, {2, 0, -1}},
                                           GuardCase{"MiddleLast", {0, 2, 1}, {2, 1, -1}}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
