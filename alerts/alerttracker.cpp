#include "alerttracker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string percentText(double percent) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, percent < 10 ? "%.1f %%" : "%.0f %%", percent);
  return buffer;
}

std::string factorText(double factor) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", factor);
  return buffer;
}

}  // namespace

std::string rttText(std::int64_t micros) {
  const double ms = static_cast<double>(micros) / 1000.0;
  const char* format = ms < 1 ? "%.3f ms" : ms < 10 ? "%.2f ms" : ms < 100 ? "%.1f ms" : "%.0f ms";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, ms);
  return buffer;
}

TAlertLevel TAlertTracker::level(std::uint64_t runId) const {
  const auto it = hosts.find(runId);
  return it == hosts.end() ? TAlertLevel::Unknown : it->second.level;
}

std::vector<std::string> TAlertTracker::namesAt(TAlertLevel wanted) const {
  std::vector<std::string> names;
  for (const auto& [runId, host] : hosts)
    if (host.level == wanted) names.push_back(host.shownName);
  return names;
}

std::optional<std::int64_t> TAlertTracker::earliestDownSinceMs() const {
  std::optional<std::int64_t> earliest;
  for (const auto& [runId, host] : hosts)
    if (host.level == TAlertLevel::Down && (!earliest || host.lostRunStartMs < *earliest))
      earliest = host.lostRunStartMs;
  return earliest;
}

std::vector<TAlertChange> TAlertTracker::echo(const TEchoFacts& facts) {
  THost& host = hosts[facts.runId];
  const std::string& shown = !facts.callingName.empty() ? facts.callingName
                             : !facts.hostName.empty()  ? facts.hostName
                                                        : facts.address;
  if (host.shownName != shown) host.shownName = shown;
  // Built only for a change: most echoes change nothing, and copy no names.
  const auto changeOf = [&facts] {
    TAlertChange change;
    change.runId = facts.runId;
    change.atUnixMs = facts.sentUnixMs;
    change.callingName = facts.callingName;
    change.hostName = facts.hostName;
    change.address = facts.address;
    return change;
  };

  std::vector<TAlertChange> changes;
  std::string detail;
  if (const auto confirmed = confirmState(host, facts, detail)) {
    TAlertChange change = changeOf();
    change.from = host.level;
    change.to = *confirmed;
    change.detail = detail;
    host.level = *confirmed;
    if (*confirmed == TAlertLevel::Up) clearWindow(host);  // a fresh start after an outage
    changes.push_back(change);
  }

  addToWindow(host, {facts.sentUnixMs, facts.answered ? facts.rttMicros : -1});
  if (facts.answered) addToBaseline(host, facts);

  // Too few echoes to judge (just back up, pinged rarely, or most of the window is the current run
  // of losses): the host stays as it was.
  const std::size_t judged = host.window.size() - host.trailingLost;
  if (judged >= static_cast<std::size_t>(std::max(settings.degradedMinEchoes, 1)) &&
      (host.level == TAlertLevel::Up || host.level == TAlertLevel::Degraded)) {
    const auto reason = degradation(host, facts, judged);
    const TAlertLevel verdict = reason ? TAlertLevel::Degraded : TAlertLevel::Up;
    if (verdict != host.level) {
      TAlertChange change = changeOf();
      change.from = host.level;
      change.to = verdict;
      change.detail = reason.value_or("");
      host.level = verdict;
      changes.push_back(change);
    }
  }
  return changes;
}

std::optional<TAlertLevel> TAlertTracker::confirmState(THost& host, const TEchoFacts& facts,
                                                       std::string& detail) const {
  if (facts.answered) {
    ++host.answerRun;
    host.lostRun = 0;
    const std::int32_t needed = settings.answersToUpFor(facts.address);
    if (host.answerRun >= needed && (host.level == TAlertLevel::Down || host.level == TAlertLevel::Unknown)) {
      detail = std::to_string(host.answerRun) + (host.answerRun == 1 ? " answer" : " answers in a row");
      return TAlertLevel::Up;
    }
    return std::nullopt;
  }
  if (++host.lostRun == 1) host.lostRunStartMs = facts.sentUnixMs;
  host.answerRun = 0;
  const std::int32_t needed = settings.lostToDownFor(facts.address);
  if (host.lostRun >= needed && host.level != TAlertLevel::Down) {
    detail = std::to_string(host.lostRun) + (host.lostRun == 1 ? " echo lost" : " echoes lost in a row");
    return TAlertLevel::Down;
  }
  return std::nullopt;
}

