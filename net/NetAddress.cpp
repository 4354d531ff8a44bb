#include "NetAddress.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace vr7c::net {
namespace {

struct Scheme {
    std::string_view name;
    NetKind kind;
};

constexpr Scheme kSchemes[] = {
    {"tcp", NetKind::RawTcp},
    {"rfc2217", NetKind::Rfc2217},
    {"modbus-tcp", NetKind::ModbusTcp},
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<NetKind> SchemeOf(std::string_view text, std::string_view* rest) {
    const auto colon = text.find("://");
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    for (const Scheme& s : kSchemes) {
        if (EqualsIgnoringCase(text.substr(0, colon), s.name)) {
            *rest = text.substr(colon + 3);
            return s.kind;
        }
    }
    return std::nullopt;
}

bool ValidHostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

}  // namespace

bool LooksLikeNetAddress(std::string_view text) {
    std::string_view rest;
    return SchemeOf(text, &rest).has_value();
}

std::optional<NetAddress> ParseNetAddress(std::string_view text) {
    NetAddress address;
    std::string_view rest;
    const std::optional<NetKind> kind = SchemeOf(text, &rest);
    if (!kind) {
        return std::nullopt;
    }
    address.kind = *kind;
    std::string_view host;
    std::string_view port;
    if (rest.starts_with('[')) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        host = rest.substr(1, close - 1);
        rest.remove_prefix(close + 1);
        if (host.empty() || !std::all_of(host.begin(), host.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
            })) {
            return std::nullopt;
        }
        if (!rest.empty() && !rest.starts_with(':')) {
            return std::nullopt;
        }
        port = rest.empty() ? rest : rest.substr(1);
        if (!rest.empty() && port.empty()) {
            return std::nullopt;
        }
    } else {
        const auto colon = rest.rfind(':');
        host = colon == std::string_view::npos ? rest : rest.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = rest.substr(colon + 1);
            if (port.empty()) {
                return std::nullopt;
            }
        }
        if (host.empty() || !std::all_of(host.begin(), host.end(), ValidHostCharacter)) {
            return std::nullopt;
        }
    }
    if (port.empty()) {
        if (address.kind != NetKind::ModbusTcp) {
            return std::nullopt;  // a serial server has no usual port
        }
        address.port = kModbusTcpDefaultPort;
    } else {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535) {
            return std::nullopt;
        }
        address.port = static_cast<std::uint16_t>(value);
    }
    address.host = std::string(host);
    return address;
}

bool IsModbusTcpAddress(std::string_view text) {
    std::string_view rest;
    return SchemeOf(text, &rest) == NetKind::ModbusTcp;
}

std::string_view SchemeName(NetKind kind) {
    for (const Scheme& s : kSchemes) {
        if (s.kind == kind) {
            return s.name;
        }
    }
    return "tcp";
}

std::string FormatNetAddress(const NetAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return std::string(SchemeName(address.kind)) + "://" + (v6 ? "[" : "") + address.host +
           (v6 ? "]" : "") + ":" + std::to_string(address.port);
}

}  // namespace vr7c::net
