// One host's step of the request cycle, driven by the scheduler pass on the interface thread:
//
//   1. No worker: create one, start it; nothing is in flight.
//   2. The worker has a result ready: collect it (counters, last answer or failure, history, stored
//      status). An answer writes two history entries, a failure one.
//   3. A request in flight for more than interval x 10 seconds since it was sent: the worker is
//      dead. Count a failure, show "Thread dead", release the worker; the next step replaces it.
//      An idle worker owes nothing, so pauses and hosts without results never get this verdict.
//   4. Still in flight: done.
//   5. More than `interval` seconds since the last request: hand the worker the next one and wake
//      it. All comparisons are strict (interval 4: due after 5 seconds).
// Elapsed times are whole seconds of the monotonic clock, so neither the turn of the year nor a wall
// clock that steps back (summer time, NTP) moves a due time or makes a worker look dead. A step
// reads the clock only when it acts, so a step with nothing to do costs next to nothing.
//
// An echo that could not be sent because the echo facility cannot be opened is no result: nothing
// is counted, recorded or published, and the host shows the reason after its status text.
// Counters stop at their maximum rather than wrap.

#include "tolvohost.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>

#include "engineevents.h"

namespace {

std::uint64_t nextRunId() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

std::int64_t unixMillisNow() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void countOne(std::int32_t& counter) {
  if (counter < std::numeric_limits<std::int32_t>::max()) ++counter;
}

}  // namespace

TTolvoHost::TTolvoHost(const TClock& clockSource, TEchoService service)
    : lastSentAt(clockSource.now()),
      runId(nextRunId()),
      clock(clockSource),
      echoService(std::move(service)),
      lastSentMs(clockSource.monotonicMs()) {}

TTolvoHost::~TTolvoHost() {
  if (!worker) return;
  worker->keepRunning.store(false, std::memory_order_release);
  worker->release();
  worker.reset();
}

const pingResult& TTolvoHost::historyAt(int position) const {
  static const pingResult none{};
  if (position < 1 || position > HistorySize) return none;
  return history[static_cast<std::size_t>((historyHead + position - 1) % HistorySize)];
}

void TTolvoHost::addResult(pingResult result) {
  // The slot of the oldest entry takes the new one, which then becomes position 500.
  result.used = true;
  history[static_cast<std::size_t>(historyHead)] = result;
  historyHead = (historyHead + 1) % HistorySize;
}

void TTolvoHost::startWorker() {
  worker = std::make_unique<TThreadPing>(echoService);
  worker->requestPending.store(false, std::memory_order_relaxed);
  worker->keepRunning.store(true, std::memory_order_relaxed);
  worker->start();
  inFlight = false;
}

void TTolvoHost::collectResult() {
  inFlight = false;
  worker->resultReady.store(false, std::memory_order_relaxed);
  if (worker->notSent) {
    cannotPing = worker->notSentReason;
    cannotPingCause = worker->notSentCause;
    lastSentAt = sentAtBefore;  // nothing was sent
    return;
  }
  cannotPing.clear();
  cannotPingCause.clear();
  if (echoesThisRun < std::numeric_limits<std::uint64_t>::max()) ++echoesThisRun;
  const TDateTime now = clock.now();
  const std::int32_t time = worker->pingTime;
  if (events) {
    TEchoResult published;
    published.sentUnixMs = sentUnixMs;
    published.answered = worker->replied;
    published.rttMicros = worker->replied ? worker->rttMicros : -1;
    events->echoResult(*this, published);
  }
  if (worker->replied) {
    lastSuccess.succeeded = true;
    lastSuccess.at = now;
    lastSuccess.pingTime = time;
    countOne(succeededCount);
    status = hsOk;
    lastResultAt = now;
    addResult({true, true, now, time});
    addResult(lastSuccess);
  } else {
    lastFailure.succeeded = false;
    lastFailure.at = now;
    lastResultAt = now;
    lastFailure.pingTime = time;
    countOne(failedCount);
    status = hsDown;
    addResult({true, false, now, time});
  }
}

bool TTolvoHost::workerLooksDead(std::int64_t nowMs) const {
  if (!inFlight) return false;
  const std::int64_t limit = static_cast<std::int64_t>(interval) * 10;
  return monotonicSecondsSince(nowMs, lastSentMs) > limit;
}

void TTolvoHost::sendRequest(std::int64_t nowMs) {
  inFlight = true;
  lastSuccess.pingTime = -1;
  worker->setPriorityNormal();
  worker->timeout = timeout;
  worker->address = ipAddress;
  worker->preferIpv6 = preferIpv6;
  sentAtBefore = lastSentAt;
  lastSentAt = clock.now();
  lastSentMs = nowMs;
  sentUnixMs = unixMillisNow();
  worker->requestPending.store(true, std::memory_order_release);
  worker->notify();
}

void TTolvoHost::pingStep() {
  const std::int64_t nowMs = clock.monotonicMs();
  if (!worker) startWorker();
  if (worker->resultReady.load(std::memory_order_acquire)) collectResult();

  if (workerLooksDead(nowMs)) {
    countOne(failedCount);
    lastResultAt = clock.now();
    status = hsThreadDead;
    worker->release();  // interrupts the echo in progress
    worker.reset();
    inFlight = false;
    return;
  }
  if (inFlight) return;
  if (monotonicSecondsSince(nowMs, lastSentMs) <= interval) return;
  sendRequest(nowMs);
}

void TTolvoHost::dueNow() {
  lastSentMs = clock.monotonicMs() - (static_cast<std::int64_t>(interval) + 1) * 1000;
}

bool TTolvoHost::idleUntil(std::int64_t atMs) const {
  if (!worker || inFlight || interval < 3 || worker->resultReady.load(std::memory_order_acquire))
    return false;
  return monotonicSecondsSince(atMs, lastSentMs) <= interval;
}

double TTolvoHost::averagePingTime() const {
  double sum = 0;
  int count = 0;
  for (const pingResult& r : history) {
    if (!r.used || !r.succeeded) continue;
    sum += r.pingTime;
    ++count;
  }
  return count == 0 ? 0.0 : sum / count;
}

bool TTolvoHost::recentlyUp(std::int32_t n) const {
  if (n < 0) return false;
  const int oldest = n >= HistorySize ? 1 : HistorySize - static_cast<int>(n);
  int answered = 0;
  int failed = 0;
  for (int position = HistorySize; position >= oldest; --position) {
    const pingResult& r = historyAt(position);
    if (!r.used) continue;
    r.succeeded ? ++answered : ++failed;
  }
  return failed < answered;
}

// A host without a result in this run is unknown, whatever counters it brought from the hosts file:
// the history, which is not stored, holds this run's results only.
hostStatus TTolvoHost::getStatus() const {
  if (status == hsThreadDead) return hsThreadDead;
  if (!historyAt(HistorySize).used) return hsUnknown;
  if (static_cast<std::int64_t>(succeededCount) + failedCount <= 0) return hsUnknown;
  return recentlyUp(10) ? hsOk : hsDown;
}

bool TTolvoHost::updateStatus() {
  const hostStatus now = getStatus();
  const bool changed = now != status;
  status = now;
  return changed;
}

std::string TTolvoHost::statusText(hostStatus s) const {
  std::string text;
  switch (s) {
    case hsOk: text = "Ok "; break;
    case hsDown: text = "Down "; break;
    case hsThreadDead: text = "Thread dead "; break;
    default: text = "Unknown "; break;
  }
  if (worker) text += "(" + std::to_string(worker->stage.load(std::memory_order_relaxed)) + ")";
  if (!cannotPing.empty()) text += " " + cannotPing;
  return text;
}
