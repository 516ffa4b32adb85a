#pragma once
// A limit on the last part of the exit, after the orderly shutdown has written every file.
//
// What remains then is the libraries tearing themselves down, and one of them can wait without
// end: Qt's D-Bus connection thread, while it waits for a session bus that took the connection
// but never answers, is waited for at exit with no time limit. Past the deadline the process ends
// with the exit code it was going to return.

#include <chrono>

inline constexpr std::chrono::milliseconds ExitDeadline{2000};

// Starts the clock; call once, when nothing is left to save.
void armExitDeadline(int exitCode, std::chrono::milliseconds limit = ExitDeadline);
