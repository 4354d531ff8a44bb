#include "NetPortIo.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vr7c::net {
namespace {

using Clock = std::chrono::steady_clock;

std::uint8_t ParityCode(std::uint8_t parity) {
    static constexpr std::uint8_t kCodes[] = {comport::kParityNone, comport::kParityOdd,
                                              comport::kParityEven, comport::kParityMark,
                                              comport::kParitySpace};
    return parity < std::size(kCodes) ? kCodes[parity] : comport::kParityNone;
}

std::uint8_t StopCode(std::uint8_t stopBits) {
    return stopBits == 1   ? comport::kStopOneAndHalf
           : stopBits == 2 ? comport::kStopTwo
                           : comport::kStopOne;
}

}  // namespace

NetPortIo::~NetPortIo() {
    close();
}

bool NetPortIo::open(const char* url) {
    if (isOpen()) {
        openError_ = EBUSY;
        return false;
    }
    hungUp_ = false;
    comPortRefused_ = false;
    pending_.clear();
    answers_.clear();
    codec_ = Rfc2217Codec();
    const std::optional<NetAddress> address = ParseNetAddress(url ? url : "");
    if (!address) {
        openError_ = EINVAL;
        return false;
    }
    address_ = *address;
    const Clock::time_point start = Clock::now();
    const std::chrono::milliseconds limit =
        redial_ ? std::min(kRedialLimit, options_.connectLimit) : options_.connectLimit;
    const ConnectResult connected =
        TcpConnect(address_.host, address_.port, limit, options_.resolver);
    if (connected.fd < 0) {
        openError_ = connected.error != 0 ? connected.error : ErrorNumberOf(connected.failure);
        return false;
    }
    fd_ = connected.fd;
    openError_ = 0;
    if (!telnetLine()) {
        redial_ = false;
        return true;
    }
    // The server must agree to COM port control before settings mean anything; what it says
    // about the other options is answered on the way.
    std::vector<std::uint8_t> hello;
    codec_.start(hello);
    queue(hello);
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    const Clock::time_point deadline = Clock::now() + std::min(kNegotiationLimit, limit - spent);
    std::uint8_t scratch[256];
    while (!codec_.comPortAgreed() && !codec_.comPortRefused()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !flush()) {
            break;
        }
        pollfd state{fd_, POLLIN, 0};
        // Data before the agreement (a server's greeting) is not line data: it is dropped.
        if (::poll(&state, 1, static_cast<int>(left.count())) > 0 &&
            receive(scratch, sizeof scratch) < 0) {
            break;
        }
    }
    if (!codec_.comPortAgreed()) {
        // Connected, but no COM port control: a plain telnet or raw server on that port.
        const bool answered = isOpen();
        comPortRefused_ = answered;
        close();
        hungUp_ = false;
        openError_ = answered ? EPROTONOSUPPORT : ECONNRESET;
        return false;
    }
    data_.clear();
    redial_ = false;
    return true;
}

void NetPortIo::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    pending_.clear();
    answers_.clear();
    data_.clear();
}

void NetPortIo::hangUp() {
    hungUp_ = true;
    redial_ = true;
    close();
}

