#pragma once
// Stored path rounds reduced to steps of time per hop, for the Path window's chart and its
// sparklines: 7 days of rounds (one a minute, up to 30 hops) are some 300,000 hop answers, far more
// than a chart is wide.
//
// Steps sit on whole multiples of the step since 1970, so a range that slides with the clock keeps
// its steps (a live chart does not jitter). In each step a hop has the probes sent to it (rounds
// that reached the host earlier did not probe it), how many of them were lost, and the round trips
// of the answered ones. A step without probes is no data; a step whose probes were all lost has no
// round trip at all: neither is ever a round trip of zero.

#include <cstdint>
#include <vector>

#include "history/pathrecords.h"

struct TPathBucket {
  std::int64_t startMs = 0;
  int sent = 0;
  int lost = 0;
  std::int64_t minMicros = -1;  // the round trips of the answered probes; -1 when none answered
  std::int64_t meanMicros = -1;
  std::int64_t maxMicros = -1;
  bool empty() const { return sent == 0; }
  bool allLost() const { return sent > 0 && lost == sent; }
};

// One hop's steps over the range: every step of [fromMs, toMs), in order, empty ones included.
struct TPathHopBuckets {
  int hop = 0;
  std::vector<TPathBucket> buckets;
};

// The step for a span: one minute (a round each) up to where `maxSteps` steps cover the span,
// rounded up to 1, 2, 5, 10, 15, 30 minutes, hours, 2, 3, 6 or 12 hours, a day.
std::int64_t pathBucketStepMs(std::int64_t spanMs, int maxSteps);

// Rounds (oldest first, as pathRounds gives them) bucketed per hop over [fromMs, toMs) in steps of
// stepMs. Hops 1 up to the highest hop any round probed.
std::vector<TPathHopBuckets> pathHopBuckets(const std::vector<THistoryPathRound>& rounds,
                                            std::int64_t fromMs, std::int64_t toMs,
                                            std::int64_t stepMs);
