// TakeReadReply and CheckReadReply over any RxBuffer content, any RxCount and any request
// count and index: nothing is read or written out of bounds, and a reply is only ever taken
// when its CRC matches the accumulated bytes.
#include <cstdlib>
#include <cstring>

#include "FuzzHost.h"
#include "FuzzInput.h"
#include "RegisterMap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzHost host;
    FuzzInput in(data, size);
    host.Forget();
    VEVErizEvezad& driver = host.link.driver;
    const auto count = in.take<std::int32_t>() % 300;
    const auto index = in.take<std::int32_t>() % 300;
    host.link.master.SendReadRequest(0, count, 3);
    std::size_t n = 0;
    const std::uint8_t* reply = in.bytes(VEVErizEvezad::kRxBufferSize, &n);
    std::memcpy(driver.RxBuffer, reply, n);
    driver.RxCount = static_cast<std::uint16_t>(n);
    if (in.take<std::uint8_t>() % 4 == 0) {
        driver.RxCount = in.take<std::uint16_t>();
    }
    const bool taken = host.link.master.TakeReadReply(index);
    if (taken && !host.link.master.ReplyOk) {
        std::abort();
    }
    return 0;
}
