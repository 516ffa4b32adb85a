#include "headlessalerts.h"

#include <QDBusConnection>
#include <QFileInfo>

#include <cstdio>

#include "alerts/alertcenter.h"
#include "alerts/webhookbody.h"
#include "config/settings.h"
#include "history/alertmedians.h"
#include "core/tolvohosts.h"
#include "stderrmessages.h"

THeadlessAlerts::THeadlessAlerts(TTolvoHosts& hostList, std::function<std::string()> databasePath)
    : hosts(hostList),
      medians(std::make_unique<TAlertMedians>(hostList, std::move(databasePath))),
      // A connection that was never made: the notifier has no bus, and no bus is asked for.
      alertCenter(std::make_unique<TAlertCenter>(hostList, QDBusConnection(QString()))) {
  alertCenter->setMedianSource(
      [this](std::uint64_t runId, std::int64_t nowMs) { return medians->median(runId, nowMs); });
  alertCenter->setDesktopNotices(false);
  alertCenter->commandRunner().logFileFor = [] {
    return QFileInfo(QString::fromStdString(settings.general_log_filename)).absolutePath() +
           QStringLiteral("/alerts_log.txt");
  };
  alertCenter->onChange = [](const TAlertChange& change) {
    const std::string line = "alert: " + alertLine(change) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  };
}

THeadlessAlerts::~THeadlessAlerts() = default;

void THeadlessAlerts::closeMedians() { medians->close(); }

void THeadlessAlerts::readSettings() {
  std::vector<std::string> problems;
  alertCenter->applySettings(TAlertSettings::load(hosts.addresses(), &problems));
  for (const std::string& problem : problems) printMessage(TSeverity::Warning, problem);
}
