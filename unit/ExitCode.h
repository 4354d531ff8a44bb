#pragma once

#include <QString>

// The exit codes of vr7c, one per kind of outcome, so that scripts can tell them apart.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,           // anything not listed below
    kExitUsage = 2,             // unknown command or option, bad argument
    kExitPortMissing = 3,       // the port's device does not exist
    kExitPortBusy = 4,          // the port is held by another program
    kExitPortPermission = 5,    // no permission to open the port
    kExitNoReply = 6,           // the module or its bootloader did not answer
    kExitRefused = 7,           // the bootloader answered NACK, or refused the exchange
    kExitMismatch = 8,          // read back or verified bytes differ from those written
    kExitBadFile = 9,           // an image, profile or plan file is unreadable or invalid
    kExitDiffers = 10,          // config diff: the module differs from the profile
    kExitVersionMismatch = 11,  // commission: the firmware version is not the image's
    kExitTestFailed = 12        // test: the unit failed a limit or check
};

// An outcome with its one-line message.
struct Outcome {
    int code = kExitOk;
    QString message;

    bool ok() const { return code == kExitOk; }
    static Outcome Ok() { return {}; }
    static Outcome Fail(int code, QString message) { return {code, std::move(message)}; }
};
