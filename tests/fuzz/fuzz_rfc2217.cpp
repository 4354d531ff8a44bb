// The telnet side of an RFC 2217 line over any bytes from the server, fed in pieces of any
// size: no overrun, the data is never longer than what came in, and data escaped for the
// server comes back unchanged.
#include <cstdlib>
#include <vector>

#include "FuzzInput.h"
#include "Rfc2217Codec.h"

using vr7c::net::Rfc2217Codec;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    Rfc2217Codec codec;
    std::vector<std::uint8_t> received;
    std::vector<std::uint8_t> answers;
    std::size_t fed = 0;
    while (in.remaining() > 0) {
        std::size_t n = 0;
        const std::uint8_t* piece = in.bytes(1 + in.take<std::uint8_t>() % 64, &n);
        codec.receive(std::span(piece, n), received, answers);
        fed += n;
    }
    if (received.size() > fed) {
        std::abort();
    }
    // Whatever the server did, our own data passes through a fresh codec intact.
    std::vector<std::uint8_t> escaped;
    Rfc2217Codec::escape(std::span(data, size), escaped);
    Rfc2217Codec echo;
    std::vector<std::uint8_t> back;
    echo.receive(escaped, back, answers);
    if (back != std::vector<std::uint8_t>(data, data + size)) {
        std::abort();
    }
    return 0;
}
