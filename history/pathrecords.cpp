#include "pathrecords.h"

#include <QSqlQuery>
#include <QVariant>

#include <map>

#include "pathsummaries.h"

namespace {

QVariant number(std::int64_t n) { return QVariant::fromValue<qlonglong>(n); }
QString text(const std::string& s) { return QString::fromStdString(s); }

bool exec(QSqlQuery& q, QSqlError& error) {
  if (q.exec()) return true;
  error = q.lastError();
  return false;
}

// The answering address of every hop of the host's latest round before `roundMs`.
std::map<int, std::string> previousAnswers(QSqlDatabase& db, const std::string& address,
                                           std::int64_t roundMs, QSqlError& error, bool& ok) {
  std::map<int, std::string> answers;
  QSqlQuery q(db);
  q.prepare(QStringLiteral(
      "SELECT hop, hop_address FROM path_hops WHERE address = ? AND round_ms = "
      "(SELECT max(round_ms) FROM path_rounds WHERE address = ? AND round_ms < ?)"));
  q.addBindValue(text(address));
  q.addBindValue(text(address));
  q.addBindValue(number(roundMs));
  ok = exec(q, error);
  while (ok && q.next()) answers[q.value(0).toInt()] = q.value(1).toString().toStdString();
  return answers;
}

bool insertRound(QSqlDatabase& db, const THistoryPathRound& round,
                 const std::vector<TRouteChange>& changes, QSqlError& error) {
  QSqlQuery q(db);
  q.prepare(QStringLiteral(
      "INSERT OR REPLACE INTO path_rounds (address, round_ms, reason, reached) VALUES (?, ?, ?, ?)"));
  q.addBindValue(text(round.address));
  q.addBindValue(number(round.roundMs));
  q.addBindValue(text(round.reason));
  q.addBindValue(round.reached ? 1 : 0);
  if (!exec(q, error)) return false;
  q.prepare(QStringLiteral("INSERT OR REPLACE INTO path_hops (address, round_ms, hop, hop_address, "
                           "hop_name, rtt_us) VALUES (?, ?, ?, ?, ?, ?)"));
  for (const THistoryHop& hop : round.hops) {
    q.addBindValue(text(round.address));
    q.addBindValue(number(round.roundMs));
    q.addBindValue(hop.hop);
    q.addBindValue(text(hop.address));
    q.addBindValue(text(hop.name));
    q.addBindValue(hop.rttMicros ? number(*hop.rttMicros) : QVariant());
    if (!exec(q, error)) return false;
  }
  q.prepare(QStringLiteral("INSERT INTO path_changes (address, at_ms, hop, before_address, "
                           "after_address) VALUES (?, ?, ?, ?, ?)"));
  for (const TRouteChange& change : changes) {
    q.addBindValue(text(round.address));
    q.addBindValue(number(round.roundMs));
    q.addBindValue(change.hop);
    q.addBindValue(text(change.before));
    q.addBindValue(text(change.after));
    if (!exec(q, error)) return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<TRouteChange>> storePathRound(QSqlDatabase& db,
                                                        const THistoryPathRound& round,
                                                        QSqlError& error) {
  // Taking the write lock first: a plain BEGIN would read the previous round in a snapshot that a
  // commit of the database thread can make stale, and SQLite then refuses the write at once
  // (SQLITE_BUSY_SNAPSHOT, no busy wait), losing the round.
  QSqlQuery begin(db);
  if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
    error = begin.lastError();
    return std::nullopt;
  }
  bool ok = false;
  const std::map<int, std::string> before =
      previousAnswers(db, round.address, round.roundMs, error, ok);
  std::vector<TRouteChange> changes;
  for (const THistoryHop& hop : round.hops) {
    const auto it = before.find(hop.hop);
    if (it == before.end() || it->second.empty() || hop.address.empty() ||
        it->second == hop.address)
      continue;
    changes.push_back({hop.hop, it->second, hop.address, round.roundMs});
  }
  if (ok && insertRound(db, round, changes, error) &&
      markLatePathRound(db, round.address, round.roundMs, error) && db.commit())
    return changes;
  if (error.type() == QSqlError::NoError) error = db.lastError();
  db.rollback();
  return std::nullopt;
}

bool prunePathRounds(QSqlDatabase& db, std::int64_t beforeMs, QSqlError& error) {
  for (const char* sql : {"DELETE FROM path_hops WHERE round_ms < ?",
                          "DELETE FROM path_rounds WHERE round_ms < ?",
                          "DELETE FROM path_changes WHERE at_ms < ?"}) {
    QSqlQuery q(db);
    q.prepare(QString::fromLatin1(sql));
    q.addBindValue(number(beforeMs));
    if (!exec(q, error)) return false;
  }
  return true;
}

std::optional<TLastHop> lastHopDuring(QSqlDatabase& db, const std::string& address,
                                      std::int64_t fromMs, std::int64_t toMs) {
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT min(round_ms) FROM path_rounds WHERE address = ? AND "
                           "round_ms >= ? AND round_ms < ? AND reached = 0"));
  q.addBindValue(text(address));
  q.addBindValue(number(fromMs));
  q.addBindValue(number(toMs));
  if (!q.exec() || !q.next() || q.value(0).isNull()) return std::nullopt;
  const std::int64_t roundMs = q.value(0).toLongLong();
  q.prepare(QStringLiteral("SELECT hop, hop_address, hop_name FROM path_hops WHERE address = ? AND "
                           "round_ms = ? AND hop_address <> '' ORDER BY hop DESC LIMIT 1"));
  q.addBindValue(text(address));
  q.addBindValue(number(roundMs));
  TLastHop last;
  if (q.exec() && q.next()) {
    last.hop = q.value(0).toInt();
    last.address = q.value(1).toString().toStdString();
    last.name = q.value(2).toString().toStdString();
  }
  return last;
}

