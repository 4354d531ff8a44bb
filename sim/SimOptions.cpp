#include "SimOptions.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

namespace vr7c::sim {
namespace {

// A whole number in decimal or, with 0x, hexadecimal; the whole text must be the number.
std::optional<std::int64_t> parseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<double> parseNumber(std::string_view text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<Micros> parseMillis(std::string_view text, double max) {
    const std::optional<double> ms = parseNumber(text);
    if (!ms || *ms < 0 || *ms > max) {
        return std::nullopt;
    }
    return static_cast<Micros>(std::llround(*ms * static_cast<double>(kMicrosPerMilli)));
}

// 24 hexadecimal digits, the first two the lowest-addressed byte.
std::optional<ChipUid> parseChipUid(std::string_view text) {
    ChipUid id{};
    if (text.size() != 2 * id.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < id.size(); ++i) {
        const char* first = text.data() + 2 * i;
        const auto [ptr, ec] = std::from_chars(first, first + 2, id[i], 16);
        if (ec != std::errc() || ptr != first + 2) {
            return std::nullopt;
        }
    }
    return id;
}

}  // namespace

std::unique_ptr<SimModule> SimOptions::makeModule() const {
    ModuleConfig config;
    config.baud = baud;
    config.seed = seed;
    config.slave.station = station;
    config.slave.plcCan = plcCan;
    config.slave.latency = latency;
    config.slave.slowDelay = slowDelay;
    config.slave.splitGapMin = splitGapMin;
    config.slave.splitGapMax = splitGapMax;
    config.slave.partialEchoBytes = partialEchoBytes;
    config.slave.exceptionCode = exceptionCode;
    auto module = std::make_unique<SimModule>(config);
    for (const auto& [reg, value] : presets) {
        module->model().hold(reg, value);
    }
    for (const FaultSetting& fault : faults) {
        module->faults().setPercent(fault.kind, fault.percent);
    }
    for (const auto& [channel, input] : inputs) {
        module->model().setInput(channel, input);
    }
    module->model().setFrozen(frozen);
    if (bootloaderFactory) {
        module->installBootloader(bootloaderFactory());
        if (auto* stm32 = dynamic_cast<Stm32Bootloader*>(module->bootloader())) {
            stm32->setUniqueId(chipUid());
        }
    }
    return module;
}

ChipUid SimOptions::chipUid() const {
    if (uid) {
        return *uid;
    }
    // Units started with different seeds are different chips.
    SimRandom random(seed ^ 0xC41D0000C41D0000ull);
    ChipUid id{};
    for (std::uint8_t& byte : id) {
        byte = static_cast<std::uint8_t>(random.next());
    }
    return id;
}

std::string usageText() {
    return R"(Usage: vr7c-sim [OPTION]...
Plays a VR7C-20NP six-channel analogue input module (Modbus RTU slave) on a pseudo-terminal it
creates, or on a serial device. The pseudo-terminal's path is printed on the first line of
standard output. Runs until SIGINT or SIGTERM.

  --link PATH          also make a symbolic link PATH to the pseudo-terminal (removed at exit)
  --device PATH        use this serial device (set to 8E1) instead of a pseudo-terminal
  --station N          station address, 0 to 247 (default 1)
  --baud N             the module's RS-485 rate (default 57600); where the line's rate can be
                       read (a pseudo-terminal), requests at another rate are not answered.
                       A configuration commit (register 96 = 59881) takes the new station,
                       rate (register 92) and frame format (register 95) after its echo
  --latency MS         delay from a request's end to the reply (default 2)
  --reg N=V            preset register N (0 to 99) to V (0 to 65535, or -32768 to -1) and hold
                       it there; repeatable
  --plc-can            bridge mode: registers at addresses 2200 to 2299 (PLC-CAN)
  --fault KIND[:PCT]   inject a fault into PCT percent of replies (default 100); repeatable.
                       KIND: drop, badcrc, split, noise-before, noise-after, partial-echo,
                       exception, silence, slow
  --split-gap MIN-MAX  gaps between the pieces of a split reply, ms (default 20-80)
  --slow MS            extra delay of a slow reply (default 200)
  --partial-echo N     bytes of a partial write echo (default 5)
  --exception-code N   code of an injected exception reply (default 4)
  --seed N             seed for the faults, the simulated values and the chip ID (default 1)
  --uid HEX            the chip's 96-bit unique ID, 24 hexadecimal digits (default: from
                       the seed)
  --frozen             keep the measured values still
  --input CH=VALUE[~NOISE]  a fixture's reference on channel CH: VALUE mV (ohm in PT100 mode),
                       with NOISE of standard deviation added; CH=dead reads nothing;
                       CH=stuck-output leaves the output off whatever its set point
  --tcp HOST:PORT      also serve the line over TCP, raw RTU bytes as a serial server passes
                       them (one client at a time; port 0: any free port, printed)
  --modbus-tcp HOST:PORT
                       also answer Modbus TCP as a gateway in front of the line (unit id =
                       the station; a unit that stays silent gets exception 0x0B)
  --allow-remote       let --tcp and --modbus-tcp listen on an address other than loopback
  --help               show this help and exit
)";
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine result;
    SimOptions& o = result.options;
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::string_view value;
        bool hasInlineValue = false;
        if (arg.starts_with("--")) {
            if (const auto eq = arg.find('='); eq != std::string_view::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInlineValue = true;
            }
        }
        auto needValue = [&]() -> bool {
            if (hasInlineValue) {
                return true;
            }
            if (i + 1 >= args.size()) {
                return false;
            }
            value = args[++i];
            return true;
        };

