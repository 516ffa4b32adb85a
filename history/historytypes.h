#pragma once
// The records the results database hands out. Times are UTC milliseconds since 1970 (as the engine
// stamps its sends), round trips microseconds.

#include <cstdint>
#include <optional>
#include <string>

// A host as the database knows it: an id of the database's own, with the host's current names.
struct THistoryHost {
  std::int64_t id = 0;
  std::string callingName;
  std::string hostName;
  std::string address;
  std::int64_t addedMs = 0;
  std::int64_t deletedMs = 0;  // 0 while the host is in the list
};

// A host's address changed at changedMs (the host, and so its history, stayed the same).
struct THistoryAddressChange {
  std::int64_t changedMs = 0;
  std::string oldAddress;
  std::string newAddress;
  bool operator==(const THistoryAddressChange&) const = default;
};

// One echo: when it was sent and its round trip, -1 when it was lost.
struct THistoryEcho {
  std::int64_t sentMs = 0;
  std::int64_t rttMicros = -1;
  bool answered() const { return rttMicros >= 0; }
  bool operator==(const THistoryEcho&) const = default;
};

// The echoes of one step (5 minutes, an hour, a day) consolidated. The round-trip figures cover the
// answered echoes; they are -1 when none was answered.
struct THistorySummary {
  std::int64_t startMs = 0;
  std::int32_t stepSeconds = 0;
  std::int32_t sent = 0;
  std::int32_t lost = 0;
  std::int64_t minMicros = -1;
  std::int64_t meanMicros = -1;
  std::int64_t maxMicros = -1;
  std::int64_t p95Micros = -1;
};

// A stretch of monitoring (a row of `runs`): from a start to a stop, a pause or the program's end.
// stoppedMs is empty while the run goes on, or when it ended without saying so (a crash).
struct THistoryRun {
  std::int64_t startedMs = 0;
  std::optional<std::int64_t> stoppedMs;
  bool operator==(const THistoryRun&) const = default;
};
