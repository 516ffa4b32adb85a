#pragma once
// Records every echo result of the engine in the results database (history.sqlite).
//
// The recorder subscribes to the engine's event stream on the interface thread and does nothing
// there but copy each event into a bounded queue: when the queue is full the oldest echo result is
// dropped and counted, and the engine is never held up. One database thread of its own opens the
// file, writes the queued results in batched transactions (WAL mode) at least once a second, packs
// them into one row per host and minute, consolidates the summaries and prunes what is past its
// length (see docs/history.md for the schema). With nothing to write it sleeps until the next
// event or the next minute's packing.
//
// Faults of the database never stop monitoring: a full disk, a read-only folder or a locked file
// post one message through the user-message sink and the thread retries until it can write again;
// a file that is not an SQLite database (or is corrupt) is moved aside with a time stamp and a new one
// started; a database of a newer schema version is left as it is and nothing is written to it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

#include "core/engineevents.h"
#include "historysettings.h"

class THistoryWriter;

struct THistoryRecorderOptions {
  std::size_t queueCapacity = 200'000;  // events; about 40 bytes each
  std::chrono::milliseconds flushInterval{500};
  std::chrono::milliseconds retryInterval{5000};
  THistoryLengths lengths;  // the program passes historyLengths()
  // Wall clock of the database thread (packing of closed minutes, consolidation, pruning);
  // tests set their own.
  std::function<std::int64_t()> nowMs;
};

// Counters for the benchmark, the tests and the windows. Read from any thread.
struct THistoryRecorderStats {
  std::uint64_t queued = 0;    // events taken from the engine
  std::uint64_t dropped = 0;   // echo results dropped because the queue was full
  std::uint64_t written = 0;   // echo results committed to the file
  bool writing = false;        // the database is open and the last write succeeded
  bool refused = false;        // newer schema version: the file is kept and not written
  double threadCpuSeconds = 0; // CPU time the database thread has used so far
  std::uint64_t wakeUps = 0;   // rounds of the database thread so far
};

class THistoryRecorder final : public TEngineObserver {
 public:
  // Subscribes to `events` at once and records the start of monitoring; results are queued until
  // start() names the file.
  explicit THistoryRecorder(TEngineEventHub& events, THistoryRecorderOptions options = {});
  ~THistoryRecorder() override;  // stop(), then unsubscribes
  THistoryRecorder(const THistoryRecorder&) = delete;
  THistoryRecorder& operator=(const THistoryRecorder&) = delete;

  // Starts the database thread on `databasePath`; the thread opens (or creates) the file itself.
  void start(const std::string& databasePath);
  // New lengths (the Preferences window); they apply from the next hourly pruning.
  void setLengths(const THistoryLengths& lengths);
  // Monitoring stopped (Stop, a pause) or started again: recorded as the end or start of a run
  // (docs/history.md, table runs), so that no outage reaches across the pause. Only a change counts;
  // the desktop program calls it once a second with its run state. An echo result after a stop
  // starts a run by itself, stamped at its time sent.
  void setMonitoring(bool on);
  // Records that monitoring stopped, writes what is queued and ends the thread (waits for it: call
  // at close, not per event).
  void stop();
  // Waits until everything queued so far is committed or the wait ends; true when committed.
  bool waitWritten(std::chrono::milliseconds timeout);
  THistoryRecorderStats stats() const;

  void echoResult(const TTolvoHost& host, const TEchoResult& result) override;
  void hostAdded(const TTolvoHost& host) override;
  void hostDeleting(const TTolvoHost& host) override;
  void hostEdited(const TTolvoHost& host, const THostNames& before) override;

 private:
  TEngineEventHub& events;
  std::unique_ptr<THistoryWriter> writer;
  std::unordered_set<std::uint64_t> announced;  // run ids of the hosts the writer knows
  void monitoringAt(bool on, std::int64_t atMs);

  std::function<std::int64_t()> clock;
  bool monitoring = true;  // the constructor records the start
  std::int64_t stoppedAtMs = 0;
  bool stopped = false;
};
