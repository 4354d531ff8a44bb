// MBAP replies of any content judged against any request: nothing is read out of bounds, a
// frame length is only given when it lies inside the header's limits, and a good reply's PDU
// lies inside the received bytes with the awaited length.
#include <cstdlib>

#include "FuzzInput.h"
#include "ModbusTcpFrame.h"

using namespace vr7c::net;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const auto transaction = in.take<std::uint16_t>();
    const auto unit = in.take<std::uint8_t>();
    const auto function = in.take<std::uint8_t>();
    const std::size_t replyPdu = in.take<std::uint8_t>();
    std::size_t n = 0;
    const std::uint8_t* bytes = in.bytes(in.remaining(), &n);
    const std::span<const std::uint8_t> received(bytes, n);
    const MbapJudgement j = JudgeMbapReply(received, transaction, unit, function, replyPdu);
    if (j.frameBytes > kMbapMaxFrameBytes ||
        (j.frameBytes != 0 && j.frameBytes < kMbapHeaderBytes + 1)) {
        std::abort();
    }
    if (j.verdict == MbapVerdict::Good || j.verdict == MbapVerdict::ExtraBytes) {
        if (j.pdu.size() != replyPdu || j.pdu.data() < bytes ||
            j.pdu.data() + j.pdu.size() > bytes + n) {
            std::abort();
        }
    }
    return 0;
}
