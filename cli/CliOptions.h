#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

#include "LineOptions.h"
#include "ProductionOptions.h"

// Everything vr7c was told on its command line: the line (port, station, mode, time-out) and
// the rest.
struct CliOptions : LineOptions {
    QString command;        // ports, scan, read, watch, write, config, flash, commission
    QStringList arguments;  // the command's own positional arguments
    // flash, commission, read, watch: every --port given, one fixture slot each
    QStringList ports{QStringLiteral("COM1")};
    std::uint32_t baud = 19200;
    bool json = false;
    bool timeoutGiven = false;  // scan: the probe's wait comes from the line unless given
    // watch
    bool csv = false;
    std::uint32_t intervalMs = 500;
    int count = 0;  // watch: polls; flash/commission --repeat: units; 0 = no limit
    // scan
    bool bothModes = false;
    // write: values outside the configuration block's ranges too; flash, commission: an image
    // that does not look like the module's firmware
    bool force = false;
    // flash, commission
    bool verify = false;
    bool go = false;
    bool repeat = false;
    std::uint32_t resetPauseMs = 500;
    QString log;
    QString profile;
    QString image;
    int firmwareVersion = -1;      // version x 100 the module must report after commissioning
    ProductionOptions production;  // plan, records, test
};

struct ParsedCommandLine {
    CliOptions options;
    // Set when the program should end at once: the text to print and the exit code (help
    // and version to standard output with 0, errors to standard error with kExitUsage).
    bool finished = false;
    int exitCode = 0;
    QString text;
};

ParsedCommandLine ParseCommandLine(const QStringList& arguments);
