#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vr7c::net {

// Telnet (RFC 854) and its COM port control option (RFC 2217), as a client speaks them.
namespace telnet {
inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kEcho = 1;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPortOption = 44;
}  // namespace telnet

// COM port control commands, client to server; the server answers each with the code + 100.
namespace comport {
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kNotifyLineState = 6;
inline constexpr std::uint8_t kNotifyModemState = 7;
inline constexpr std::uint8_t kFlowControlSuspend = 8;
inline constexpr std::uint8_t kFlowControlResume = 9;
inline constexpr std::uint8_t kSetLineStateMask = 10;
inline constexpr std::uint8_t kSetModemStateMask = 11;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;

// SET-PARITY values.
inline constexpr std::uint8_t kParityNone = 1;
inline constexpr std::uint8_t kParityOdd = 2;
inline constexpr std::uint8_t kParityEven = 3;
inline constexpr std::uint8_t kParityMark = 4;
inline constexpr std::uint8_t kParitySpace = 5;
// SET-STOPSIZE values.
inline constexpr std::uint8_t kStopOne = 1;
inline constexpr std::uint8_t kStopTwo = 2;
inline constexpr std::uint8_t kStopOneAndHalf = 3;
// SET-CONTROL values.
inline constexpr std::uint8_t kFlowNone = 1;
inline constexpr std::uint8_t kFlowXonXoff = 2;
inline constexpr std::uint8_t kFlowHardware = 3;
inline constexpr std::uint8_t kDtrOn = 8;
inline constexpr std::uint8_t kDtrOff = 9;
inline constexpr std::uint8_t kRtsOn = 11;
inline constexpr std::uint8_t kRtsOff = 12;
// PURGE-DATA values.
inline constexpr std::uint8_t kPurgeReceive = 1;
inline constexpr std::uint8_t kPurgeTransmit = 2;
inline constexpr std::uint8_t kPurgeBoth = 3;
}  // namespace comport

// One telnet option as one side of it: which request we send for it (WILL or DO), which
// answers agree or refuse, and where the negotiation stands. Answers that agree to what was
// asked are not answered again, so two sides never loop (RFC 1143's rule, in pyserial's form).
class TelnetOption {
public:
    enum class State : std::uint8_t { Requested, Active, Inactive };

    // `ours`: we offer it (WILL, answered by DO or DONT); otherwise we ask the server for it
    // (DO, answered by WILL or WONT).
    TelnetOption(std::uint8_t option, bool ours) : option_(option), ours_(ours) {}

    std::uint8_t option() const { return option_; }
    State state() const { return state_; }
    bool active() const { return state_ == State::Active; }
    // The request that starts the negotiation (IAC WILL/DO option).
    void request(std::vector<std::uint8_t>& out) const;
    // Handles an incoming WILL, WONT, DO or DONT for this option; false when the command is
    // not about this side of it.
    bool handle(std::uint8_t command, std::vector<std::uint8_t>& out);

private:
    std::uint8_t yes() const;
    std::uint8_t no() const;
    std::uint8_t ackYes() const;
    std::uint8_t ackNo() const;

    std::uint8_t option_;
    bool ours_;
    State state_ = State::Requested;
};

// A COM port setting sent to the server and the value it reports back.
struct ComPortSetting {
    std::vector<std::uint8_t> sent;      // the value as sent (empty: never sent)
    std::vector<std::uint8_t> answered;  // the server's answer (empty: none yet)
    bool confirmed() const { return !sent.empty() && answered == sent; }
};

// The client side of an RFC 2217 connection without any I/O: feed it what the server sent
// and it gives the data bytes (IAC doubling undone, commands taken out) and the bytes to
// answer with; ask it for the frames of COM port commands and for data with IAC doubled.
//
// Bounds: a subnegotiation longer than kMaxSubnegotiation bytes is dropped whole; a
// connection's state is a handful of bytes whatever the server sends.
class Rfc2217Codec {
public:
    static constexpr std::size_t kMaxSubnegotiation = 32;

    Rfc2217Codec();

    // The negotiation a client opens with: WILL BINARY, DO BINARY, WILL SGA, DO SGA,
    // WILL COM-PORT-OPTION.
    void start(std::vector<std::uint8_t>& out) const;
    // Takes received bytes: data goes to the end of `data`, answers to the end of `out`.
    void receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data,
                 std::vector<std::uint8_t>& out);
    // Appends `bytes` as telnet data (each 255 doubled).
    static void escape(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out);

    // COM port commands, appended to `out` as IAC SB COM-PORT-OPTION ... IAC SE.
    void setBaudRate(std::uint32_t baud, std::vector<std::uint8_t>& out);
    void setDataSize(std::uint8_t bits, std::vector<std::uint8_t>& out);
    void setParity(std::uint8_t parity, std::vector<std::uint8_t>& out);
    void setStopSize(std::uint8_t stop, std::vector<std::uint8_t>& out);
    void setControl(std::uint8_t control, std::vector<std::uint8_t>& out);
    void purge(std::uint8_t what, std::vector<std::uint8_t>& out);

    // The server has agreed to COM port control (DO COM-PORT-OPTION).
    bool comPortAgreed() const { return comPort_.active(); }
    // The server has refused it (DONT COM-PORT-OPTION): this is no RFC 2217 server.
    bool comPortRefused() const { return comPort_.state() == TelnetOption::State::Inactive; }
    // The settings as sent and as answered, by command (SET-BAUDRATE to PURGE-DATA).
    const ComPortSetting& setting(std::uint8_t command) const { return settings_.at(command); }
    // The latest line state and modem state the server reported.
    std::optional<std::uint8_t> lineState() const { return lineState_; }
    std::optional<std::uint8_t> modemState() const { return modemState_; }
    // The server asked us to stop sending (FLOWCONTROL-SUSPEND) and has not resumed.
    bool flowSuspended() const { return flowSuspended_; }

private:
    enum class Mode : std::uint8_t { Data, Iac, Negotiation, Sub, SubIac };

    void command(std::uint8_t code, std::span<const std::uint8_t> value,
                 std::vector<std::uint8_t>& out);
    // The byte after an IAC that is not a doubled 255.
    void afterIac(std::uint8_t b);
    void negotiate(std::uint8_t command, std::uint8_t option, std::vector<std::uint8_t>& out);
    void subnegotiation();

    std::array<TelnetOption, 4> options_;
    TelnetOption comPort_;
    std::array<ComPortSetting, comport::kPurgeData + 1> settings_{};
    std::optional<std::uint8_t> lineState_;
    std::optional<std::uint8_t> modemState_;
    bool flowSuspended_ = false;

    Mode mode_ = Mode::Data;
    std::uint8_t negotiation_ = 0;  // the WILL/WONT/DO/DONT whose option byte comes next
    std::array<std::uint8_t, kMaxSubnegotiation> sub_{};
    std::size_t subLength_ = 0;
    bool subOverflow_ = false;
};

}  // namespace vr7c::net
