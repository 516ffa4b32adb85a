#include "hostscommand.h"

#include <QDateTime>
#include <QFileInfo>

#include <chrono>
#include <exception>
#include <iomanip>
#include <optional>
#include <sstream>

#include "config/settings.h"
#include "core/addhost.h"
#include "core/pingingsettings.h"
#include "core/tolvohosts.h"
#include "history/historyreader.h"
#include "history/historysettings.h"
#include "instance/instancechannel.h"
#include "instance/instancelock.h"
#include "net/hosttext.h"
#include "net/pastedforms.h"
#include "stderrmessages.h"
#include "storage/hostlistfile.h"
#include "storage/hostsfilelock.h"

namespace {

constexpr int ExitDone = 0;
constexpr int ExitNothing = 1;
constexpr int ExitUsage = 2;
constexpr std::int64_t LastStateWindowMs = 3'600'000;  // an echo older than this says nothing now
// How long a running monitor may take to read the file again; past it, its follower still sees the
// change a moment later.
constexpr std::chrono::milliseconds ReloadWait{3000};

enum class TCommand { None, Add, List, Remove };

struct THostsArgs {
  TCommand command = TCommand::None;
  bool reverse = false;
  bool yes = false;
  std::string format = "text";
  std::string hostsFile;
  std::string configFile;
  std::vector<std::string> texts;
};

const char* commandName(TCommand command) {
  switch (command) {
    case TCommand::Add: return "--add";
    case TCommand::List: return "--list";
    case TCommand::Remove: return "--remove";
    case TCommand::None: break;
  }
  return "";
}

std::optional<THostsArgs> parseArgs(const std::vector<std::string>& args, std::ostream& err) {
  THostsArgs parsed;
  const auto fail = [&err](const std::string& message) {
    err << "sorvelo: " << message << " (see sorvelo --help)\n";
    return std::nullopt;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    TCommand command = TCommand::None;
    if (name == "--add") command = TCommand::Add;
    if (name == "--list") command = TCommand::List;
    if (name == "--remove") command = TCommand::Remove;
    if (command != TCommand::None) {
      if (value) return fail("option '" + name + "' takes no value");
      if (parsed.command != TCommand::None && parsed.command != command)
        return fail(std::string(commandName(parsed.command)) + " and " + name + " cannot be combined");
      parsed.command = command;
    } else if (name == "--hosts" || name == "--config" || name == "--format") {
      if (!value) {
        if (i + 1 >= args.size()) return fail("option '" + name + "' needs a value");
        value = args[++i];
      }
      if (value->empty()) return fail("option '" + name + "' needs a value");
      (name == "--hosts" ? parsed.hostsFile : name == "--config" ? parsed.configFile : parsed.format) = *value;
    } else if (name == "--reverse" || name == "--yes") {
      if (value) return fail("option '" + name + "' takes no value");
      (name == "--reverse" ? parsed.reverse : parsed.yes) = true;
    } else if (name.rfind("--", 0) == 0) {
      return fail("unknown option '" + args[i] + "'");
    } else {
      parsed.texts.push_back(args[i]);
    }
  }
  const std::string command = commandName(parsed.command);
  if (parsed.format != "text" && parsed.format != "csv" && parsed.format != "json")
    return fail("--format takes text, csv or json");
  if (parsed.format != "text" && parsed.command != TCommand::List) return fail("--format applies to --list");
  if ((parsed.reverse || parsed.yes) && parsed.command != TCommand::Add)
    return fail("--reverse and --yes apply to --add");
  if (parsed.command == TCommand::List && !parsed.texts.empty())
    return fail("--list takes no host, but '" + parsed.texts.front() + "' was given");
  if (parsed.command != TCommand::List && parsed.texts.empty())
    return fail(command + " needs at least one host");
  return parsed;
}

// The text to add: the arguments one per line, "-" standing for standard input.
std::string textToAdd(const THostsArgs& args, std::istream& in) {
  std::string text;
  for (const std::string& argument : args.texts) {
    if (argument == "-") {
      std::ostringstream all;
      all << in.rdbuf();
      text += all.str() + "\n";
    } else {
      text += argument + "\n";
    }
  }
  return text;
}

int addHosts(TTolvoHosts& list, const THostsArgs& args, std::istream& in, std::ostream& out) {
  list.setPreferIpv6(
      pingingFlag(PreferIpv6Setting, extraSetting(PreferIpv6Setting.section, PreferIpv6Setting.name)));
  TAddReport report;
  std::istringstream lines(textToAdd(args, in));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (const THostPart& part : hostParts(line, localHostNames()))
      addHostPart(list, part, args.reverse, report);
  }
  for (const std::string& line : report.lines()) out << line << '\n';
  if (args.yes && !report.offers.empty()) {
    // What a click on each offer adds.
    TAddReport taken;
    for (const TAddOffer& offer : report.offers) {
      if (!offer.block) {
        addNamedHost(list, offer.text, taken, offer.evenUnresolved);
      } else if (const std::optional<TAddressBlock> block = parseAddressBlock(offer.text)) {
        addAddressBlock(list, *block, args.reverse, taken, [] { return true; });
      }
    }
    out << "Offers taken (--yes):\n";
    for (const std::string& line : taken.lines()) out << line << '\n';
    report.added += taken.added;
  } else {
    for (const TAddOffer& offer : report.offers)
      out << "Offered, added with --yes: " << offer.text << '\n';
  }
  return report.added > 0 ? ExitDone : ExitNothing;
}

