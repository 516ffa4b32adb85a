#include "historyreader.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>

#include "echopacking.h"
#include "historyschema.h"

namespace {

QVariant number(std::int64_t n) { return QVariant::fromValue<qlonglong>(n); }
std::int64_t figure(const QVariant& v) { return v.isNull() ? -1 : v.toLongLong(); }

std::atomic<std::uint64_t> readerCount{0};

}  // namespace

THistoryReader::THistoryReader(std::string databasePath)
    : path(std::move(databasePath)),
      connectionName("sorvelo-history-reader-" + std::to_string(++readerCount)) {}

THistoryReader::~THistoryReader() { close(); }

void THistoryReader::close() {
  opened = false;
  const QString name = QString::fromStdString(connectionName);
  if (!QSqlDatabase::contains(name)) return;
  QSqlDatabase::database(name, false).close();
  QSqlDatabase::removeDatabase(name);
}

bool THistoryReader::open() {
  if (opened) return true;
  error.clear();
  if (!QFileInfo::exists(QString::fromStdString(path))) {
    error = "There is no history database at " + path + ".";
    return false;
  }
  const QString name = QString::fromStdString(connectionName);
  QSqlDatabase db = QSqlDatabase::contains(name)
                        ? QSqlDatabase::database(name, false)
                        : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
  db.setDatabaseName(QString::fromStdString(path));
  db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=1000"));
  if (!db.open()) {
    error = "The history database " + path + " cannot be opened: " +
            db.lastError().text().toStdString();
    return false;
  }
  QSqlError failure;
  const int version = schemaVersion(db, failure);
  if (version < 0) {
    error = "The file " + path + " is not a readable history database: " +
            failure.text().toStdString();
  } else if (version > HistorySchemaVersion) {
    error = "The history database " + path + " was written by a newer version of Sorvelo.";
  } else if (version < 1) {
    error = "The history database " + path + " is empty.";
  } else {
    opened = true;
    return true;
  }
  db.close();
  return false;
}

bool THistoryReader::ensureOpen() { return opened || open(); }

namespace {

THistoryHost hostOf(const QSqlQuery& q) {
  return {q.value(0).toLongLong(), q.value(1).toString().toStdString(),
          q.value(2).toString().toStdString(), q.value(3).toString().toStdString(),
          q.value(4).toLongLong(), q.value(5).isNull() ? 0 : q.value(5).toLongLong()};
}

}  // namespace

std::vector<THistoryHost> THistoryReader::hosts() {
  std::vector<THistoryHost> list;
  if (!ensureOpen()) return list;
  QSqlQuery q(QSqlDatabase::database(QString::fromStdString(connectionName), false));
  q.setForwardOnly(true);
  if (!q.exec(QStringLiteral("SELECT id, calling_name, host_name, address, added_ms, deleted_ms "
                             "FROM hosts ORDER BY id")))
    return list;
  while (q.next()) list.push_back(hostOf(q));
  return list;
}

// Only the rows of this address and name (by the index on both): every host of a monitor asks
// once at its start, and reading the whole table each time cost seconds with 255 hosts.
std::optional<THistoryHost> THistoryReader::findHost(const std::string& address,
                                                     const std::string& hostName) {
  std::optional<THistoryHost> found;
  if (!ensureOpen()) return found;
  QSqlQuery q(QSqlDatabase::database(QString::fromStdString(connectionName), false));
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT id, calling_name, host_name, address, added_ms, deleted_ms "
                           "FROM hosts WHERE address = ? AND host_name = ? ORDER BY id"));
  q.addBindValue(QString::fromStdString(address));
  q.addBindValue(QString::fromStdString(hostName));
  if (!q.exec()) return found;
  while (q.next()) {
    THistoryHost h = hostOf(q);
    if (!found || (found->deletedMs != 0 && h.deletedMs == 0)) found = std::move(h);
  }
  return found;
}

std::vector<std::int64_t> THistoryReader::runBounds() {
  std::vector<std::int64_t> bounds;
  if (!ensureOpen()) return bounds;
  QSqlQuery q(QSqlDatabase::database(QString::fromStdString(connectionName), false));
  q.setForwardOnly(true);
  if (!q.exec(QStringLiteral("SELECT started_ms, stopped_ms FROM runs"))) return bounds;
  while (q.next()) {
    bounds.push_back(q.value(0).toLongLong());
    if (!q.value(1).isNull()) bounds.push_back(q.value(1).toLongLong());
  }
  std::sort(bounds.begin(), bounds.end());
  return bounds;
}