        if (arg == "--help" || arg == "-h") {
            result.help = true;
            return result;
        }
        if (arg == "--plc-can") {
            if (hasInlineValue) {
                return fail("--plc-can takes no value");
            }
            o.plcCan = true;
            continue;
        }
        if (arg == "--allow-remote") {
            if (hasInlineValue) {
                return fail("--allow-remote takes no value");
            }
            o.allowRemote = true;
            continue;
        }
        if (arg == "--frozen") {
            if (hasInlineValue) {
                return fail("--frozen takes no value");
            }
            o.frozen = true;
            continue;
        }
        const bool known = arg == "--link" || arg == "--device" || arg == "--station" ||
                           arg == "--baud" || arg == "--latency" || arg == "--reg" ||
                           arg == "--fault" || arg == "--seed" || arg == "--uid" ||
                           arg == "--split-gap" || arg == "--slow" || arg == "--partial-echo" ||
                           arg == "--exception-code" || arg == "--tcp" || arg == "--modbus-tcp" ||
                           arg == "--input";
        if (!known) {
            return fail("unknown argument '" + std::string(args[i]) + "'");
        }
        if (!needValue()) {
            return fail(std::string(arg) + " needs a value");
        }
        const std::string shown = std::string(arg) + " " + std::string(value);

        if (arg == "--link") {
            if (value.empty()) {
                return fail("--link needs a path");
            }
            o.link = value;
        } else if (arg == "--device") {
            if (value.empty()) {
                return fail("--device needs a path");
            }
            o.device = value;
        } else if (arg == "--tcp" || arg == "--modbus-tcp") {
            const auto address = parseListenAddress(std::string(value));
            if (!address) {
                return fail(shown + ": expected a numeric HOST:PORT, e.g. 127.0.0.1:5020");
            }
            (arg == "--tcp" ? o.tcp : o.modbusTcp) = address;
        } else if (arg == "--station") {
            const auto n = parseInteger(value);
            if (!n || *n < 0 || *n > 247) {
                return fail(shown + ": station must be 0 to 247");
            }
            o.station = static_cast<std::uint8_t>(*n);
        } else if (arg == "--baud") {
            const auto n = parseInteger(value);
            if (!n || *n < 50 || *n > 4'000'000) {
                return fail(shown + ": baud must be 50 to 4000000");
            }
            o.baud = static_cast<std::uint32_t>(*n);
        } else if (arg == "--latency") {
            const auto us = parseMillis(value, 10'000);
            if (!us) {
                return fail(shown + ": latency must be 0 to 10000 ms");
            }
            o.latency = *us;
        } else if (arg == "--slow") {
            const auto us = parseMillis(value, 60'000);
            if (!us) {
                return fail(shown + ": delay must be 0 to 60000 ms");
            }
            o.slowDelay = *us;
        } else if (arg == "--split-gap") {
            const auto dash = value.find('-');
            std::optional<Micros> lo;
            std::optional<Micros> hi;
            if (dash == std::string_view::npos) {
                lo = hi = parseMillis(value, 60'000);
            } else {
                lo = parseMillis(value.substr(0, dash), 60'000);
                hi = parseMillis(value.substr(dash + 1), 60'000);
            }
            if (!lo || !hi || *lo > *hi) {
                return fail(shown + ": expected MIN-MAX in ms, MIN <= MAX");
            }
            o.splitGapMin = *lo;
            o.splitGapMax = *hi;
        } else if (arg == "--partial-echo") {
            const auto n = parseInteger(value);
            if (!n || *n < 0 || *n > 7) {
                return fail(shown + ": must be 0 to 7 bytes");
            }
            o.partialEchoBytes = static_cast<int>(*n);
        } else if (arg == "--exception-code") {
            const auto n = parseInteger(value);
            if (!n || *n < 1 || *n > 255) {
                return fail(shown + ": must be 1 to 255");
            }
            o.exceptionCode = static_cast<std::uint8_t>(*n);
        } else if (arg == "--seed") {
            const auto n = parseInteger(value);
            if (!n || *n < 0) {
                return fail(shown + ": seed must be a non-negative number");
            }
            o.seed = static_cast<std::uint64_t>(*n);
        } else if (arg == "--uid") {
            o.uid = parseChipUid(value);
            if (!o.uid) {
                return fail(shown + ": expected 24 hexadecimal digits");
            }
        } else if (arg == "--input") {
            // CH=VALUE[~NOISE], CH=dead or CH=stuck-output
            const auto eq = value.find('=');
            const auto channel = parseInteger(value.substr(0, eq));
            if (eq == std::string_view::npos || !channel || *channel < 0 ||
                *channel >= kChannelCount) {
                return fail(shown +
                            ": expected CH=VALUE[~NOISE], CH=dead or CH=stuck-output, "
                            "CH 0 to 5");
            }
            const std::string_view what = value.substr(eq + 1);
            ChannelInput input;
            if (what == "dead") {
                input.dead = true;
            } else if (what == "stuck-output") {
                input.stuckOutput = true;
            } else {
                const auto tilde = what.find('~');
                const auto reference = parseNumber(what.substr(0, tilde));
                const auto noise = tilde == std::string_view::npos
                                       ? std::optional<double>(0.0)
                                       : parseNumber(what.substr(tilde + 1));
                if (!reference || !noise || *noise < 0 || std::abs(*reference) > 20000) {
                    return fail(shown +
                                ": the input must be a number (mV or ohm, up to 20000), "
                                "with ~NOISE not negative");
                }
                input.reference = *reference;
                input.noise = *noise;
            }
            o.inputs.emplace_back(static_cast<int>(*channel), input);
        } else if (arg == "--reg") {
            const auto eq = value.find('=');
            if (eq == std::string_view::npos) {
                return fail(shown + ": expected N=V");
            }
            const auto reg = parseInteger(value.substr(0, eq));
            const auto v = parseInteger(value.substr(eq + 1));
            if (!reg || *reg < 0 || *reg >= kModuleRegisterCount) {
                return fail(shown + ": register must be 0 to 99");
            }
            if (!v || *v < -32768 || *v > 65535) {
                return fail(shown + ": value must be 0 to 65535 (or -32768 to -1)");
            }
            o.presets.emplace_back(static_cast<int>(*reg), static_cast<std::uint16_t>(*v & 0xFFFF));
        } else if (arg == "--fault") {
            const auto colon = value.find(':');
            const auto kind = faultFromName(value.substr(0, colon));
            if (!kind) {
                return fail(shown +
                            ": unknown fault; use drop, badcrc, split, noise-before, "
                            "noise-after, partial-echo, exception, silence or slow");
            }
            double percent = 100.0;
            if (colon != std::string_view::npos) {
                const auto p = parseNumber(value.substr(colon + 1));
                if (!p || *p < 0 || *p > 100) {
                    return fail(shown + ": percentage must be 0 to 100");
                }
                percent = *p;
            }
            o.faults.push_back({*kind, percent});
        }
    }
    if (o.tcp && o.modbusTcp) {
        return fail("--tcp and --modbus-tcp cannot share the line; give one of them");
    }
    for (const auto& address : {o.tcp, o.modbusTcp}) {
        if (address && !o.allowRemote && !isLoopback(address->host)) {
            return fail(address->host +
                        " is not a loopback address; add --allow-remote to "
                        "listen there");
        }
    }
    return result;
}

}  // namespace vr7c::sim
