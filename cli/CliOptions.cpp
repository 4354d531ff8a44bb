#include "CliOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <map>

#include "ExitCode.h"

namespace {

struct CommandInfo {
    const char* synopsis;
    const char* description;
};

const std::map<QString, CommandInfo>& Commands() {
    static const std::map<QString, CommandInfo> commands = {
        {"ports", {"ports", "List the ports COM1 to COM8 with the device each one opens."}},
        {"scan",
         {"scan",
          "Find modules: stations 1 to 16 at 9600, 19200, 38400 and 57600 baud (8E1), in "
          "PC-UART mode, or in PLC-CAN mode with --plc-can, or both with --both-modes. Reports "
          "station, baud rate, mode and firmware version, and the time taken against the line's "
          "own time."}},
        {"read",
         {"read [REG[..REG]]...",
          "Read holding registers (0 to 99; default all), shown with their names and as the "
          "register map reads them (signed where it says so)."}},
        {"watch",
         {"watch",
          "Poll the module and show the six live channels as a refreshing table, or one CSV "
          "line per poll with --csv."}},
        {"write",
         {"write REG=VALUE...",
          "Write registers 30 to 99 (negative values where the register is signed), each "
          "confirmed by reading it back. Values of the configuration block (84 to 96) must lie "
          "in their ranges unless --force is given."}},
        {"config",
         {"config show|save FILE|apply FILE|diff FILE",
          "The configuration block (registers 84 to 96) as a JSON profile: show it, save it, "
          "apply a profile in the console's order (84 upwards, the commit marker 96 last) and "
          "read it back, or list where the module differs from a profile (exit code 10)."}},
        {"flash",
         {"flash [FILE]",
          "Write the carried firmware image, or a .bin or Intel HEX file, through the module's "
          "STM32 bootloader (115200 baud 8E1, after the DTR/RTS sequence). The image must look "
          "like the module's firmware (a vector table with the stack in SRAM and the reset "
          "vector in the image, at most 64 KiB), else it is refused with exit code 9 before "
          "anything is sent, unless --force. --verify reads the flash back, --go starts the new "
          "firmware, --repeat flashes unit after unit and logs each to a CSV file."}},
        {"commission",
         {"commission --profile FILE [--image FILE]",
          "Flash and verify, start the firmware, wait for the module on Modbus at the profile's "
          "station, baud rate and format, check its firmware version, apply the profile and read "
          "it back; one CSV log line per unit."}},
        {"plan",
         {"plan check FILE",
          "Check a production test plan without a module: unknown keys, wrong types, limits the "
          "wrong way round and quantities that do not exist are reported with their line and "
          "column (exit code 9)."}},
        {"records",
         {"records list|show RUN|SERIAL|report RUN|SERIAL --html FILE|export --csv FILE|stats|sync",
          "The records of production test runs: list them (--serial, --since, --result, --plan), "
          "show a run or a unit's runs with every measurement, write a run's certificate (a "
          "unit's newest run) as a printable HTML page, export one CSV row per "
          "measurement, statistics per plan and day (units, first-pass yield, failures by step; "
          "per measurement count, mean, deviation and Cpk), or copy queued runs to the shared "
          "store."}},
        {"test",
         {"test --plan FILE [--serial SN]",
          "Run a production test plan on the unit in each fixture slot (--port once or more), "
          "its serial number from --serial or one line of standard input; every step is "
          "recorded as it ends. PASS, or FAIL (exit code 12), or ERROR (the line's exit code). "
          "--repeat goes on with the next unit."}},
    };
    return commands;
}

QString ExitCodeText() {
    return QStringLiteral(
        "\nExit codes:\n"
        "  0  success\n"
        "  1  other failure\n"
        "  2  usage: unknown command or option, bad argument\n"
        "  3  port missing (no such device; a network line refused, its host unknown or its\n"
        "     connect timed out)\n"
        "  4  port busy (held by another program)\n"
        "  5  port permission denied\n"
        "  6  no reply from the module or its bootloader\n"
        "  7  refused: the bootloader answered NACK, or the module an exception\n"
        "  8  mismatch: read back or verified data differ from what was written\n"
        "  9  bad file: image, profile or plan unreadable or invalid\n"
        " 10  config diff: the module differs from the profile\n"
        " 11  commission: the firmware version is not the image's\n"
        " 12  test: the unit failed a limit or check\n");
}

QCommandLineOption Opt(const QStringList& names, const char* text, const char* value = nullptr,
                       const char* defaultValue = nullptr) {
    QCommandLineOption option(names, QString::fromUtf8(text));
    if (value) {
        option.setValueName(QString::fromUtf8(value));
    }
    if (defaultValue) {
        option.setDefaultValue(QString::fromUtf8(defaultValue));
    }
    return option;
}

bool ParseNumber(const QString& text, long long min, long long max, long long& out) {
    bool ok = false;
    const long long v = text.toLongLong(&ok, 0);
    if (!ok || v < min || v > max) {
        return false;
    }
    out = v;
    return true;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const QStringList& arguments) {
    ParsedCommandLine result;
    auto finish = [&](int code, const QString& text) {
        result.finished = true;
        result.exitCode = code;
        result.text = text;
        return result;
    };
    // The command is the first argument that is not an option.
    QString command;
    for (int i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].startsWith('-')) {
            command = arguments[i];
            break;
        }
    }
    const auto info = Commands().find(command);
    const bool known = info != Commands().end();

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help =
        Opt({"h", "help"}, "Show this help (with a command: its help).");
    const QCommandLineOption version = Opt({"V", "version"}, "Show the program version.");
    parser.addOption(help);
    parser.addOption(version);
    const bool manyPorts = command == QLatin1String("flash") ||
                           command == QLatin1String("commission") ||
                           command == QLatin1String("read") || command == QLatin1String("watch") ||
                           command == QLatin1String("test");
    parser.addOption(Opt({"p", "port"},
                         manyPorts ? "Port COM1..COM8 or a device path (default COM1). Given more "
                                     "than once: one fixture slot per port, all run at once."
                                   : "Port COM1..COM8 or a device path (default COM1).",
                         "COMn|DEVICE", "COM1"));
    parser.addOption(Opt({"b", "baud"},
                         "Modbus baud rate: 9600, 19200, 38400 or 57600 (default 19200).", "RATE",
                         "19200"));
    parser.addOption(Opt({"s", "station"},
                         "Station address 0 to 247 (default 1; the console offers 0 to 16).", "N",
                         "1"));
    parser.addOption(
        Opt({"plc-can"}, "Reach the module through the PLC (register addresses + 2200)."));
    parser.addOption(
        Opt({"json"}, "Machine-readable output: one JSON document on standard output."));
    parser.addOption(Opt({"timeout"}, "Wait at most MS milliseconds for each reply (default 1000).",
                         "MS", "1000"));
    if (command == QLatin1String("watch")) {
        parser.addOption(Opt({"csv"}, "One CSV line per poll instead of the table."));
        parser.addOption(
            Opt({"interval"}, "Poll every MS milliseconds (default 500).", "MS", "500"));
        parser.addOption(
            Opt({"count"}, "Stop after N polls (default: until interrupted).", "N", "0"));
    }
    if (command == QLatin1String("scan")) {
        parser.addOption(Opt({"both-modes"}, "Scan in PC-UART and in PLC-CAN mode."));
    }
    if (command == QLatin1String("write")) {
        parser.addOption(Opt({"force"},
                             "Write configuration-block values (84 to 96) outside their ranges "
                             "too."));
    }
    if (command == QLatin1String("flash") || command == QLatin1String("commission")) {
        if (command == QLatin1String("flash")) {
            parser.addOption(Opt({"verify"}, "Read the flash back and compare it with the image."));
            parser.addOption(Opt({"go"}, "Start the new firmware after writing."));
        } else {
            parser.addOption(Opt({"profile"}, "The JSON profile to apply (required).", "FILE"));
            parser.addOption(Opt({"image"},
                                 "Firmware image (.bin or Intel HEX; default: the carried image).",
                                 "FILE"));
            parser.addOption(Opt({"firmware-version"},
                                 "Version the module must report, e.g. 1.50 (default for the "
                                 "carried image: 1.50; otherwise not checked).",
                                 "X.YY"));
        }
        parser.addOption(Opt({"force"},
                             "Flash an image even if it does not look like firmware for the "
                             "module's STM32 (vector table, size)."));
        parser.addOption(Opt({"reset-pause"},
                             "Pauses of the DTR/RTS sequence that starts the bootloader, in ms "
                             "(default 500, as the console's firmware dialog).",
                             "MS", "500"));
        parser.addOption(
            Opt({"repeat"},
                "After each unit wait for the next one (removed, then a new one answers)."));
        parser.addOption(Opt({"count"}, "With --repeat: stop after N units.", "N", "0"));
        parser.addOption(Opt({"log"},
                             "CSV log to append one line per unit to (default "
                             "vr7c-<command>.csv; for flash only with --repeat). It must be "
                             "writable before the first unit is touched.",
                             "FILE"));
    }
    if (IsProductionCommand(command)) {
        AddProductionOptions(parser, command);
    }
    parser.setApplicationDescription(
        known ? QString::fromUtf8(info->second.description)
              : QStringLiteral("The VR7C-20NP module from the command line: find it, read, watch "
                               "and write its registers, configure it from a JSON profile, flash "
                               "its firmware, commission unit after unit."));
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral(
            "ports, scan, read, watch, write, config, flash, commission, plan, records or test"),
        known ? QString::fromUtf8(info->second.synopsis) : QStringLiteral("<command> [arguments]"));
    if (!parser.parse(arguments)) {
        return finish(kExitUsage, QStringLiteral("vr7c: ") + parser.errorText() +
                                      QStringLiteral("\nTry 'vr7c --help'.\n"));
    }
    if (parser.isSet(version)) {
        return finish(kExitOk,
                      QStringLiteral("vr7c %1\n").arg(QCoreApplication::applicationVersion()));
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(QStringLiteral("Usage: ") + arguments.value(0), QStringLiteral("Usage: vr7c"));
        if (!known) {
            text += QStringLiteral("\nCommands:\n");
            for (const auto& [name, c] : Commands()) {
                text += QStringLiteral("  %1\n").arg(QString::fromUtf8(c.synopsis));
            }
            text += QStringLiteral("\n'vr7c COMMAND --help' describes each command.\n");
        }
        return finish(kExitOk, text + ExitCodeText());
    }
    if (!known) {
        return finish(
            kExitUsage,
            command.isEmpty()
                ? QStringLiteral("vr7c: no command given\nTry 'vr7c --help'.\n")
                : QStringLiteral("vr7c: unknown command '%1'\nTry 'vr7c --help'.\n").arg(command));
    }
    CliOptions& o = result.options;
    o.command = command;
    o.arguments = parser.positionalArguments().mid(1);
    o.ports = parser.values(QStringLiteral("port"));
    o.port = o.ports.value(0);
    if (o.ports.size() > 1 && !manyPorts) {
        return finish(kExitUsage,
                      QStringLiteral("vr7c: %1 takes one --port; flash, commission, read, "
                                     "watch and test take one per fixture slot\n")
                          .arg(command));
    }
    o.plcCan = parser.isSet(QStringLiteral("plc-can"));
    o.json = parser.isSet(QStringLiteral("json"));
    o.timeoutGiven = parser.isSet(QStringLiteral("timeout"));
    long long number = 0;
    auto numberOption = [&](const char* name, long long min, long long max, auto& target) {
        if (!ParseNumber(parser.value(QLatin1String(name)), min, max, number)) {
            finish(kExitUsage, QStringLiteral("vr7c: --%1 must be a number %2 to %3\n")
                                   .arg(QLatin1String(name))
                                   .arg(min)
                                   .arg(max));
            return false;
        }
        target = static_cast<std::remove_reference_t<decltype(target)>>(number);
        return true;
    };
    if (!numberOption("baud", 1200, 115200, o.baud) ||
        !numberOption("station", 0, 247, o.station) ||
        !numberOption("timeout", 1, 600000, o.timeoutMs)) {
        return result;
    }
    if (o.baud != 9600 && o.baud != 19200 && o.baud != 38400 && o.baud != 57600) {
        return finish(kExitUsage,
                      QStringLiteral("vr7c: --baud must be 9600, 19200, 38400 or 57600\n"));
    }
    if (IsProductionCommand(command)) {
        if (const QString why = ReadProductionOptions(parser, command, o.production);
            !why.isEmpty()) {
            return finish(kExitUsage, QStringLiteral("vr7c: %1\n").arg(why));
        }
    }
    if (command == QLatin1String("test")) {
        o.repeat = parser.isSet(QStringLiteral("repeat"));
        if (parser.isSet(QStringLiteral("count")) && !numberOption("count", 0, 1000000, o.count)) {
            return result;
        }
    }
    if (command == QLatin1String("watch") || command == QLatin1String("flash") ||
        command == QLatin1String("commission")) {
        if (!numberOption("count", 0, 1000000, o.count)) {
            return result;
        }
    }
    if (command == QLatin1String("watch")) {
        o.csv = parser.isSet(QStringLiteral("csv"));
        if (!numberOption("interval", 10, 3600000, o.intervalMs)) {
            return result;
        }
    }
    if (command == QLatin1String("scan")) {
        o.bothModes = parser.isSet(QStringLiteral("both-modes"));
    }
    if (command == QLatin1String("write")) {
        o.force = parser.isSet(QStringLiteral("force"));
    }
    if (command == QLatin1String("flash") || command == QLatin1String("commission")) {
        o.repeat = parser.isSet(QStringLiteral("repeat"));
        o.force = parser.isSet(QStringLiteral("force"));
        if (!numberOption("reset-pause", 0, 5000, o.resetPauseMs)) {
            return result;
        }
        // flash logs when asked, or with --repeat; commission always.
        if (parser.isSet(QStringLiteral("log"))) {
            o.log = parser.value(QStringLiteral("log"));
        } else if (o.repeat || command == QLatin1String("commission")) {
            o.log = QStringLiteral("vr7c-%1.csv").arg(command);
        }
        if (command == QLatin1String("flash")) {
            o.verify = parser.isSet(QStringLiteral("verify"));
            o.go = parser.isSet(QStringLiteral("go"));
            if (o.arguments.size() > 1) {
                return finish(kExitUsage, QStringLiteral("vr7c: flash takes at most one file\n"));
            }
            o.image = o.arguments.value(0);
        } else {
            o.profile = parser.value(QStringLiteral("profile"));
            o.image = parser.value(QStringLiteral("image"));
            if (o.profile.isEmpty()) {
                return finish(kExitUsage,
                              QStringLiteral("vr7c: commission needs --profile FILE\n"));
            }
            if (parser.isSet(QStringLiteral("firmware-version"))) {
                bool ok = false;
                const double v = parser.value(QStringLiteral("firmware-version")).toDouble(&ok);
                if (!ok || v < 0 || v > 655.35) {
                    return finish(kExitUsage,
                                  QStringLiteral("vr7c: --firmware-version must look like 1.50\n"));
                }
                o.firmwareVersion = static_cast<int>(v * 100 + 0.5);
            }
        }
    }
    return result;
}
