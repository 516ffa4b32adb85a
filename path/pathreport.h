#pragma once
// The trace report as text (aligned columns, one line per hop) and as JSON (one object).
//
// Text:
//   Path to example.org (192.0.2.7), 10 rounds
//   Hop  Address          Name             Loss%    Last    Mean    Best   Worst   StDev
//     1  192.0.2.1        gw.example        0.0%    0.41    0.45    0.39    0.52    0.04
//     2  *                                100.0%
//   ...
// Times in milliseconds. A hop that answered from more than one address lists the others below
// it; a host never reached ends with a line saying so.
// JSON: {"host", "address", "rounds", "reached", "hops": [{"hop", "address" (null when silent),
// "addresses", "name" (null when none), "sent", "received", "loss_percent", "last_ms", "mean_ms",
// "best_ms", "worst_ms", "stdev_ms" (null when silent)}]}.

#include <sys/socket.h>

#include <string>
#include <vector>

#include "path/pathstats.h"

struct TPathReport {
  struct THop {
    THopStats stats;
    std::string name;  // "" when it has none
  };
  std::string host;     // as the user gave it
  std::string address;  // what was traced
  int rounds = 0;
  bool reached = false;
  std::vector<THop> hops;
};

std::string formatText(const TPathReport& report);
std::string formatJson(const TPathReport& report);

// The text form of an IPv4 or IPv6 socket address.
std::string addressOf(const sockaddr_storage& address);
