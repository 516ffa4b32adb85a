#pragma once
// The host list from the command line, without a display:
//
//   sorvelo --add [--reverse] [--yes] TEXT... | -     (- reads the text from standard input)
//   sorvelo --list [--format text|csv|json]
//   sorvelo --remove ADDRESS|NAME...
//
// each with [--hosts FILE] [--config FILE] as for --headless. --add runs the Add of the Maintain
// hosts dialog on the text (every form it takes), --yes also takes what it only offers (as a click
// on each offer would). The hosts file is changed under a short lock and written atomically, so a
// monitor running on it takes the change and two commands never lose each other's hosts. A monitor
// that holds the file is told at once ("reload-hosts" on its channel); one that does not answer
// still sees the file change (storage/hostsfilefollower.h).
//
// Exit status: --add 0 when a host was added, 1 when none was; --remove 0 when every host named
// was removed, 1 when one is not in the list (with the reason); --list 0; any command 1 when the
// hosts file cannot be read whole or written, 2 for bad arguments.

#include <istream>
#include <ostream>
#include <string>
#include <vector>

// True when the command line asks for one of these commands.
bool isHostsCommand(int argc, char** argv);

// `args` are the arguments after the program name; `in` is read for "--add -".
int runHostsCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err);
