#include "FlashUnit.h"

#include <optional>
#include <span>

#include "BootloaderClient.h"
#include "FirmwareImage.h"
#include "LinePortIo.h"
#include "NetAddress.h"
#include "Stm32Protocol.h"
#include "TickClock.h"
#include "ZQ_ComDrv.h"

namespace {

using Verdict = BootloaderClient::Verdict;

constexpr std::uint32_t kBootloaderBaud = 115200;
constexpr int kUniqueIdOffset = 8;
constexpr int kUniqueIdBytes = 12;

QString Hex(const std::uint8_t* bytes, int count) {
    return QByteArray(reinterpret_cast<const char*>(bytes), count).toHex().toUpper();
}

// The answer awaited in each state, as the messages name it.
const char* Awaited(const BootloaderClient& client, bool partial) {
    switch (client.IspState) {
        case BootloaderClient::kAwaitSyncAck:
            return "the synchronisation byte";
        case BootloaderClient::kAwaitGet:
            return "Get";
        case BootloaderClient::kAwaitGetId:
            return "Get ID";
        case BootloaderClient::kAwaitReadMemoryAck:
        case BootloaderClient::kAwaitVerifyReadAck:
            return "Read Memory";
        case BootloaderClient::kAwaitReadAddressAck:
        case BootloaderClient::kAwaitVerifyAddressAck:
            return "the read address";
        case BootloaderClient::kAwaitReadData:
        case BootloaderClient::kAwaitVerifyData:
            return partial ? "Read Memory with data" : "the read length";
        case BootloaderClient::kAwaitEraseAck:
            return "Erase Memory";
        case BootloaderClient::kAwaitEraseFrameOrBlockAck:
            return client.ImageOffset == 0 ? "the page erase" : "a data block";
        case BootloaderClient::kAwaitWriteMemoryAck:
            return "Write Memory";
        case BootloaderClient::kAwaitWriteAddressAck:
            return "the write address";
        case BootloaderClient::kAwaitLastBlockAck:
            return "a data block";
        case BootloaderClient::kAwaitGoAck:
            return "Go";
        default:
            return "the start address";
    }
}

// One unit's exchange on an open driver, each answer awaited on the line.
class BlockingFlash {
public:
    BlockingFlash(VEVErizEvezad& driver, const FlashRequest& request, bool identifyOnly)
        : driver_(driver),
          request_(request),
          identifyOnly_(identifyOnly),
          client_(driver, Plan(request, identifyOnly)) {}

    FlashReport Run() {
        report_.outcome = Synchronise();
        while (report_.outcome.ok() && client_.IspState != BootloaderClient::kDone) {
            report_.outcome = Step();
        }
        if (report_.outcome.ok() && !identifyOnly_) {
            BootloaderClient::EndLineSequence(driver_, clock_, request_.linePauseMs);
        }
        return report_;
    }

private:
    static BootloaderPlan Plan(const FlashRequest& request, bool identifyOnly) {
        BootloaderPlan plan;
        plan.byCount = true;
        plan.identityBytes = 20;
        plan.imageSize = static_cast<std::int32_t>(request.image.size());
        plan.identifyOnly = identifyOnly;
        plan.verify = request.verify;
        plan.go = request.go;
        return plan;
    }

    // The line sequence and the synchronisation byte, up to `attempts` times.
    Outcome Synchronise() {
        for (int attempt = 0; attempt < request_.attempts; ++attempt) {
            BootloaderClient::StartLineSequence(driver_, clock_, request_.linePauseMs);
            driver_.DropReceived();
            client_.Begin();
            const std::optional<Verdict> verdict = Answer();
            if (!verdict) {
                continue;
            }
            return *verdict == Verdict::kRefused ? Refused() : Outcome::Ok();
        }
        return Silent(false);
    }

    // Awaits the next answer and takes the step it allows.
    Outcome Step() {
        const std::int32_t stateBefore = client_.IspState;
        const std::int32_t offsetBefore = client_.ImageOffset;
        const std::optional<Verdict> verdict = Answer();
        if (!verdict) {
            return Silent(!driver_.PeekReceived().empty());
        }
        if (stateBefore == BootloaderClient::kAwaitReadData && *verdict != Verdict::kRefused &&
            *verdict != Verdict::kDropped) {
            NoteIdentity();
        }
        switch (*verdict) {
            case Verdict::kRefused:
            case Verdict::kDropped:
                return Refused();
            case Verdict::kMissingCommand:
                return Outcome::Fail(kExitRefused,
                                     QStringLiteral("bootloader does not offer command 0x%1")
                                         .arg(client_.MissingCommand, 2, 16, QChar('0')));
            case Verdict::kTooLarge:
                return Outcome::Fail(
                    kExitBadFile, QStringLiteral("image of %1 bytes does not fit the %2 KiB flash")
                                      .arg(request_.image.size())
                                      .arg(report_.flashKiB));
            case Verdict::kMismatch:
                return Outcome::Fail(kExitMismatch,
                                     QStringLiteral("verify failed at 0x%1: wrote %2, read %3")
                                         .arg(client_.MismatchAddress, 8, 16, QChar('0'))
                                         .arg(client_.MismatchWrote, 2, 16, QChar('0'))
                                         .arg(client_.MismatchRead, 2, 16, QChar('0')));
            case Verdict::kEraseDue:
                client_.Erase(reinterpret_cast<const std::uint8_t*>(request_.image.constData()),
                              static_cast<std::int32_t>(request_.image.size()));
                break;
            default:
                break;
        }
        if (stateBefore == BootloaderClient::kAwaitReadData && !identifyOnly_) {
            Progress("erase", 0);
        } else if ((stateBefore == BootloaderClient::kAwaitEraseFrameOrBlockAck ||
                    stateBefore == BootloaderClient::kAwaitLastBlockAck) &&
                   offsetBefore > 0) {
            Progress("write", offsetBefore);
        } else if (stateBefore == BootloaderClient::kAwaitVerifyData) {
            Progress("verify", client_.ImageOffset);
        }
        return Outcome::Ok();
    }