std::string lastHopText(const TLastHop& hop) {
  if (hop.hop == 0) return "no hop";
  std::string out = "hop " + std::to_string(hop.hop) + ", " + hop.address;
  if (!hop.name.empty()) out += " (" + hop.name + ")";
  return out;
}

std::vector<THistoryPathRound> pathRounds(QSqlDatabase& db, const std::string& address,
                                          std::int64_t fromMs, std::int64_t toMs) {
  std::vector<THistoryPathRound> rounds;
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral(
      "SELECT r.round_ms, r.reason, r.reached, h.hop, h.hop_address, h.hop_name, h.rtt_us "
      "FROM path_rounds r LEFT JOIN path_hops h ON h.address = r.address AND "
      "h.round_ms = r.round_ms WHERE r.address = ? AND r.round_ms >= ? AND r.round_ms < ? "
      "ORDER BY r.round_ms, h.hop"));
  q.addBindValue(text(address));
  q.addBindValue(number(fromMs));
  q.addBindValue(number(toMs));
  if (!q.exec()) return rounds;
  while (q.next()) {
    const std::int64_t roundMs = q.value(0).toLongLong();
    if (rounds.empty() || rounds.back().roundMs != roundMs) {
      rounds.push_back({address, roundMs, q.value(1).toString().toStdString(),
                        q.value(2).toInt() != 0, {}});
    }
    if (q.value(3).isNull()) continue;
    THistoryHop hop;
    hop.hop = q.value(3).toInt();
    hop.address = q.value(4).toString().toStdString();
    hop.name = q.value(5).toString().toStdString();
    if (!q.value(6).isNull()) hop.rttMicros = q.value(6).toLongLong();
    rounds.back().hops.push_back(std::move(hop));
  }
  return rounds;
}

std::vector<TRouteChange> routeChanges(QSqlDatabase& db, const std::string& address,
                                       std::int64_t fromMs, std::int64_t toMs) {
  std::vector<TRouteChange> changes;
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT hop, before_address, after_address, at_ms FROM path_changes WHERE "
                           "address = ? AND at_ms >= ? AND at_ms < ? ORDER BY at_ms, hop"));
  q.addBindValue(text(address));
  q.addBindValue(number(fromMs));
  q.addBindValue(number(toMs));
  if (!q.exec()) return changes;
  while (q.next())
    changes.push_back({q.value(0).toInt(), q.value(1).toString().toStdString(),
                       q.value(2).toString().toStdString(), q.value(3).toLongLong()});
  return changes;
}
