#pragma once
// What a webhook posts for a change, and the one line that names a change (standard error of the
// program without a display, the plain-text body, the alerts log).
//
// The JSON body: {"event": "host_down"|"host_up"|"degraded"|"recovered"|"connection_down"|
// "connection_up"|"test", "host": shown name, "calling_name", "host_name", "address",
// "old_state", "new_state" ("unknown", "up", "degraded", "down"), "time" (ISO 8601 with offset),
// "reason", "echoes_5min", "loss_percent_5min", "rtt_ms", "rtt_mean_5min_ms", and on a change that
// ends an outage "outage_start" and "outage_seconds" (and "path_stops_after" when the host's path
// was traced during it: "hop 2, 192.0.2.5 (r2.example)"); "sent_by" names this machine. Figures that are
// not known (no answer yet) are left out. The connection's changes have "host": "connection" and no
// address or figures.

#include <QByteArray>

#include <string>

#include "alertchange.h"
#include "webhookfigures.h"

// "gateway (192.0.2.1) down: 3 echoes lost in a row"; "connection down".
std::string alertLine(const TAlertChange& change);

// "host_down", "connection_up", ...; "test" for a change of kind None (the test message).
const char* eventWord(const TAlertChange& change);

QByteArray webhookJson(const TAlertChange& change, const TChangeFigures& figures);
// The alert line, the figures and the outage in one line of text.
QByteArray webhookText(const TAlertChange& change, const TChangeFigures& figures);

// A made-up change for Preferences' "Send test", so the receiver sees the real shape.
TAlertChange webhookTestChange(std::int64_t nowMs);
