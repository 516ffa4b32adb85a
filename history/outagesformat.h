#pragma once
// The outage report's forms, the same as `sorvelo --outages` prints: CSV with a title line, or a
// JSON array of objects; times in ISO 8601 local time with their UTC offset, durations in seconds
// with milliseconds, an ongoing outage without an end (empty in CSV, null in JSON). The last
// column but one, end_reason, says what ended it: "answered", "host deleted" or "monitoring
// stopped"; the last, last_hop, where the host's path stopped during it ("hop 2, 192.0.2.5
// (r2.example)", "no hop") when the path was traced then, else empty (null in JSON).

#include <string>
#include <vector>

#include "historytypes.h"
#include "outages.h"
#include "pathrecords.h"

struct THostOutage {
  THistoryHost host;
  TOutage outage;
  std::optional<TLastHop> lastHop;  // where the path stopped, when a round was traced then
};

// "2026-12-08T18:00:00+01:00"
std::string outageTime(std::int64_t ms);
// "93.250"
std::string outageSeconds(std::int64_t ms);
std::string outagesCsv(const std::vector<THostOutage>& list);
std::string outagesJson(const std::vector<THostOutage>& list);
