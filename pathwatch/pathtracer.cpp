#include "pathtracer.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <netdb.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "history/historyschema.h"
#include "icmp/ping.h"
#include "path/reversenamecache.h"

namespace {

constexpr std::chrono::milliseconds NamesLimit{1500};
constexpr std::int64_t HourMs = 3'600'000;
std::atomic<int> tracerCount{0};

std::optional<sockaddr_storage> numericAddress(const std::string& text) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
    return std::nullopt;
  sockaddr_storage address{};
  std::memcpy(&address, found->ai_addr, found->ai_addrlen);
  freeaddrinfo(found);
  return address;
}

// The thread's own connection: WAL as the recorder uses it, a wait for the recorder's locks, and
// the schema made or upgraded when this thread comes first.
bool openDatabase(const QString& connection, const std::string& path) {
  QSqlDatabase db = QSqlDatabase::contains(connection)
                        ? QSqlDatabase::database(connection, false)
                        : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
  db.setDatabaseName(QString::fromStdString(path));
  db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
  if (!db.open()) return false;
  QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=WAL"));
  int version = 0;
  QSqlError error;
  return prepareSchema(db, version, error) == TSchemaResult::Ready;
}

}  // namespace

TPathTracer::TPathTracer(TPathTracerOptions tracerOptions, QObject* parent)
    : QObject(parent), options(std::move(tracerOptions)) {
  schedule.setInterval(options.checkInterval);
  connect(&schedule, &QTimer::timeout, this, &TPathTracer::checkSchedule);
}

TPathTracer::~TPathTracer() { stop(); }

std::int64_t TPathTracer::now() const {
  return options.nowMs ? options.nowMs() : QDateTime::currentMSecsSinceEpoch();
}

void TPathTracer::setSettings(const TPathSettings& newSettings) {
  settings = newSettings;
  listTraced();
  std::lock_guard guard(lock);
  rate = settings.probesPerSecond;
}

void TPathTracer::listTraced() {
  tracedNow.clear();
  for (const std::string& address : current)
    if (settings.tracedFor(address)) tracedNow.push_back(address);
}

void TPathTracer::start(const std::string& databasePath) {
  if (thread.joinable()) return;
  cancelFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  stopping = false;
  thread = std::thread([this, databasePath] { run(databasePath); });
  if (options.checkInterval.count() > 0) schedule.start();
  checkSchedule();
}

void TPathTracer::stop() {
  schedule.stop();
  if (!thread.joinable()) return;
  {
    std::lock_guard guard(lock);
    stopping = true;
  }
  const std::uint64_t one = 1;
  if (cancelFd >= 0 && write(cancelFd, &one, sizeof one) < 0) {
    // The round then ends at its probes' time-out instead.
  }
  wake.notify_all();
  thread.join();
  if (cancelFd >= 0) close(cancelFd);
  cancelFd = -1;
}

void TPathTracer::checkSchedule() {
  if (!addresses) return;
  const auto nowAt = std::chrono::steady_clock::now();
  const std::optional<std::uint64_t> version =
      addressesVersion ? std::optional(addressesVersion()) : std::nullopt;
  if (!version || version != currentVersion) {
    currentVersion = version;
    current = addresses();
    if (loadSettings && !current.empty() && current != knownAddresses)
      setSettings(loadSettings(current));  // lists the traced ones too
    else
      listTraced();
    if (!current.empty()) knownAddresses = current;
  }
  for (const std::string& address : tracedNow) {
    const auto it = lastStarted.find(address);
    if (it != lastStarted.end() && nowAt - it->second < options.minInterval) continue;
    lastStarted[address] = nowAt;
    enqueue({address, "schedule"}, false);
  }
}

void TPathTracer::urgent(const std::string& address, const char* reason) {
  if (!settings.tracedFor(address)) return;
  lastStarted[address] = std::chrono::steady_clock::now();
  enqueue({address, reason}, true);
}

void TPathTracer::enqueue(TJob job, bool front) {
  {
    std::lock_guard guard(lock);
    if (waiting.contains(job.address)) {
      if (!front) return;
      // Already waiting for its turn: an urgent round goes ahead, with its reason.
      std::erase_if(jobs, [&](const TJob& j) { return j.address == job.address; });
    }
    waiting.insert(job.address);
    if (front) {
      jobs.push_front(std::move(job));
    } else {
      jobs.push_back(std::move(job));
    }
  }
  wake.notify_all();
}

