#pragma once
// Runs the user's command on a change of a host's confirmed state: the program and its arguments as
// separate words, started without a shell, the facts of the change in environment variables only
// (SORVELO_HOST, SORVELO_CALLING_NAME, SORVELO_ADDRESS, SORVELO_OLD_STATE, SORVELO_NEW_STATE,
// SORVELO_TIME), so no host name ever becomes part of a command line.
//
// Per host at most one runs at a time; a change arriving meanwhile waits, and a later one replaces
// it. A run is killed after KillAfterMs. The process is watched by the event loop, never waited for.
// Of its output (standard output and error together) the first line is kept (at most
// FirstLineBytes) and the rest read and thrown away, so megabytes of output cost no memory.
//
// Each run ends with one line in the alerts log (alerts_log.txt in the folder of the general log,
// whose own format has no room for it): time (ISO 8601 with offset), "COMMAND", host // address,
// old and new state, how it ended, the first line of output; fields separated by ";".

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "alertchange.h"

class QProcess;
class QTimer;

class TAlertCommandRunner : public QObject {
  Q_OBJECT
 public:
  static constexpr int KillAfterMs = 30000;
  static constexpr int FirstLineBytes = 1000;

  explicit TAlertCommandRunner(QObject* parent = nullptr);
  ~TAlertCommandRunner() override;

  void setCommand(const QStringList& words) { command = words; }
  void setLogFile(const QString& path) { logFile = path; }
  QString logPath() const { return logFileFor ? logFileFor() : logFile; }
  // Where the log is, asked at each line (the general log's folder may change); wins over setLogFile.
  std::function<QString()> logFileFor;
  void setKillAfterMs(int ms) { killAfterMs = ms; }

  // Starts the command for this change, or queues it behind the one running for the host.
  void run(const TAlertChange& change);
  int runningCount() const;

  // Called with each log line as written (tests, and anyone who wants to show it).
  std::function<void(const QString& line)> onLogLine;

 private:
  struct TRun {
    QProcess* process = nullptr;
    QTimer* killer = nullptr;
    TAlertChange change;
    QByteArray firstLine;
    bool lineComplete = false;
    bool killed = false;
    std::optional<TAlertChange> waiting;
  };

  void start(std::uint64_t runId, const TAlertChange& change);
  void readOutput(TRun& run);
  void finish(std::uint64_t runId, const QString& outcome);
  void writeLog(const TAlertChange& change, const QString& outcome, const QByteArray& firstLine);

  QStringList command;
  QString logFile;
  int killAfterMs = KillAfterMs;
  std::map<std::uint64_t, TRun> runs;
};

// "2026-12-08T17:53:34+01:00" for a time in milliseconds since 1970, in local time.
QString isoTime(std::int64_t unixMs);
// A field of the alerts log: no ";" (the separator) and no line breaks.
QString alertsLogField(QString text);
