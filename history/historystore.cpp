#include "historystore.h"

#include <QVariant>

#include "echopacking.h"
#include "historyschema.h"

namespace {

// A minute is packed this long after its end: answers to echoes sent late in it arrive up to the
// host's timeout later.
constexpr std::int64_t PackDelayMs = 2 * MinuteMs;

QString text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

THistoryStore::THistoryStore(std::string connectionName) : connection(std::move(connectionName)) {}

THistoryStore::~THistoryStore() { close(); }

THistoryStore::TOpen THistoryStore::open(const std::string& path) {
  close();
  TSchemaResult schema = TSchemaResult::Failed;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), text(connection));
    db.setDatabaseName(text(path));
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
    if (db.open()) {
      opened = true;
      schema = prepareSchema(db, version, error);
    } else {
      error = db.lastError();
    }
  }
  if (schema != TSchemaResult::Ready) {
    close();
    if (schema == TSchemaResult::Newer) return TOpen::Newer;
    return isDamagedFile(error) ? TOpen::Damaged : TOpen::Failed;
  }
  // WAL: readers never wait for the writer and a commit is one append. NORMAL synchronisation keeps
  // every commit across a crash or kill of the program (not across a power cut).
  if (!exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
      !exec(QStringLiteral("PRAGMA synchronous=NORMAL"))) {
    const bool damaged = isDamagedFile(error);
    close();
    return damaged ? TOpen::Damaged : TOpen::Failed;
  }
  const QSqlDatabase db = QSqlDatabase::database(text(connection), false);
  beginQuery.emplace(db);
  commitQuery.emplace(db);
  if (!beginQuery->prepare(QStringLiteral("BEGIN IMMEDIATE")) ||
      !commitQuery->prepare(QStringLiteral("COMMIT"))) {
    error = beginQuery->lastError().isValid() ? beginQuery->lastError() : commitQuery->lastError();
    close();
    return TOpen::Failed;
  }
  insertRecentQuery.emplace(db);
  insertRecentQuery->prepare(
      QStringLiteral("INSERT INTO recent (host_id, minute_ms, echoes) VALUES (?, ?, ?)"));
  return TOpen::Ready;
}

