#pragma once
// Gathers changes into notifications (plain C++, times passed in by the caller, in milliseconds of
// a monotonic clock):
//   1. A change opens a batch that closes 2 seconds later; the changes arriving meanwhile join it.
//   2. A subject (a host, or the connection) notified less than a minute ago is held back until its
//      minute is over, then joins the batch open at that time (or opens one due at once).
//   3. Changes of one subject merge while they wait: the state before the first and after the last
//      count. A subject that ends where it started (down and up again within the wait) drops out.

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "alertchange.h"

class TAlertGatherer {
 public:
  static constexpr std::int64_t GatherMs = 2000;
  static constexpr std::int64_t PerSubjectMs = 60000;

  void add(const TAlertChange& change, std::int64_t nowMs);
  // When take() has something to hand out next, if ever.
  std::optional<std::int64_t> nextDueMs() const;
  // The batch due at `nowMs` (empty when none is), each subject once, in the order they came.
  std::vector<TAlertChange> take(std::int64_t nowMs);
  // Forgets a host's waiting changes (it was deleted).
  void forget(std::uint64_t runId);

 private:
  struct TWaiting {
    TAlertChange change;
    std::int64_t order;
  };
  void merge(std::map<std::uint64_t, TWaiting>& into, const TAlertChange& change);
  void release(std::int64_t nowMs);

  std::map<std::uint64_t, TWaiting> batch;
  std::optional<std::int64_t> batchDueMs;
  std::map<std::uint64_t, TWaiting> held;
  std::map<std::uint64_t, std::int64_t> lastNotifiedMs;
  std::int64_t nextOrder = 0;
};
