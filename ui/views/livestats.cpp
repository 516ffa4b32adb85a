#include "livestats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "core/tolvohosts.h"

double TLiveFigures::runLossPercent() const {
  return runSent <= 0 ? -1 : 100.0 * static_cast<double>(runLost) / static_cast<double>(runSent);
}

double TLiveFigures::windowLossPercent() const {
  return windowSent <= 0
             ? -1
             : 100.0 * static_cast<double>(windowLost) / static_cast<double>(windowSent);
}

void TLiveWindow::add(std::int64_t sentMs, std::int64_t rttMicros) {
  const std::uint64_t seq = frontSeq + entries.size();
  entries.push_back({sentMs, rttMicros < 0 ? -1 : rttMicros, -1});
  if (rttMicros < 0) {
    ++lost;
    return;
  }
  ++answered;
  rttSum += rttMicros;
  if (lastAnsweredSeq && *lastAnsweredSeq >= frontSeq) {
    TEntry& previous = entries[*lastAnsweredSeq - frontSeq];
    previous.diffToNext = std::llabs(rttMicros - previous.rttMicros);
    diffSum += previous.diffToNext;
    ++diffPairs;
  }
  lastAnsweredSeq = seq;
  while (!minQueue.empty() && minQueue.back().second >= rttMicros) minQueue.pop_back();
  minQueue.emplace_back(seq, rttMicros);
  while (!maxQueue.empty() && maxQueue.back().second <= rttMicros) maxQueue.pop_back();
  maxQueue.emplace_back(seq, rttMicros);
}

void TLiveWindow::prepend(const std::vector<THistoryEcho>& older) {
  TLiveWindow rebuilt;
  for (const THistoryEcho& e : older) rebuilt.add(e.sentMs, e.rttMicros);
  for (const TEntry& e : entries) rebuilt.add(e.sentMs, e.rttMicros);
  *this = std::move(rebuilt);
}

std::vector<THistoryEcho> TLiveWindow::since(std::int64_t fromMs) const {
  std::vector<THistoryEcho> out;
  for (const TEntry& e : entries)
    if (e.sentMs >= fromMs) out.push_back({e.sentMs, e.rttMicros});
  return out;
}

void TLiveWindow::evict(std::int64_t nowMs) {
  const std::int64_t oldest = nowMs - LiveWindowMs;
  while (!entries.empty() && entries.front().sentMs < oldest) {
    const TEntry& e = entries.front();
    if (e.rttMicros < 0) {
      --lost;
    } else {
      --answered;
      rttSum -= e.rttMicros;
      if (e.diffToNext >= 0) {
        diffSum -= e.diffToNext;
        --diffPairs;
      }
    }
    if (!minQueue.empty() && minQueue.front().first == frontSeq) minQueue.pop_front();
    if (!maxQueue.empty() && maxQueue.front().first == frontSeq) maxQueue.pop_front();
    entries.pop_front();
    ++frontSeq;
  }
}

void TLiveWindow::fill(TLiveFigures& f) const {
  f.windowSent = static_cast<std::int64_t>(entries.size());
  f.windowLost = lost;
  f.minMicros = minQueue.empty() ? -1 : minQueue.front().second;
  f.maxMicros = maxQueue.empty() ? -1 : maxQueue.front().second;
  f.meanMicros = answered > 0 ? static_cast<double>(rttSum) / static_cast<double>(answered) : -1;
  f.jitterMicros =
      diffPairs > 0 ? static_cast<double>(diffSum) / static_cast<double>(diffPairs) : -1;
}

TLiveStats::TLiveStats(TTolvoHosts& hosts) : hostList(&hosts) {
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot)
    if (const TTolvoHost* host = hosts.hostAt(slot)) record(*host);
  hosts.events().subscribe(this);
}

TLiveStats::~TLiveStats() {
  if (hostList) hostList->events().unsubscribe(this);
}

TLiveHost& TLiveStats::record(const TTolvoHost& host) {
  auto [it, added] = records.try_emplace(host.runId);
  if (added) {
    it->second.runId = host.runId;
    it->second.callingName = host.callingName;
    it->second.hostName = host.hostName;
    it->second.address = host.ipAddress;
    if (rule) it->second.alertState = TLiveState::Unknown;
    ++version;
  }
  return it->second;
}

void TLiveStats::echoResult(const TTolvoHost& host, const TEchoResult& result) {
  TLiveHost& h = record(host);
  const std::int64_t rtt = result.answered ? std::max<std::int64_t>(result.rttMicros, 0) : -1;
  if (h.runSent == 0) h.firstSentMs = result.sentUnixMs;
  ++h.runSent;
  h.lastLost = rtt < 0;
  if (rtt < 0)
    ++h.runLost;
  else
    h.lastRttMicros = rtt;
  h.window.add(result.sentUnixMs, rtt);
  h.window.evict(result.sentUnixMs);
  h.sparkRing[static_cast<std::size_t>(h.sparkNext)] = rtt;
  h.sparkNext = (h.sparkNext + 1) % SparkEchoes;
  if (h.sparkCount < SparkEchoes) ++h.sparkCount;
}

