// The Intel HEX reader over any text: nothing may be read out of bounds, and an image it
// accepts lies inside the flash window it was given and within its size.
#include <cstdlib>

#include "IntelHex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::uint32_t kLowest = 0x08000000;
    constexpr std::uint32_t kCapacity = 0x10000;
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const auto image = ReadIntelHex(text, kLowest, kCapacity, &error);
    if (image && (image->base != kLowest || image->bytes.isEmpty() ||
                  image->bytes.size() > static_cast<qsizetype>(kCapacity))) {
        std::abort();
    }
    if (!image && error.isEmpty()) {
        std::abort();
    }
    return 0;
}