    // Takes in line input until the awaited answer is whole and judged; nothing on silence.
    // Before the answer to the synchronisation byte, noise may come that ends in neither ACK
    // nor NACK: it is passed over.
    std::optional<Verdict> Answer() {
        std::optional<Verdict> verdict;
        const std::uint32_t timeout = request_.replyTimeoutMs + client_.ChipAllowanceMs();
        WaitOnLine(driver_, clock_, timeout, [&] {
            const std::span<const std::uint8_t> received = driver_.PeekReceived();
            if (!client_.Complete(received.data(), static_cast<int>(received.size()))) {
                return false;
            }
            const bool sync = client_.IspState == BootloaderClient::kAwaitSyncAck;
            const std::span<const std::uint8_t> answer = driver_.TakeReceived();
            verdict = client_.Take(answer.data(), static_cast<int>(answer.size()));
            if (sync && *verdict != Verdict::kAccepted &&
                (answer.empty() || answer.back() != stm32::NACK)) {
                verdict.reset();
                return false;
            }
            return true;
        });
        return verdict;
    }

    void NoteIdentity() {
        report_.bootloaderVersion = client_.BootloaderVersion;
        report_.flashKiB = client_.FlashKiB();
        report_.deviceId = Hex(client_.ProductId, client_.ProductIdLength) + QStringLiteral("-") +
                           Hex(client_.Identity + kUniqueIdOffset, kUniqueIdBytes);
    }

    void Progress(const char* phase, int done) const {
        if (request_.progress) {
            request_.progress(phase, done, static_cast<int>(request_.image.size()));
        }
    }

    Outcome Silent(bool partial) const {
        return Outcome::Fail(kExitNoReply, QStringLiteral("bootloader did not answer %1")
                                               .arg(QLatin1String(Awaited(client_, partial))));
    }
    Outcome Refused() const {
        return Outcome::Fail(
            kExitRefused,
            QStringLiteral("bootloader refused %1").arg(QLatin1String(Awaited(client_, false))));
    }

    VEVErizEvezad& driver_;
    TickClock& clock_ = systemClock();
    const FlashRequest& request_;
    bool identifyOnly_;
    BootloaderClient client_;
    FlashReport report_;
};

}  // namespace

FlashReport FlashUnit(const PortChoice& port, const FlashRequest& request) {
    const auto size = request.image.size();
    if (size <= 0 || size > kLargestErasableImage) {
        return FlashReport{
            Outcome::Fail(kExitBadFile, QStringLiteral("image size %1 refused").arg(size)),
            {},
            0,
            0};
    }
    if (vr7c::net::IsModbusTcpAddress(port.device.toStdString())) {
        return FlashReport{
            Outcome::Fail(kExitUsage,
                          port.given + QStringLiteral(": a Modbus TCP line carries Modbus "
                                                      "requests only, no bootloader; flash "
                                                      "through rfc2217:// or a local port")),
            {},
            0,
            0};
    }
    VEVErizEvezad driver(nullptr, std::make_unique<vr7c::net::LinePortIo>());
    const Outcome opened = OpenPort(driver, port, kBootloaderBaud, ptEVEN);
    if (!opened.ok()) {
        return FlashReport{opened, {}, 0, 0};
    }
    return BlockingFlash(driver, request, false).Run();
}

bool BootloaderAnswers(const PortChoice& port, const FlashRequest& request) {
    if (vr7c::net::IsModbusTcpAddress(port.device.toStdString())) {
        return false;
    }
    VEVErizEvezad driver(nullptr, std::make_unique<vr7c::net::LinePortIo>());
    if (!OpenPort(driver, port, kBootloaderBaud, ptEVEN).ok()) {
        return false;
    }
    FlashRequest probe = request;
    probe.attempts = 1;
    probe.image.clear();
    return BlockingFlash(driver, probe, true).Run().outcome.code != kExitNoReply;
}