void THistoryStore::close() {
  insertRecentQuery.reset();
  beginQuery.reset();
  commitQuery.reset();
  if (QSqlDatabase::contains(text(connection))) {
    {
      QSqlDatabase db = QSqlDatabase::database(text(connection), false);
      if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(text(connection));
  }
  opened = false;
}

bool THistoryStore::exec(QSqlQuery& q) {
  if (q.exec()) return true;
  error = q.lastError();
  return false;
}

bool THistoryStore::exec(const QString& sql) {
  QSqlQuery q(QSqlDatabase::database(text(connection), false));
  if (q.exec(sql)) return true;
  error = q.lastError();
  return false;
}

bool THistoryStore::begin() { return exec(*beginQuery); }
bool THistoryStore::commit() { return exec(*commitQuery); }
void THistoryStore::rollback() {
  const QSqlError kept = error;
  exec(QStringLiteral("ROLLBACK"));
  error = kept;
}

std::optional<std::int64_t> THistoryStore::findHost(const THostNames& names,
                                                    const std::set<std::int64_t>& taken) {
  QSqlQuery q(QSqlDatabase::database(text(connection), false));
  q.prepare(QStringLiteral("SELECT id FROM hosts WHERE address = ? AND host_name = ? "
                           "ORDER BY deleted_ms IS NOT NULL, id"));
  q.addBindValue(text(names.ipAddress));
  q.addBindValue(text(names.hostName));
  if (!exec(q)) return std::nullopt;
  while (q.next()) {
    const std::int64_t id = q.value(0).toLongLong();
    if (!taken.contains(id)) return id;
  }
  return std::nullopt;
}

std::optional<std::int64_t> THistoryStore::insertHost(const THostNames& names, std::int64_t nowMs) {
  QSqlQuery q(QSqlDatabase::database(text(connection), false));
  q.prepare(QStringLiteral("INSERT INTO hosts (calling_name, host_name, address, added_ms) "
                           "VALUES (?, ?, ?, ?)"));
  q.addBindValue(text(names.callingName));
  q.addBindValue(text(names.hostName));
  q.addBindValue(text(names.ipAddress));
  q.addBindValue(QVariant::fromValue<qlonglong>(nowMs));
  if (!exec(q)) return std::nullopt;
  return q.lastInsertId().toLongLong();
}

bool THistoryStore::updateHost(std::int64_t id, const THostNames& names) {
  QSqlQuery q(QSqlDatabase::database(text(connection), false));
  q.prepare(QStringLiteral("UPDATE hosts SET calling_name = ?, host_name = ?, address = ?, "
                           "deleted_ms = NULL WHERE id = ?"));
  q.addBindValue(text(names.callingName));
  q.addBindValue(text(names.hostName));
  q.addBindValue(text(names.ipAddress));
  q.addBindValue(QVariant::fromValue<qlonglong>(id));
  return exec(q);
}

bool THistoryStore::markDeleted(std::int64_t id, std::int64_t nowMs) {
  QSqlQuery q(QSqlDatabase::database(text(connection), false));
  q.prepare(QStringLiteral("UPDATE hosts SET deleted_ms = ? WHERE id = ?"));
  q.addBindValue(QVariant::fromValue<qlonglong>(nowMs));
  q.addBindValue(QVariant::fromValue<qlonglong>(id));
  return exec(q);
}

bool THistoryStore::recordAddressChange(std::int64_t id, std::int64_t changedMs,
                                        const std::string& oldAddress,
                                        const std::string& newAddress) {
  QSqlQuery q(QSqlDatabase::database(text(connection), false));
  q.prepare(QStringLiteral("INSERT INTO address_changes (host_id, changed_ms, old_address, "
                           "new_address) VALUES (?, ?, ?, ?)"));
  q.addBindValue(QVariant::fromValue<qlonglong>(id));
  q.addBindValue(QVariant::fromValue<qlonglong>(changedMs));
  q.addBindValue(text(oldAddress));
  q.addBindValue(text(newAddress));
  return exec(q);
}

std::optional<std::int64_t> THistoryStore::startRun(std::int64_t startedMs) {
  QSqlQuery q(QSqlDatabase::database(text(connection), false));
  q.prepare(QStringLiteral("INSERT INTO runs (started_ms) VALUES (?)"));
  q.addBindValue(QVariant::fromValue<qlonglong>(startedMs));
  if (!exec(q)) return std::nullopt;
  return q.lastInsertId().toLongLong();
}

bool THistoryStore::stopRun(std::int64_t runRow, std::int64_t stoppedMs) {
  QSqlQuery q(QSqlDatabase::database(text(connection), false));
  q.prepare(QStringLiteral("UPDATE runs SET stopped_ms = ? WHERE rowid = ?"));
  q.addBindValue(QVariant::fromValue<qlonglong>(stoppedMs));
  q.addBindValue(QVariant::fromValue<qlonglong>(runRow));
  return exec(q);
}

bool THistoryStore::insertRecent(std::int64_t hostId, std::int64_t minuteMs,
                                 const std::vector<THistoryEcho>& echoes) {
  QSqlQuery& q = *insertRecentQuery;
  q.bindValue(0, QVariant::fromValue<qlonglong>(hostId));
  q.bindValue(1, QVariant::fromValue<qlonglong>(minuteMs));
  q.bindValue(2, QString::fromLatin1(packEchoes(minuteMs, echoes)));
  return exec(q);
}

std::vector<std::int64_t> THistoryStore::hostIds() {
  std::vector<std::int64_t> ids;
  QSqlQuery q(QSqlDatabase::database(text(connection), false));
  q.setForwardOnly(true);
  if (!q.exec(QStringLiteral("SELECT id FROM hosts ORDER BY id"))) {
    error = q.lastError();
    return ids;
  }
  while (q.next()) ids.push_back(q.value(0).toLongLong());
  return ids;
}

std::optional<std::int64_t> THistoryStore::metaNumber(const QString& key) {
  QSqlQuery q(QSqlDatabase::database(text(connection), false));
  q.prepare(QStringLiteral("SELECT value FROM meta WHERE key = ?"));
  q.addBindValue(key);
  if (!exec(q) || !q.next()) return std::nullopt;
  return q.value(0).toLongLong();
}

bool THistoryStore::setMetaNumber(const QString& key, std::int64_t value) {
  QSqlQuery q(QSqlDatabase::database(text(connection), false));
  q.prepare(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)"));
  q.addBindValue(key);
  q.addBindValue(QString::number(value));
  return exec(q);
}
