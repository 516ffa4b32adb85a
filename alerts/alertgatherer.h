#pragma once
// Gathers changes into notifications (plain C++, times passed in by the caller, in milliseconds of
// a monotonic clock):
//   1. A change opens a batch that closes 2 seconds later; the changes arriving meanwhile join it.
//   2. Going down and coming back up (of a host or of the connection) join the open batch at once,
//      whatever was told before: only a subject that flaps is held, once two of its downs and ups
//      were told within a minute, until the older of them is a minute old.
//   3. Degraded and recovered are told at most once a minute per subject: a subject notified less
//      than a minute ago waits until its minute is over, then joins the batch open at that time (or
//      opens one due at once). A subject that goes down while such a notice waits takes it along
//      into the batch, where the two merge into "down".
//   4. Changes of one subject merge while they wait: the state before the first and after the last
//      count. A subject that ends where it started (down and up again within the wait) drops out.

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "alertchange.h"

class TAlertGatherer {
 public:
  static constexpr std::int64_t GatherMs = 2000;
  static constexpr std::int64_t PerSubjectMs = 60000;
  static constexpr std::size_t StatesPerMinute = 2;  // a down and its up

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
    std::int64_t dueMs = 0;  // when held: the end of its wait
  };
  struct TTold {
    std::int64_t lastMs = 0;
    std::deque<std::int64_t> statesMs;  // downs and ups told within the last minute, oldest first
  };
  void merge(std::map<std::uint64_t, TWaiting>& into, const TAlertChange& change);
  void toBatch(const TAlertChange& change, std::int64_t nowMs);
  void hold(const TAlertChange& change, std::int64_t dueMs);
  void release(std::int64_t nowMs);
  // When a down or up of this subject may be told, if not now.
  std::optional<std::int64_t> stateWaitUntil(std::uint64_t subject, std::int64_t nowMs);

  std::map<std::uint64_t, TWaiting> batch;
  std::optional<std::int64_t> batchDueMs;
  std::map<std::uint64_t, TWaiting> held;
  std::map<std::uint64_t, TTold> told;
  std::int64_t nextOrder = 0;
};
