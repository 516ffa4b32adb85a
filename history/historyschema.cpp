#include "historyschema.h"

#include <QSqlQuery>
#include <QVariant>

#include <functional>
#include <vector>

#include "pathsummaries.h"

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
    {
        // 4 -> 5: path rounds summarised per hop into 5-minute and hourly steps, and the steps
        // that late rounds made due again. The rounds already stored are summarised right after.
        "CREATE TABLE path_summaries (address TEXT NOT NULL, step_s INTEGER NOT NULL, "
        "start_ms INTEGER NOT NULL, hop INTEGER NOT NULL, hop_address TEXT NOT NULL, "
        "hop_name TEXT NOT NULL, sent INTEGER NOT NULL, answered INTEGER NOT NULL, "
        "min_us INTEGER, mean_us INTEGER, max_us INTEGER, squares_us2 REAL NOT NULL, "
        "PRIMARY KEY (address, step_s, start_ms, hop)) WITHOUT ROWID",
        "CREATE TABLE path_summaries_due (address TEXT NOT NULL, step_s INTEGER NOT NULL, "
        "start_ms INTEGER NOT NULL, PRIMARY KEY (address, step_s, start_ms)) WITHOUT ROWID",
    },
};
static_assert(HistorySchemaVersion == 5, "add the migration to the new version above");

// Work a migration needs beyond its statements, run after them.
bool afterMigration(QSqlDatabase& db, int toVersion, QSqlError& error) {
  if (toVersion == 5) return summariseStoredPathRounds(db, error);
  return true;
}

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
  // Another connection (the path tracer's, the recorder's) may have upgraded the file between the
  // first look and the lock: read the version again under the lock.
  QSqlError ignored;
  version = schemaVersion(db, error);
  if (version < 0 || version >= HistorySchemaVersion) {
    run(db, QStringLiteral("ROLLBACK"), ignored);
    if (version < 0) return TSchemaResult::Failed;
    return version > HistorySchemaVersion ? TSchemaResult::Newer : TSchemaResult::Ready;
  }
  for (int v = version; v < HistorySchemaVersion; ++v) {
    bool ok = true;
    for (const char* sql : Migrations[static_cast<std::size_t>(v)])
      ok = ok && run(db, QString::fromLatin1(sql), error);
    if (!ok || !afterMigration(db, v + 1, error)) {
      run(db, QStringLiteral("ROLLBACK"), ignored);
      return TSchemaResult::Failed;
    }
  }
  if (!run(db, QStringLiteral("PRAGMA user_version = %1").arg(HistorySchemaVersion), error) ||
      !run(db, QStringLiteral("COMMIT"), error)) {
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
