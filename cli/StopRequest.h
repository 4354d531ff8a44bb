#pragma once

// Ctrl-C (SIGINT) and SIGTERM ask the repeating commands to stop after the current step.
void InstallStopRequest();
bool StopRequested();
