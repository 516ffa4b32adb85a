#pragma once
// Outages: runs of lost echoes, found in a host's results.

#include <cstdint>
#include <optional>
#include <vector>

#include "historytypes.h"

struct TOutage {
  std::int64_t startMs = 0;              // time sent of the first lost echo
  std::optional<std::int64_t> endMs;     // time sent of the next answered echo; empty while ongoing
  std::int64_t durationMs = 0;           // end - start; up to the last lost echo while ongoing
  std::int32_t lostCount = 0;
  bool ongoing() const { return !endMs.has_value(); }
};

// [alerts] lost_to_down: consecutive lost echoes that make an outage (and a confirmed down).
inline constexpr std::int32_t DefaultLostToDown = 3;
// The setting, read through extraSetting; a missing or invalid value (below 1) gives the default.
std::int32_t lostToDownSetting();

// Every run of at least minLost consecutive lost echoes in `echoes`, which must be ordered by time
// sent (the reader's order). Durations are never negative.
std::vector<TOutage> findOutages(const std::vector<THistoryEcho>& echoes, std::int32_t minLost);
