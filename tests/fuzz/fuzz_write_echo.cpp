// WriteRegisterOnce's echo comparison with any bytes arriving during its wait, in any pieces,
// for any register number and value.
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
    while (in.remaining() > 0) {
        std::size_t n = 0;
        const std::uint8_t* chunk = in.bytes(in.take<std::uint8_t>() % 16, &n);
        host.port->feed(std::vector<std::uint8_t>(chunk, chunk + n));
    }
    WriteRegisterOnce(reg, value, 6);
    return 0;
}
