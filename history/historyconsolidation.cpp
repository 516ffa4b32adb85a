// Packing, consolidation and pruning of the results database (THistoryStore, database thread).
//
// 1. Rows of `recent` whose minute closed at least two minutes ago (or lies more than two minutes
//    ahead, after the clock stepped back) are merged with any `raw` row of that host and minute,
//    sorted by time sent and written as the one `raw` row of that minute.
// 2. Every step (5 minutes, hour, day) that ended before the packed minutes is summarised from
//    `raw`, host by host; meta keeps how far each step has been summarised.
// 3. A packed minute below that mark is a late arrival: its step is summarised again.
// 4. Path rounds are summarised per hop the same way (pathsummaries.h).

#include <QVariant>

#include <tuple>

#include "echopacking.h"
#include "historyschema.h"
#include "historystore.h"
#include "pathsummaries.h"

namespace {

constexpr std::int64_t PackDelayMs = 2 * MinuteMs;
constexpr std::int64_t DayMs = 86'400'000;

QVariant number(std::int64_t n) { return QVariant::fromValue<qlonglong>(n); }
QVariant figure(std::int64_t n) { return n < 0 ? QVariant() : number(n); }
QString summarisedKey(std::int32_t step) { return QStringLiteral("summarised_until_%1").arg(step); }

}  // namespace

bool THistoryStore::packClosedMinutes(
    std::int64_t nowMs, std::set<TDirtyStep>& dirty,
    std::map<std::int32_t, std::int64_t>& summarisedUntil) {
  QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(connection), false);
  const std::int64_t closedBefore = floorTo(nowMs - PackDelayMs, MinuteMs);
  const std::int64_t aheadAfter = nowMs + PackDelayMs;
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT host_id, minute_ms, echoes FROM recent "
                           "WHERE minute_ms < ? OR minute_ms > ? ORDER BY host_id, minute_ms, rowid"));
  q.addBindValue(number(closedBefore));
  q.addBindValue(number(aheadAfter));
  if (!exec(q)) return false;

  QSqlQuery existing(db);
  existing.prepare(QStringLiteral("SELECT echoes FROM raw WHERE host_id = ? AND minute_ms = ?"));
  QSqlQuery write(db);
  write.prepare(QStringLiteral("INSERT OR REPLACE INTO raw (host_id, minute_ms, echoes) "
                               "VALUES (?, ?, ?)"));
  std::vector<THistoryEcho> echoes;
  std::int64_t host = -1, minute = 0;
  auto flushGroup = [&]() -> bool {
    if (echoes.empty()) return true;
    existing.bindValue(0, number(host));
    existing.bindValue(1, number(minute));
    if (!exec(existing)) return false;
    if (existing.next()) unpackEchoes(minute, existing.value(0).toString().toStdString(), echoes);
    existing.finish();
    sortBySent(echoes);
    write.bindValue(0, number(host));
    write.bindValue(1, number(minute));
    write.bindValue(2, QString::fromLatin1(packEchoes(minute, echoes)));
    if (!exec(write)) return false;
    for (std::int32_t step : SummarySteps) {
      const std::int64_t until = summarisedUntil[step];
      if (until >= 0 && minute < until)
        dirty.insert({step, host, floorTo(minute, step * 1000LL)});
    }
    echoes.clear();
    return true;
  };
  while (q.next()) {
    const std::int64_t h = q.value(0).toLongLong(), m = q.value(1).toLongLong();
    if (h != host || m != minute) {
      if (!flushGroup()) return false;
      host = h;
      minute = m;
    }
    unpackEchoes(m, q.value(2).toString().toStdString(), echoes);
  }
  if (!flushGroup()) return false;
  QSqlQuery remove(db);
  remove.prepare(QStringLiteral("DELETE FROM recent WHERE minute_ms < ? OR minute_ms > ?"));
  remove.addBindValue(number(closedBefore));
  remove.addBindValue(number(aheadAfter));
  return exec(remove);
}

