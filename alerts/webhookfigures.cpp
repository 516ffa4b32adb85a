#include "webhookfigures.h"

void TWebhookFigures::echo(std::uint64_t runId, std::int64_t sentMs, bool answered, std::int64_t rttMicros) {
  THost& host = hosts[runId];
  host.window.push_back({sentMs, answered ? rttMicros : -1});
  while (host.window.size() > WindowCap || host.window.front().sentMs <= sentMs - WindowMs)
    host.window.pop_front();
  if (answered) host.lostSinceMs.reset();
  else if (!host.lostSinceMs) host.lostSinceMs = sentMs;
}

TChangeFigures TWebhookFigures::changed(const TAlertChange& change) {
  TChangeFigures figures;
  THost& host = hosts[change.runId];
  std::int64_t sum = 0;
  std::int32_t answers = 0;
  for (const TSample& sample : host.window) {
    if (sample.rttMicros < 0) continue;
    sum += sample.rttMicros;
    ++answers;
    figures.lastRttMicros = sample.rttMicros;
  }
  figures.echoes = static_cast<std::int32_t>(host.window.size());
  if (figures.echoes > 0) figures.lossPercent = 100.0 * (figures.echoes - answers) / figures.echoes;
  if (answers > 0) figures.meanRttMicros = sum / answers;

  const TAlertKind kind = kindOf(change);
  if (kind == TAlertKind::HostDown || kind == TAlertKind::ConnectionDown) {
    host.outageStartMs = change.isConnection() ? change.atUnixMs : host.lostSinceMs.value_or(change.atUnixMs);
  } else if ((kind == TAlertKind::HostUp || kind == TAlertKind::ConnectionUp) && host.outageStartMs) {
    figures.outageStartMs = host.outageStartMs;
    figures.outageMs = change.atUnixMs - *host.outageStartMs;
    host.outageStartMs.reset();
  }
  return figures;
}
