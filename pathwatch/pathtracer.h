#pragma once
// Path rounds as a consumer of the host list: which hosts are traced, when, and where the rounds go.
//
//   - A traced host (TPathSettings) gets one round at most once a minute (minInterval), checked
//     once a second on the interface thread.
//   - A host whose confirmed state goes down, or comes back, gets a round at once, ahead of the
//     scheduled ones (hostWentDown / hostCameBack), whatever the minute says.
//   - Rounds run one after another on a thread of the tracer's own; every probe of every round
//     takes a token of one shared bucket, so the cap on probes per second holds for all hosts
//     together. The engine's echo workers are not involved.
//   - Each round is stored in the results database (pathrecords.h, over a connection of the
//     thread's own) with the route changes against the host's previous round, then handed back to
//     the interface thread by a queued call: lastRound, changesTotal and onRound see it there.
//
// A database that cannot be written costs the storing only: rounds still reach onRound.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "history/pathrecords.h"
#include "path/pathprober.h"
#include "pathsettings.h"

struct TPathTracerOptions {
  std::chrono::milliseconds minInterval{60'000};  // per host, between scheduled rounds
  // How often the schedule is looked at; 0: never by itself, the owner calls checkSchedule (the
  // desktop program does so from its once-a-second status tick, to save a wake-up of its own).
  std::chrono::milliseconds checkInterval{1000};
  TPathProbeOptions probe;                        // hops, probes in flight, time-out
  std::int32_t keepDays = 10;                     // rounds older than this are pruned
  std::function<std::int64_t()> nowMs;            // wall clock of the round stamps; tests set theirs
};

// One finished round as handed to the interface thread.
struct TTracedRound {
  THistoryPathRound round;            // with names as far as they were known
  std::vector<TRouteChange> changes;  // against the host's previous stored round
  bool stored = false;
  int sendError = 0;
};

class TPathTracer : public QObject {
  Q_OBJECT
 public:
  explicit TPathTracer(TPathTracerOptions options = {}, QObject* parent = nullptr);
  ~TPathTracer() override;  // stop()

  // The addresses of the hosts in the list, asked once a second (interface thread).
  std::function<std::vector<std::string>()> addresses;
  // When set, a figure that changes whenever `addresses` would give another list: the list is then
  // asked for only after it changed, not at every check of the schedule.
  std::function<std::uint64_t()> addressesVersion;
  // When set, the settings are read again through it whenever the list of addresses changes (a
  // host added, edited or deleted), so that its per-host switch applies at once.
  std::function<TPathSettings(const std::vector<std::string>& addresses)> loadSettings;
  // Every finished round, on the interface thread.
  std::function<void(const TTracedRound&)> onRound;

  void setSettings(const TPathSettings& settings);
  const TPathSettings& currentSettings() const { return settings; }
  // Starts the schedule and the thread; rounds are stored in `databasePath` (empty: not stored).
  void start(const std::string& databasePath);
  // Ends the round in progress at once and waits for the thread.
  void stop();

  // Starts the rounds that are due (interface thread).
  void checkSchedule();
  // Rounds outside the schedule, for traced hosts only.
  void hostWentDown(const std::string& address) { urgent(address, "down"); }
  void hostCameBack(const std::string& address) { urgent(address, "up"); }

  const TTracedRound* lastRound(const std::string& address) const;
  // Where the last round of `address` stopped ("hop 2, 192.0.2.5 (r2.example)"), when it did not
  // reach the host; empty otherwise.
  std::string lastStop(const std::string& address) const;
  std::uint64_t changesTotal(const std::string& address) const;
  // Probes sent by all rounds so far, as tokens taken from the cap (any thread).
  std::uint64_t probesSent() const;
  // Rounds waiting or running.
  std::size_t backlog() const;

 signals:
  void roundDone(const QString& address);

 private:
  struct TJob {
    std::string address;
    std::string reason;
  };
  void urgent(const std::string& address, const char* reason);
  void enqueue(TJob job, bool front);
  void run(std::string databasePath);
  TTracedRound trace(const TJob& job, TTokenBucket& bucket);
  void deliver(TTracedRound round);
  void listTraced();
  std::int64_t now() const;

  TPathTracerOptions options;
  TPathSettings settings;
  QTimer schedule;
  std::map<std::string, std::chrono::steady_clock::time_point> lastStarted;  // interface thread
  std::vector<std::string> knownAddresses;                                  // interface thread
  // The list as last asked for, its version, and those of it traced (interface thread).
  std::vector<std::string> current;
  std::optional<std::uint64_t> currentVersion;
  std::vector<std::string> tracedNow;
  std::map<std::string, TTracedRound> last;                                 // interface thread
  std::map<std::string, std::uint64_t> changes;                             // interface thread

  mutable std::mutex lock;
  std::condition_variable wake;
  std::deque<TJob> jobs;
  std::set<std::string> waiting;  // addresses in `jobs` (no host queued twice)
  double rate = TPathSettings::DefaultProbesPerSecond;
  std::uint64_t sent = 0;
  bool busy = false;
  bool stopping = false;
  int cancelFd = -1;
  std::thread thread;
};
