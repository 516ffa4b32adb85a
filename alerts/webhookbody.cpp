#include "webhookbody.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <cmath>

#include "alertcommand.h"
#include "alerttracker.h"

namespace {

double milliseconds(std::int64_t micros) { return std::round(static_cast<double>(micros) / 10.0) / 100.0; }

std::string durationText(std::int64_t ms) {
  const std::int64_t seconds = ms / 1000;
  if (seconds < 60) return std::to_string(seconds) + " s";
  if (seconds < 3600) return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
  return std::to_string(seconds / 3600) + " h " + std::to_string(seconds / 60 % 60) + " min";
}

}  // namespace

std::string alertLine(const TAlertChange& change) {
  if (change.isConnection()) return std::string("connection ") + levelWord(change.to);
  std::string line = change.shownName();
  if (!change.address.empty() && change.address != line) line += " (" + change.address + ")";
  line += std::string(" ") + levelWord(change.to);
  if (!change.detail.empty()) line += ": " + change.detail;
  return line;
}

const char* eventWord(const TAlertChange& change) {
  switch (kindOf(change)) {
    case TAlertKind::HostDown: return "host_down";
    case TAlertKind::HostUp: return "host_up";
    case TAlertKind::Degraded: return "degraded";
    case TAlertKind::Recovered: return "recovered";
    case TAlertKind::ConnectionDown: return "connection_down";
    case TAlertKind::ConnectionUp: return "connection_up";
    case TAlertKind::None: break;
  }
  return "test";
}

QByteArray webhookJson(const TAlertChange& change, const TChangeFigures& figures) {
  QJsonObject body;
  body["event"] = eventWord(change);
  body["host"] = QString::fromStdString(change.isConnection() ? std::string("connection") : change.shownName());
  if (!change.isConnection()) {
    body["calling_name"] = QString::fromStdString(change.callingName);
    body["host_name"] = QString::fromStdString(change.hostName);
    body["address"] = QString::fromStdString(change.address);
  }
  body["old_state"] = levelWord(change.from);
  body["new_state"] = levelWord(change.to);
  body["time"] = isoTime(change.atUnixMs);
  body["reason"] = QString::fromStdString(change.detail);
  if (figures.echoes > 0) {
    body["echoes_5min"] = figures.echoes;
    body["loss_percent_5min"] = std::round(figures.lossPercent * 10) / 10;
  }
  if (figures.lastRttMicros) body["rtt_ms"] = milliseconds(*figures.lastRttMicros);
  if (figures.meanRttMicros) body["rtt_mean_5min_ms"] = milliseconds(*figures.meanRttMicros);
  if (figures.outageStartMs && figures.outageMs) {
    body["outage_start"] = isoTime(*figures.outageStartMs);
    body["outage_seconds"] = static_cast<double>(*figures.outageMs / 1000);
  }
  if (!figures.pathStopsAfter.empty()) {
    body["path_stops_after"] = QString::fromStdString(figures.pathStopsAfter);
  }
  body["sent_by"] = QSysInfo::machineHostName();
  return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QByteArray webhookText(const TAlertChange& change, const TChangeFigures& figures) {
  std::string text = alertLine(change);
  if (figures.echoes > 0) {
    char loss[32];
    std::snprintf(loss, sizeof loss, "%.1f", figures.lossPercent);
    text += std::string("; loss ") + loss + "% over 5 minutes";
  }
  if (figures.meanRttMicros) text += ", round trip " + rttText(*figures.meanRttMicros);
  if (figures.outageStartMs && figures.outageMs)
    text += "; down " + durationText(*figures.outageMs) + " since " + isoTime(*figures.outageStartMs).toStdString();
  text += " (" + isoTime(change.atUnixMs).toStdString() + ")";
  return QByteArray::fromStdString(text);
}

TAlertChange webhookTestChange(std::int64_t nowMs) {
  TAlertChange change;
  change.runId = ~std::uint64_t{0};
  change.from = TAlertLevel::Up;
  change.to = TAlertLevel::Up;
  change.atUnixMs = nowMs;
  change.callingName = "Sorvelo test";
  change.hostName = "test";
  change.address = "192.0.2.1";
  change.detail = "a test message from Preferences > Alerts";
  return change;
}
