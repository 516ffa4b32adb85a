#pragma once
// The command line of the program's modes without a display.
//
//   sorvelo --headless [--config FILE] [--hosts FILE]
//   sorvelo --help | --version
//
// Options take their value as the next argument or after "=" (--config=FILE). Anything else is an
// error that names the argument.

#include <string>
#include <vector>

struct THeadlessOptions {
  bool headless = false;
  bool help = false;
  bool version = false;
  std::string configFile;  // empty: the per-user settings file
  std::string hostsFile;   // empty: the hosts file the settings name
  std::string error;       // set when the arguments are not usable
};

// The arguments after the program name.
THeadlessOptions parseHeadlessOptions(const std::vector<std::string>& arguments);

// Whether the command line is for one of these modes rather than the desktop program: it holds
// one of the options above or any other "--" option (Qt's own, such as -platform, have one dash and
// pass to the desktop program untouched).
bool isHeadlessCommandLine(int argc, char** argv);

std::string headlessUsage();
std::string versionText();
