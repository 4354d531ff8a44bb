// WriteRegisterOnce's echo comparison with any bytes arriving during its wait, in any pieces,
// after any bytes left on the line before the request, for any register number and value.
#include <deque>
#include <vector>

#include "FuzzHost.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzHost host;
    FuzzInput in(data, size);
    host.Forget();
    host.link.plcCan = (in.take<std::uint8_t>() & 1) != 0;
    const auto reg = in.take<std::int32_t>();
    const auto value = in.take<std::int32_t>();
    int stale = in.take<std::uint8_t>() % 4;  // pieces on the line before the request
    std::deque<std::vector<std::uint8_t>> echo;
    while (in.remaining() > 0) {
        std::size_t n = 0;
        const std::uint8_t* chunk = in.bytes(in.take<std::uint8_t>() % 16, &n);
        (stale-- > 0 ? host.port->pendingReads : echo).emplace_back(chunk, chunk + n);
    }
    host.port->onWrite = [&echo](const std::vector<std::uint8_t>&) {
        host.port->pendingReads = echo;
    };
    host.link.master.WriteRegisterOnce(reg, value, 6);
    host.port->onWrite = nullptr;
    return 0;
}
