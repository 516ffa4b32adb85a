#include "alertswiring.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <QPointer>
#include <QSystemTrayIcon>

#include <thread>

#include "alerts/alertcenter.h"
#include "history/alertmedians.h"
#include "alertspreferences.h"
#include "history/historysettings.h"
#include "ui/views/livestats.h"
#include "ui/views/overviewwindow.h"
#include "preferenceswindow.h"
#include "ui/program/viewwindows.h"
#include "base/usermessages.h"
#include "config/settings.h"
#include "core/tolvohosts.h"
#include "ui/program/runcontrol.h"
#include "ui/program/trayicon.h"

namespace {

constexpr int BalloonMs = 10000;

}  // namespace

TAlertsWiring::TAlertsWiring(TTolvoHosts& hostList, TTrayIcon& trayIcon, TRunControl& runControl,
                             QObject* parent)
    : QObject(parent), hosts(hostList), tray(trayIcon),
      medians(std::make_unique<TAlertMedians>(
          hostList, [] { return historyFilePath(settings.hosts_file_name); })),
      alertCenter(std::make_unique<TAlertCenter>(hostList, QDBusConnection(QString()))) {
  connectSessionBus();
  hosts.events().subscribe(this);
  alertCenter->setMedianSource(
      [this](std::uint64_t runId, std::int64_t nowMs) { return medians->median(runId, nowMs); });
  alertCenter->pinging = [&runControl] { return runControl.running(); };
  alertCenter->onLevelsChanged = [this] { tray.setDownHosts(alertCenter->downNames()); };
  // The command's outcomes go beside the general log, whose own lines have no room for them.
  alertCenter->commandRunner().logFileFor = [] {
    return QFileInfo(QString::fromStdString(settings.general_log_filename)).absolutePath() +
           QStringLiteral("/alerts_log.txt");
  };
  TDesktopNotifier& notifier = alertCenter->notifier();
  notifier.onActivated = [this](const std::vector<std::uint64_t>& runIds) { showHosts(runIds); };
  notifier.fallback = [this](const TAlertNotice& notice) {
    balloonHosts = notice.runIds;
    tray.systemTrayIcon()->showMessage(
        QString::fromStdString(notice.summary), QString::fromStdString(notice.body),
        notice.urgent ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information, BalloonMs);
  };
  connect(tray.systemTrayIcon(), &QSystemTrayIcon::messageClicked, this,
          [this] { showHosts(balloonHosts); });
}

TAlertsWiring::~TAlertsWiring() { hosts.events().unsubscribe(this); }

void TAlertsWiring::connectSessionBus() {
  // The connection waits for the bus daemon's answer (up to 25 s from a wedged one): made on a
  // thread of its own and handed to the notifier on this one.
  alertCenter->notifier().awaitBus();
  QPointer<TDesktopNotifier> notifier(&alertCenter->notifier());
  std::thread([notifier] {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    QMetaObject::invokeMethod(
        qApp, [notifier, bus] { if (notifier) notifier->setBus(bus); }, Qt::QueuedConnection);
  }).detach();
}

void TAlertsWiring::attachViews(TViewWindows& views) {
  openOverview = [&views](const std::vector<std::uint64_t>& runIds) {
    views.showOverview();
    views.overview().selectHosts(runIds);
  };
  tray.OnOverview = [&views] { views.showOverview(); };
  // The overview shows the states the alerts confirm, as notifications and the tray name them.
  views.liveStats().followAlerts(
      [this](const std::string& address) { return stateRuleText(alertCenter->currentSettings(), address); });
  alertCenter->onHostLevelChanged = [&views](std::uint64_t runId, TAlertLevel level) {
    views.liveStats().setAlertState(runId, level == TAlertLevel::Up         ? TLiveState::Ok
                                           : level == TAlertLevel::Down     ? TLiveState::Down
                                           : level == TAlertLevel::Degraded ? TLiveState::Degraded
                                                                            : TLiveState::Unknown);
  };
  auto* page = new TAlertsPreferences([this] {
    std::vector<TAlertsPreferences::THostRow> rows;
    for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot)
      if (const TTolvoHost* host = hosts.hostAt(slot))
        rows.push_back({host->callingName.empty() ? host->hostName : host->callingName, host->ipAddress});
    return rows;
  });
  page->onApplied = [this] { reloadSettings(false); };
  views.preferences().addPage(page, QStringLiteral("Alerts"),
                              {[page] { page->load(); }, [page] { return page->validate(); },
                               [page] { page->apply(); }});
}

void TAlertsWiring::reloadSettings(bool tell) {
  std::vector<std::string> problems;
  alertCenter->applySettings(TAlertSettings::load(hosts.addresses(), &problems));
  if (!tell || problems.empty()) return;
  std::string text;
  for (const std::string& problem : problems) text += (text.empty() ? "" : "\n") + problem;
  showUserMessage(text);
}

void TAlertsWiring::hostAdded(const TTolvoHost&) { reloadSettings(false); }

void TAlertsWiring::hostEdited(const TTolvoHost&, const THostNames&) { reloadSettings(false); }

void TAlertsWiring::showHosts(const std::vector<std::uint64_t>& runIds) {
  if (openOverview) openOverview(runIds);
  else tray.showMainForm();
}

void TAlertsWiring::closeHistoryDatabase() {
  if (medians) medians->close();
}
