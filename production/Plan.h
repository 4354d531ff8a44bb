#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "Quantity.h"

// A production test plan: a name and revision, what the unit must be, and steps run in order.
// Written by hand as TOML; files it names are relative to the plan's own file.

enum class StepKind { Flash, Config, Write, Wait, Prompt, Command, Measure };

const char* StepKindName(StepKind kind);

// The key code (Qt::Key) of a prompt's key by its name ("F12", "Pause", "ScrollLock",
// "Insert", "PageUp", "PageDown"); none for any other name.
std::optional<int> PromptKeyCode(const QString& name);
// The names a prompt's key may have, as a message lists them.
QStringList PromptKeyNames();

// One named limit check of a measure step, in the quantity's unit.
struct Limits {
    double low = 0;
    double high = 0;
    std::optional<double> spread;       // largest max - min over the samples
    std::optional<double> marginalLow;  // inside the limits but near them: MARGINAL
    std::optional<double> marginalHigh;
};

struct PlanStep {
    StepKind kind = StepKind::Wait;
    QString name;
    int line = 0;  // where the step's table starts in the plan, for messages
    // flash: the image (empty: the carried one); config: the profile.
    QString file;
    // write
    int reg = 0;
    int value = 0;
    // wait: milliseconds; command: time-out in milliseconds
    int ms = 0;
    // prompt: the text, and the key (besides the window's button) that confirms it: a foot
    // switch's, as PromptKeyCode knows it; empty: none
    QString text;
    QString key;
    // command: program and arguments
    QStringList argv;
    // measure, after `channels` has been spread into one step per channel
    Quantity quantity;
    int samples = 1;
    Limits limits;
    QString unit;
};

// What the unit must be, checked once the plan's flash and config steps are done.
struct PlanExpect {
    std::optional<int> station;
    std::optional<int> rate;
    std::optional<int> mode;             // register 86: 0 thermocouple, 1 PT100, 2 load cell
    std::optional<int> firmwareVersion;  // register 11: version x 100
};

struct Plan {
    QString name;
    QString revision;
    bool continueOnFail = false;
    PlanExpect expect;
    std::vector<PlanStep> steps;
    QString path;       // the plan's file, when read from one
    QString sha256;     // of the text the plan was read from, in hex: what the runs record
    QStringList files;  // every file the steps name, resolved against the plan's folder
};

struct PlanError {
    int line = 0;
    int column = 0;
    QString message;
    // "FILE:LINE:COLUMN: message"
    QString Text(const QString& file) const;
};

// Reads a plan from its text. `path` names the plan's file: files the plan names are taken
// relative to its folder and must exist. Unknown keys, wrong types, limits the wrong way
// round and quantities that do not exist are errors with their line and column.
std::optional<Plan> ParsePlan(const QByteArray& text, const QString& path, PlanError* error);

// Reads the file and parses it.
std::optional<Plan> ReadPlanFile(const QString& path, PlanError* error);
