#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vr7c::net {

// The three kinds of network line a port name can stand for.
enum class NetKind : std::uint8_t {
    RawTcp,     // tcp://HOST:PORT: the bytes as on the wire, line settings are the server's
    Rfc2217,    // rfc2217://HOST:PORT: telnet with COM-port control
    ModbusTcp,  // modbus-tcp://HOST[:PORT]: MBAP framing to a gateway or native device
};

inline constexpr std::uint16_t kModbusTcpDefaultPort = 502;

struct NetAddress {
    NetKind kind = NetKind::RawTcp;
    std::string host;  // a name or a numeric address, without the brackets of an IPv6 one
    std::uint16_t port = 0;

    bool operator==(const NetAddress&) const = default;
};

// Reads "tcp://HOST:PORT", "rfc2217://HOST:PORT" or "modbus-tcp://HOST[:PORT]" (an IPv6
// address in brackets, "[::1]:4001"). The scheme is not case sensitive; nothing may follow
// the port. Nothing for any other text, so that device paths pass on untouched.
std::optional<NetAddress> ParseNetAddress(std::string_view text);
// True when the text starts with one of the three schemes, whether or not the rest is valid:
// such a text is never a device path.
bool LooksLikeNetAddress(std::string_view text);
// The address written back in the form ParseNetAddress reads.
std::string FormatNetAddress(const NetAddress& address);
// True for a modbus-tcp:// URL: a line that carries Modbus requests only, so no bootloader
// can be reached through it.
bool IsModbusTcpAddress(std::string_view text);
// What the kind is called in its URL ("tcp", "rfc2217", "modbus-tcp").
std::string_view SchemeName(NetKind kind);

}  // namespace vr7c::net
