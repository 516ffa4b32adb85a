#include "outages.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "config/settings.h"
#include "historyreader.h"

const char* outageEndText(TOutageEnd end) {
  switch (end) {
    case TOutageEnd::Answered: return "answered";
    case TOutageEnd::HostDeleted: return "host deleted";
    case TOutageEnd::MonitoringStopped: return "monitoring stopped";
    case TOutageEnd::Ongoing: break;
  }
  return "";
}

std::int32_t lostToDownSetting() {
  const std::optional<std::string> stored = extraSetting("alerts", "lost_to_down");
  if (!stored) return DefaultLostToDown;
  std::int32_t value = 0;
  const char* end = stored->data() + stored->size();
  const auto [last, ec] = std::from_chars(stored->data(), end, value);
  return ec == std::errc() && last == end && value >= 1 ? value : DefaultLostToDown;
}

namespace {

// The first run bound after `ms`, if any.
std::optional<std::int64_t> boundAfter(const std::vector<std::int64_t>& bounds, std::int64_t ms) {
  const auto it = std::upper_bound(bounds.begin(), bounds.end(), ms);
  if (it == bounds.end()) return std::nullopt;
  return *it;
}

}  // namespace

std::vector<TOutage> findOutages(const std::vector<THistoryEcho>& echoes, std::int32_t minLost,
                                 const TOutageBounds& bounds) {
  if (minLost < 1) minLost = 1;
  std::vector<TOutage> outages;
  TOutage run;
  std::int64_t lastLostMs = 0;
  const auto close = [&](TOutageEnd how, std::int64_t endMs) {
    if (run.lostCount >= minLost) {
      run.endedBy = how;
      if (how != TOutageEnd::Ongoing) run.endMs = endMs;
      run.durationMs = std::max<std::int64_t>(0, endMs - run.startMs);
      outages.push_back(run);
    }
    run = TOutage{};
  };
  for (const THistoryEcho& e : echoes) {
    // Monitoring stopped (or started anew) since the last lost echo: the run ended with it.
    if (run.lostCount > 0) {
      const std::optional<std::int64_t> bound = boundAfter(bounds.runBoundsMs, lastLostMs);
      if (bound && *bound <= e.sentMs) close(TOutageEnd::MonitoringStopped, lastLostMs);
    }
    if (!e.answered()) {
      if (run.lostCount == 0) run.startMs = e.sentMs;
      ++run.lostCount;
      lastLostMs = e.sentMs;
      continue;
    }
    close(TOutageEnd::Answered, e.sentMs);
  }
  if (run.lostCount == 0) return outages;
  const std::optional<std::int64_t> stop = boundAfter(bounds.runBoundsMs, lastLostMs);
  const bool deleted = bounds.deletedMs > lastLostMs;
  if (deleted && (!stop || bounds.deletedMs <= *stop))
    close(TOutageEnd::HostDeleted, bounds.deletedMs);
  else if (stop)
    close(TOutageEnd::MonitoringStopped, lastLostMs);
  else
    close(TOutageEnd::Ongoing, lastLostMs);
  return outages;
}

std::vector<TOutage> outagesOverlapping(THistoryReader& reader, const THistoryHost& host,
                                        std::int64_t fromMs, std::int64_t toMs,
                                        std::int32_t minLost,
                                        const std::vector<std::int64_t>& runBoundsMs) {
  std::vector<THistoryEcho> echoes = reader.echoes(host.id, fromMs, toMs);
  // An outage under way at fromMs: read back, an hour and then twice as far each step, until an
  // answer, a span without results, or a start or stop of monitoring (40 steps at most).
  std::int64_t readFrom = fromMs, stepMs = 3'600'000;
  for (int step = 0; step < 40 && !echoes.empty() && !echoes.front().answered(); ++step) {
    const std::optional<std::int64_t> bound = boundAfter(runBoundsMs, readFrom - 1);
    if (bound && *bound <= echoes.front().sentMs) break;
    std::vector<THistoryEcho> earlier = reader.echoes(host.id, readFrom - stepMs, readFrom);
    readFrom -= stepMs;
    stepMs *= 2;
    if (earlier.empty()) break;
    const bool answered = std::any_of(earlier.begin(), earlier.end(),
                                      [](const THistoryEcho& e) { return e.answered(); });
    echoes.insert(echoes.begin(), earlier.begin(), earlier.end());
    if (answered) break;
  }
  std::vector<TOutage> outages = findOutages(echoes, minLost, {runBoundsMs, host.deletedMs});
  // Those that ended before the range are not part of it.
  std::erase_if(outages, [&](const TOutage& o) { return o.endMs && *o.endMs < fromMs; });
  return outages;
}
