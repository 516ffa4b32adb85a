#include "pathsummaries.h"

#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>

#include "echopacking.h"

namespace {

constexpr std::int64_t DayMs = 86'400'000;

QVariant number(std::int64_t n) { return QVariant::fromValue<qlonglong>(n); }
QString text(const std::string& s) { return QString::fromStdString(s); }
QString markKey(std::int32_t step) { return QStringLiteral("path_summarised_until_%1").arg(step); }

bool exec(QSqlQuery& q, QSqlError& error) {
  if (q.exec()) return true;
  error = q.lastError();
  return false;
}

// Every address of `table` (its primary key starts with the address), one index seek each rather
// than a scan of all its rows.
std::optional<std::vector<std::string>> addressesOf(QSqlDatabase& db, const QString& table,
                                                    QSqlError& error) {
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("WITH RECURSIVE a(address) AS (SELECT min(address) FROM %1 UNION ALL "
                           "SELECT (SELECT min(address) FROM %1 WHERE address > a.address) FROM a "
                           "WHERE a.address IS NOT NULL) SELECT address FROM a "
                           "WHERE address IS NOT NULL")
                .arg(table));
  if (!exec(q, error)) return std::nullopt;
  std::vector<std::string> addresses;
  while (q.next()) addresses.push_back(q.value(0).toString().toStdString());
  return addresses;
}

std::optional<std::int64_t> mark(QSqlDatabase& db, std::int32_t step) {
  QSqlQuery q(db);
  q.prepare(QStringLiteral("SELECT value FROM meta WHERE key = ?"));
  q.addBindValue(markKey(step));
  if (!q.exec() || !q.next()) return std::nullopt;
  return q.value(0).toLongLong();
}

bool setMark(QSqlDatabase& db, std::int32_t step, std::int64_t value, QSqlError& error) {
  QSqlQuery q(db);
  q.prepare(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)"));
  q.addBindValue(markKey(step));
  q.addBindValue(QString::number(value));
  return exec(q, error);
}

// Summarises the rounds of `address` started in [fromMs, toMs) into every step of `steps` (the
// range holds whole steps), replacing what those steps had. Done by SQLite itself: the upgrade of
// a file summarises all its rounds at once. The last answer of each hop and step comes from the
// row holding max(round_ms) (a query with one max() takes its other columns from that row); the
// squares are sum(rtt^2) - n * mean^2, ample in doubles for round trips in microseconds.
bool summariseAddress(QSqlDatabase& db, const std::string& address, std::int64_t fromMs,
                      std::int64_t toMs, const std::vector<std::int32_t>& steps,
                      QSqlError& error) {
  QSqlQuery q(db);
  q.prepare(QStringLiteral(
      "INSERT OR REPLACE INTO path_summaries (address, step_s, start_ms, hop, hop_address, "
      "hop_name, sent, answered, min_us, mean_us, max_us, squares_us2) "
      "SELECT ?, ?, a.start, a.hop, coalesce(l.hop_address, ''), coalesce(l.hop_name, ''), "
      "a.sent, a.answered, a.min_us, a.mean_us, a.max_us, a.squares FROM "
      "(SELECT round_ms - round_ms % ? AS start, hop, count(*) AS sent, count(rtt_us) AS answered, "
      "min(rtt_us) AS min_us, CAST(round(avg(rtt_us)) AS INTEGER) AS mean_us, max(rtt_us) AS max_us, "
      "max(0.0, total(rtt_us * rtt_us) - total(rtt_us) * total(rtt_us) / max(count(rtt_us), 1)) "
      "AS squares FROM path_hops WHERE address = ? AND round_ms >= ? AND round_ms < ? "
      "GROUP BY start, hop) a LEFT JOIN "
      "(SELECT round_ms - round_ms % ? AS start, hop, max(round_ms), hop_address, hop_name "
      "FROM path_hops WHERE address = ? AND round_ms >= ? AND round_ms < ? "
      "AND rtt_us IS NOT NULL GROUP BY start, hop) l ON l.start = a.start AND l.hop = a.hop"));
  for (std::int32_t step : steps) {
    const QVariant stepMs = number(step * 1000LL);
    const QVariantList values{text(address), step,   stepMs, text(address), number(fromMs),
                              number(toMs),  stepMs, text(address), number(fromMs), number(toMs)};
    for (int i = 0; i < values.size(); ++i) q.bindValue(i, values[i]);
    if (!exec(q, error)) return false;
  }
  return true;
}

