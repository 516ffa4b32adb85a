#pragma once
// The figures a webhook reports beside a change (plain C++, times from the echoes themselves):
// per host the loss and mean round trip of the last 5 minutes, the last round trip, and when the
// current outage began — the send time of the first of the lost echoes that confirmed it down, so
// an "up" can tell the outage's start and length. The connection's outage begins at its change.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "alertchange.h"

struct TChangeFigures {
  std::int32_t echoes = 0;              // echoes in the last 5 minutes
  double lossPercent = 0;               // of those
  std::optional<std::int64_t> lastRttMicros;
  std::optional<std::int64_t> meanRttMicros;  // of the answers in the last 5 minutes
  std::optional<std::int64_t> outageStartMs;  // on a change that ends an outage
  std::optional<std::int64_t> outageMs;
  // Where the host's path stopped during the outage ("hop 2, 192.0.2.5 (r2.example)"), on a change
  // that ends one when the path was traced then; empty otherwise.
  std::string pathStopsAfter;
};

class TWebhookFigures {
 public:
  static constexpr std::int64_t WindowMs = 5 * 60 * 1000;
  static constexpr std::size_t WindowCap = 5000;

  void echo(std::uint64_t runId, std::int64_t sentMs, bool answered, std::int64_t rttMicros);
  // The figures for this change; remembers or ends the outage it starts or ends.
  TChangeFigures changed(const TAlertChange& change);
  void forget(std::uint64_t runId) { hosts.erase(runId); }

 private:
  struct TSample {
    std::int64_t sentMs;
    std::int64_t rttMicros;  // -1 when lost
  };
  struct THost {
    std::deque<TSample> window;
    std::optional<std::int64_t> lostSinceMs;  // first echo of the current run of losses
    std::optional<std::int64_t> outageStartMs;
  };
  std::map<std::uint64_t, THost> hosts;  // run id 0 is the connection
};
