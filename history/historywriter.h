#pragma once
// The recorder's queue and its database thread (see historyrecorder.h for the behaviour).

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QSqlError>

#include "core/engineevents.h"
#include "historyrecorder.h"

class THistoryStore;

// One event handed from the interface thread to the database thread.
struct THistoryEvent {
  // Started and Stopped: monitoring started or stopped at sentMs.
  enum class TKind : std::uint8_t { Echo, Added, Edited, Deleting, Started, Stopped };
  TKind kind = TKind::Echo;
  std::uint64_t runId = 0;
  std::int64_t sentMs = 0;
  std::int64_t rttMicros = -1;
  std::shared_ptr<const THostNames> names;  // Added and Edited only (Edited: sentMs is its time)
};

class THistoryWriter {
 public:
  explicit THistoryWriter(THistoryRecorderOptions options);
  ~THistoryWriter();

  // Interface thread: never waits for the database.
  void push(THistoryEvent event);
  void start(const std::string& databasePath);
  void setLengths(const THistoryLengths& lengths);
  void stop();
  bool waitWritten(std::chrono::milliseconds timeout);
  THistoryRecorderStats stats() const;

 private:
  struct THostState {
    THostNames names;
    std::int64_t id = 0;  // 0 until the database row is known
    bool deleted = false;
  };

  void run();
  bool ensureOpen();
  void writeRound();
  bool apply(const std::vector<THistoryEvent>& events);
  bool resolve(std::uint64_t runId, THostState& host);
  void maintain();
  void failed(const QSqlError& error);
  void reportOnce(const std::string& text);
  bool moveAside();
  std::int64_t now() const;
  std::chrono::steady_clock::time_point nextMaintenance() const;

  THistoryRecorderOptions options;
  std::string path;

  // Shared between the threads, under `lock`.
  mutable std::mutex lock;
  std::condition_variable wake;
  std::condition_variable settledChanged;
  std::deque<THistoryEvent> queue;
  std::uint64_t queuedCount = 0, droppedCount = 0, writtenCount = 0, settledCount = 0;
  bool stopping = false, flushNow = false, writing = false, refused = false;
  bool idle = false;  // the thread sleeps until an event comes (nothing queued or pending)
  std::uint64_t rounds = 0;  // times the thread woke
  double threadCpu = 0;
  std::thread thread;

  // Database thread only.
  std::unique_ptr<THistoryStore> store;
  std::map<std::uint64_t, THostState> hosts;  // by the host's run id
  std::vector<THistoryEvent> pending;         // taken from the queue, not yet committed
  // What a rolled-back transaction must undo in `hosts`.
  std::vector<std::uint64_t> resolvedThisRound;  // hosts given a new row
  std::vector<std::pair<std::uint64_t, THostState>> deletedThisRound;
  std::chrono::steady_clock::time_point nextOpenAttempt{};
  std::int64_t runRow = 0, runRowBefore = 0;  // this run's row in `runs`; 0 while not written
  std::int64_t lastPackMinute = 0, lastPruneHour = 0;
  bool faultReported = false;
};
