#pragma once

#include <QJsonObject>
#include <QString>

#include "ExitCode.h"

// Where vr7c's results and messages go: text for people, or one JSON document with --json.
// Results go to standard output, messages and progress to standard error.
class Output {
public:
    explicit Output(bool json) : json_(json) {}

    bool json() const { return json_; }
    // A line of the text output (not shown with --json).
    void Line(const QString& text) const;
    // Text written as it is, without a line end (tables that refresh, progress bars).
    void Raw(const QString& text) const;
    // A line of progress or information on standard error.
    void Note(const QString& text) const;
    // The JSON result (with --json), with "ok": true added.
    void Result(QJsonObject result) const;
    // Reports the outcome of a command and gives its exit code: failures as one line on
    // standard error, and with --json also as {"ok": false, "exit_code", "error"}.
    int Finish(const Outcome& outcome) const;
    // True when standard error is a terminal (progress bars, refreshing tables).
    static bool Terminal(int fd);

private:
    bool json_;
};