bool summariseAll(QSqlDatabase& db, std::int64_t fromMs, std::int64_t toMs,
                  const std::vector<std::int32_t>& steps, QSqlError& error) {
  const auto addresses = addressesOf(db, QStringLiteral("path_rounds"), error);
  if (!addresses) return false;
  for (const std::string& address : *addresses)
    if (!summariseAddress(db, address, fromMs, toMs, steps, error)) return false;
  return true;
}

// min or max of the start of every stored round.
std::optional<std::int64_t> roundBoundMs(QSqlDatabase& db, const char* aggregate) {
  QSqlQuery q(db);
  if (!q.exec(QStringLiteral("SELECT %1(round_ms) FROM path_rounds").arg(aggregate)) ||
      !q.next() || q.value(0).isNull())
    return std::nullopt;
  return q.value(0).toLongLong();
}

bool summariseDueSteps(QSqlDatabase& db, QSqlError& error) {
  QSqlQuery q(db);
  q.setForwardOnly(true);
  if (!q.exec(QStringLiteral("SELECT address, step_s, start_ms FROM path_summaries_due"))) {
    error = q.lastError();
    return false;
  }
  std::vector<std::tuple<std::string, std::int32_t, std::int64_t>> due;
  while (q.next())
    due.emplace_back(q.value(0).toString().toStdString(), q.value(1).toInt(),
                     q.value(2).toLongLong());
  q.finish();
  for (const auto& [address, step, start] : due)
    if (!summariseAddress(db, address, start, start + step * 1000LL, {step}, error)) return false;
  if (due.empty()) return true;
  QSqlQuery done(db);
  done.prepare(QStringLiteral("DELETE FROM path_summaries_due"));
  return exec(done, error);
}

}  // namespace

double TPathHopBucket::lossPercent() const {
  return sent == 0 ? 0.0 : 100.0 * (sent - answered) / sent;
}

double TPathHopBucket::stdevMicros() const {
  return answered < 2 ? 0.0 : std::sqrt(squaresMicros / (answered - 1));
}

void TPathHopBucket::add(const TPathHopBucket& later) {
  sent += later.sent;
  if (later.answered == 0) return;
  address = later.address;
  name = later.name;
  bestMicros = answered == 0 ? later.bestMicros : std::min(bestMicros, later.bestMicros);
  worstMicros = std::max(worstMicros, later.worstMicros);
  // Two samples' squared differences joined (Chan et al.): each about its own mean, plus the
  // shift of that mean to the joint one.
  const double n = answered, m = later.answered, delta = later.meanMicros - meanMicros;
  squaresMicros += later.squaresMicros + delta * delta * n * m / (n + m);
  meanMicros += delta * m / (n + m);
  answered += later.answered;
}

bool consolidatePathRounds(QSqlDatabase& db, std::int64_t endedBeforeMs, QSqlError& error) {
  for (std::int32_t step : PathSummarySteps) {
    const std::int64_t stepMs = step * 1000LL;
    const std::int64_t upTo = floorTo(endedBeforeMs, stepMs);
    const std::optional<std::int64_t> until = mark(db, step);
    // The first summaries of a file start with its first round.
    std::int64_t from = until.value_or(floorTo(roundBoundMs(db, "min").value_or(upTo), stepMs));
    if (from < upTo && !summariseAll(db, from, upTo, {step}, error)) return false;
    // The mark never goes back: after the clock stepped back, late rounds are marked due.
    if ((!until || upTo > *until) && !setMark(db, step, std::max(from, upTo), error)) return false;
  }
  return summariseDueSteps(db, error);
}

bool summariseStoredPathRounds(QSqlDatabase& db, QSqlError& error) {
  const std::optional<std::int64_t> first = roundBoundMs(db, "min");
  const std::optional<std::int64_t> last = roundBoundMs(db, "max");
  if (!first || !last) return true;
  const std::vector<std::int32_t> steps(PathSummarySteps.begin(), PathSummarySteps.end());
  if (!summariseAll(db, floorTo(*first, steps.back() * 1000LL), *last + 1, steps, error))
    return false;
  for (std::int32_t step : PathSummarySteps)
    if (!setMark(db, step, floorTo(*last, step * 1000LL), error)) return false;
  return true;
}

