// The cost of path probing: CPU per round of a 30-hop trace, and the probe rate under the cap.
//
//   path_bench [--rounds=50] [--capped-rounds=2]
//
// Needs root. Makes a chain of 29 forwarding namespaces (tests/support/netchain.h) with the host at
// hop 30, routers' ICMP rate limits switched off so that back-to-back rounds get every answer,
// enters the source namespace and traces the host over IPv4 and IPv6, with the unprivileged
// datagram socket and with the raw socket:
//   1. `rounds` rounds back to back with the cap lifted (10,000 probes/s): CPU seconds (user +
//      system of the whole process) and wall time per round, hops found in the last round;
//   2. `capped-rounds` rounds back to back with the default cap (20 probes/s): probes sent per
//      second of wall time, which must not exceed the cap plus its burst.
// All traffic stays inside the chain; the namespaces are removed at the end.

#include <arpa/inet.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "path/pathprober.h"
#include "path/tokenbucket.h"
#include "support/netchain.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Routers = 29;

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int option(int argc, char** argv, const std::string& name, int fallback) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind("--" + name + "=", 0) == 0)
      return std::stoi(argument.substr(name.size() + 3));
  }
  return fallback;
}

sockaddr_storage addressOf(const std::string& text) {
  sockaddr_storage address{};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
  } else {
    inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr);
    v6->sin6_family = AF_INET6;
  }
  return address;
}

void allowDatagramSockets(bool allowed) {
  std::ofstream("/proc/sys/net/ipv4/ping_group_range") << (allowed ? "0 2147483647" : "1 0");
}

void measure(const std::string& host, bool datagram, int rounds, int cappedRounds) {
  allowDatagramSockets(datagram);
  TTokenBucket uncapped(10000, 64);
  TPathProber prober(addressOf(host), uncapped);
  const char* kind = prober.usesDatagramSocket() ? "datagram" : "raw";
  TPathProbeOptions options;
  int hops = 0;
  bool reached = false;
  const double cpuStart = cpuSeconds();
  const auto wallStart = Clock::now();
  for (int round = 0; round < rounds; ++round) {
    const TPathRound result = prober.runRound(options);
    hops = static_cast<int>(result.hops.size());
    reached = result.reached;
  }
  const double cpu = (cpuSeconds() - cpuStart) / rounds;
  const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count() / rounds;
  std::printf("%-16s %-8s %3d hops%s  CPU %.3f ms/round  wall %.2f ms/round\n", host.c_str(), kind,
              hops, reached ? " (host reached)" : " (host NOT reached)", cpu * 1000, wall * 1000);

  if (cappedRounds <= 0) return;
  TTokenBucket capped;  // the default: 20 probes a second, a burst of 5
  TPathProber cappedProber(addressOf(host), capped);
  int probes = 0;
  const auto cappedStart = Clock::now();
  for (int round = 0; round < cappedRounds; ++round)
    probes += static_cast<int>(cappedProber.runRound(options).hops.size());
  const double seconds = std::chrono::duration<double>(Clock::now() - cappedStart).count();
  std::printf("%-16s %-8s capped: %d probes in %.2f s = %.1f probes/s (cap %.0f/s)\n", host.c_str(),
              kind, probes, seconds, probes / seconds, capped.ratePerSecond());
}

}  // namespace

int main(int argc, char** argv) {
  if (geteuid() != 0) {
    std::fprintf(stderr, "path_bench needs root to make its namespace chain\n");
    return 1;
  }
  const int rounds = std::max(option(argc, argv, "rounds", 50), 1);
  const int cappedRounds = option(argc, argv, "capped-rounds", 2);
  const auto madeFrom = Clock::now();
  netns::TNetChain chain("ppb", Routers);
  if (!chain.ok()) {
    std::fprintf(stderr, "namespace chain: %s\n", chain.failure().c_str());
    return 1;
  }
  for (int router = 1; router <= Routers; ++router)
    chain.run(router, "sysctl -qw net.ipv4.icmp_ratelimit=0 net.ipv6.icmp.ratelimit=0");
  std::printf("chain of %d routers made in %.2f s\n", Routers,
              std::chrono::duration<double>(Clock::now() - madeFrom).count());
  const int ns = open(("/run/netns/" + chain.source()).c_str(), O_RDONLY | O_CLOEXEC);
  if (ns < 0 || setns(ns, CLONE_NEWNET) != 0) {
    std::fprintf(stderr, "entering %s: %s\n", chain.source().c_str(), std::strerror(errno));
    return 1;
  }
  close(ns);
  for (const std::string& host : {chain.addressV4(Routers + 1), chain.addressV6(Routers + 1)}) {
    for (const bool datagram : {true, false}) measure(host, datagram, rounds, cappedRounds);
  }
  return 0;
}
