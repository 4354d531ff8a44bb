#pragma once

#include "CliOptions.h"

class Output;

// Runs the command the options name and gives the exit code.
int RunCommand(const CliOptions& options);

int RunPorts(const CliOptions& options, const Output& out);
int RunScan(const CliOptions& options, const Output& out);
int RunRead(const CliOptions& options, const Output& out);
int RunWatch(const CliOptions& options, const Output& out);
int RunWrite(const CliOptions& options, const Output& out);
int RunConfig(const CliOptions& options, const Output& out);
int RunFlash(const CliOptions& options, const Output& out);
int RunCommission(const CliOptions& options, const Output& out);
int RunPlan(const CliOptions& options, const Output& out);
int RunRecords(const CliOptions& options, const Output& out);
int RunTest(const CliOptions& options, const Output& out);
