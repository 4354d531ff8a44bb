// The bootloader client over any replies in any order, judged either way (the firmware
// dialog's, or vr7c's by count with verification and Go): each piece of input arrives as
// received bytes on a fake line and is taken as the dialog and vr7c take it, once it is worth
// judging. Nothing may be read or written out of bounds, and the image the client writes from
// must never change. The image check of vr7c sees the same bytes as a file.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "BootloaderClient.h"
#include "DriverOnFake.h"
#include "FuzzInput.h"
#include "ImageCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static_cast<void>(FirmwareImageFault(data, static_cast<std::int64_t>(size)));
    FuzzInput in(data, size);
    const auto way = in.take<std::uint8_t>();
    BootloaderPlan plan;
    plan.byCount = (way & 1) != 0;
    plan.identityBytes = plan.byCount ? 20 : 4;
    plan.verify = (way & 2) != 0;
    plan.go = (way & 4) != 0;
    plan.identifyOnly = (way & 8) != 0;
    plan.imageSize = (way & 16) != 0 ? 70000 : 0;
    std::vector<std::uint8_t> image(static_cast<std::size_t>(1 + (way >> 5) * 300));
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 13);
    }
    const std::vector<std::uint8_t> original = image;

    DriverOnFake f;
    f.driver->Connect();
    BootloaderClient client(*f.driver, plan);
    client.Begin();
    while (in.remaining() > 0) {
        std::size_t n = 0;
        const std::uint8_t* chunk = in.bytes(in.take<std::uint8_t>(), &n);
        if (n > 0) {
            f.port->feed(std::vector<std::uint8_t>(chunk, chunk + n));
            f.driver->PollReceive();
        }
        if (!client.Complete(f.driver->RxBuffer, f.driver->RxCount)) {
            continue;
        }
        const int count = f.driver->RxCount;
        f.driver->RxCount = 0;
        if (client.Take(f.driver->RxBuffer, count) == BootloaderClient::Verdict::kEraseDue) {
            client.Erase(image.data(), static_cast<std::int32_t>(image.size()));
        }
        f.port->writes.clear();
    }
    if (image != original) {
        std::abort();
    }
    return 0;
}
