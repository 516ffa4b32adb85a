#pragma once
// Live figures of every host of this run, kept from the engine's event stream for the overview:
// the echoes of the last 15 minutes (loss, min / mean / max, jitter), the counts since the start of
// the run, the last round trip and the last 60 echoes. Plain C++: no window toolkit, testable
// alone.
//
// The 15-minute window is kept incrementally, so reading a host's figures costs the same whatever
// its echo rate:
//   1. Each echo enters a queue ordered by arrival; sums of the round trips and of the lost echoes
//      grow with it.
//   2. Jitter is the mean absolute difference of consecutive answered round trips: each answered
//      echo carries its difference to the next answered one, set when that one arrives, so a pair
//      leaves the sum together with its older echo.
//   3. Minimum and maximum come from two monotonic queues (the front is the answer).
//   4. Echoes sent more than 15 minutes before "now" leave at the next echo or reading. A clock
//      that steps back only keeps echoes a little longer; no figure goes negative.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/engineevents.h"
#include "history/historytypes.h"

class TTolvoHosts;

inline constexpr std::int64_t LiveWindowMs = 15 * 60 * 1000;
inline constexpr int SparkEchoes = 60;

// The overview's state of a host.
enum class TLiveState : std::uint8_t { Unknown, Ok, Down, Degraded };

// The figures of one host as the overview shows them; round trips in microseconds, -1 for none.
struct TLiveFigures {
  TLiveState state = TLiveState::Unknown;
  std::int64_t lastRttMicros = -1;  // -1 also when the last echo was lost
  bool lastLost = false;
  std::int64_t runSent = 0;
  std::int64_t runLost = 0;
  std::int64_t windowSent = 0;
  std::int64_t windowLost = 0;
  std::int64_t minMicros = -1;
  std::int64_t maxMicros = -1;
  double meanMicros = -1;
  double jitterMicros = -1;  // -1 with fewer than two answered echoes
  // Oldest first; -1 marks a lost echo. `sparkCount` entries are used.
  std::array<std::int64_t, SparkEchoes> spark{};
  int sparkCount = 0;

  // Shares in percent, -1 when nothing was sent.
  double runLossPercent() const;
  double windowLossPercent() const;
};

// The rolling window of one host (steps 1-4 above).
class TLiveWindow {
 public:
  void add(std::int64_t sentMs, std::int64_t rttMicros);  // rttMicros < 0: lost
  void evict(std::int64_t nowMs);
  void fill(TLiveFigures& figures) const;
  // Echoes sent before every one in the window, ordered by time sent, taken in ahead of them.
  void prepend(const std::vector<THistoryEcho>& older);
  // The echoes sent at or after fromMs, in the order they came (for the sparkline).
  std::vector<THistoryEcho> since(std::int64_t fromMs) const;

 private:
  struct TEntry {
    std::int64_t sentMs;
    std::int64_t rttMicros;
    std::int64_t diffToNext;  // -1 until the next answered echo arrives
  };
  std::deque<TEntry> entries;
  std::uint64_t frontSeq = 0;  // sequence number of entries.front()
  std::optional<std::uint64_t> lastAnsweredSeq;
  std::deque<std::pair<std::uint64_t, std::int64_t>> minQueue, maxQueue;
  std::int64_t lost = 0;
  std::int64_t answered = 0;
  std::int64_t rttSum = 0;
  std::int64_t diffSum = 0;
  std::int64_t diffPairs = 0;
};

// One host's record: names, run counts, window, state inputs.
struct TLiveHost {
  std::uint64_t runId = 0;
  std::string callingName;
  std::string hostName;
  std::string address;
  std::int64_t runSent = 0;
  std::int64_t runLost = 0;
  std::int64_t firstSentMs = 0;  // this run's first echo; valid once runSent > 0
  bool seeded = false;           // earlier results were taken in (seedEarlier)
  std::int64_t lastRttMicros = -1;
  bool lastLost = false;
  std::optional<hostStatus> reportedStatus;  // the last real transition the engine published
  bool degraded = false;                     // set from outside (the alerts)
  // The alerts' confirmed state, once the alerts decide the shown state (followAlerts).
  std::optional<TLiveState> alertState;
  TLiveWindow window;
  std::array<std::int64_t, SparkEchoes> sparkRing{};
  int sparkNext = 0;
  int sparkCount = 0;
};

class TLiveStats final : public TEngineObserver {
 public:
  // Subscribes to the host list's events and takes up the hosts already in it.
  explicit TLiveStats(TTolvoHosts& hosts);
  // Without a host list (tests, benchmarks): feed the observer calls directly.
  TLiveStats() = default;
  ~TLiveStats() override;
  TLiveStats(const TLiveStats&) = delete;
  TLiveStats& operator=(const TLiveStats&) = delete;

  void echoResult(const TTolvoHost& host, const TEchoResult& result) override;
  void hostStatusChanged(const TTolvoHost& host, hostStatus status) override;
  void hostAdded(const TTolvoHost& host) override;
  void hostDeleting(const TTolvoHost& host) override;
  void hostEdited(const TTolvoHost& host, const THostNames& before) override;

  // Results of earlier runs from the results database, ordered by time sent: those sent before
  // this run's first echo of the host fill its 15-minute figures and sparkline as if they had been
  // seen (the run's counts, state and last round trip stay this run's). Once per host.
  void seedEarlier(std::uint64_t runId, const std::vector<THistoryEcho>& earlier,
                   std::int64_t nowMs);

  // A host is shown as degraded while its flag is set and it is otherwise OK.
  void setHostFlag(std::uint64_t runId, bool degraded);
  // From now on every host shows the state the alerts confirmed (Unknown until they confirm one),
  // the one notifications and the tray name; `rule` explains it for a host's address.
  void followAlerts(std::function<std::string(const std::string& address)> rule);
  void setAlertState(std::uint64_t runId, TLiveState state);
  // How the shown state is decided for this address; empty unless the alerts decide it.
  std::string stateRule(const std::string& address) const { return rule ? rule(address) : std::string(); }

  // Hosts in the order they were added.
  const std::map<std::uint64_t, TLiveHost>& hosts() const { return records; }
  // Drops echoes older than the window from every host.
  void evict(std::int64_t nowMs);
  static TLiveFigures figures(const TLiveHost& host);
  // Bumped by every add, delete and edit, so readers know when to look at names and rows again.
  std::uint64_t listVersion() const { return version; }

 private:
  TLiveHost& record(const TTolvoHost& host);

  TTolvoHosts* hostList = nullptr;
  std::function<std::string(const std::string&)> rule;
  std::map<std::uint64_t, TLiveHost> records;  // runIds only grow: map order is adding order
  std::uint64_t version = 0;
};

// "0.012 ms", "2.35 ms", "23.4 ms", "234 ms"; empty for a negative value.
std::string rttText(double micros);
// "0 %", "1.5 %", "100 %"; empty for a negative value.
std::string lossText(double percent);
