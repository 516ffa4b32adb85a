#include "headlessoptions.h"

#include <array>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 6> OwnOptions = {"--headless", "--help",   "-h",
                                                       "--version",  "--config", "--hosts"};

bool isOwnOption(std::string_view argument) {
  const std::string_view name = argument.substr(0, argument.find('='));
  for (std::string_view own : OwnOptions)
    if (name == own) return true;
  return false;
}

}  // namespace

THeadlessOptions parseHeadlessOptions(const std::vector<std::string>& arguments) {
  THeadlessOptions options;
  for (std::size_t i = 0; i < arguments.size() && options.error.empty(); ++i) {
    const std::string& argument = arguments[i];
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    if (name == "--config" || name == "--hosts") {
      std::string value;
      if (equals != std::string::npos) {
        value = argument.substr(equals + 1);
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      }
      if (value.empty()) {
        options.error = "option '" + name + "' needs a file name";
      } else {
        (name == "--config" ? options.configFile : options.hostsFile) = value;
      }
    } else if (equals != std::string::npos && isOwnOption(name)) {
      options.error = "option '" + name + "' takes no value";
    } else if (argument == "--headless") {
      options.headless = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (!argument.empty() && argument[0] == '-') {
      options.error = "unknown option '" + argument + "'";
    } else {
      options.error = "unexpected argument '" + argument + "'";
    }
  }
  if (options.error.empty() && !options.headless && !options.help && !options.version &&
      (!options.configFile.empty() || !options.hostsFile.empty()))
    options.error = "--config and --hosts apply to --headless";
  return options;
}

// Qt's own options (-platform, -style, ...) start with one dash; an option with two is ours, known
// or not, so a mistyped --headless is reported instead of opening a window.
bool isHeadlessCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (isOwnOption(argument) || argument.substr(0, 2) == "--") return true;
  }
  return false;
}

std::string headlessUsage() {
  return "Usage: sorvelo [--headless [--config FILE] [--hosts FILE]]\n"
         "       sorvelo --outages [--since 24h] [--format csv|json] [--config FILE] [--hosts FILE]\n"
         "       sorvelo --add [--reverse] [--yes] TEXT...|- [--config FILE] [--hosts FILE]\n"
         "       sorvelo --list [--format text|csv|json] [--config FILE] [--hosts FILE]\n"
         "       sorvelo --remove ADDRESS|NAME... [--config FILE] [--hosts FILE]\n"
         "       sorvelo --path HOST [--count N] [--format text|json]\n"
         "Pings a list of hosts, keeps their statistics and logs their changes.\n"
         "\n"
         "Without options the desktop program opens.\n"
         "  --headless     run without a display: ping, log, and serve metrics at\n"
         "                 http://127.0.0.1:10427/metrics ([metrics] in the settings)\n"
         "  --config FILE  use this settings file instead of\n"
         "                 $XDG_CONFIG_HOME/Sorvelo/Sorvelo.conf (it must exist)\n"
         "  --hosts FILE   use this hosts file instead of the one the settings name\n"
         "  --help         show this help and exit\n"
         "  --version      show the version and exit\n"
         "  --outages      print the outages kept in the history database and exit\n"
         "                 (--since 30m, 24h, 7d or an ISO 8601 date; --format csv or json)\n"
         "  --add TEXT...  add the hosts in the text (as the Add of Maintain hosts takes it;\n"
         "                 - reads standard input), print what became of each part; --reverse\n"
         "                 names addresses by reverse lookup, --yes also adds what is only offered\n"
         "  --list         print the hosts with their settings and last state\n"
         "  --remove HOST  remove hosts by address or name\n"
         "                 A running monitor takes these changes of the hosts file at once.\n"
         "  --path HOST    trace the path to HOST in N rounds (--count, 10) and print each hop's\n"
         "                 address, name, loss and round trips; exit 1 when HOST never answered\n"
         "\n"
         "In headless mode SIGTERM and SIGINT stop the program in order (log entries written,\n"
         "hosts file saved) and SIGHUP reads the hosts file again. Messages go to\n"
         "standard error, each starting with \"error: \", \"warning: \" or \"info: \".\n"
         "\n"
         "Exit status: 0 after a clean stop, 1 when ICMP echoes cannot be sent or start-up\n"
         "fails, 2 for bad arguments. --add: 0 when a host was added, 1 when none was;\n"
         "--remove: 1 when a host named is not in the list.\n";
}

std::string versionText() { return std::string("sorvelo ") + SORVELO_VERSION + "\n"; }