bool markLatePathRound(QSqlDatabase& db, const std::string& address, std::int64_t roundMs,
                       QSqlError& error) {
  for (std::int32_t step : PathSummarySteps) {
    // No mark: nothing summarised yet (or a file from before the summaries).
    const std::optional<std::int64_t> until = mark(db, step);
    if (!until || roundMs >= *until) continue;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT OR IGNORE INTO path_summaries_due (address, step_s, "
                             "start_ms) VALUES (?, ?, ?)"));
    q.addBindValue(text(address));
    q.addBindValue(step);
    q.addBindValue(number(floorTo(roundMs, step * 1000LL)));
    if (!exec(q, error)) return false;
  }
  return true;
}

bool prunePathSummaries(QSqlDatabase& db, std::int64_t nowMs, const THistoryLengths& lengths,
                        QSqlError& error) {
  const auto addresses = addressesOf(db, QStringLiteral("path_summaries"), error);
  if (!addresses) return false;
  QSqlQuery q(db);
  q.prepare(QStringLiteral(
      "DELETE FROM path_summaries WHERE address = ? AND step_s = ? AND start_ms < ?"));
  for (const std::string& address : *addresses) {
    for (std::int32_t step : PathSummarySteps) {
      const std::int32_t days = step == 300 ? lengths.fiveMinuteDays : lengths.hourlyDays;
      q.bindValue(0, text(address));
      q.bindValue(1, step);
      q.bindValue(2, number(nowMs - days * DayMs));
      if (!exec(q, error)) return false;
    }
  }
  return true;
}

TPathSummaryRange pathSummariesAtStep(QSqlDatabase& db, const std::string& address,
                                      std::int64_t fromMs, std::int64_t toMs,
                                      std::int32_t stepSeconds) {
  TPathSummaryRange range;
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral(
      "SELECT hop, start_ms, hop_address, hop_name, sent, answered, min_us, mean_us, max_us, "
      "squares_us2 FROM path_summaries WHERE address = ? AND step_s = ? AND start_ms >= ? "
      "AND start_ms < ? ORDER BY hop, start_ms"));
  q.addBindValue(text(address));
  q.addBindValue(stepSeconds);
  q.addBindValue(number(floorTo(fromMs, stepSeconds * 1000LL)));
  q.addBindValue(number(toMs));
  if (!q.exec()) return range;  // a file of version 4 or older has no such table
  while (q.next()) {
    const int hop = q.value(0).toInt();
    if (range.hops.empty() || range.hops.back().hop != hop) range.hops.push_back({hop, {}});
    TPathHopBucket b;
    b.startMs = q.value(1).toLongLong();
    b.address = q.value(2).toString().toStdString();
    b.name = q.value(3).toString().toStdString();
    b.sent = q.value(4).toInt();
    b.answered = q.value(5).toInt();
    if (!q.value(6).isNull()) b.bestMicros = q.value(6).toLongLong();
    if (!q.value(7).isNull()) b.meanMicros = q.value(7).toDouble();
    if (!q.value(8).isNull()) b.worstMicros = q.value(8).toLongLong();
    b.squaresMicros = q.value(9).toDouble();
    range.hops.back().buckets.push_back(std::move(b));
  }
  if (!range.hops.empty()) range.stepSeconds = stepSeconds;
  return range;
}

TPathSummaryRange pathSummaries(QSqlDatabase& db, const std::string& address, std::int64_t fromMs,
                                std::int64_t toMs, int maxBuckets) {
  const auto earliest = [](const TPathSummaryRange& r) {
    std::int64_t first = INT64_MAX;
    for (const TPathHopSeries& hop : r.hops)
      if (!hop.buckets.empty()) first = std::min(first, hop.buckets.front().startMs);
    return first;
  };
  // The finest step that fits and still reaches back to the start of the range; failing that, the
  // one that reaches back furthest.
  TPathSummaryRange best;
  for (std::int32_t step : PathSummarySteps) {
    const std::int64_t stepMs = step * 1000LL;
    if ((toMs - fromMs) / stepMs > maxBuckets && step != PathSummarySteps.back()) continue;
    TPathSummaryRange range = pathSummariesAtStep(db, address, fromMs, toMs, step);
    if (!range.hops.empty() && earliest(range) <= fromMs + stepMs) return range;
    if (best.hops.empty() || (!range.hops.empty() && earliest(range) < earliest(best)))
      best = std::move(range);
  }
  return best;
}
