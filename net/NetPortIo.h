#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "NetAddress.h"
#include "Rfc2217Codec.h"
#include "SerialPortIo.h"
#include "TcpConnect.h"

namespace vr7c::net {

// A network line behind the serial port interface, so that the driver and everything above it
// work on it unchanged. open() takes the line's URL:
// - tcp://HOST:PORT: the bytes go to a serial server as they are; the line settings and the
//   modem lines are the server's, and setting them here changes nothing (it succeeds, as a
//   port without those controls would).
// - rfc2217://HOST:PORT: telnet with COM port control; the line settings, DTR, RTS and purges
//   go to the server, data has its 255s doubled, and the server's notifications are taken in.
// - modbus-tcp://HOST[:PORT]: the bytes go as they are; the port says it carries Modbus
//   TCP, and the master frames its requests and judges its replies as MBAP frames.
// The socket is non-blocking: reads take what has arrived, writes queue what the socket cannot
// take yet and send it as it can. A connection the server closes (or resets) counts as a
// hang-up: the port closes at once and reads and writes nothing after, as a serial port whose
// adapter was pulled.
class NetPortIo final : public SerialPortIo {
public:
    struct Options {
        std::chrono::milliseconds connectLimit = kConnectTimeLimit;
        Resolver resolver = SystemResolve;
    };

    NetPortIo() = default;
    explicit NetPortIo(Options options) : options_(std::move(options)) {}
    ~NetPortIo() override;
    NetPortIo(const NetPortIo&) = delete;
    NetPortIo& operator=(const NetPortIo&) = delete;

    bool open(const char* url) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    int lastOpenError() const override { return openError_; }
    bool setLineSettings(const LineSettings& settings) override;
    bool setQueueSizes(std::uint16_t, std::uint16_t) override { return isOpen(); }
    bool setTimeouts(const CommTimeouts&) override { return isOpen(); }
    bool purge(std::uint32_t flags) override;
    bool changeModemLine(ModemLineChange change) override;
    std::uint32_t outputQueueLength() override;
    std::int64_t write(const std::uint8_t* data, std::int64_t count) override;
    std::int64_t read(std::uint8_t* buffer, std::int64_t maxCount) override;
    int arrivalDescriptor() const override { return fd_; }
    bool hungUp() const override { return hungUp_; }
    bool waitForInput(std::uint32_t milliseconds) override;
    bool carriesModbusTcp() const override {
        return isOpen() && address_.kind == NetKind::ModbusTcp;
    }

    // Why the last open failed (ConnectFailure::None after a good one).
    ConnectFailure lastConnectFailure() const { return ConnectFailureOf(openError_); }
    // The server refused COM port control at the last open of an rfc2217 line.
    bool comPortRefused() const { return comPortRefused_; }
    NetKind kind() const { return address_.kind; }
    // The telnet side of an rfc2217 line (what the server confirmed and reported).
    const Rfc2217Codec& telnet() const { return codec_; }

    // Bounds: what the socket has not taken yet is held up to this many bytes; a write beyond
    // takes nothing, and the driver's send time-out decides.
    static constexpr std::size_t kMaxPending = 64 * 1024;
    // How long open() waits for an RFC 2217 server to agree to COM port control, within the
    // connect limit.
    static constexpr std::chrono::milliseconds kNegotiationLimit{1000};
    // After the connection dropped, opens try for no longer than this until one succeeds: the
    // console tries again every second from its window's thread, which must not stand still
    // for the full connect time each round while the server is away.
    static constexpr std::chrono::milliseconds kRedialLimit{250};

private:
    bool telnetLine() const { return address_.kind == NetKind::Rfc2217; }
    // Sends what is queued, as far as the socket takes it; false once the connection is gone.
    bool flush();
    // Queues bytes that are already telnet-encoded where they need to be.
    void queue(const std::vector<std::uint8_t>& bytes);
    // Reads from the socket into `data` (telnet taken out); -1 once the connection is gone.
    std::int64_t receive(std::uint8_t* buffer, std::int64_t maxCount);
    void hangUp();

    Options options_;
    NetAddress address_;
    int fd_ = -1;
    bool hungUp_ = false;
    int openError_ = 0;
    bool comPortRefused_ = false;
    bool redial_ = false;  // the connection dropped and no open has succeeded since
    Rfc2217Codec codec_;
    std::vector<std::uint8_t> pending_;  // bytes for the socket, oldest first
    std::vector<std::uint8_t> answers_;  // telnet answers, moved to pending_ after each read
    std::vector<std::uint8_t> raw_;      // bytes as read, before telnet is taken out
    std::vector<std::uint8_t> data_;
};

}  // namespace vr7c::net
