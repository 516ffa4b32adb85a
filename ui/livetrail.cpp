#include "livetrail.h"

#include <algorithm>

#include "core/tolvohost.h"

TLiveTrail::TLiveTrail(TEngineEventHub* events) : hub(events) {
  if (hub) hub->subscribe(this);
}

TLiveTrail::~TLiveTrail() {
  if (hub) hub->unsubscribe(this);
}

void TLiveTrail::echoResult(const TTolvoHost& host, const TEchoResult& result) {
  add(host.runId, {result.sentUnixMs,
                   result.answered ? std::max<std::int64_t>(result.rttMicros, 0) : -1});
}

void TLiveTrail::hostDeleting(const TTolvoHost& host) { trails.erase(host.runId); }

void TLiveTrail::add(std::uint64_t runId, const THistoryEcho& echo) {
  std::deque<THistoryEcho>& trail = trails[runId];
  // A clock that stepped back: what was sent "later" goes, so the trail stays ordered.
  while (!trail.empty() && trail.back().sentMs > echo.sentMs) trail.pop_back();
  trail.push_back(echo);
  while (trail.front().sentMs < echo.sentMs - TrailKeepMs) trail.pop_front();
}

void TLiveTrail::seed(std::uint64_t runId, const std::vector<THistoryEcho>& earlier) {
  std::deque<THistoryEcho>& trail = trails[runId];
  auto end = earlier.end();
  if (!trail.empty())
    end = std::lower_bound(earlier.begin(), earlier.end(), trail.front().sentMs,
                           [](const THistoryEcho& e, std::int64_t t) { return e.sentMs < t; });
  trail.insert(trail.begin(), earlier.begin(), end);
}

const std::deque<THistoryEcho>& TLiveTrail::echoesOf(std::uint64_t runId) const {
  static const std::deque<THistoryEcho> none;
  const auto it = trails.find(runId);
  return it == trails.end() ? none : it->second;
}
