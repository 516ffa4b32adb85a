#pragma once
// Outages: runs of lost echoes, found in a host's results.

#include <cstdint>
#include <optional>
#include <vector>

#include "historytypes.h"

class THistoryReader;

// How an outage ended.
enum class TOutageEnd : std::uint8_t {
  Ongoing,            // still lost at the last echo read
  Answered,           // the next echo was answered
  HostDeleted,        // the host was deleted during the outage
  MonitoringStopped,  // monitoring stopped during it: it ends at the last echo before the stop
};

struct TOutage {
  std::int64_t startMs = 0;              // time sent of the first lost echo
  std::optional<std::int64_t> endMs;     // see endedBy; empty while ongoing
  std::int64_t durationMs = 0;           // end - start; up to the last lost echo while ongoing
  std::int32_t lostCount = 0;
  TOutageEnd endedBy = TOutageEnd::Ongoing;
  bool ongoing() const { return !endMs.has_value(); }
};

// What ends an outage besides an answer.
struct TOutageBounds {
  std::vector<std::int64_t> runBoundsMs;  // monitoring started or stopped (THistoryReader::runBounds)
  std::int64_t deletedMs = 0;             // the host's deletion, 0 while it is in the list
};

// "host deleted", "monitoring stopped", "answered"; empty while ongoing.
const char* outageEndText(TOutageEnd end);

// [alerts] lost_to_down: consecutive lost echoes that make an outage (and a confirmed down).
inline constexpr std::int32_t DefaultLostToDown = 3;
// The setting, read through extraSetting; a missing or invalid value (below 1) gives the default.
std::int32_t lostToDownSetting();

// Every run of at least minLost consecutive lost echoes in `echoes`, which must be ordered by time
// sent (the reader's order). A start or stop of monitoring between two echoes ends a run; a run
// still going at the last echo ends at the first stop or deletion after it, else it is ongoing.
// Durations are never negative.
std::vector<TOutage> findOutages(const std::vector<THistoryEcho>& echoes, std::int32_t minLost,
                                 const TOutageBounds& bounds = {});

// The outages of a host that overlap [fromMs, toMs), each with its real start and lost count even
// when it began before fromMs (earlier results are read back until an answer, in bounded steps).
std::vector<TOutage> outagesOverlapping(THistoryReader& reader, const THistoryHost& host,
                                        std::int64_t fromMs, std::int64_t toMs,
                                        std::int32_t minLost,
                                        const std::vector<std::int64_t>& runBoundsMs);
