#include "alertcommand.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

QString alertsLogField(QString text) {
  text.remove(QLatin1Char(';'));
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  text.replace(QLatin1Char('\r'), QLatin1Char(' '));
  return text;
}

QString isoTime(std::int64_t unixMs) {
  // Always with the offset ("+00:00", never "Z"), so every line reads the same way.
  const QDateTime local = QDateTime::fromMSecsSinceEpoch(unixMs);
  const int offset = local.offsetFromUtc();
  const int minutes = (offset < 0 ? -offset : offset) / 60;
  return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
         QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

TAlertCommandRunner::TAlertCommandRunner(QObject* parent) : QObject(parent) {}

TAlertCommandRunner::~TAlertCommandRunner() {
  for (auto& [runId, run] : runs) {
    run.process->disconnect(this);
    const qint64 pid = run.process->processId();
    if (pid > 0) ::kill(-static_cast<pid_t>(pid), SIGKILL);
    run.process->kill();
    run.process->waitForFinished(1000);  // only at exit: the killed child must not linger
    delete run.process;
  }
}

int TAlertCommandRunner::runningCount() const { return static_cast<int>(runs.size()); }

void TAlertCommandRunner::run(const TAlertChange& change) {
  if (command.isEmpty()) return;
  const auto it = runs.find(change.runId);
  if (it != runs.end()) {
    it->second.waiting = change;
    return;
  }
  start(change.runId, change);
}

void TAlertCommandRunner::start(std::uint64_t runId, const TAlertChange& change) {
  TRun& run = runs[runId];
  run.change = change;
  run.process = new QProcess(this);
  run.process->setProcessChannelMode(QProcess::MergedChannels);
  run.process->setStandardInputFile(QProcess::nullDevice());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("SORVELO_HOST"), QString::fromStdString(change.hostName));
  env.insert(QStringLiteral("SORVELO_CALLING_NAME"), QString::fromStdString(change.callingName));
  env.insert(QStringLiteral("SORVELO_ADDRESS"), QString::fromStdString(change.address));
  env.insert(QStringLiteral("SORVELO_OLD_STATE"), QString::fromLatin1(levelWord(change.from)));
  env.insert(QStringLiteral("SORVELO_NEW_STATE"), QString::fromLatin1(levelWord(change.to)));
  env.insert(QStringLiteral("SORVELO_TIME"), isoTime(change.atUnixMs));
  run.process->setProcessEnvironment(env);
  // A group of its own, so the kill reaches what the command started as well (a script's sleep).
  run.process->setChildProcessModifier([] { ::setpgid(0, 0); });

  run.killer = new QTimer(run.process);
  run.killer->setSingleShot(true);
  connect(run.killer, &QTimer::timeout, this, [this, runId] {
    const auto it = runs.find(runId);
    if (it == runs.end()) return;
    it->second.killed = true;
    const qint64 pid = it->second.process->processId();
    if (pid > 0) ::kill(-static_cast<pid_t>(pid), SIGKILL);
    it->second.process->kill();
  });
  connect(run.process, &QProcess::readyReadStandardOutput, this, [this, runId] {
    const auto it = runs.find(runId);
    if (it != runs.end()) readOutput(it->second);
  });
  connect(run.process, &QProcess::finished, this,
          [this, runId](int exitCode, QProcess::ExitStatus status) {
            const auto it = runs.find(runId);
            if (it == runs.end()) return;
            readOutput(it->second);
            QString outcome;
            if (it->second.killed)
              outcome = QStringLiteral("killed after %1 s").arg(killAfterMs / 1000.0);
            else if (status == QProcess::CrashExit)
              outcome = QStringLiteral("crashed");
            else
              outcome = QStringLiteral("exit %1").arg(exitCode);
            finish(runId, outcome);
          });
  connect(run.process, &QProcess::errorOccurred, this, [this, runId](QProcess::ProcessError error) {
    const auto it = runs.find(runId);
    if (error != QProcess::FailedToStart || it == runs.end()) return;
    finish(runId, QStringLiteral("could not start: ") + it->second.process->errorString());
  });
  run.killer->start(killAfterMs);
  run.process->start(command.front(), command.mid(1));
}

void TAlertCommandRunner::readOutput(TRun& run) {
  // Read everything there is; keep only what belongs to the first line.
  while (run.process->bytesAvailable() > 0) {
    const QByteArray chunk = run.process->read(64 * 1024);
    if (chunk.isEmpty()) break;
    if (run.lineComplete) continue;
    const qsizetype end = chunk.indexOf('\n');
    run.firstLine += end < 0 ? chunk : chunk.left(end);
    if (end >= 0 || run.firstLine.size() >= FirstLineBytes) run.lineComplete = true;
    run.firstLine.truncate(FirstLineBytes);
  }
}

void TAlertCommandRunner::finish(std::uint64_t runId, const QString& outcome) {
  const auto it = runs.find(runId);
  if (it == runs.end()) return;
  TRun run = std::move(it->second);
  runs.erase(it);
  run.process->disconnect(this);
  run.killer->stop();
  run.process->deleteLater();
  writeLog(run.change, outcome, run.firstLine);
  if (run.waiting) start(runId, *run.waiting);
}

void TAlertCommandRunner::writeLog(const TAlertChange& change, const QString& outcome,
                                   const QByteArray& firstLine) {
  const QString subject = QString::fromStdString(change.hostName.empty() ? change.shownName() : change.hostName) +
                          QStringLiteral(" // ") + QString::fromStdString(change.address);
  const QString line =
      QStringList{isoTime(change.atUnixMs), QStringLiteral("COMMAND"), alertsLogField(subject),
                  QString::fromLatin1(levelWord(change.from)),
                  QString::fromLatin1(levelWord(change.to)), alertsLogField(outcome),
                  alertsLogField(QString::fromUtf8(firstLine).trimmed())}
          .join(QLatin1Char(';'));
  const QString path = logFileFor ? logFileFor() : logFile;
  if (!path.isEmpty()) {
    QFile file(path);
    // A line that cannot be written is dropped, like the general log's.
    if (file.open(QIODevice::Append | QIODevice::Text)) file.write(line.toUtf8() + '\n');
  }
  if (onLogLine) onLogLine(line);
}
