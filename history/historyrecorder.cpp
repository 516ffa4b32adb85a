#include "historyrecorder.h"

#include <QDateTime>

#include "core/tolvohost.h"
#include "historywriter.h"

namespace {

std::shared_ptr<const THostNames> namesOf(const TTolvoHost& host) {
  return std::make_shared<const THostNames>(
      THostNames{host.callingName, host.hostName, host.ipAddress});
}

}  // namespace

THistoryRecorder::THistoryRecorder(TEngineEventHub& eventHub, THistoryRecorderOptions options)
    : events(eventHub),
      clock(options.nowMs ? options.nowMs
                          : [] { return QDateTime::currentMSecsSinceEpoch(); }) {
  writer = std::make_unique<THistoryWriter>(std::move(options));
  // Stamped before any echo of this run, so that outages never reach across a stop (docs/history.md).
  writer->push({THistoryEvent::TKind::Started, 0, clock(), -1, nullptr});
  events.subscribe(this);
}

THistoryRecorder::~THistoryRecorder() {
  events.unsubscribe(this);
  stop();
}

void THistoryRecorder::start(const std::string& databasePath) { writer->start(databasePath); }
void THistoryRecorder::setLengths(const THistoryLengths& lengths) { writer->setLengths(lengths); }
void THistoryRecorder::stop() {
  monitoringAt(false, clock());
  stopped = true;
  writer->stop();
}

void THistoryRecorder::setMonitoring(bool on) { monitoringAt(on, clock()); }

void THistoryRecorder::monitoringAt(bool on, std::int64_t atMs) {
  if (stopped || on == monitoring) return;
  monitoring = on;
  if (!on) stoppedAtMs = atMs;
  writer->push({on ? THistoryEvent::TKind::Started : THistoryEvent::TKind::Stopped, 0, atMs, -1,
                nullptr});
}
bool THistoryRecorder::waitWritten(std::chrono::milliseconds timeout) {
  return writer->waitWritten(timeout);
}
THistoryRecorderStats THistoryRecorder::stats() const { return writer->stats(); }

void THistoryRecorder::echoResult(const TTolvoHost& host, const TEchoResult& result) {
  // Sent after monitoring was seen to stop: it has started again.
  if (!monitoring && result.sentUnixMs > stoppedAtMs) monitoringAt(true, result.sentUnixMs);
  // A host the recorder has not seen added (it subscribed late) is announced first.
  if (announced.insert(host.runId).second)
    writer->push({THistoryEvent::TKind::Added, host.runId, 0, -1, namesOf(host)});
  writer->push({THistoryEvent::TKind::Echo, host.runId, result.sentUnixMs,
                result.answered ? result.rttMicros : -1, nullptr});
}

void THistoryRecorder::hostAdded(const TTolvoHost& host) {
  announced.insert(host.runId);
  writer->push({THistoryEvent::TKind::Added, host.runId, 0, -1, namesOf(host)});
}

void THistoryRecorder::hostDeleting(const TTolvoHost& host) {
  announced.erase(host.runId);
  writer->push({THistoryEvent::TKind::Deleting, host.runId, 0, -1, nullptr});
}

void THistoryRecorder::hostEdited(const TTolvoHost& host, const THostNames& /*before*/) {
  announced.insert(host.runId);
  // Stamped: a changed address is recorded with the time of the edit.
  writer->push({THistoryEvent::TKind::Edited, host.runId, clock(), -1, namesOf(host)});
}
