#include "pathsummaryrows.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "history/echopacking.h"

namespace {

// One hop's figures as they are joined, step after step.
struct THopTotal {
  TPathHopBucket joined;
  std::vector<std::string> addresses;        // in the order first seen
  std::map<std::string, std::string> names;  // the last name seen per address
  std::int64_t lastMicros = 0;
};

void take(THopTotal& total, const TPathHopBucket& step, std::int64_t lastMicros) {
  total.joined.add(step);
  if (step.answered == 0) return;
  total.lastMicros = lastMicros;
  // A step whose reverse name was not known yet keeps the one seen before.
  if (!step.name.empty()) total.names[step.address] = step.name;
  if (!step.address.empty() && std::find(total.addresses.begin(), total.addresses.end(),
                                         step.address) == total.addresses.end())
    total.addresses.push_back(step.address);
}

// The rounds the summaries do not hold yet.
std::vector<THistoryPathRound> roundsAfter(const TPathSummaryRange& range,
                                           const std::vector<THistoryPathRound>& rounds) {
  const std::int64_t end = pathSummariesEndMs(range);
  std::vector<THistoryPathRound> after;
  for (const THistoryPathRound& round : rounds)
    if (round.roundMs >= end) after.push_back(round);
  return after;
}

}  // namespace

std::int64_t pathSummariesEndMs(const TPathSummaryRange& range) {
  std::int64_t end = std::numeric_limits<std::int64_t>::min();
  for (const TPathHopSeries& hop : range.hops)
    if (!hop.buckets.empty())
      end = std::max<std::int64_t>(end, hop.buckets.back().startMs + range.stepSeconds * 1000LL);
  return end;
}

std::vector<TPathHopRow> pathHopRowsFromSummaries(const TPathSummaryRange& range,
                                                  const std::vector<THistoryPathRound>& rounds,
                                                  const std::string& hostAddress) {
  std::vector<THopTotal> totals;
  const auto totalOf = [&totals](int hop) -> THopTotal& {
    if (static_cast<int>(totals.size()) < hop) totals.resize(static_cast<std::size_t>(hop));
    return totals[static_cast<std::size_t>(hop - 1)];
  };
  for (const TPathHopSeries& series : range.hops) {
    if (series.hop <= 0) continue;
    THopTotal& total = totalOf(series.hop);
    for (const TPathHopBucket& step : series.buckets)
      take(total, step, std::llround(step.meanMicros));
  }
  for (const THistoryPathRound& round : roundsAfter(range, rounds)) {
    for (const THistoryHop& hop : round.hops) {
      if (hop.hop <= 0) continue;
      // One probe as a step of its own.
      TPathHopBucket probe;
      probe.sent = 1;
      if (hop.rttMicros) {
        probe.answered = 1;
        probe.address = hop.address;
        probe.name = hop.name;
        probe.bestMicros = probe.worstMicros = *hop.rttMicros;
        probe.meanMicros = static_cast<double>(*hop.rttMicros);
      }
      take(totalOf(hop.hop), probe, hop.rttMicros.value_or(0));
    }
  }
  // Hops up to the last that ever answered, as for rounds.
  while (!totals.empty() && totals.back().joined.answered == 0) totals.pop_back();
  std::vector<TPathHopRow> rows;
  for (std::size_t i = 0; i < totals.size(); ++i) {
    const THopTotal& total = totals[i];
    const TPathHopBucket& j = total.joined;
    TPathHopRow row;
    row.stats.hop = static_cast<int>(i) + 1;
    row.stats.addresses = total.addresses;
    row.stats.lastAddress = j.address;
    row.stats.isHost = !j.address.empty() && j.address == hostAddress;
    row.stats.sent = j.sent;
    row.stats.received = j.answered;
    if (j.answered > 0) {
      row.stats.lastMicros = total.lastMicros;
      row.stats.bestMicros = j.bestMicros;
      row.stats.worstMicros = j.worstMicros;
      row.stats.meanMicros = j.meanMicros;
      row.stats.squaresMicros = j.squaresMicros;
    }
    if (const auto it = total.names.find(j.address); it != total.names.end()) row.name = it->second;
    rows.push_back(std::move(row));
  }
  markLimitingRouters(rows);
  return rows;
}

std::vector<TPathHopBuckets> pathHopBucketsFromSummaries(
    const TPathSummaryRange& range, const std::vector<THistoryPathRound>& rounds,
    std::int64_t fromMs, std::int64_t toMs, std::int64_t stepMs) {
  std::vector<TPathHopBuckets> hops =
      pathHopBuckets(roundsAfter(range, rounds), fromMs, toMs, stepMs);
  if (stepMs <= 0 || toMs <= fromMs) return hops;
  const std::int64_t first = floorTo(fromMs, stepMs);
  const auto count = static_cast<std::size_t>((toMs - first + stepMs - 1) / stepMs);
  const std::int64_t summaryMs = range.stepSeconds * 1000LL;
  for (const TPathHopSeries& series : range.hops) {
    if (series.hop <= 0) continue;
    while (static_cast<int>(hops.size()) < series.hop) {
      TPathHopBuckets added{static_cast<int>(hops.size()) + 1, std::vector<TPathBucket>(count)};
      for (std::size_t i = 0; i < count; ++i)
        added.buckets[i].startMs = first + static_cast<std::int64_t>(i) * stepMs;
      hops.push_back(std::move(added));
    }
    std::vector<TPathBucket>& chart = hops[static_cast<std::size_t>(series.hop - 1)].buckets;
    for (const TPathHopBucket& step : series.buckets) {
      // A summary that began before the range but reaches into it counts in its first step.
      if (step.startMs + summaryMs <= first || step.startMs >= toMs) continue;
      TPathBucket& b =
          chart[static_cast<std::size_t>(std::max<std::int64_t>(step.startMs - first, 0) / stepMs)];
      const int answeredBefore = b.sent - b.lost;
      b.sent += step.sent;
      b.lost += step.sent - step.answered;
      if (step.answered == 0) continue;
      b.minMicros = b.minMicros < 0 ? step.bestMicros : std::min(b.minMicros, step.bestMicros);
      b.maxMicros = std::max(b.maxMicros, step.worstMicros);
      const double before = answeredBefore > 0 ? static_cast<double>(b.meanMicros) : 0.0;
      b.meanMicros = std::llround((before * answeredBefore + step.meanMicros * step.answered) /
                                  (answeredBefore + step.answered));
    }
  }
  return hops;
}
