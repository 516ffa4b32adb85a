#pragma once
// Alerts as a subscriber of the engine: echo results feed the confirmed states and degradations of
// the tracker, connection changes come as the engine reports them; every change is handed to the
// command runner at once and, unless switched off, to the gatherer, whose batches become desktop
// notifications.
//
// Every change also goes to the webhook, when one is set, and to `onChange`. The program without a
// display turns desktop notices off (setDesktopNotices): no batches, no session bus.
//
// Switches: notify (global), notify.<address> (per host), quiet_while_stopped (no notification
// while pinging is stopped; `pinging` tells). Commands run whatever the switches say.

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "alertcommand.h"
#include "alertgatherer.h"
#include "alertsettings.h"
#include "alerttracker.h"
#include "core/engineevents.h"
#include "desktopnotifier.h"
#include "webhookfigures.h"
#include "webhooksender.h"

class QTimer;
class TTolvoHosts;

class TAlertCenter : public QObject, public TEngineObserver {
  Q_OBJECT
 public:
  // Subscribes to the host list's events; notifications go over `bus` (the session bus in the
  // program).
  TAlertCenter(TTolvoHosts& hosts, QDBusConnection bus, QObject* parent = nullptr);
  ~TAlertCenter() override;

  void applySettings(const TAlertSettings& settings);
  const TAlertSettings& currentSettings() const { return tracker.currentSettings(); }
  // Where the command's outcomes are written.
  void setLogFile(const QString& path) { commands.setLogFile(path); }
  void setDesktopNotices(bool on) { desktopNotices = on; }
  void setMedianSource(TAlertTracker::TMedianSource source) { tracker.setMedianSource(std::move(source)); }

  // Whether pinging runs (for quiet_while_stopped); unset counts as running.
  std::function<bool()> pinging;
  // After any change of a host's confirmed level or of the connection (tray tooltip).
  std::function<void()> onLevelsChanged;
  // A host's new confirmed level (the overview's amber rows).
  std::function<void(std::uint64_t runId, TAlertLevel level)> onHostLevelChanged;
  // Every change of a host or of the connection that means something, as it happens.
  std::function<void(const TAlertChange& change)> onChange;
  // Where the path of the host at this address stopped during its outage, asked when the outage
  // ends (the webhook body's "path_stops_after"); empty when not known.
  std::function<std::string(const std::string& address)> pathStop;
  // More listeners of every change, after onChange (the path tracer's rounds on down and up).
  void addChangeListener(std::function<void(const TAlertChange& change)> listener) {
    changeListeners.push_back(std::move(listener));
  }

  TAlertLevel level(std::uint64_t runId) const { return tracker.level(runId); }
  bool isDegraded(std::uint64_t runId) const { return tracker.level(runId) == TAlertLevel::Degraded; }
  std::vector<std::string> downNames() const { return tracker.namesAt(TAlertLevel::Down); }

  TDesktopNotifier& notifier() { return desktop; }
  TAlertCommandRunner& commandRunner() { return commands; }
  TWebhookSender& webhook() { return webhookSender; }

  void echoResult(const TTolvoHost& host, const TEchoResult& result) override;
  void connectionChanged(connState state) override;
  void hostDeleting(const TTolvoHost& host) override;

 private:
  void handle(const TAlertChange& change, bool notifyHost);
  // "2 of 7 hosts down since 04:12:05: gateway, nas": the body of "The connection is down".
  std::string connectionDownDetail() const;
  void flushDue();
  void schedule();
  void report(const TAlertChange& change);

  TTolvoHosts& hosts;
  TAlertTracker tracker;
  // Refilled for every echo: its names keep their storage, so an echo allocates nothing.
  TEchoFacts echoFacts;
  TAlertGatherer gatherer;
  TDesktopNotifier desktop;
  TAlertCommandRunner commands;
  TWebhookFigures figures;
  TWebhookSender webhookSender;
  bool desktopNotices = true;
  QTimer* batchTimer;
  QElapsedTimer monotonic;
  TAlertLevel connection = TAlertLevel::Unknown;
  std::vector<std::function<void(const TAlertChange& change)>> changeListeners;
};
