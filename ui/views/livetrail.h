#pragma once
// The echoes of every host of this run over the last three hours, kept from the engine's event
// stream for the timeline (the longest span it shows), and the spans in which monitoring was
// stopped or paused. Plain C++: about 2,700 echoes per host at one
// echo every 4 s, 11 MB for 255 hosts.

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "core/engineevents.h"
#include "history/historytypes.h"
#include "historygaps.h"

inline constexpr std::int64_t TrailKeepMs = 3 * 3'600'000LL;

class TLiveTrail final : public TEngineObserver {
 public:
  // Subscribes to `events` (nullptr: feed echoResult directly, as tests and benchmarks do).
  explicit TLiveTrail(TEngineEventHub* events = nullptr);
  ~TLiveTrail() override;
  TLiveTrail(const TLiveTrail&) = delete;
  TLiveTrail& operator=(const TLiveTrail&) = delete;

  void echoResult(const TTolvoHost& host, const TEchoResult& result) override;
  void hostDeleting(const TTolvoHost& host) override;
  // Adds an echo of host `runId` (echoes come in the order they were sent).
  void add(std::uint64_t runId, const THistoryEcho& echo);

  // Results of earlier runs from the results database, ordered by time sent: those sent before the
  // host's first echo here are taken in ahead of it.
  void seed(std::uint64_t runId, const std::vector<THistoryEcho>& earlier);

  // Monitoring stopped or paused (on = false) or started again at nowMs; only a change counts.
  void setMonitoring(bool on, std::int64_t nowMs);
  // The spans of [fromMs, toMs) in which nothing was monitored since this trail began.
  std::vector<TTimeSpan> unmonitored(std::int64_t fromMs, std::int64_t toMs) const;

  // The kept echoes of a host, oldest first; empty when it has none.
  const std::deque<THistoryEcho>& echoesOf(std::uint64_t runId) const;

 private:
  TEngineEventHub* hub = nullptr;
  std::map<std::uint64_t, std::deque<THistoryEcho>> trails;
  std::deque<TTimeSpan> pauses;  // the last one goes on while pausedNow
  bool pausedNow = false;
};
