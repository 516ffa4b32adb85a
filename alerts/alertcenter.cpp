#include "alertcenter.h"

#include <QDateTime>
#include <QTimer>

#include <algorithm>

#include "core/tolvohosts.h"

TAlertCenter::TAlertCenter(TTolvoHosts& hostList, QDBusConnection bus, QObject* parent)
    : QObject(parent), hosts(hostList), desktop(std::move(bus), this), commands(this),
      webhookSender(this), batchTimer(new QTimer(this)) {
  monotonic.start();
  batchTimer->setSingleShot(true);
  connect(batchTimer, &QTimer::timeout, this, [this] { flushDue(); });
  webhookSender.logFileFor = [this] { return commands.logPath(); };
  hosts.events().subscribe(this);
}

TAlertCenter::~TAlertCenter() { hosts.events().unsubscribe(this); }

void TAlertCenter::applySettings(const TAlertSettings& settings) {
  tracker.setSettings(settings);
  QStringList words;
  for (const std::string& word : settings.command) words << QString::fromStdString(word);
  commands.setCommand(words);
  webhookSender.setTarget(settings.webhook);
}

void TAlertCenter::echoResult(const TTolvoHost& host, const TEchoResult& result) {
  TEchoFacts& facts = echoFacts;
  facts.runId = host.runId;
  facts.callingName = host.callingName;
  facts.hostName = host.hostName;
  facts.address = host.ipAddress;
  facts.sentUnixMs = result.sentUnixMs;
  facts.answered = result.answered;
  facts.rttMicros = result.rttMicros;
  figures.echo(host.runId, result.sentUnixMs, result.answered, result.rttMicros);
  const std::vector<TAlertChange> changes = tracker.echo(facts);
  for (const TAlertChange& change : changes) {
    if (onHostLevelChanged) onHostLevelChanged(change.runId, change.to);
    handle(change, tracker.currentSettings().notifyFor(host.ipAddress));
  }
  if (!changes.empty() && onLevelsChanged) onLevelsChanged();
}

void TAlertCenter::connectionChanged(connState state) {
  const TAlertLevel now = state == csUp     ? TAlertLevel::Up
                          : state == csDown ? TAlertLevel::Down
                                            : TAlertLevel::Unknown;
  if (now == connection) return;
  TAlertChange change;
  change.from = connection;
  change.to = now;
  change.atUnixMs = QDateTime::currentMSecsSinceEpoch();
  if (now == TAlertLevel::Down) change.detail = connectionDownDetail();
  connection = now;
  if (kindOf(change) != TAlertKind::None) report(change);
  if (desktopNotices && kindOf(change) != TAlertKind::None && tracker.currentSettings().notify &&
      !(tracker.currentSettings().quietWhileStopped && pinging && !pinging())) {
    gatherer.add(change, monotonic.elapsed());
    schedule();
  }
  if (onLevelsChanged) onLevelsChanged();
}

std::string TAlertCenter::connectionDownDetail() const {
  const std::vector<std::string> down = tracker.namesAt(TAlertLevel::Down);
  const std::size_t total = std::max(down.size(), static_cast<std::size_t>(std::max(hosts.hostCount(), 0)));
  std::string text = std::to_string(down.size()) + " of " + std::to_string(total) +
                     (total == 1 ? " host down" : " hosts down");
  if (const auto since = tracker.earliestDownSinceMs())
    text += " since " +
            QDateTime::fromMSecsSinceEpoch(*since).toString(QStringLiteral("HH:mm:ss")).toStdString();
  if (!down.empty()) text += ": " + nameList(down, 3);
  return text;
}

void TAlertCenter::hostDeleting(const TTolvoHost& host) {
  tracker.forget(host.runId);
  figures.forget(host.runId);
  gatherer.forget(host.runId);
  schedule();
  if (onLevelsChanged) onLevelsChanged();
}

void TAlertCenter::handle(const TAlertChange& change, bool notifyHost) {
  if (kindOf(change) == TAlertKind::None) return;
  commands.run(change);
  report(change);
  if (!notifyHost || !desktopNotices) return;
  if (tracker.currentSettings().quietWhileStopped && pinging && !pinging()) return;
  gatherer.add(change, monotonic.elapsed());
  schedule();
}

void TAlertCenter::report(const TAlertChange& change) {
  TChangeFigures changeFigures = figures.changed(change);
  if (pathStop && kindOf(change) == TAlertKind::HostUp)
    changeFigures.pathStopsAfter = pathStop(change.address);
  webhookSender.send(change, changeFigures);
  if (onChange) onChange(change);
  for (const auto& listener : changeListeners) listener(change);
}

void TAlertCenter::flushDue() {
  const std::vector<TAlertChange> batch = gatherer.take(monotonic.elapsed());
  if (!batch.empty()) desktop.show(composeNotice(batch));
  schedule();
}

void TAlertCenter::schedule() {
  const auto due = gatherer.nextDueMs();
  if (!due) {
    batchTimer->stop();
    return;
  }
  batchTimer->start(static_cast<int>(std::clamp<std::int64_t>(*due - monotonic.elapsed(), 0, 60000)));
}
