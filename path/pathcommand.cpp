#include "path/pathcommand.h"

#include <netdb.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include "icmp/namelookup.h"
#include "icmp/ping.h"
#include "path/pathprober.h"
#include "path/pathreport.h"
#include "path/pathstats.h"
#include "path/reversenamecache.h"
#include "path/tokenbucket.h"

namespace {

constexpr int ExitReached = 0;
constexpr int ExitNotReached = 1;
constexpr int ExitUsage = 2;
constexpr int DefaultRounds = 10;
constexpr int MaxRounds = 10000;
constexpr std::chrono::milliseconds LookupLimit{5000};
constexpr std::chrono::milliseconds NamesLimit{3000};
// Rounds start at most once a second: routers answer about one "time exceeded" a second per
// source (with a small burst), and faster rounds would show their limit as loss.
constexpr std::chrono::seconds RoundInterval{1};

struct TPathArgs {
  std::string host;
  int rounds = DefaultRounds;
  bool json = false;
};

std::optional<int> parseCount(const std::string& text) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int value = std::stoi(text);
  if (value < 1 || value > MaxRounds) return std::nullopt;
  return value;
}

std::optional<TPathArgs> parseArgs(const std::vector<std::string>& args, std::ostream& err) {
  TPathArgs parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool hasValue = false;
    if (const std::size_t eq = name.find('=');
        name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      hasValue = true;
    }
    if (name != "--path" && name != "--count" && name != "--format") {
      err << "sorvelo --path: unknown argument '" << args[i] << "'\n";
      return std::nullopt;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) {
        err << "sorvelo --path: " << name << " needs a value\n";
        return std::nullopt;
      }
      value = args[++i];
    }
    if (name == "--path") {
      parsed.host = value;
    } else if (name == "--count") {
      const auto count = parseCount(value);
      if (!count) {
        err << "sorvelo --path: --count takes a number of rounds from 1 to " << MaxRounds << "; '"
            << value << "' is not one\n";
        return std::nullopt;
      }
      parsed.rounds = *count;
    } else if (value == "text" || value == "json") {
      parsed.json = value == "json";
    } else {
      err << "sorvelo --path: --format takes text or json; '" << value << "' is neither\n";
      return std::nullopt;
    }
  }
  if (parsed.host.empty() || parsed.host.rfind('-', 0) == 0) {
    err << "sorvelo --path: the host to trace is missing (sorvelo --path HOST)\n";
    return std::nullopt;
  }
  return parsed;
}

// An address literal as it is, otherwise the system resolver's first IPv4 address (its first IPv6
// one when it has none), as the echo workers choose.
std::optional<sockaddr_storage> resolveHost(const std::string& host) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* literal = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &literal) == 0 && literal != nullptr) {
    sockaddr_storage address{};
    std::memcpy(&address, literal->ai_addr, literal->ai_addrlen);
    freeaddrinfo(literal);
    return address;
  }
  const auto answer = lookUpName(host, static_cast<std::int32_t>(LookupLimit.count()), -1);
  if (!answer) return std::nullopt;
  for (const int family : {AF_INET, AF_INET6}) {
    for (const TLookedUpAddress& found : answer->addresses) {
      if (found.address.ss_family == family) return found.address;
    }
  }
  return std::nullopt;
}

// Until every hop's name is known or NamesLimit has passed. The cache runs a limited number of
// lookups at once, so a long path may need more than one pass to start them all.
void waitForNames(TReverseNameCache& names, const std::vector<THopStats>& hops) {
  const auto deadline = std::chrono::steady_clock::now() + NamesLimit;
  while (true) {
    bool pending = false;
    for (const THopStats& hop : hops) {
      if (!hop.lastAddress.empty() && !names.name(hop.lastAddress)) pending = true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (!pending || left.count() <= 0) return;
    names.waitForPending(left);
  }
}

}  // namespace

bool isPathCommand(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--path" || argument.rfind("--path=", 0) == 0) return true;
  }
  return false;
}

int runPathCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const auto parsed = parseArgs(args, err);
  if (!parsed) return ExitUsage;
  const auto target = resolveHost(parsed->host);
  if (!target) {
    err << "sorvelo --path: unable to resolve " << parsed->host << "\n";
    return ExitNotReached;
  }
  TTokenBucket bucket;
  TReverseNameCache names;
  TPathStats stats;
  int sendError = 0;
  try {
    TPathProber prober(*target, bucket);
    for (int round = 0; round < parsed->rounds; ++round) {
      const auto started = std::chrono::steady_clock::now();
      const TPathRound result = prober.runRound(TPathProbeOptions{});
      stats.add(result);
      if (result.sendError != 0) sendError = result.sendError;
      for (const THopAnswer& hop : result.hops) {
        if (!hop.address.empty()) names.name(hop.address);  // looked up while the rounds go on
      }
      if (round + 1 < parsed->rounds) std::this_thread::sleep_until(started + RoundInterval);
    }
  } catch (const TICMPException& e) {
    err << "sorvelo --path: " << e.what() << ": " << e.cause() << "\n";
    return ExitNotReached;
  }
  const std::vector<THopStats> hops = stats.hops();
  waitForNames(names, hops);
  TPathReport report;
  report.host = parsed->host;
  report.address = addressOf(*target);
  report.rounds = stats.rounds();
  report.reached = stats.reached();
  for (const THopStats& hop : hops) {
    std::string name;
    if (!hop.lastAddress.empty()) name = names.name(hop.lastAddress).value_or(std::string());
    report.hops.push_back({hop, std::move(name)});
  }
  out << (parsed->json ? formatJson(report) : formatText(report));
  if (sendError != 0 && !stats.reached())
    err << "sorvelo --path: sending to " << report.address
        << " failed: " << std::strerror(sendError) << "\n";
  return stats.reached() ? ExitReached : ExitNotReached;
}
