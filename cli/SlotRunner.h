#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

#include "ExitCode.h"
#include "LinePort.h"

class Output;

// The slots of a production fixture: one port each, all run at once in this process, a thread
// per slot, each with its own line. A slot runs a job unit after unit; what one slot meets
// (a failure, a port that goes away) never stops or touches the others.

// What one unit on one slot came to.
struct UnitResult {
    Outcome outcome;
    bool seen = false;      // a unit answered on the port; with repeat only seen units count
    bool last = false;      // no unit can follow (its input has ended): with repeat the slot
                            // ends here, and this result is not a unit
    QString line;           // the text result when the unit succeeded
    QJsonObject record;     // its JSON record, for a failure too (the runner adds "ok",
                            // "port", "unit", "exit_code" and "error")
    QStringList logFields;  // the log line's fields after the time and the port
};

// The same job on every slot.
struct SlotJob {
    // One unit on the slot's port, on the slot's thread, with the slot's output (lines that
    // name the slot). Everything it changes must be its own.
    std::function<UnitResult(const PortChoice& port, const Output& out)> unit;
    // With repeat: whether the finished unit still answers on the port (then it is waited for
    // to be removed before the next is taken).
    std::function<bool(const PortChoice& port)> present;
    // The unit writes its results itself (watch's polls): the runner adds no record or line
    // for a unit that succeeded, only its failures and, with several slots, the summary.
    bool ownResults = false;
    bool repeat = false;
    int count = 0;      // with repeat: units per slot; 0 = until Ctrl-C
    QString log;        // CSV file for one line per unit; empty: none
    QString logHeader;  // its header, from "time,port" on
};

// Runs the job on every port at once. The log is opened before any unit is touched (exit 9 when
// it cannot be written); a line that cannot be written fails the run and ends it after the
// units under way. With --json and repeat or more than one port: one JSON document per unit as
// it finishes and a summary document at the end. Gives the worst slot's exit code: 0 when every
// slot succeeded, else the highest of their codes (a repeating slot gives its worst unit's).
// COM numbers are resolved through `lookup`.
int RunSlots(const QStringList& ports, const SlotJob& job, const Output& out,
             const SerialDeviceResolver& lookup = {});