void TPathTracer::run(std::string databasePath) {
  const QString connection =
      QStringLiteral("sorvelo-path-tracer-%1").arg(tracerCount.fetch_add(1) + 1);
  bool storing = !databasePath.empty() && openDatabase(connection, databasePath);
  double bucketRate = 0;
  std::unique_ptr<TTokenBucket> bucket;
  std::int64_t lastPruneHour = 0;
  while (true) {
    TJob job;
    {
      std::unique_lock guard(lock);
      wake.wait(guard, [this] { return stopping || !jobs.empty(); });
      if (stopping) break;
      job = std::move(jobs.front());
      jobs.pop_front();
      waiting.erase(job.address);
      busy = true;
      if (!bucket || bucketRate != rate) {
        bucketRate = rate;
        bucket = std::make_unique<TTokenBucket>(rate);
      }
    }
    TTracedRound traced = trace(job, *bucket);
    // A file that could not be opened (a folder made later, a lock held too long) is tried again.
    if (!storing && !databasePath.empty()) storing = openDatabase(connection, databasePath);
    if (storing) {
      QSqlDatabase db = QSqlDatabase::database(connection, false);
      QSqlError error;
      if (auto found = storePathRound(db, traced.round, error)) {
        traced.stored = true;
        traced.changes = std::move(*found);
      }
      if (const std::int64_t hour = traced.round.roundMs / HourMs; hour != lastPruneHour) {
        lastPruneHour = hour;
        prunePathRounds(db, traced.round.roundMs - std::int64_t{options.keepDays} * 24 * HourMs,
                        error);
      }
    }
    {
      std::lock_guard guard(lock);
      busy = false;
    }
    QMetaObject::invokeMethod(
        this, [this, traced = std::move(traced)]() mutable { deliver(std::move(traced)); },
        Qt::QueuedConnection);
  }
  if (QSqlDatabase::contains(connection)) {
    QSqlDatabase::database(connection, false).close();
    QSqlDatabase::removeDatabase(connection);
  }
}

TTracedRound TPathTracer::trace(const TJob& job, TTokenBucket& bucket) {
  TTracedRound traced;
  traced.round.address = job.address;
  traced.round.reason = job.reason;
  traced.round.roundMs = now();
  const auto target = numericAddress(job.address);
  if (!target) return traced;
  TPathRound round;
  const std::uint64_t takenBefore = bucket.taken();
  try {
    TPathProber prober(*target, bucket);
    TPathProbeOptions probe = options.probe;
    probe.cancelFd = cancelFd;
    round = prober.runRound(probe);
  } catch (const TICMPException&) {
    return traced;  // no ICMP socket at all: nothing to record
  }
  {
    std::lock_guard guard(lock);
    sent += bucket.taken() - takenBefore;
  }
  // Names are looked up while nothing waits for them but this thread, and only briefly.
  static thread_local TReverseNameCache names;
  for (const THopAnswer& hop : round.hops)
    if (!hop.address.empty()) names.name(hop.address);
  names.waitForPending(NamesLimit);
  traced.round.reached = round.reached;
  traced.sendError = round.sendError;
  for (const THopAnswer& hop : round.hops) {
    THistoryHop stored{hop.hop, hop.address, {}, hop.rttMicros};
    if (!hop.address.empty()) stored.name = names.name(hop.address).value_or(std::string());
    traced.round.hops.push_back(std::move(stored));
  }
  return traced;
}

void TPathTracer::deliver(TTracedRound traced) {
  const std::string address = traced.round.address;
  changes[address] += traced.changes.size();
  const TTracedRound& kept = last[address] = std::move(traced);
  if (onRound) onRound(kept);
  emit roundDone(QString::fromStdString(address));
}

const TTracedRound* TPathTracer::lastRound(const std::string& address) const {
  const auto it = last.find(address);
  return it == last.end() ? nullptr : &it->second;
}

std::string TPathTracer::lastStop(const std::string& address) const {
  const TTracedRound* traced = lastRound(address);
  if (!traced || traced->round.reached) return {};
  TLastHop stop;
  for (const THistoryHop& hop : traced->round.hops)
    if (!hop.address.empty()) stop = {hop.hop, hop.address, hop.name};
  return lastHopText(stop);
}

std::uint64_t TPathTracer::changesTotal(const std::string& address) const {
  const auto it = changes.find(address);
  return it == changes.end() ? 0 : it->second;
}

std::uint64_t TPathTracer::probesSent() const {
  std::lock_guard guard(lock);
  return sent;
}

std::size_t TPathTracer::backlog() const {
  std::lock_guard guard(lock);
  return jobs.size() + (busy ? 1 : 0);
}
