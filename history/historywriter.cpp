#include "historywriter.h"

#include <QDateTime>
#include <QFile>
#include <QString>

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <set>

#include "base/usermessages.h"
#include "echopacking.h"
#include "historyschema.h"
#include "historystore.h"

namespace {

std::string describe(const QSqlError& error) {
  const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
  return text.isEmpty() ? std::string("unknown error") : text.toStdString();
}

std::size_t echoCount(const std::vector<THistoryEvent>& events) {
  std::size_t n = 0;
  for (const THistoryEvent& e : events) n += e.kind == THistoryEvent::TKind::Echo;
  return n;
}

}  // namespace

THistoryWriter::THistoryWriter(THistoryRecorderOptions recorderOptions)
    : options(std::move(recorderOptions)) {}

THistoryWriter::~THistoryWriter() { stop(); }

void THistoryWriter::push(THistoryEvent event) {
  std::unique_lock guard(lock);
  if (queue.size() >= options.queueCapacity) {
    // The oldest result goes; host events are few and keep the mapping right, so they stay.
    for (auto it = queue.begin(); it != queue.end(); ++it) {
      if (it->kind == THistoryEvent::TKind::Echo) {
        queue.erase(it);
        ++droppedCount;
        ++settledCount;
        break;
      }
    }
  }
  queue.push_back(std::move(event));
  ++queuedCount;
  // A thread asleep with nothing to write is woken by the first event (after the lock is let go,
  // so that it does not wake only to wait for it); one that sleeps out its flush interval finds
  // the event then.
  if (!idle) return;
  idle = false;
  guard.unlock();
  wake.notify_one();
}

void THistoryWriter::start(const std::string& databasePath) {
  if (thread.joinable()) return;
  path = databasePath;
  thread = std::thread([this] { run(); });
}

void THistoryWriter::setLengths(const THistoryLengths& lengths) {
  std::lock_guard guard(lock);
  options.lengths = lengths;
}

void THistoryWriter::stop() {
  {
    std::lock_guard guard(lock);
    stopping = true;
  }
  wake.notify_all();
  if (thread.joinable()) thread.join();
}

bool THistoryWriter::waitWritten(std::chrono::milliseconds timeout) {
  std::unique_lock guard(lock);
  const std::uint64_t target = queuedCount;
  flushNow = true;
  wake.notify_all();
  return settledChanged.wait_for(guard, timeout, [&] { return settledCount >= target; }) && writing;
}

THistoryRecorderStats THistoryWriter::stats() const {
  std::lock_guard guard(lock);
  return {queuedCount, droppedCount, writtenCount, writing, refused, threadCpu, rounds};
}

std::int64_t THistoryWriter::now() const {
  return options.nowMs ? options.nowMs() : QDateTime::currentMSecsSinceEpoch();
}

