// The bootloader session's step handler over any replies in any order: the session starts an
// attempt on a fake port, then each piece of input arrives as received bytes before a step
// tick (or, now and then, a watchdog tick). Nothing may be read or written out of bounds, and
// the image behind the command area must never change.
#include <QString>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "BootloaderSession.h"
#include "DriverOnFake.h"
#include "FirmwareImage.h"
#include "FuzzInput.h"

namespace {

class QuietView final : public BootloaderView {
public:
    int SelectedPortIndex() const override { return 0; }
    void SetStatusText(const QString&) override {}
    void SetProgress(int position) override { progress_ = position; }
    int Progress() const override { return progress_; }
    void ShowMessage(const QString&, const QString&) override {}

private:
    int progress_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> carried;
    if (carried.empty()) {
        if (!LoadFirmwareImage()) {
            std::abort();
        }
        carried.assign(IspBuffer.ImageBuffer, IspBuffer.ImageBuffer + FirmwareImageSize());
    }
    FuzzInput in(data, size);
    DriverOnFake f;
    QuietView view;
    BootloaderSession session(*f.driver, view, f.clock);
    session.STM_ISP();
    while (in.remaining() > 0) {
        const auto op = in.take<std::uint8_t>();
        if (op == 0xFF) {
            session.OvertimeTTimer();
            continue;
        }
        std::size_t n = 0;
        const std::uint8_t* chunk = in.bytes(op, &n);
        if (n > 0) {
            f.port->feed(std::vector<std::uint8_t>(chunk, chunk + n));
            f.driver->PollReceive();
        }
        session.Timer5Timer();
    }
    if (std::memcmp(IspBuffer.ImageBuffer, carried.data(), carried.size()) != 0) {
        std::abort();
    }
    return 0;
}
