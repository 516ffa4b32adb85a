#include "pathbuckets.h"

#include <algorithm>

std::int64_t pathBucketStepMs(std::int64_t spanMs, int maxSteps) {
  constexpr std::int64_t Minute = 60'000;
  static const std::int64_t steps[] = {
      Minute,      2 * Minute,   5 * Minute,   10 * Minute,     15 * Minute,      30 * Minute,
      60 * Minute, 120 * Minute, 180 * Minute, 6 * 60 * Minute, 12 * 60 * Minute, 24 * 60 * Minute};
  const std::int64_t wanted = maxSteps > 0 ? spanMs / maxSteps : spanMs;
  for (std::int64_t step : steps)
    if (step >= wanted) return step;
  return steps[std::size(steps) - 1];
}

std::vector<TPathHopBuckets> pathHopBuckets(const std::vector<THistoryPathRound>& rounds,
                                            std::int64_t fromMs, std::int64_t toMs,
                                            std::int64_t stepMs) {
  std::vector<TPathHopBuckets> hops;
  if (stepMs <= 0 || toMs <= fromMs) return hops;
  // Floor division: times before 1970 (a clock far off) still land in the right step.
  const auto floorStep = [stepMs](std::int64_t ms) {
    return (ms >= 0 ? ms / stepMs : (ms - stepMs + 1) / stepMs) * stepMs;
  };
  const std::int64_t first = floorStep(fromMs);
  const auto count = static_cast<std::size_t>((toMs - first + stepMs - 1) / stepMs);
  // Sums of the answered round trips per hop and step, turned into means at the end.
  std::vector<std::vector<std::int64_t>> sums;
  for (const THistoryPathRound& round : rounds) {
    if (round.roundMs < fromMs || round.roundMs >= toMs) continue;
    const auto index = static_cast<std::size_t>((round.roundMs - first) / stepMs);
    for (const THistoryHop& hop : round.hops) {
      if (hop.hop <= 0) continue;
      while (static_cast<int>(hops.size()) < hop.hop) {
        TPathHopBuckets added{static_cast<int>(hops.size()) + 1, std::vector<TPathBucket>(count)};
        for (std::size_t i = 0; i < count; ++i)
          added.buckets[i].startMs = first + static_cast<std::int64_t>(i) * stepMs;
        hops.push_back(std::move(added));
        sums.emplace_back(count, 0);
      }
      TPathBucket& b = hops[static_cast<std::size_t>(hop.hop - 1)].buckets[index];
      ++b.sent;
      if (!hop.rttMicros || hop.address.empty()) {
        ++b.lost;
        continue;
      }
      const std::int64_t rtt = std::max<std::int64_t>(*hop.rttMicros, 0);
      b.minMicros = b.minMicros < 0 ? rtt : std::min(b.minMicros, rtt);
      b.maxMicros = std::max(b.maxMicros, rtt);
      sums[static_cast<std::size_t>(hop.hop - 1)][index] += rtt;
    }
  }
  for (std::size_t h = 0; h < hops.size(); ++h)
    for (std::size_t i = 0; i < count; ++i) {
      TPathBucket& b = hops[h].buckets[i];
      if (b.sent > b.lost) b.meanMicros = sums[h][i] / (b.sent - b.lost);
    }
  return hops;
}
