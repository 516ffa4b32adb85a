#pragma once
// Path rounds in the results database (tables path_rounds, path_hops, path_changes; see
// docs/history.md): written by the path tracer's thread over a connection of its own, read by the
// outage report and the windows. Keyed by the host's address, so a round outlives the host list.
//
// A route change is a hop whose answering address differs from the one it had in the host's
// previous round; a hop lost in either round is no change (a lost probe says nothing about the
// route).

#include <QSqlDatabase>
#include <QSqlError>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct THistoryHop {
  int hop = 0;
  std::string address;  // "" when lost
  std::string name;     // reverse name when it was known at storing time
  std::optional<std::int64_t> rttMicros;
};

struct THistoryPathRound {
  std::string address;  // the host's
  std::int64_t roundMs = 0;
  std::string reason;  // "schedule", "down" or "up"
  bool reached = false;
  std::vector<THistoryHop> hops;
};

struct TRouteChange {
  int hop = 0;
  std::string before;
  std::string after;
  std::int64_t atMs = 0;  // the round that saw the new address
};

// The last hop that answered in a round that did not reach its host: where the path stops.
// hop 0 with an empty address when no hop answered at all.
struct TLastHop {
  int hop = 0;
  std::string address;
  std::string name;
};

// Stores the round and the route changes against the host's previous round, in one transaction.
// A round that falls into a step already summarised marks that step to be summarised again.
// The changes found, or nothing with `error` when the write failed (nothing is kept then).
std::optional<std::vector<TRouteChange>> storePathRound(QSqlDatabase& db,
                                                        const THistoryPathRound& round,
                                                        QSqlError& error);
// Removes rounds and changes older than `beforeMs`.
bool prunePathRounds(QSqlDatabase& db, std::int64_t beforeMs, QSqlError& error);

// Where the path of `address` stopped in the first round started in [fromMs, toMs) that did not
// reach the host; nothing when there is no such round (or the file has no path tables).
std::optional<TLastHop> lastHopDuring(QSqlDatabase& db, const std::string& address,
                                      std::int64_t fromMs, std::int64_t toMs);
// "hop 3, 203.0.113.1 (isp-edge.example)"; "no hop" when none answered.
std::string lastHopText(const TLastHop& hop);

// The rounds of `address` started in [fromMs, toMs), oldest first, and its route changes then.
std::vector<THistoryPathRound> pathRounds(QSqlDatabase& db, const std::string& address,
                                          std::int64_t fromMs, std::int64_t toMs);
std::vector<TRouteChange> routeChanges(QSqlDatabase& db, const std::string& address,
                                       std::int64_t fromMs, std::int64_t toMs);
