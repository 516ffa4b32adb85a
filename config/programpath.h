#pragma once
// Where the running program lives, and where its default files go.

#include <string>

// Full path of the running program file (/proc/self/exe).
std::string programFilePath();
// Its directory, without a trailing separator.
std::string programDirectory();
// The directory for the default log and hosts files: the program's directory when it is writable,
// otherwise $XDG_DATA_HOME/Sorvelo (~/.local/share/Sorvelo), created on demand.
std::string defaultDataDirectory();
// The same choice for a given program directory: that directory when it is writable, else the
// per-user data directory (created here).
std::string dataDirectoryFor(const std::string& programDir);
