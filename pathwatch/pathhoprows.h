#pragma once
// The hops of one host's stored path rounds over a range, as the Path window lists them: per hop
// its address and name (the last seen), loss and round trips (last, mean, best, worst, jitter as
// the standard deviation).
//
// A router that limits its own answers ("time exceeded" is rate-limited by most routers) shows
// loss at its hop while later hops lose less, or answer in every round it lost: the probes passed
// it. Such a hop is marked `limitsAnswers` rather than read as loss on the path.

#include <string>
#include <vector>

#include "history/pathrecords.h"
#include "path/pathstats.h"

struct TPathHopRow {
  THopStats stats;
  std::string name;
  bool limitsAnswers = false;
};

std::vector<TPathHopRow> pathHopRows(const std::vector<THistoryPathRound>& rounds);
// Sets `limitsAnswers` on the rows (hops 1..n in order) whose loss later hops do not share.
void markLimitingRouters(std::vector<TPathHopRow>& rows);
