#include "alertgatherer.h"

#include <algorithm>

void TAlertGatherer::merge(std::map<std::uint64_t, TWaiting>& into, const TAlertChange& change) {
  const auto it = into.find(change.runId);
  if (it == into.end()) {
    into.emplace(change.runId, TWaiting{change, nextOrder++});
    return;
  }
  const TAlertLevel from = it->second.change.from;
  it->second.change = change;
  it->second.change.from = from;
}

void TAlertGatherer::add(const TAlertChange& change, std::int64_t nowMs) {
  release(nowMs);
  const auto last = lastNotifiedMs.find(change.runId);
  const bool recent = last != lastNotifiedMs.end() && nowMs - last->second < PerSubjectMs &&
                      nowMs >= last->second;
  if (recent && !batch.count(change.runId)) {
    merge(held, change);
    return;
  }
  merge(batch, change);
  if (!batchDueMs) batchDueMs = nowMs + GatherMs;
}

void TAlertGatherer::release(std::int64_t nowMs) {
  for (auto it = held.begin(); it != held.end();) {
    const std::int64_t due = lastNotifiedMs[it->first] + PerSubjectMs;
    if (due > nowMs && nowMs >= lastNotifiedMs[it->first]) {
      ++it;
      continue;
    }
    merge(batch, it->second.change);
    batch[it->first].change.from = it->second.change.from;
    if (!batchDueMs) batchDueMs = nowMs;
    it = held.erase(it);
  }
}

std::optional<std::int64_t> TAlertGatherer::nextDueMs() const {
  std::optional<std::int64_t> due = batchDueMs;
  for (const auto& [subject, waiting] : held) {
    const auto last = lastNotifiedMs.find(subject);
    const std::int64_t at = last == lastNotifiedMs.end() ? 0 : last->second + PerSubjectMs;
    due = due ? std::min(*due, at) : at;
  }
  return due;
}

std::vector<TAlertChange> TAlertGatherer::take(std::int64_t nowMs) {
  release(nowMs);
  if (!batchDueMs || *batchDueMs > nowMs) return {};
  std::vector<TWaiting> waiting;
  for (auto& [subject, w] : batch)
    if (kindOf(w.change) != TAlertKind::None) waiting.push_back(std::move(w));
  batch.clear();
  batchDueMs.reset();
  std::sort(waiting.begin(), waiting.end(),
            [](const TWaiting& a, const TWaiting& b) { return a.order < b.order; });
  std::vector<TAlertChange> out;
  for (TWaiting& w : waiting) {
    lastNotifiedMs[w.change.runId] = nowMs;
    out.push_back(std::move(w.change));
  }
  return out;
}

void TAlertGatherer::forget(std::uint64_t runId) {
  batch.erase(runId);
  held.erase(runId);
  lastNotifiedMs.erase(runId);
}
