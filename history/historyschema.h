#pragma once
// The layout of the results database (documented for users in docs/history.md) and its migrations.
// The version is PRAGMA user_version; every version of the program can upgrade every older file.

#include <QSqlDatabase>
#include <QSqlError>

#include <array>
#include <cstdint>

#include "historysettings.h"

inline constexpr int HistorySchemaVersion = 5;

// The summary steps in seconds, finest first.
inline constexpr std::array<std::int32_t, 3> SummarySteps{300, 3600, 86400};
// How many days a step is kept with the given lengths.
std::int32_t daysKept(const THistoryLengths& lengths, std::int32_t stepSeconds);

enum class TSchemaResult { Ready, Newer, Failed };

// Reads the version and creates or upgrades the tables (in a transaction). Newer: the file's
// version is above HistorySchemaVersion and nothing was changed. `version` gets the file's version.
TSchemaResult prepareSchema(QSqlDatabase& db, int& version, QSqlError& error);
// The file's version without changing anything; -1 with `error` when it cannot be read.
int schemaVersion(QSqlDatabase& db, QSqlError& error);

// The primary SQLite result code of an error (SQLITE_FULL is 13, ...), 0 when there is none.
int sqliteCode(const QSqlError& error);
// The file is damaged or not a database at all (SQLITE_CORRUPT, SQLITE_NOTADB).
bool isDamagedFile(const QSqlError& error);
