#include "historyschema.h"

#include <QSqlQuery>
#include <QVariant>

#include <functional>
#include <vector>

namespace {

// Migration i takes a file from version i to version i + 1. Never change a released one: add one.
const std::vector<std::vector<const char*>> Migrations{
    {
        // 0 -> 1: the first release.
        "CREATE TABLE hosts (id INTEGER PRIMARY KEY, calling_name TEXT NOT NULL, "
        "host_name TEXT NOT NULL, address TEXT NOT NULL, added_ms INTEGER NOT NULL, "
        "deleted_ms INTEGER)",
        "CREATE INDEX hosts_by_address ON hosts (address, host_name)",
        "CREATE TABLE raw (host_id INTEGER NOT NULL, minute_ms INTEGER NOT NULL, "
        "echoes TEXT NOT NULL, PRIMARY KEY (host_id, minute_ms)) WITHOUT ROWID",
        "CREATE TABLE recent (host_id INTEGER NOT NULL, minute_ms INTEGER NOT NULL, "
        "echoes TEXT NOT NULL)",
        "CREATE INDEX recent_by_host ON recent (host_id, minute_ms)",
        "CREATE TABLE summaries (step_s INTEGER NOT NULL, host_id INTEGER NOT NULL, "
        "start_ms INTEGER NOT NULL, sent INTEGER NOT NULL, lost INTEGER NOT NULL, "
        "min_us INTEGER, mean_us INTEGER, max_us INTEGER, p95_us INTEGER, "
        "PRIMARY KEY (step_s, host_id, start_ms)) WITHOUT ROWID",
        "CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID",
    },
    {
        // 1 -> 2: when monitoring ran, so that an outage ends where monitoring stopped.
        "CREATE TABLE runs (started_ms INTEGER NOT NULL, stopped_ms INTEGER)",
    },
    {
        // 2 -> 3: path rounds (hop by hop, keyed by the host's address) and route changes.
        "CREATE TABLE path_rounds (address TEXT NOT NULL, round_ms INTEGER NOT NULL, "
        "reason TEXT NOT NULL, reached INTEGER NOT NULL, PRIMARY KEY (address, round_ms)) "
        "WITHOUT ROWID",
        "CREATE TABLE path_hops (address TEXT NOT NULL, round_ms INTEGER NOT NULL, "
        "hop INTEGER NOT NULL, hop_address TEXT NOT NULL, hop_name TEXT NOT NULL, rtt_us INTEGER, "
        "PRIMARY KEY (address, round_ms, hop)) WITHOUT ROWID",
        "CREATE TABLE path_changes (address TEXT NOT NULL, at_ms INTEGER NOT NULL, "
        "hop INTEGER NOT NULL, before_address TEXT NOT NULL, after_address TEXT NOT NULL)",
        "CREATE INDEX path_changes_by_address ON path_changes (address, at_ms)",
    },
    {
        // 3 -> 4: when a host's address was changed, so that its history shows where.
        "CREATE TABLE address_changes (host_id INTEGER NOT NULL, changed_ms INTEGER NOT NULL, "
        "old_address TEXT NOT NULL, new_address TEXT NOT NULL)",
        "CREATE INDEX address_changes_by_host ON address_changes (host_id, changed_ms)",
    },
};
static_assert(HistorySchemaVersion == 4, "add the migration to the new version above");

bool run(QSqlDatabase& db, const QString& sql, QSqlError& error) {
  QSqlQuery q(db);
  if (q.exec(sql)) return true;
  error = q.lastError();
  return false;
}

}  // namespace

std::int32_t daysKept(const THistoryLengths& lengths, std::int32_t stepSeconds) {
  switch (stepSeconds) {
    case 300: return lengths.fiveMinuteDays;
    case 3600: return lengths.hourlyDays;
    case 86400: return lengths.dailyDays;
    default: return lengths.rawDays;
  }
}

int schemaVersion(QSqlDatabase& db, QSqlError& error) {
  QSqlQuery q(db);
  // A file that is not a database fails here already: SQLite reads the header on first use.
  if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
    error = q.lastError();
    return -1;
  }
  return q.value(0).toInt();
}

TSchemaResult prepareSchema(QSqlDatabase& db, int& version, QSqlError& error) {
  version = schemaVersion(db, error);
  if (version < 0) return TSchemaResult::Failed;
  if (version > HistorySchemaVersion) return TSchemaResult::Newer;
  if (version == HistorySchemaVersion) return TSchemaResult::Ready;
  if (!run(db, QStringLiteral("BEGIN IMMEDIATE"), error)) return TSchemaResult::Failed;
  for (int v = version; v < HistorySchemaVersion; ++v) {
    for (const char* sql : Migrations[static_cast<std::size_t>(v)]) {
      if (!run(db, QString::fromLatin1(sql), error)) {
        run(db, QStringLiteral("ROLLBACK"), error);
        return TSchemaResult::Failed;
      }
    }
  }
  if (!run(db, QStringLiteral("PRAGMA user_version = %1").arg(HistorySchemaVersion), error) ||
      !run(db, QStringLiteral("COMMIT"), error)) {
    QSqlError ignored;
    run(db, QStringLiteral("ROLLBACK"), ignored);
    return TSchemaResult::Failed;
  }
  return TSchemaResult::Ready;
}

int sqliteCode(const QSqlError& error) {
  bool ok = false;
  const int code = error.nativeErrorCode().toInt(&ok);
  return ok ? (code & 0xff) : 0;
}

bool isDamagedFile(const QSqlError& error) {
  constexpr int SqliteCorrupt = 11;
  constexpr int SqliteNotADatabase = 26;
  const int code = sqliteCode(error);
  return code == SqliteCorrupt || code == SqliteNotADatabase;
}
