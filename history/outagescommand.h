#pragma once
// The command line's outage report, run without a display:
//
//   sorvelo --outages [--since 24h|30m|7d|2026-12-01|2026-12-01T08:00] [--format csv|json]
//                     [--hosts FILE] [--config FILE]
//
// It reads the results database next to the hosts file (from the settings, or the folder of --hosts
// FILE), prints every outage since the given time to `out` (CSV with a header line, or a JSON array
// of objects; times in ISO 8601 with their UTC offset) and returns the exit status: 0 on success,
// 1 when the database cannot be read, 2 for bad arguments (with a message on `err`).

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// True when the command line asks for the outage report (the entry then creates no windows).
bool isOutagesCommand(int argc, char** argv);

// `args` are the arguments after the program name. nowMs is the current time (tests pass their own;
// 0 means the system clock).
int runOutagesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      std::int64_t nowMs = 0);
