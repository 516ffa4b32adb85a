#pragma once
// Confirmed states and degraded hosts, from the echo results alone (plain C++, no clock of its own:
// every judgement uses the time the echo was sent).
//
// Per host:
//   1. A lost echo adds to the run of losses and ends the run of answers; an answer the reverse.
//   2. The host is confirmed down when the run of losses reaches K (lost_to_down, per host or
//      global), and up when the run of answers reaches M (answers_to_up). The first state of a run
//      is confirmed the same way, so one lost echo after start says nothing yet.
//   3. While up, the echoes of the last 5 minutes are judged once there are at least
//      degraded_min_echoes of them, leaving out the current run of losses: that run is an outage
//      beginning (or a blip), told by step 2 or not at all, never as a degradation. The host is
//      degraded while at least 2 of the judged echoes are lost and they make at least
//      degraded_loss_percent of them, or the mean round trip exceeds degraded_rtt_ms, or exceeds
//      degraded_rtt_factor times the host's 24-hour median round trip (and that median plus 10 ms,
//      so sub-millisecond jitter on a quiet LAN is not a degradation). With fewer echoes than that
//      in the window the host keeps the level it has.
//   4. The median comes from the results database when one is installed; otherwise from this run:
//      the median of the per-minute mean round trips of the last 24 hours, once 15 minutes are known.
//   5. Going down ends a degradation without a change of its own; coming back up starts the 5-minute
//      window afresh, so the losses of the outage do not make the host degraded at once.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "alertchange.h"
#include "alertsettings.h"

struct TEchoFacts {
  std::uint64_t runId = 0;
  std::string callingName;
  std::string hostName;
  std::string address;
  std::int64_t sentUnixMs = 0;
  bool answered = false;
  std::int64_t rttMicros = -1;
};

class TAlertTracker {
 public:
  static constexpr std::int64_t WindowMs = 5 * 60 * 1000;
  static constexpr std::size_t WindowCap = 5000;  // echoes kept per host, whatever the rate
  static constexpr std::int64_t RelativeFloorMicros = 10000;
  static constexpr std::size_t BaselineMinutes = 24 * 60;
  static constexpr std::size_t BaselineMinimum = 15;
  static constexpr std::int64_t MedianRefreshMs = 5 * 60 * 1000;

  // The 24-hour median round trip of a host in microseconds before `nowMs`, or nothing.
  using TMedianSource = std::function<std::optional<std::int64_t>(std::uint64_t runId, std::int64_t nowMs)>;

  void setSettings(const TAlertSettings& s) { settings = s; }
  const TAlertSettings& currentSettings() const { return settings; }
  void setMedianSource(TMedianSource source) { medianSource = std::move(source); }

  // The changes this echo confirms, in order (at most two: a state and a degradation).
  std::vector<TAlertChange> echo(const TEchoFacts& facts);
  void forget(std::uint64_t runId) { hosts.erase(runId); }

  TAlertLevel level(std::uint64_t runId) const;
  // The shown names of the hosts at this level, in run-id order (the order they were added).
  std::vector<std::string> namesAt(TAlertLevel level) const;
  // When the down hosts' runs of losses began (the first lost echo's send time), earliest first;
  // nothing when no host is down.
  std::optional<std::int64_t> earliestDownSinceMs() const;

 private:
  struct TSample {
    std::int64_t sentMs;
    std::int64_t rttMicros;  // -1 when lost
  };
  struct TMinute {
    std::int64_t minute;
    std::int64_t sumMicros;
    std::int32_t count;
  };
  struct THost {
    TAlertLevel level = TAlertLevel::Unknown;
    std::int32_t lostRun = 0;
    std::int32_t answerRun = 0;
    std::int64_t lostRunStartMs = 0;
    std::deque<TSample> window;
    // Running figures of `window`, kept with every echo that enters or leaves it, so judging costs
    // the same whatever the echo rate: its lost echoes, the sum of its round trips, and how many
    // lost echoes end it (the current run of losses).
    std::size_t windowLost = 0;
    std::int64_t windowSumMicros = 0;
    std::size_t trailingLost = 0;
    std::deque<TMinute> minutes;
    std::optional<std::int64_t> median;
    std::int64_t medianAtMs = 0;
    bool medianKnown = false;
    std::string shownName;
  };

  std::optional<TAlertLevel> confirmState(THost& host, const TEchoFacts& facts, std::string& detail) const;
  std::optional<std::string> degradation(THost& host, const TEchoFacts& facts, std::size_t judged);
  std::optional<std::int64_t> medianOf(THost& host, const TEchoFacts& facts);
  static void addToWindow(THost& host, const TSample& sample);
  static void clearWindow(THost& host);
  static void addToBaseline(THost& host, const TEchoFacts& facts);
  static std::optional<std::int64_t> runMedian(const THost& host);

  TAlertSettings settings;
  TMedianSource medianSource;
  std::map<std::uint64_t, THost> hosts;
};

// "0.012 ms", "2.35 ms", "23.4 ms", "230 ms".
std::string rttText(std::int64_t micros);
