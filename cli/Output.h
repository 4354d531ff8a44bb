#pragma once

#include <QJsonObject>
#include <QString>

#include "ExitCode.h"

// Where vr7c's results and messages go: text for people, or JSON with --json. Results go to
// standard output, messages and progress to standard error. Every write is one whole line or
// text under one lock, so that the slots of a fixture, each on its own thread, never mix their
// lines.
class Output {
public:
    explicit Output(bool json) : json_(json) {}

    // The output of one fixture slot: its JSON documents carry "port", and with `prefixed` its
    // text lines and messages start with "PORT: ".
    Output ForSlot(const QString& port, bool prefixed) const;

    bool json() const { return json_; }
    bool prefixed() const { return !prefix_.isEmpty(); }
    // A line of the text output (not shown with --json).
    void Line(const QString& text) const;
    // Text written as it is, without a line end (tables that refresh, progress bars).
    void Raw(const QString& text) const;
    // A line of progress or information on standard error.
    void Note(const QString& text) const;
    // A failure's one line on standard error: "vr7c: ", the slot's port, the text.
    void Error(const QString& text) const;
    // The JSON result (with --json), with "ok": true added.
    void Result(QJsonObject result) const;
    // Reports the outcome of a command and gives its exit code: failures as one line on
    // standard error, and with --json also as {"ok": false, "exit_code", "error"} added to
    // `document` (what the command found before it failed).
    int Finish(const Outcome& outcome, QJsonObject document = {}) const;
    // With --json, a document as it is (one line), with "port" added for a slot.
    void Document(QJsonObject document) const;
    // True when standard error is a terminal (progress bars, refreshing tables).
    static bool Terminal(int fd);

private:
    bool json_;
    QString port_;
    QString prefix_;
};
