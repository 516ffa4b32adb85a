#pragma once
// The database thread's side of the results database: opening, host rows, batched writes of new
// results, packing of closed minutes, consolidation and pruning. Used on one thread only.
//
// New results go into `recent` as one row per host and minute per write; once a minute has closed
// (two minutes later, so that late answers still find it open) its rows are packed into one `raw`
// row. Summaries are made from `raw` once their step has ended; a minute packed into a step already
// summarised (the clock stepped back, or a very late result) makes that step summarised again.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/engineevents.h"
#include "historysettings.h"
#include "historytypes.h"

class THistoryStore {
 public:
  enum class TOpen { Ready, Newer, Damaged, Failed };

  explicit THistoryStore(std::string connectionName);
  ~THistoryStore();
  THistoryStore(const THistoryStore&) = delete;
  THistoryStore& operator=(const THistoryStore&) = delete;

  TOpen open(const std::string& path);
  void close();
  bool isOpen() const { return opened; }
  int fileVersion() const { return version; }
  const QSqlError& lastError() const { return error; }

  bool begin();
  bool commit();
  void rollback();

  // The id of a host with this address and host name whose id is not in `taken`, if any.
  std::optional<std::int64_t> findHost(const THostNames& names, const std::set<std::int64_t>& taken);
  std::optional<std::int64_t> insertHost(const THostNames& names, std::int64_t nowMs);
  // New names; also marks the host as in the list again.
  bool updateHost(std::int64_t id, const THostNames& names);
  bool markDeleted(std::int64_t id, std::int64_t nowMs);
  bool recordAddressChange(std::int64_t id, std::int64_t changedMs, const std::string& oldAddress,
                           const std::string& newAddress);

  // A run of the monitor: its row id. stopRun sets when it stopped.
  std::optional<std::int64_t> startRun(std::int64_t startedMs);
  bool stopRun(std::int64_t runRow, std::int64_t stoppedMs);

  // Results of one host (all in the minute starting at minuteMs).
  bool insertRecent(std::int64_t hostId, std::int64_t minuteMs,
                    const std::vector<THistoryEcho>& echoes);

  // Packs the minutes of `recent` that have closed at nowMs, then summarises the steps that have
  // ended. Both in one transaction of their own.
  bool packAndConsolidate(std::int64_t nowMs);
  // Removes what is older than its length allows.
  bool prune(std::int64_t nowMs, const THistoryLengths& lengths);

 private:
  bool exec(QSqlQuery& q);
  bool exec(const QString& sql);
  std::vector<std::int64_t> hostIds();
  std::optional<std::int64_t> metaNumber(const QString& key);
  bool setMetaNumber(const QString& key, std::int64_t value);
  // A step of a host to summarise again: step seconds, host id, start.
  using TDirtyStep = std::tuple<std::int32_t, std::int64_t, std::int64_t>;
  bool packClosedMinutes(std::int64_t nowMs, std::set<TDirtyStep>& dirty,
                         std::map<std::int32_t, std::int64_t>& summarisedUntil);
  bool summarise(std::int64_t hostId, std::int32_t stepSeconds, std::int64_t fromMs,
                 std::int64_t toMs);

  std::string connection;
  bool opened = false;
  int version = 0;
  QSqlError error;
  std::optional<QSqlQuery> beginQuery, commitQuery, insertRecentQuery;
};
