#pragma once
// Reads the results database for the windows, the alerts and the --outages command.
//
// Each reader has a read-only connection of its own: use one reader on one thread (the interface
// thread may own one; its queries touch one host and a time range and use the primary keys). Results
// always come ordered by time sent, whatever the clock did while they were recorded.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "historytypes.h"
#include "pathrecords.h"

class THistoryReader {
 public:
  explicit THistoryReader(std::string databasePath);
  ~THistoryReader();
  THistoryReader(const THistoryReader&) = delete;
  THistoryReader& operator=(const THistoryReader&) = delete;

  // Opens the file read-only; false with errorText() when it is missing, not a results database
  // or of a newer schema version. The queries below open on first use.
  bool open();
  // Closes the connection (the next query opens it again).
  void close();
  const std::string& errorText() const { return error; }

  // Every host the database knows, deleted ones included, by id.
  std::vector<THistoryHost> hosts();
  // The host with this address and host name (the one not deleted first), if any.
  std::optional<THistoryHost> findHost(const std::string& address, const std::string& hostName);

  // When monitoring started and stopped, every run's start and stop, sorted (a run that ended
  // without saying so has its start only). Empty for a file written before runs were recorded.
  std::vector<std::int64_t> runBounds();
  // The runs that start in [fromMs, toMs), the last one before fromMs and the first one after,
  // ordered by start (runs follow one another; the next start bounds one that ended without saying
  // so).
  // Empty for a file written before runs were recorded.
  std::vector<THistoryRun> runs(std::int64_t fromMs, std::int64_t toMs);

  // Where the path of the host at `address` stopped during [fromMs, toMs) (pathrecords.h).
  std::optional<TLastHop> lastHopDuring(const std::string& address, std::int64_t fromMs,
                                        std::int64_t toMs);

  // The start of the oldest minute of raw results the host has (of its oldest summary when no raw
  // result is kept); empty when there is none. A few index lookups.
  std::optional<std::int64_t> firstRecordMs(std::int64_t hostId);

  // The changes of a host's address made in [fromMs, toMs), oldest first; empty for a file written
  // before they were recorded.
  std::vector<THistoryAddressChange> addressChanges(std::int64_t hostId, std::int64_t fromMs,
                                                    std::int64_t toMs);

  // The raw echoes of a host sent in [fromMs, toMs), ordered by time sent.
  std::vector<THistoryEcho> echoes(std::int64_t hostId, std::int64_t fromMs, std::int64_t toMs);
  // The summaries of a host in [fromMs, toMs) at the finest step that gives at most maxPoints
  // summaries and is still kept for that range; ordered by start.
  std::vector<THistorySummary> summaries(std::int64_t hostId, std::int64_t fromMs,
                                         std::int64_t toMs, int maxPoints = 2000);
  // The same at a given step (300, 3600 or 86400 seconds).
  std::vector<THistorySummary> summariesAtStep(std::int64_t hostId, std::int64_t fromMs,
                                               std::int64_t toMs, std::int32_t stepSeconds);
  // The median round trip of the 24 hours before nowMs in microseconds, from the 5-minute
  // summaries: the median of their mean round trips, each weighted by its answered echoes. Empty
  // when no summary of that day has an answer. At most 288 rows, whatever the file keeps.
  std::optional<std::int64_t> median24h(std::int64_t hostId, std::int64_t nowMs);

 private:
  bool ensureOpen();

  std::string path;
  std::string connectionName;
  std::string error;
  bool opened = false;
};