bool THistoryStore::summarise(std::int64_t hostId, std::int32_t stepSeconds, std::int64_t fromMs,
                              std::int64_t toMs) {
  QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(connection), false);
  const std::int64_t stepMs = stepSeconds * 1000LL;
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT minute_ms, echoes FROM raw WHERE host_id = ? AND minute_ms >= ? "
                           "AND minute_ms < ? ORDER BY minute_ms"));
  q.addBindValue(number(hostId));
  q.addBindValue(number(fromMs));
  q.addBindValue(number(toMs));
  if (!exec(q)) return false;
  QSqlQuery write(db);
  write.prepare(QStringLiteral("INSERT OR REPLACE INTO summaries (step_s, host_id, start_ms, sent, "
                               "lost, min_us, mean_us, max_us, p95_us) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
  TSummaryBuilder builder;
  std::vector<THistoryEcho> echoes;
  std::int64_t bucket = 0;
  auto flushBucket = [&]() -> bool {
    if (builder.empty()) return true;
    const THistorySummary s = builder.summary(bucket, stepSeconds);
    builder.clear();
    write.bindValue(0, stepSeconds);
    write.bindValue(1, number(hostId));
    write.bindValue(2, number(s.startMs));
    write.bindValue(3, s.sent);
    write.bindValue(4, s.lost);
    write.bindValue(5, figure(s.minMicros));
    write.bindValue(6, figure(s.meanMicros));
    write.bindValue(7, figure(s.maxMicros));
    write.bindValue(8, figure(s.p95Micros));
    return exec(write);
  };
  while (q.next()) {
    const std::int64_t minute = q.value(0).toLongLong();
    const std::int64_t b = floorTo(minute, stepMs);
    if (b != bucket && !flushBucket()) return false;
    bucket = b;
    echoes.clear();
    unpackEchoes(minute, q.value(1).toString().toStdString(), echoes);
    for (const THistoryEcho& e : echoes) builder.add(e);
  }
  return flushBucket();
}

bool THistoryStore::packAndConsolidate(std::int64_t nowMs) {
  if (!begin()) return false;
  std::map<std::int32_t, std::int64_t> until;
  for (std::int32_t step : SummarySteps) until[step] = metaNumber(summarisedKey(step)).value_or(-1);
  std::set<TDirtyStep> dirty;
  bool ok = packClosedMinutes(nowMs, dirty, until);
  const std::int64_t packedBefore = floorTo(nowMs - PackDelayMs, MinuteMs);
  const std::vector<std::int64_t> hosts = ok ? hostIds() : std::vector<std::int64_t>{};
  for (std::int32_t step : SummarySteps) {
    if (!ok) break;
    const std::int64_t stepMs = step * 1000LL;
    const std::int64_t upTo = floorTo(packedBefore, stepMs);
    std::int64_t from = until[step];
    if (from < 0) {
      // The first summaries of this file start with its first results.
      QSqlQuery first(QSqlDatabase::database(QString::fromStdString(connection), false));
      ok = first.exec(QStringLiteral("SELECT min(minute_ms) FROM raw"));
      if (!ok) error = first.lastError();
      from = ok && first.next() && !first.value(0).isNull()
                 ? floorTo(first.value(0).toLongLong(), stepMs)
                 : upTo;
    }
    for (std::size_t i = 0; ok && from < upTo && i < hosts.size(); ++i)
      ok = summarise(hosts[i], step, from, upTo);
    // The mark never goes back: after the clock stepped back, late steps come in as dirty ones.
    if (ok && (until[step] < 0 || upTo > until[step]))
      ok = setMetaNumber(summarisedKey(step), std::max(from, upTo));
  }
  for (auto it = dirty.begin(); ok && it != dirty.end(); ++it) {
    const auto& [step, host, start] = *it;
    ok = summarise(host, step, start, start + step * 1000LL);
  }
  if (ok) {
    QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(connection), false);
    ok = consolidatePathRounds(db, packedBefore, error);
  }
  if (ok) ok = commit();
  if (!ok) rollback();
  return ok;
}

bool THistoryStore::prune(std::int64_t nowMs, const THistoryLengths& lengths) {
  QSqlDatabase db = QSqlDatabase::database(QString::fromStdString(connection), false);
  if (!begin()) return false;
  const std::int64_t rawCutoff = nowMs - lengths.rawDays * DayMs;
  QSqlQuery raw(db), summaries(db), recent(db), hostRows(db);
  raw.prepare(QStringLiteral("DELETE FROM raw WHERE host_id = ? AND minute_ms < ?"));
  summaries.prepare(
      QStringLiteral("DELETE FROM summaries WHERE step_s = ? AND host_id = ? AND start_ms < ?"));
  bool ok = true;
  for (std::int64_t host : hostIds()) {
    raw.bindValue(0, number(host));
    raw.bindValue(1, number(rawCutoff));
    ok = ok && exec(raw);
    for (std::int32_t step : SummarySteps) {
      summaries.bindValue(0, step);
      summaries.bindValue(1, number(host));
      summaries.bindValue(2, number(nowMs - daysKept(lengths, step) * DayMs));
      ok = ok && exec(summaries);
    }
  }
  ok = ok && prunePathSummaries(db, nowMs, lengths, error);
  recent.prepare(QStringLiteral("DELETE FROM recent WHERE minute_ms < ?"));
  recent.addBindValue(number(rawCutoff));
  ok = ok && exec(recent);
  // A deleted host goes once nothing of it is left.
  ok = ok && hostRows.exec(QStringLiteral(
                 "DELETE FROM hosts WHERE deleted_ms IS NOT NULL "
                 "AND NOT EXISTS (SELECT 1 FROM raw WHERE host_id = hosts.id) "
                 "AND NOT EXISTS (SELECT 1 FROM recent WHERE host_id = hosts.id) "
                 "AND NOT EXISTS (SELECT 1 FROM summaries WHERE step_s IN (300, 3600, 86400) "
                 "AND host_id = hosts.id)"));
  if (!ok && hostRows.lastError().isValid()) error = hostRows.lastError();
  if (ok) ok = commit();
  if (!ok) rollback();
  return ok;
}
