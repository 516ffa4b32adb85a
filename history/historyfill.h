#pragma once
// Fills a real results database with synthetic echoes through the recorder, the way the program
// records: hosts are added to a host list of their own and their echoes published on its event
// stream. Used by the tests of the history windows and by bench/historywindow_bench (which also
// fills the database of scripts/history-screenshots.sh); the program itself never calls it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/tolvohosts.h"
#include "historyrecorder.h"

struct THistoryFillHost {
  std::string callingName, hostName, address;
};

struct THistoryFill {
  std::int64_t fromMs = 0, toMs = 0, stepMs = 1000;  // an echo every stepMs in [fromMs, toMs)
  // rttOf(host index, time sent) gives the round trip in microseconds, -1 for a lost echo.
  std::function<std::int64_t(std::size_t, std::int64_t)> rttOf;
  // The recorder's clock. Fixed at this time when set; otherwise it follows the data (so minutes
  // are packed and steps summarised as they would be in a real run) and ends 3 minutes past toMs.
  std::optional<std::int64_t> nowMs;
};

// True when every echo was written (none dropped). `lengths`: what the recorder keeps.
inline bool fillHistory(const std::string& path, const std::vector<THistoryFillHost>& wanted,
                        const THistoryFill& fill, const THistoryLengths& lengths = {}) {
  std::atomic<std::int64_t> clock{fill.nowMs.value_or(fill.fromMs)};
  TTolvoHosts hosts;
  THistoryRecorderOptions options;
  options.nowMs = [&clock] { return clock.load(); };
  options.lengths = lengths;
  THistoryRecorder recorder(hosts.events(), options);
  std::vector<TTolvoHost*> list;
  for (const THistoryFillHost& one : wanted) {
    std::unique_ptr<TTolvoHost> h = hosts.newHost();
    h->callingName = one.callingName;
    h->hostName = one.hostName;
    h->ipAddress = one.address;
    list.push_back(h.get());
    hosts.appendHost(h);
  }
  recorder.start(path);
  const auto hostCount = static_cast<std::int64_t>(list.size());
  std::int64_t published = 0;
  for (std::int64_t t = fill.fromMs; t < fill.toMs; t += fill.stepMs) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::int64_t rtt = fill.rttOf(i, t);
      hosts.events().echoResult(*list[i], {t, rtt >= 0, rtt});
    }
    published += hostCount;
    // Every 50,000 echoes or so the recorder catches up, well before its queue could overflow.
    if (published % 50'000 < hostCount) {
      if (!fill.nowMs) clock = t;
      if (!recorder.waitWritten(std::chrono::seconds(60))) return false;
    }
  }
  if (!fill.nowMs) clock = fill.toMs + 3 * 60'000;
  const bool written = recorder.waitWritten(std::chrono::seconds(60));
  recorder.stop();
  return written && recorder.stats().dropped == 0;
}