void TLiveStats::hostStatusChanged(const TTolvoHost& host, hostStatus status) {
  record(host).reportedStatus = status;
}

void TLiveStats::hostAdded(const TTolvoHost& host) { record(host); }

void TLiveStats::hostDeleting(const TTolvoHost& host) {
  if (records.erase(host.runId) > 0) ++version;
}

void TLiveStats::hostEdited(const TTolvoHost& host, const THostNames& /*before*/) {
  TLiveHost& h = record(host);
  h.callingName = host.callingName;
  h.hostName = host.hostName;
  h.address = host.ipAddress;
  ++version;
}

void TLiveStats::seedEarlier(std::uint64_t runId, const std::vector<THistoryEcho>& earlier,
                             std::int64_t nowMs) {
  const auto it = records.find(runId);
  if (it == records.end() || it->second.seeded) return;
  TLiveHost& h = it->second;
  h.seeded = true;
  std::vector<THistoryEcho> older;
  for (const THistoryEcho& e : earlier)
    if (h.runSent == 0 || e.sentMs < h.firstSentMs) older.push_back(e);
  if (older.empty()) return;
  h.window.prepend(older);
  h.window.evict(nowMs);
  // The sparkline: the earlier echoes, then this run's, the newest SparkEchoes of them.
  std::vector<std::int64_t> spark;
  for (const THistoryEcho& e : older) spark.push_back(e.answered() ? e.rttMicros : -1);
  const int start = h.sparkCount < SparkEchoes ? 0 : h.sparkNext;
  for (int i = 0; i < h.sparkCount; ++i)
    spark.push_back(h.sparkRing[static_cast<std::size_t>((start + i) % SparkEchoes)]);
  const std::size_t from = spark.size() > SparkEchoes ? spark.size() - SparkEchoes : 0;
  h.sparkCount = static_cast<int>(spark.size() - from);
  h.sparkNext = h.sparkCount % SparkEchoes;
  for (std::size_t i = from; i < spark.size(); ++i) h.sparkRing[i - from] = spark[i];
}

void TLiveStats::setHostFlag(std::uint64_t runId, bool degraded) {
  auto it = records.find(runId);
  if (it != records.end()) it->second.degraded = degraded;
}

void TLiveStats::followAlerts(std::function<std::string(const std::string& address)> explain) {
  rule = std::move(explain);
  for (auto& [id, host] : records)
    if (!host.alertState) host.alertState = TLiveState::Unknown;
}

void TLiveStats::setAlertState(std::uint64_t runId, TLiveState state) {
  auto it = records.find(runId);
  if (it != records.end()) it->second.alertState = state;
}

void TLiveStats::evict(std::int64_t nowMs) {
  for (auto& [id, host] : records) host.window.evict(nowMs);
}

TLiveFigures TLiveStats::figures(const TLiveHost& h) {
  TLiveFigures f;
  // The alerts' confirmed state once they decide it. Without them: unknown until this run has a
  // result, then the engine's last reported transition; before the first one, the last echo decides.
  if (h.alertState) {
    f.state = *h.alertState;
  } else if (h.runSent == 0) {
    f.state = TLiveState::Unknown;
  } else {
    const bool down = h.reportedStatus ? *h.reportedStatus == hsDown : h.lastLost;
    f.state = down ? TLiveState::Down : (h.degraded ? TLiveState::Degraded : TLiveState::Ok);
  }
  f.lastRttMicros = h.lastLost ? -1 : h.lastRttMicros;
  f.lastLost = h.lastLost;
  f.runSent = h.runSent;
  f.runLost = h.runLost;
  h.window.fill(f);
  f.sparkCount = h.sparkCount;
  const int start = h.sparkCount < SparkEchoes ? 0 : h.sparkNext;
  for (int i = 0; i < h.sparkCount; ++i)
    f.spark[static_cast<std::size_t>(i)] =
        h.sparkRing[static_cast<std::size_t>((start + i) % SparkEchoes)];
  return f;
}

namespace {

// Fixed decimals with a point, whatever the regional format (the texts are copied and exported).
std::string fixed(double value, int decimals) {
  char text[48];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return error == std::errc() ? std::string(text, end) : std::string();
}

}  // namespace

std::string rttText(double micros) {
  if (micros < 0 || !std::isfinite(micros)) return {};
  const double ms = micros / 1000.0;
  const int decimals = ms < 1 ? 3 : ms < 10 ? 2 : ms < 100 ? 1 : 0;
  return fixed(ms, decimals) + " ms";
}

std::string lossText(double percent) {
  if (percent < 0 || !std::isfinite(percent)) return {};
  return fixed(percent, percent == 0 || percent >= 100 ? 0 : 1) + " %";
}