void THistoryWriter::run() {
  // Named so that top -H and the benchmark can tell it from the engine's threads.
  pthread_setname_np(pthread_self(), "sorvelo-history");
  store = std::make_unique<THistoryStore>("sorvelo-history-writer-" +
                                          std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  for (;;) {
    bool last = false;
    std::deque<THistoryEvent> taken;
    {
      std::unique_lock guard(lock);
      if (idle) {
        // Nothing queued or waiting: sleep until an event comes or the next packing is due.
        wake.wait_until(guard, nextMaintenance(),
                        [&] { return stopping || flushNow || !queue.empty(); });
        idle = false;
      } else {
        wake.wait_for(guard, options.flushInterval, [&] { return stopping || flushNow; });
      }
      flushNow = false;
      last = stopping;
      ++rounds;
    }
    const bool open = !refused && ensureOpen();
    {
      std::lock_guard guard(lock);
      // A swap: the engine's side never waits for more than the exchange of two containers.
      if (open || refused) taken.swap(queue);
      if (refused) {
        // Nothing is recorded into a newer file: what comes in is let go.
        settledCount += taken.size();
        taken.clear();
      }
    }
    if (open) {
      pending.insert(pending.end(), std::make_move_iterator(taken.begin()),
                     std::make_move_iterator(taken.end()));
      writeRound();
    }
    timespec used{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    {
      std::lock_guard guard(lock);
      threadCpu = static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
    }
    settledChanged.notify_all();
    if (last) break;
    // Results keep the flush interval while they come; a round that found nothing to write lets
    // the thread sleep until the next event (while the file cannot be opened it keeps retrying).
    std::lock_guard guard(lock);
    idle = taken.empty() && queue.empty() && pending.empty() && (refused || store->isOpen());
  }
  store.reset();
}

// Packing and consolidation run once a minute (maintain), pruning once an hour; an idle thread
// wakes for the next of them. The deadline is on the steady clock, reckoned from the wall clock
// the writer stamps with, so that a test clock standing still does not hold the thread asleep.
std::chrono::steady_clock::time_point THistoryWriter::nextMaintenance() const {
  const std::int64_t nowMs = now();
  std::int64_t untilMs = (nowMs / MinuteMs + 1) * MinuteMs - nowMs;
  untilMs = std::clamp<std::int64_t>(untilMs, 1, MinuteMs);
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(untilMs);
}

void THistoryWriter::reportOnce(const std::string& text) {
  if (faultReported) return;
  faultReported = true;
  postUserMessage(text);
}

bool THistoryWriter::ensureOpen() {
  if (store->isOpen()) return true;
  const auto clockNow = std::chrono::steady_clock::now();
  if (clockNow < nextOpenAttempt) return false;
  nextOpenAttempt = clockNow + options.retryInterval;
  for (int attempt = 0; attempt < 2; ++attempt) {
    switch (store->open(path)) {
      case THistoryStore::TOpen::Ready: {
        std::lock_guard guard(lock);
        writing = true;
        faultReported = false;
        return true;
      }
      case THistoryStore::TOpen::Newer: {
        {
          std::lock_guard guard(lock);
          refused = true;
          writing = false;
        }
        postUserMessage("The history database " + path + " was written by a newer version of "
                        "Sorvelo (schema version " + std::to_string(store->fileVersion()) +
                        "; this version knows " + std::to_string(HistorySchemaVersion) +
                        "). It is kept as it is and no history is recorded into it. Monitoring "
                        "goes on.");
        return false;
      }
      case THistoryStore::TOpen::Damaged:
        if (!moveAside()) break;
        continue;  // a new file in its place
      case THistoryStore::TOpen::Failed: break;
    }
    failed(store->lastError());
    return false;
  }
  return false;
}

bool THistoryWriter::moveAside() {
  store->close();
  const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
  const QString from = QString::fromStdString(path);
  const QString to = from + QStringLiteral(".broken-") + stamp;
  if (!QFile::rename(from, to)) return false;
  for (const char* suffix : {"-wal", "-shm"}) {
    const QString side = from + QLatin1String(suffix);
    if (QFile::exists(side) && !QFile::rename(side, to + QLatin1String(suffix))) QFile::remove(side);
  }
  // The new file knows none of the hosts yet, nor this run.
  for (auto& [runId, host] : hosts) host.id = 0;
  runRow = 0;
  postUserMessage("The history file " + path + " was not a readable database. It was moved to " +
                  to.toStdString() + " and a new history started. Monitoring goes on.");
  return true;
}

void THistoryWriter::failed(const QSqlError& error) {
  if (isDamagedFile(error) && moveAside()) {
    nextOpenAttempt = {};  // start the new file at the next round
    return;
  }
  store->close();
  {
    std::lock_guard guard(lock);
    writing = false;
  }
  reportOnce("The history database " + path + " cannot be written: " + describe(error) +
             ". Monitoring goes on; recording resumes once the file can be written again.");
}

void THistoryWriter::writeRound() {
  // While the file cannot be written the results wait here; past the queue's size the oldest go.
  std::size_t over = pending.size() > options.queueCapacity ? pending.size() - options.queueCapacity : 0;
  std::uint64_t dropped = 0;
  for (auto it = pending.begin(); over > 0 && it != pending.end();) {
    if (it->kind == THistoryEvent::TKind::Echo) {
      it = pending.erase(it);
      --over;
      ++dropped;
    } else {
      ++it;
    }
  }
  if (!pending.empty()) {
    resolvedThisRound.clear();
    deletedThisRound.clear();
    runRowBefore = runRow;
    const bool ok = store->begin() && apply(pending) && store->commit();
    if (!ok) {
      const QSqlError error = store->lastError();
      store->rollback();
      // Ids given out in the rolled-back transaction do not exist: those hosts are looked up again.
      for (std::uint64_t runId : resolvedThisRound)
        if (const auto it = hosts.find(runId); it != hosts.end()) it->second.id = 0;
      for (auto& [runId, host] : deletedThisRound) hosts.emplace(runId, std::move(host));
      runRow = runRowBefore;
      failed(error);
      std::lock_guard guard(lock);
      droppedCount += dropped;
      settledCount += dropped;
      return;
    }
  }
  const std::size_t written = echoCount(pending);
  const std::size_t settled = pending.size();
  pending.clear();
  maintain();
  std::lock_guard guard(lock);
  writtenCount += written;
  droppedCount += dropped;
  settledCount += settled + dropped;
}

bool THistoryWriter::resolve(std::uint64_t runId, THostState& host) {
  std::set<std::int64_t> taken;
  for (const auto& [otherRun, other] : hosts)
    if (otherRun != runId && other.id != 0) taken.insert(other.id);
  if (const std::optional<std::int64_t> known = store->findHost(host.names, taken)) {
    if (!store->updateHost(*known, host.names)) return false;
    host.id = *known;
    return true;
  }
  const std::optional<std::int64_t> id = store->insertHost(host.names, now());
  if (!id) return false;
  host.id = *id;
  resolvedThisRound.push_back(runId);
  return true;
}

bool THistoryWriter::apply(const std::vector<THistoryEvent>& events) {
  using TKind = THistoryEvent::TKind;
  std::map<std::pair<std::int64_t, std::int64_t>, std::vector<THistoryEcho>> minutes;
  for (const THistoryEvent& e : events) {
    if (e.kind == TKind::Started) {
      const std::optional<std::int64_t> row = store->startRun(e.sentMs);
      if (!row) return false;
      runRow = *row;
      continue;
    }
    if (e.kind == TKind::Stopped) {
      if (runRow != 0 && !store->stopRun(runRow, e.sentMs)) return false;
      runRow = 0;
      continue;
    }
    if (e.kind == TKind::Deleting) {
      const auto it = hosts.find(e.runId);
      if (it == hosts.end()) continue;
      if (it->second.id != 0 && !store->markDeleted(it->second.id, now())) return false;
      deletedThisRound.emplace_back(it->first, std::move(it->second));
      hosts.erase(it);
      continue;
    }
    THostState& host = hosts[e.runId];
    if (e.kind == TKind::Added || e.kind == TKind::Edited) {
      const std::string oldAddress = host.names.ipAddress;
      host.names = *e.names;
      // An edit keeps the id, so the history goes on under the new names; a new address is noted
      // with its time.
      if (host.id != 0 ? !store->updateHost(host.id, host.names) : !resolve(e.runId, host))
        return false;
      if (e.kind == TKind::Edited && !oldAddress.empty() && oldAddress != host.names.ipAddress &&
          !store->recordAddressChange(host.id, e.sentMs, oldAddress,
                                      host.names.ipAddress))
        return false;
      continue;
    }
    if (host.id == 0 && !resolve(e.runId, host)) return false;
    minutes[{host.id, floorTo(e.sentMs, MinuteMs)}].push_back({e.sentMs, e.rttMicros});
  }
  for (const auto& [key, echoes] : minutes)
    if (!store->insertRecent(key.first, key.second, echoes)) return false;
  return true;
}

void THistoryWriter::maintain() {
  if (!store->isOpen()) return;
  const std::int64_t nowMs = now();
  const std::int64_t minute = nowMs / MinuteMs;
  if (minute != lastPackMinute) {
    if (!store->packAndConsolidate(nowMs)) return failed(store->lastError());
    lastPackMinute = minute;
  }
  const std::int64_t hour = nowMs / 3'600'000;
  if (hour != lastPruneHour) {
    THistoryLengths lengths;
    {
      std::lock_guard guard(lock);
      lengths = options.lengths;
    }
    if (!store->prune(nowMs, lengths)) return failed(store->lastError());
    lastPruneHour = hour;
  }
}