// `count`: the echoes of the window before the current run of losses.
std::optional<std::string> TAlertTracker::degradation(THost& host, const TEchoFacts& facts,
                                                      std::size_t count) {
  // The current run of losses holds no round trips: only the count leaves it out.
  const std::size_t lost = host.windowLost - host.trailingLost;
  const std::int64_t sum = host.windowSumMicros;
  const double lossPercent = 100.0 * static_cast<double>(lost) / static_cast<double>(count);
  if (settings.degradedLossPercent > 0 && lost >= 2 && lossPercent >= settings.degradedLossPercent)
    return "loss " + percentText(lossPercent) + " over 5 min";
  if (lost == count) return std::nullopt;
  const std::int64_t mean = sum / static_cast<std::int64_t>(count - lost);
  if (settings.degradedRttMs > 0 && mean > std::int64_t{settings.degradedRttMs} * 1000)
    return "mean round trip " + rttText(mean) + " over 5 min, above " +
           std::to_string(settings.degradedRttMs) + " ms";
  if (settings.degradedRttFactor > 0) {
    if (const auto median = medianOf(host, facts)) {
      const double limit = std::max(static_cast<double>(*median) * settings.degradedRttFactor,
                                    static_cast<double>(*median + RelativeFloorMicros));
      if (static_cast<double>(mean) > limit)
        return "mean round trip " + rttText(mean) + " over 5 min, above " +
               factorText(settings.degradedRttFactor) + " x its median " + rttText(*median);
    }
  }
  return std::nullopt;
}

std::optional<std::int64_t> TAlertTracker::medianOf(THost& host, const TEchoFacts& facts) {
  if (medianSource && (!host.medianKnown || facts.sentUnixMs - host.medianAtMs >= MedianRefreshMs ||
                       facts.sentUnixMs < host.medianAtMs)) {
    host.median = medianSource(facts.runId, facts.sentUnixMs);
    host.medianAtMs = facts.sentUnixMs;
    host.medianKnown = true;
  }
  if (medianSource && host.median) return host.median;
  return runMedian(host);
}

// Takes the echo in and lets out those older than 5 minutes (or beyond the cap), keeping the
// running figures with them.
void TAlertTracker::addToWindow(THost& host, const TSample& sample) {
  host.window.push_back(sample);
  if (sample.rttMicros < 0) {
    ++host.windowLost;
    ++host.trailingLost;
  } else {
    host.windowSumMicros += sample.rttMicros;
    host.trailingLost = 0;
  }
  while (!host.window.empty() && (host.window.front().sentMs <= sample.sentMs - WindowMs ||
                                  host.window.size() > WindowCap)) {
    const TSample& oldest = host.window.front();
    if (oldest.rttMicros < 0) --host.windowLost;
    else host.windowSumMicros -= oldest.rttMicros;
    host.window.pop_front();
  }
  // The run of losses ends the window: it shrinks only when the window was nothing else.
  host.trailingLost = std::min(host.trailingLost, host.window.size());
}

void TAlertTracker::clearWindow(THost& host) {
  host.window.clear();
  host.windowLost = 0;
  host.windowSumMicros = 0;
  host.trailingLost = 0;
}

void TAlertTracker::addToBaseline(THost& host, const TEchoFacts& facts) {
  const std::int64_t minute = facts.sentUnixMs / 60000;
  if (host.minutes.empty() || host.minutes.back().minute != minute)
    host.minutes.push_back({minute, 0, 0});
  host.minutes.back().sumMicros += facts.rttMicros;
  ++host.minutes.back().count;
  while (!host.minutes.empty() &&
         (host.minutes.size() > BaselineMinutes ||
          host.minutes.front().minute <= minute - static_cast<std::int64_t>(BaselineMinutes)))
    host.minutes.pop_front();
}

std::optional<std::int64_t> TAlertTracker::runMedian(const THost& host) {
  if (host.minutes.size() < BaselineMinimum) return std::nullopt;
  std::vector<std::int64_t> means;
  means.reserve(host.minutes.size());
  for (const TMinute& m : host.minutes) means.push_back(m.sumMicros / m.count);
  const auto middle = means.begin() + static_cast<std::ptrdiff_t>(means.size() / 2);
  std::nth_element(means.begin(), middle, means.end());
  return *middle;
}
