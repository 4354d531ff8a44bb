// Any sequence of reads, of any size, with client resets of RxCount in between: the driver's
// accumulation never writes outside RxBuffer and RxCount stays within it.
#include <cstdlib>
#include <vector>

#include "DriverOnFake.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    DriverOnFake f;
    f.driver->SetComPortInBufSize(static_cast<std::uint16_t>(in.take<std::uint16_t>() % 4096));
    f.driver->Connect();
    while (in.remaining() > 0) {
        const auto op = in.take<std::uint8_t>();
        if (op % 8 == 0) {
            f.driver->RxCount = in.take<std::uint16_t>();
            continue;
        }
        std::size_t n = 0;
        const std::uint8_t* chunk = in.bytes(in.take<std::uint16_t>() % 3000, &n);
        if (n == 0) {
            continue;
        }
        f.port->feed(std::vector<std::uint8_t>(chunk, chunk + n));
        f.driver->PollReceive();
        // After a read that brought bytes, RxCount lies within RxBuffer again.
        if (f.driver->ComPortInBufSize() > 0 && f.driver->RxCount > VEVErizEvezad::kRxBufferSize) {
            std::abort();
        }
    }
    return 0;
}
