#include "alertgatherer.h"

#include <algorithm>

namespace {

// Going down or coming back up, as opposed to becoming degraded or recovering.
bool isStateChange(const TAlertChange& change) {
  return change.to == TAlertLevel::Down || change.from == TAlertLevel::Down;
}

}  // namespace

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

void TAlertGatherer::toBatch(const TAlertChange& change, std::int64_t nowMs) {
  // A notice held for this subject goes along: its "from" is what was told last.
  if (const auto it = held.find(change.runId); it != held.end()) {
    TWaiting waiting = std::move(it->second);
    held.erase(it);
    batch.emplace(change.runId, std::move(waiting));
  }
  merge(batch, change);
  if (!batchDueMs) batchDueMs = nowMs + GatherMs;
}

void TAlertGatherer::hold(const TAlertChange& change, std::int64_t dueMs) {
  merge(held, change);
  TWaiting& waiting = held[change.runId];
  waiting.dueMs = std::max(waiting.dueMs, dueMs);
}

std::optional<std::int64_t> TAlertGatherer::stateWaitUntil(std::uint64_t subject, std::int64_t nowMs) {
  const auto it = told.find(subject);
  if (it == told.end()) return std::nullopt;
  auto& states = it->second.statesMs;
  // A clock that stepped back forgets what it cannot place.
  while (!states.empty() && (states.front() <= nowMs - PerSubjectMs || states.front() > nowMs))
    states.pop_front();
  if (states.size() < StatesPerMinute) return std::nullopt;
  return states.front() + PerSubjectMs;
}

void TAlertGatherer::add(const TAlertChange& change, std::int64_t nowMs) {
  release(nowMs);
  if (batch.count(change.runId)) {
    merge(batch, change);
    return;
  }
  if (isStateChange(change)) {
    if (const auto until = stateWaitUntil(change.runId, nowMs)) hold(change, *until);
    else toBatch(change, nowMs);
    return;
  }
  const auto last = told.find(change.runId);
  const bool recent = last != told.end() && nowMs - last->second.lastMs < PerSubjectMs &&
                      nowMs >= last->second.lastMs;
  if (recent || held.count(change.runId)) {
    hold(change, recent ? last->second.lastMs + PerSubjectMs : nowMs);
    return;
  }
  toBatch(change, nowMs);
}

void TAlertGatherer::release(std::int64_t nowMs) {
  for (auto it = held.begin(); it != held.end();) {
    const auto last = told.find(it->first);
    const bool clockBack = last != told.end() && nowMs < last->second.lastMs;
    if (it->second.dueMs > nowMs && !clockBack) {
      ++it;
      continue;
    }
    batch.emplace(it->first, std::move(it->second));
    if (!batchDueMs) batchDueMs = nowMs;
    it = held.erase(it);
  }
}

std::optional<std::int64_t> TAlertGatherer::nextDueMs() const {
  std::optional<std::int64_t> due = batchDueMs;
  for (const auto& [subject, waiting] : held) due = due ? std::min(*due, waiting.dueMs) : waiting.dueMs;
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
    TTold& subject = told[w.change.runId];
    subject.lastMs = nowMs;
    if (isStateChange(w.change)) subject.statesMs.push_back(nowMs);
    out.push_back(std::move(w.change));
  }
  return out;
}

void TAlertGatherer::forget(std::uint64_t runId) {
  batch.erase(runId);
  held.erase(runId);
  told.erase(runId);
}
