#include "Rfc2217Codec.h"

namespace vr7c::net {

using namespace telnet;

std::uint8_t TelnetOption::yes() const {
    return ours_ ? kWill : kDo;
}
std::uint8_t TelnetOption::no() const {
    return ours_ ? kWont : kDont;
}
std::uint8_t TelnetOption::ackYes() const {
    return ours_ ? kDo : kWill;
}
std::uint8_t TelnetOption::ackNo() const {
    return ours_ ? kDont : kWont;
}

void TelnetOption::request(std::vector<std::uint8_t>& out) const {
    out.insert(out.end(), {kIac, yes(), option_});
}

bool TelnetOption::handle(std::uint8_t command, std::vector<std::uint8_t>& out) {
    if (command == ackYes()) {
        // A request we made is granted; one we did not make (after a refusal) is welcome too,
        // and is then answered so that the server knows.
        if (state_ == State::Inactive) {
            out.insert(out.end(), {kIac, yes(), option_});
        }
        state_ = State::Active;
        return true;
    }
    if (command == ackNo()) {
        // Refused, or withdrawn: a withdrawal is acknowledged, a refusal is not answered.
        if (state_ == State::Active) {
            out.insert(out.end(), {kIac, no(), option_});
        }
        state_ = State::Inactive;
        return true;
    }
    return false;
}

Rfc2217Codec::Rfc2217Codec()
    : options_{TelnetOption(kBinary, true), TelnetOption(kBinary, false),
               TelnetOption(kSuppressGoAhead, true), TelnetOption(kSuppressGoAhead, false)},
      comPort_(kComPortOption, true) {}

void Rfc2217Codec::start(std::vector<std::uint8_t>& out) const {
    for (const TelnetOption& option : options_) {
        option.request(out);
    }
    comPort_.request(out);
}

void Rfc2217Codec::escape(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out) {
    for (const std::uint8_t b : bytes) {
        out.push_back(b);
        if (b == kIac) {
            out.push_back(kIac);
        }
    }
}

void Rfc2217Codec::receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data,
                           std::vector<std::uint8_t>& out) {
    for (const std::uint8_t b : bytes) {
        switch (mode_) {
            case Mode::Data:
                if (b == kIac) {
                    mode_ = Mode::Iac;
                } else {
                    data.push_back(b);
                }
                break;
            case Mode::Iac:
                if (b == kIac) {
                    data.push_back(b);  // a doubled 255 is one data byte
                    mode_ = Mode::Data;
                } else {
                    afterIac(b);
                }
                break;
            case Mode::Negotiation:
                negotiate(negotiation_, b, out);
                mode_ = Mode::Data;
                break;
            case Mode::Sub:
                if (b == kIac) {
                    mode_ = Mode::SubIac;
                } else if (subLength_ < sub_.size()) {
                    sub_[subLength_++] = b;
                } else {
                    subOverflow_ = true;
                }
                break;
            case Mode::SubIac:
                if (b == kIac) {
                    // A doubled 255 inside the subnegotiation is one value byte.
                    if (subLength_ < sub_.size()) {
                        sub_[subLength_++] = b;
                    } else {
                        subOverflow_ = true;
                    }
                    mode_ = Mode::Sub;
                } else if (b == kSe) {
                    if (!subOverflow_) {
                        subnegotiation();
                    }
                    mode_ = Mode::Data;
                } else {
                    // A command inside an unfinished subnegotiation: the subnegotiation is
                    // dropped and the command is taken as it stands.
                    afterIac(b);
                }
                break;
        }
    }
}

void Rfc2217Codec::afterIac(std::uint8_t b) {
    if (b == kWill || b == kWont || b == kDo || b == kDont) {
        negotiation_ = b;
        mode_ = Mode::Negotiation;
    } else if (b == kSb) {
        subLength_ = 0;
        subOverflow_ = false;
        mode_ = Mode::Sub;
    } else {
        mode_ = Mode::Data;  // NOP, GA, AYT and the like carry nothing for us
    }
}

void Rfc2217Codec::negotiate(std::uint8_t command, std::uint8_t option,
                             std::vector<std::uint8_t>& out) {
    if (option == kComPortOption && comPort_.handle(command, out)) {
        return;
    }
    for (TelnetOption& known : options_) {
        if (known.option() == option && known.handle(command, out)) {
            return;
        }
    }
    // Anything else is refused; refusals of what we never asked for need no answer.
    if (command == kWill) {
        out.insert(out.end(), {kIac, kDont, option});
    } else if (command == kDo) {
        out.insert(out.end(), {kIac, kWont, option});
    }
}

void Rfc2217Codec::subnegotiation() {
    if (subLength_ < 2 || sub_[0] != kComPortOption) {
        return;
    }
    const std::uint8_t code = sub_[1];
    const std::span<const std::uint8_t> value(sub_.data() + 2, subLength_ - 2);
    if (code < comport::kServerOffset) {
        return;  // a server's request to us: we are no access server
    }
    const auto command = static_cast<std::uint8_t>(code - comport::kServerOffset);
    switch (command) {
        case comport::kNotifyLineState:
            if (!value.empty()) {
                lineState_ = value[0];
            }
            return;
        case comport::kNotifyModemState:
            if (!value.empty()) {
                modemState_ = value[0];
            }
            return;
        case comport::kFlowControlSuspend:
            flowSuspended_ = true;
            return;
        case comport::kFlowControlResume:
            flowSuspended_ = false;
            return;
        default:
            if (command >= comport::kSetBaudRate && command < settings_.size()) {
                settings_[command].answered.assign(value.begin(), value.end());
            }
            return;
    }
}

void Rfc2217Codec::command(std::uint8_t code, std::span<const std::uint8_t> value,
                           std::vector<std::uint8_t>& out) {
    if (code < settings_.size()) {
        settings_[code].sent.assign(value.begin(), value.end());
        settings_[code].answered.clear();
    }
    out.insert(out.end(), {kIac, kSb, kComPortOption, code});
    escape(value, out);
    out.insert(out.end(), {kIac, kSe});
}

void Rfc2217Codec::setBaudRate(std::uint32_t baud, std::vector<std::uint8_t>& out) {
    const std::uint8_t value[4] = {
        static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
        static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)};
    command(comport::kSetBaudRate, value, out);
}

void Rfc2217Codec::setDataSize(std::uint8_t bits, std::vector<std::uint8_t>& out) {
    command(comport::kSetDataSize, std::span(&bits, 1), out);
}

void Rfc2217Codec::setParity(std::uint8_t parity, std::vector<std::uint8_t>& out) {
    command(comport::kSetParity, std::span(&parity, 1), out);
}

void Rfc2217Codec::setStopSize(std::uint8_t stop, std::vector<std::uint8_t>& out) {
    command(comport::kSetStopSize, std::span(&stop, 1), out);
}

void Rfc2217Codec::setControl(std::uint8_t control, std::vector<std::uint8_t>& out) {
    command(comport::kSetControl, std::span(&control, 1), out);
}

void Rfc2217Codec::purge(std::uint8_t what, std::vector<std::uint8_t>& out) {
    command(comport::kPurgeData, std::span(&what, 1), out);
}

}  // namespace vr7c::net