void NetPortIo::queue(const std::vector<std::uint8_t>& bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

bool NetPortIo::flush() {
    std::size_t done = 0;
    while (fd_ >= 0 && done < pending_.size()) {
        const ssize_t n = ::send(fd_, pending_.data() + done, pending_.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            hangUp();
            return false;
        }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(done));
    return fd_ >= 0;
}

std::int64_t NetPortIo::receive(std::uint8_t* buffer, std::int64_t maxCount) {
    if (fd_ < 0) {
        return -1;
    }
    // What the codec gave beyond an earlier caller's room comes first.
    if (data_.empty() && maxCount > 0) {
        raw_.resize(static_cast<std::size_t>(maxCount));
        const ssize_t got = ::recv(fd_, raw_.data(), raw_.size(), 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            hangUp();
            return -1;
        }
        if (got < 0) {
            return 0;
        }
        const std::span<const std::uint8_t> bytes(raw_.data(), static_cast<std::size_t>(got));
        if (telnetLine()) {
            codec_.receive(bytes, data_, answers_);
            if (!answers_.empty()) {
                queue(answers_);
                answers_.clear();
                flush();
            }
        } else {
            data_.assign(bytes.begin(), bytes.end());
        }
    }
    const auto n = std::min<std::size_t>(data_.size(), static_cast<std::size_t>(maxCount));
    if (n == 0) {
        return 0;  // telnet commands only: nothing for the caller
    }
    std::memcpy(buffer, data_.data(), n);
    data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<std::int64_t>(n);
}

std::int64_t NetPortIo::read(std::uint8_t* buffer, std::int64_t maxCount) {
    if (fd_ < 0) {
        return -1;
    }
    if (!flush()) {
        return -1;
    }
    return receive(buffer, maxCount);
}

std::int64_t NetPortIo::write(const std::uint8_t* data, std::int64_t count) {
    if (fd_ < 0) {
        return -1;
    }
    if (count <= 0) {
        return 0;
    }
    if (!flush()) {
        return -1;
    }
    if (pending_.size() >= kMaxPending) {
        return 0;
    }
    const auto take =
        std::min<std::size_t>(static_cast<std::size_t>(count), kMaxPending - pending_.size());
    const std::span<const std::uint8_t> bytes(data, take);
    if (telnetLine()) {
        Rfc2217Codec::escape(bytes, pending_);
    } else {
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    }
    if (!flush()) {
        return -1;
    }
    return static_cast<std::int64_t>(take);
}

std::uint32_t NetPortIo::outputQueueLength() {
    flush();
    return static_cast<std::uint32_t>(pending_.size());
}

bool NetPortIo::waitForInput(std::uint32_t milliseconds) {
    if (fd_ < 0) {
        return false;
    }
    if (!data_.empty()) {
        return true;
    }
    flush();
    pollfd state{fd_, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&state, 1, static_cast<int>(milliseconds));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return ready > 0;
    }
}

bool NetPortIo::setLineSettings(const LineSettings& settings) {
    if (!isOpen()) {
        return false;
    }
    if (!telnetLine()) {
        return true;  // the server's own settings apply
    }
    std::vector<std::uint8_t> out;
    codec_.setBaudRate(settings.baudRate, out);
    codec_.setDataSize(settings.byteSize, out);
    codec_.setParity(ParityCode(settings.parity), out);
    codec_.setStopSize(StopCode(settings.stopBits), out);
    codec_.setControl(settings.ctsOutputFlow   ? comport::kFlowHardware
                      : settings.xonXoffOutput ? comport::kFlowXonXoff
                                               : comport::kFlowNone,
                      out);
    // The modem lines as a local port leaves them after these settings.
    codec_.setControl(settings.dtrEnabled ? comport::kDtrOn : comport::kDtrOff, out);
    if (!settings.rtsHandshake) {
        codec_.setControl(comport::kRtsOff, out);
    }
    queue(out);
    return flush();
}

bool NetPortIo::changeModemLine(ModemLineChange change) {
    if (!isOpen()) {
        return false;
    }
    if (!telnetLine()) {
        return true;
    }
    std::uint8_t control = comport::kDtrOff;
    switch (change) {
        case ModemLineChange::SetDtr:
            control = comport::kDtrOn;
            break;
        case ModemLineChange::ClearDtr:
            control = comport::kDtrOff;
            break;
        case ModemLineChange::SetRts:
            control = comport::kRtsOn;
            break;
        case ModemLineChange::ClearRts:
            control = comport::kRtsOff;
            break;
    }
    std::vector<std::uint8_t> out;
    codec_.setControl(control, out);
    queue(out);
    return flush();
}

bool NetPortIo::purge(std::uint32_t flags) {
    if (!isOpen()) {
        return false;
    }
    const bool receiveSide = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const bool transmitSide = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    // Queued bytes may hold telnet commands, which must reach the server: they go out, and
    // the server is told to drop what it still holds for the line.
    flush();
    if (receiveSide) {
        // What has arrived so far is dropped, as a local purge drops the input queue.
        std::uint8_t scratch[512];
        pollfd state{fd_, POLLIN, 0};
        while (isOpen() && ::poll(&state, 1, 0) > 0) {
            if (receive(scratch, sizeof scratch) < 0) {
                return false;
            }
            state.fd = fd_;
        }
        data_.clear();
    }
    if (telnetLine() && (receiveSide || transmitSide)) {
        std::vector<std::uint8_t> out;
        codec_.purge(receiveSide && transmitSide ? comport::kPurgeBoth
                     : receiveSide               ? comport::kPurgeReceive
                                                 : comport::kPurgeTransmit,
                     out);
        queue(out);
    }
    return flush();
}

}  // namespace vr7c::net
