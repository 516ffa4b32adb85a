#pragma once
// Where a round-trip line must not be drawn across: the spans in which nothing was monitored
// (pinging stopped, paused for a dialog, the program closed; from the runs in the results
// database) and spans without echoes longer than three of the host's intervals. Plain C++, shared
// by the history chart, the exported picture and the overview's sparkline.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "history/historytypes.h"

struct TTimeSpan {
  std::int64_t fromMs = 0;
  std::int64_t toMs = 0;
  bool operator==(const TTimeSpan&) const = default;
};

// Echoes further apart than this many of the host's intervals are not joined.
inline constexpr int GapIntervals = 3;

// The parts of [fromMs, toMs) in which nothing was monitored, ordered. `runs` as
// THistoryReader::runs gives them; `seenMs`, the times of the echoes shown (sorted), ends a run
// that ended without saying so (a crash) at its last echo. The last run, without a stop, goes on.
// Nothing is marked before the first run a file knows, nor without runs (a file from before they
// were recorded): what was monitored then is not known.
std::vector<TTimeSpan> unmonitoredSpans(const std::vector<THistoryRun>& runs, std::int64_t fromMs,
                                        std::int64_t toMs, const std::vector<std::int64_t>& seenMs);

// True when a line may join points at aMs <= bMs: at most maxGapMs apart (0: any distance) and no
// unmonitored span between them.
bool joins(std::int64_t aMs, std::int64_t bMs, std::int64_t maxGapMs,
           const std::vector<TTimeSpan>& unmonitored);

// The answered echoes of `echoes` (ordered by time sent) as the runs a line joins, each the indices
// [first, last] of its first and last echo: a lost echo, more than maxGapMs without an echo (0: any
// distance) or a span not monitored ends a run. A run may hold a single echo.
std::vector<std::pair<std::size_t, std::size_t>> joinedRuns(
    const std::vector<THistoryEcho>& echoes, std::int64_t maxGapMs,
    const std::vector<TTimeSpan>& unmonitored);

// The span in `spans` that holds ms, if any (nullptr otherwise).
const TTimeSpan* spanAt(const std::vector<TTimeSpan>& spans, std::int64_t ms);

// A host's interval when it is not known (a host no longer in the list): the median spacing of
// its echoes; 0 with fewer than two.
std::int64_t medianSpacingMs(const std::vector<THistoryEcho>& echoes);
