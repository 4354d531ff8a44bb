// The guard that installs a Modbus host: whatever order guards end in, the host installed is
// always one that still lives, and the last guard to end leaves none.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FakeSerialPortIo.h"
#include "ModbusLink.h"

namespace {

ModbusHost* InstalledHost() {
    ModbusHost* const current = SetModbusHost(nullptr);
    SetModbusHost(current);
    return current;
}

struct GuardCase {
    const char* name;
    std::vector<int> endOrder;      // guards 0, 1, 2 start in this order and end in this one
    std::vector<int> hostAfterEnd;  // the link installed after each end; -1: none
};

class ModbusHostGuardTest : public ::testing::TestWithParam<GuardCase> {};

TEST_P(ModbusHostGuardTest, InstalledHostIsAlwaysALiveOne) {
    std::vector<std::unique_ptr<ModbusLink>> links;
    for (int i = 0; i < 3; ++i) {
        FakeSerialPortIo* port = nullptr;
        links.push_back(std::make_unique<ModbusLink>([] { return std::uint8_t{1}; },
                                                     [] { return false; }, NewFakePort(port)));
    }
    std::array<std::optional<ModbusHostGuard>, 3> guards;
    for (int i = 0; i < 3; ++i) {
        guards[static_cast<std::size_t>(i)].emplace(*links[static_cast<std::size_t>(i)]);
        EXPECT_EQ(InstalledHost(), links[static_cast<std::size_t>(i)].get());
    }
    const GuardCase& c = GetParam();
    for (std::size_t step = 0; step < c.endOrder.size(); ++step) {
        guards[static_cast<std::size_t>(c.endOrder[step])].reset();
        const int expected = c.hostAfterEnd[step];
        EXPECT_EQ(InstalledHost(),
                  expected < 0 ? nullptr : links[static_cast<std::size_t>(expected)].get())
            << "after guard " << c.endOrder[step] << " ended";
    }
}

INSTANTIATE_TEST_SUITE_P(EndOrders, ModbusHostGuardTest,
                         ::testing::Values(GuardCase{"Reverse", {2, 1, 0}, {1, 0, -1}},
                                           GuardCase{"StartOrder", {0, 1, 2}, {2, 2, -1}},
                                           GuardCase{"MiddleFirst", {1, 2, 0}, {2, 0, -1}},
                                           GuardCase{"MiddleLast", {0, 2, 1}, {2, 1, -1}}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
