#pragma once
// The Path window's hop rows and chart steps over ranges longer than path rounds are kept, from the
// per-hop summaries of the results database (history/pathsummaries.h) followed by the rounds stored
// after the last summarised step (the present hour, not summarised yet).
//
// The figures are those the same rounds would give (pathHopRows, pathHopBuckets): loss counts the
// probes sent to a hop, best and worst are exact, mean and jitter are joined from the steps' means
// and squared differences. Two things the summaries do not keep: a hop's last round trip is that of
// its last answer in the later rounds, else the mean of its last step that answered; the addresses
// a hop answered from are the last of each step.

#include <cstdint>
#include <string>
#include <vector>

#include "history/pathrecords.h"
#include "history/pathsummaries.h"
#include "pathbuckets.h"
#include "pathhoprows.h"

// Where the rounds take over: the end of the last step summarised in `range`; the smallest time
// there is when it holds nothing.
std::int64_t pathSummariesEndMs(const TPathSummaryRange& range);

// The hop rows of `range` and of the rounds from pathSummariesEndMs(range) on (earlier ones are
// counted in the summaries already and left out). `hostAddress` marks the hop that is the host.
std::vector<TPathHopRow> pathHopRowsFromSummaries(const TPathSummaryRange& range,
                                                  const std::vector<THistoryPathRound>& rounds,
                                                  const std::string& hostAddress);

// The same as chart steps of stepMs over [fromMs, toMs), as pathHopBuckets gives them for rounds.
// stepMs is best a whole multiple of the summaries' step: a summary falls whole into the chart step
// holding its start.
std::vector<TPathHopBuckets> pathHopBucketsFromSummaries(
    const TPathSummaryRange& range, const std::vector<THistoryPathRound>& rounds,
    std::int64_t fromMs, std::int64_t toMs, std::int64_t stepMs);
