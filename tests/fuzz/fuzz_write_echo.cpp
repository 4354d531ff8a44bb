// WriteRegisterOnce's echo comparison with any bytes on the line before the request (which the
// quiet-line wait must drop) and any bytes arriving during its wait, in any pieces, for any
// register number and value.
#include <vector>

#include "FuzzHost.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzHost host;
    FuzzInput in(data, size);
    host.Forget();
    host.plcCan = (in.take<std::uint8_t>() & 1) != 0;
    const auto reg = in.take<std::int32_t>();
    const auto value = in.take<std::int32_t>();
    auto staleChunks = in.take<std::uint8_t>() % 4;
    std::vector<std::vector<std::uint8_t>> answer;
    while (in.remaining() > 0) {
        std::size_t n = 0;
        const std::uint8_t* chunk = in.bytes(in.take<std::uint8_t>() % 16, &n);
        std::vector<std::uint8_t> bytes(chunk, chunk + n);
        if (staleChunks > 0) {
            --staleChunks;
            host.rig.port->feed(std::move(bytes));
        } else {
            answer.push_back(std::move(bytes));
        }
    }
    host.rig.port->onWrite = [&answer](const std::vector<std::uint8_t>&) {
        for (auto& bytes : answer) {
            host.rig.port->feed(std::move(bytes));
        }
    };
    WriteRegisterOnce(reg, value, 6);
    host.rig.port->onWrite = nullptr;
    return 0;
}