bool matches(const TTolvoHost& host, const std::string& text) {
  std::string normal;
  const bool v6 = parseIpv6Literal(text, &normal) == TIpv6Form::Valid;
  return host.ipAddress == text || host.hostName == text || host.callingName == text ||
         (v6 && host.ipAddress == normal);
}

int removeHosts(TTolvoHosts& list, const THostsArgs& args, const std::string& hostsFile,
                std::ostream& out, std::ostream& err) {
  int result = ExitDone;
  for (const std::string& text : args.texts) {
    bool found = false;
    for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) {
      TTolvoHost* host = list.hostAt(slot);
      if (!host || !matches(*host, text)) continue;
      out << "Removed " << host->callingName << " (" << host->ipAddress << ").\n";
      list.deleteHost(host);
      found = true;
    }
    if (!found) {
      err << "sorvelo --remove: no host has the address or name \"" << text << "\" in " << hostsFile
          << '\n';
      result = ExitNothing;
    }
  }
  return result;
}

std::string lastState(THistoryReader* history, const TTolvoHost& host, std::int64_t nowMs) {
  if (!history) return "unknown";
  const std::optional<THistoryHost> known = history->findHost(host.ipAddress, host.hostName);
  if (!known) return "unknown";
  const std::vector<THistoryEcho> echoes = history->echoes(known->id, nowMs - LastStateWindowMs, nowMs + 1);
  if (echoes.empty()) return "unknown";
  return echoes.back().answered() ? "up" : "down";
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string jsonString(const std::string& text) {
  std::ostringstream s;
  s << '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      s << '\\' << c;
    } else if (c < 0x20) {
      s << "\\u" << std::hex << std::setw(4) << std::setfill('0') << static_cast<int>(c) << std::dec;
    } else {
      s << c;
    }
  }
  s << '"';
  return s.str();
}

void listHosts(const TTolvoHosts& list, const THostsArgs& args, const std::string& hostsFile,
               std::ostream& out) {
  THistoryReader reader(historyFilePath(hostsFile));
  THistoryReader* history = QFileInfo::exists(QString::fromStdString(historyFilePath(hostsFile))) &&
                                    reader.open()
                                ? &reader
                                : nullptr;
  const std::int64_t nowMs = QDateTime::currentMSecsSinceEpoch();
  const std::vector<std::string> header = {"calling_name", "host_name", "address",  "timeout_ms",
                                           "interval_s",   "succeeded", "failed",   "last_state"};
  std::vector<std::vector<std::string>> rows;
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) {
    const TTolvoHost* host = list.hostAt(slot);
    if (!host) continue;
    rows.push_back({host->callingName, host->hostName, host->ipAddress, std::to_string(host->timeout),
                    std::to_string(host->interval), std::to_string(host->succeededCount),
                    std::to_string(host->failedCount), lastState(history, *host, nowMs)});
  }
  if (args.format == "json") {
    out << "[";
    for (std::size_t r = 0; r < rows.size(); ++r) {
      out << (r ? ",\n " : "\n ") << "{";
      for (std::size_t c = 0; c < header.size(); ++c) {
        const bool number = c >= 3 && c <= 6;
        out << (c ? ", " : "") << jsonString(header[c]) << ": "
            << (number ? rows[r][c] : jsonString(rows[r][c]));
      }
      out << "}";
    }
    out << (rows.empty() ? "]\n" : "\n]\n");
    return;
  }
  if (args.format == "csv") {
    rows.insert(rows.begin(), header);
    for (const auto& row : rows) {
      for (std::size_t c = 0; c < row.size(); ++c) out << (c ? "," : "") << csvField(row[c]);
      out << "\r\n";
    }
    return;
  }
  rows.insert(rows.begin(), {"NAME", "HOST NAME", "ADDRESS", "TIMEOUT", "INTERVAL", "SUCCEEDED",
                             "FAILED", "LAST STATE"});
  std::vector<std::size_t> widths(header.size(), 0);
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c)
      line += row[c] + (c + 1 < row.size() ? std::string(widths[c] - row[c].size() + 2, ' ') : "");
    out << line << '\n';
  }
}

}  // namespace

