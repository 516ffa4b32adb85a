#pragma once
// The overview's sparkline on a time scale: the last 10 minutes of a host's echoes reduced to one
// value per pixel column, newest at the right. A column holds the worst of the echoes sent in its
// slice of time (a lost one wins); a column without an echo continues the one before while the
// echoes either side are no further apart than three of the host's usual spacings, and is blank
// otherwise, so that a gap (pinging stopped, paused, the program closed) shows as a gap.

#include <cstdint>
#include <vector>

#include "history/historytypes.h"
#include "historygaps.h"

inline constexpr std::int64_t SparkSpanMs = 10 * 60'000;

struct TSparkColumn {
  enum Kind : std::uint8_t { Blank, Answered, Lost };
  Kind kind = Blank;
  std::int64_t rttMicros = -1;  // the largest round trip of an Answered column
  bool operator==(const TSparkColumn&) const = default;
};

// What the overview hands its sparkline: the host's echoes of the last SparkSpanMs, oldest first,
// and the time at the right edge.
struct TSparkTrail {
  std::int64_t nowMs = 0;
  std::vector<THistoryEcho> echoes;
  std::vector<TTimeSpan> unmonitored;  // pinging stopped or paused: shaded
};

// `columns` columns for [nowMs - spanMs, nowMs); echoes ordered by time sent.
std::vector<TSparkColumn> sparkColumns(const std::vector<THistoryEcho>& echoes, std::int64_t nowMs,
                                       std::int64_t spanMs, int columns);