std::vector<THistoryRun> THistoryReader::runs(std::int64_t fromMs, std::int64_t toMs) {
  std::vector<THistoryRun> all;
  if (!ensureOpen()) return all;
  QSqlQuery q(QSqlDatabase::database(QString::fromStdString(connectionName), false));
  q.setForwardOnly(true);
  // One row per start, stop or pause: a small table, read whole.
  if (!q.exec(QStringLiteral("SELECT started_ms, stopped_ms FROM runs ORDER BY started_ms")))
    return all;
  while (q.next()) {
    THistoryRun run{q.value(0).toLongLong(), std::nullopt};
    if (!q.value(1).isNull()) run.stoppedMs = q.value(1).toLongLong();
    all.push_back(run);
  }
  // Runs follow one another: the one going on at fromMs is the last to start before it.
  const auto startsBefore = [&all](std::int64_t ms) {
    return std::partition_point(all.begin(), all.end(),
                                [ms](const THistoryRun& r) { return r.startedMs < ms; });
  };
  auto first = startsBefore(fromMs);
  if (first != all.begin()) --first;
  auto last = startsBefore(toMs);
  if (last != all.end()) ++last;
  return {first, last};
}

std::optional<TLastHop> THistoryReader::lastHopDuring(const std::string& address,
                                                     std::int64_t fromMs, std::int64_t toMs) {
  if (!ensureOpen()) return std::nullopt;
  QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(connectionName), false);
  return ::lastHopDuring(db, address, fromMs, toMs);
}

std::optional<std::int64_t> THistoryReader::firstRecordMs(std::int64_t hostId) {
  if (!ensureOpen()) return std::nullopt;
  QSqlQuery q(QSqlDatabase::database(QString::fromStdString(connectionName), false));
  q.setForwardOnly(true);
  // Raw minutes first: a summary starts at the beginning of its step, maybe long before the data.
  q.prepare(QStringLiteral(
      "SELECT min(m) FROM (SELECT min(minute_ms) AS m FROM raw WHERE host_id = ? "
      "UNION ALL SELECT min(minute_ms) FROM recent WHERE host_id = ?)"));
  q.addBindValue(number(hostId));
  q.addBindValue(number(hostId));
  if (q.exec() && q.next() && !q.value(0).isNull()) return q.value(0).toLongLong();
  q.prepare(QStringLiteral("SELECT min(start_ms) FROM summaries WHERE step_s = ? AND host_id = ?"));
  std::optional<std::int64_t> first;
  for (std::int32_t step : SummarySteps) {
    q.addBindValue(step);
    q.addBindValue(number(hostId));
    if (q.exec() && q.next() && !q.value(0).isNull()) {
      const std::int64_t start = q.value(0).toLongLong();
      first = std::min(first.value_or(start), start);
    }
  }
  return first;
}

std::vector<THistoryAddressChange> THistoryReader::addressChanges(std::int64_t hostId,
                                                                  std::int64_t fromMs,
                                                                  std::int64_t toMs) {
  std::vector<THistoryAddressChange> changes;
  if (!ensureOpen()) return changes;
  QSqlQuery q(QSqlDatabase::database(QString::fromStdString(connectionName), false));
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT changed_ms, old_address, new_address FROM address_changes "
                           "WHERE host_id = ? AND changed_ms >= ? AND changed_ms < ? "
                           "ORDER BY changed_ms"));
  q.addBindValue(number(hostId));
  q.addBindValue(number(fromMs));
  q.addBindValue(number(toMs));
  if (!q.exec()) return changes;  // a file of version 3 or older has no such table
  while (q.next())
    changes.push_back({q.value(0).toLongLong(), q.value(1).toString().toStdString(),
                       q.value(2).toString().toStdString()});
  return changes;
}

