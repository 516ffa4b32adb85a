#pragma once
// The command line's path trace, run without a display:
//
//   sorvelo --path HOST [--count N] [--format text|json]
//
// It traces the path to HOST (a name, an IPv4 or an IPv6 address) in N rounds (default 10, at most
// one a second), then prints one report to `out`: per hop its number, address, name, loss and the
// last, mean, best and worst round trip and their standard deviation, in milliseconds. A hop that
// never answered shows "*". Exit status: 0 when the host answered in at least one round, 1 when it
// never did (or cannot be probed at all; the reason goes to `err`), 2 for bad arguments.

#include <ostream>
#include <string>
#include <vector>

// True when the command line asks for the path trace (the entry then creates no windows).
bool isPathCommand(int argc, char** argv);

// `args` are the arguments after the program name.
int runPathCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