bool isHostsCommand(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const std::string name = argument.substr(0, argument.find('='));
    if (name == "--add" || name == "--list" || name == "--remove") return true;
  }
  return false;
}

namespace {

// A monitor running on the file (desktop or headless) is told to read it at once; one that does
// not answer takes the change when its follower sees the file change.
void tellRunningMonitor(const std::string& hostsFile, std::ostream& out) {
  const std::optional<TInstanceHolder> holder = instanceHolder(TInstanceKind::Hosts, hostsFile);
  if (!holder || holder->channel.empty()) return;
  if (sendInstanceCommand(holder->channel, "reload-hosts", ReloadWait) == "ok")
    out << "The running monitor (pid " << holder->pid << ") has read the hosts file again.\n";
}

}  // namespace

int runHostsCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err) {
  const std::optional<THostsArgs> parsed = parseArgs(args, err);
  if (!parsed) return ExitUsage;
  const std::string command = std::string("sorvelo ") + commandName(parsed->command);
  if (!parsed->configFile.empty()) {
    if (!QFileInfo(QString::fromStdString(parsed->configFile)).isFile()) {
      err << command << ": there is no settings file " << parsed->configFile << '\n';
      return ExitUsage;
    }
    overrideSettingsFilePath(parsed->configFile);
  }
  try {
    loadSettings();
  } catch (const std::exception& e) {
    err << command << ": " << e.what() << '\n';
    return ExitNothing;
  }
  // The format's own messages (a damaged file) go to standard error.
  installStderrMessageSink();
  const std::string hostsFile = parsed->hostsFile.empty() ? settings.hosts_file_name : parsed->hostsFile;
  // --list too: its load clears what a save killed half-way left beside the file, which must not
  // be a save still running.
  std::optional<THostsFileLock> lock(std::in_place, hostsFile);
  if (!lock->held() && (parsed->command != TCommand::List || QFileInfo::exists(QString::fromStdString(hostsFile)))) {
    err << command << ": the hosts file " << hostsFile
        << " is being written by another program (or its folder cannot be opened); nothing was changed\n";
    return ExitNothing;
  }
  TTolvoHosts list;
  const THostsLoadReport loaded = [&] {
    // Checked before the load, which would move a damaged file aside: a command leaves it alone.
    const THostsFileReadResult read = readHostsFile(hostsFile, [](const THostFileRecord&) {}, [] {}, list.regional);
    THostsLoadReport report;
    report.state = read.state;
    if (read.state == THostsFileState::whole) report = loadHostList(list, hostsFile);
    return report;
  }();
  if (loaded.state != THostsFileState::whole && loaded.state != THostsFileState::missing) {
    err << command << ": the hosts file " << hostsFile
        << " cannot be read whole; nothing was changed (see docs/hosts-file.md for its format)\n";
    return ExitNothing;
  }
  if (parsed->command == TCommand::List) {
    listHosts(list, *parsed, hostsFile, out);
    return ExitDone;
  }
  const std::int32_t before = list.hostCount();
  int result = ExitDone;
  try {
    result = parsed->command == TCommand::Add ? addHosts(list, *parsed, in, out)
                                              : removeHosts(list, *parsed, hostsFile, out, err);
  } catch (const std::exception& e) {
    // A lookup that cannot start: the hosts added before it are still saved.
    err << command << ": " << e.what() << '\n';
    result = ExitNothing;
  }
  // Written only when the list changed: a save also sets the file's dates, which a load does not
  // read back.
  if (list.hostCount() != before && !list.saveToFile(hostsFile)) {
    err << command << ": the hosts file " << hostsFile << " could not be written\n";
    return ExitNothing;
  }
  // The monitor reads the file under the same lock: let go of it first.
  lock.reset();
  if (list.hostCount() != before) tellRunningMonitor(hostsFile, out);
  return result;
}