std::vector<THistoryEcho> THistoryReader::echoes(std::int64_t hostId, std::int64_t fromMs,
                                                 std::int64_t toMs) {
  std::vector<THistoryEcho> all;
  if (!ensureOpen() || toMs <= fromMs) return all;
  QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(connectionName), false);
  // The packed minutes and the minutes not packed yet have the same form.
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral(
      "SELECT minute_ms, echoes FROM raw WHERE host_id = ? AND minute_ms >= ? AND minute_ms < ? "
      "UNION ALL SELECT minute_ms, echoes FROM recent "
      "WHERE host_id = ? AND minute_ms >= ? AND minute_ms < ?"));
  for (int i = 0; i < 2; ++i) {
    q.addBindValue(number(hostId));
    q.addBindValue(number(floorTo(fromMs, MinuteMs)));
    q.addBindValue(number(toMs));
  }
  if (!q.exec()) return all;
  while (q.next()) unpackEchoes(q.value(0).toLongLong(), q.value(1).toString().toStdString(), all);
  std::erase_if(all, [&](const THistoryEcho& e) { return e.sentMs < fromMs || e.sentMs >= toMs; });
  sortBySent(all);
  return all;
}

std::vector<THistorySummary> THistoryReader::summariesAtStep(std::int64_t hostId,
                                                             std::int64_t fromMs,
                                                             std::int64_t toMs,
                                                             std::int32_t stepSeconds) {
  std::vector<THistorySummary> list;
  if (!ensureOpen() || toMs <= fromMs) return list;
  QSqlQuery q(QSqlDatabase::database(QString::fromStdString(connectionName), false));
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT start_ms, sent, lost, min_us, mean_us, max_us, p95_us "
                           "FROM summaries WHERE step_s = ? AND host_id = ? AND start_ms >= ? "
                           "AND start_ms < ? ORDER BY start_ms"));
  q.addBindValue(stepSeconds);
  q.addBindValue(number(hostId));
  q.addBindValue(number(floorTo(fromMs, stepSeconds * 1000LL)));
  q.addBindValue(number(toMs));
  if (!q.exec()) return list;
  while (q.next())
    list.push_back({q.value(0).toLongLong(), stepSeconds, q.value(1).toInt(), q.value(2).toInt(),
                    figure(q.value(3)), figure(q.value(4)), figure(q.value(5)),
                    figure(q.value(6))});
  return list;
}

std::vector<THistorySummary> THistoryReader::summaries(std::int64_t hostId, std::int64_t fromMs,
                                                       std::int64_t toMs, int maxPoints) {
  // The finest step that fits in maxPoints and still reaches back to the start of the range;
  // failing that, the one that reaches back furthest.
  std::vector<THistorySummary> best;
  for (std::int32_t step : SummarySteps) {
    if ((toMs - fromMs) / (step * 1000LL) > maxPoints && step != SummarySteps.back()) continue;
    std::vector<THistorySummary> list = summariesAtStep(hostId, fromMs, toMs, step);
    if (!list.empty() && list.front().startMs <= fromMs + step * 1000LL) return list;
    if (best.empty() || (!list.empty() && list.front().startMs < best.front().startMs))
      best = std::move(list);
  }
  return best;
}

std::optional<std::int64_t> THistoryReader::median24h(std::int64_t hostId, std::int64_t nowMs) {
  // The 5-minute summaries of the day (at most 288 rows by the primary key, however many days the
  // file keeps), each mean standing for its answered echoes: the median of those weighted means.
  struct TWeighted {
    std::int64_t mean;
    std::int64_t answered;
  };
  std::vector<TWeighted> steps;
  std::int64_t total = 0;
  for (const THistorySummary& s : summariesAtStep(hostId, nowMs - 86'400'000, nowMs, 300)) {
    const std::int64_t answered = s.sent - s.lost;
    if (answered <= 0 || s.meanMicros < 0) continue;
    steps.push_back({s.meanMicros, answered});
    total += answered;
  }
  if (steps.empty()) return std::nullopt;
  std::sort(steps.begin(), steps.end(),
            [](const TWeighted& a, const TWeighted& b) { return a.mean < b.mean; });
  // The echo in the middle (the lower and upper middle of an even count) and the means they fall in.
  const std::int64_t lower = (total - 1) / 2, upper = total / 2;
  std::int64_t seen = 0;
  std::optional<std::int64_t> below;
  for (const TWeighted& w : steps) {
    seen += w.answered;
    if (!below && seen > lower) below = w.mean;
    if (seen > upper) return (*below + w.mean) / 2;
  }
  return below;
}
