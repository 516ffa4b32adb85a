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
  add(host.runId,
      {result.sentUnixMs, result.answered ? std::max<std::int64_t>(result.rttMicros, 0) : -1});
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

void TLiveTrail::setMonitoring(bool on, std::int64_t nowMs) {
  if (on == !pausedNow) return;
  pausedNow = !on;
  if (pausedNow) {
    pauses.push_back({nowMs, nowMs});
    while (pauses.front().toMs < nowMs - TrailKeepMs) pauses.pop_front();
  } else if (!pauses.empty()) {
    pauses.back().toMs = std::max(nowMs, pauses.back().fromMs);
  }
}

std::vector<TTimeSpan> TLiveTrail::unmonitored(std::int64_t fromMs, std::int64_t toMs) const {
  std::vector<TTimeSpan> spans;
  for (std::size_t i = 0; i < pauses.size(); ++i) {
    const bool open = pausedNow && i + 1 == pauses.size();
    const std::int64_t from = std::max(pauses[i].fromMs, fromMs);
    const std::int64_t to = std::min(open ? toMs : pauses[i].toMs, toMs);
    if (from < to) spans.push_back({from, to});
  }
  return spans;
}
