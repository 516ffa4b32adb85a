#include "pathwiring.h"

#include <QPointer>

#include "alerts/alertcenter.h"
#include "alerts/alerttexts.h"
#include "core/tolvohosts.h"
#include "history/historysettings.h"
#include "pathwatch/pathtracer.h"
#include "runcontrol.h"

TPathWiring::TPathWiring(TTolvoHosts& hostList, TAlertCenter& alertCenter,
                         const TRunControl& runControl, QObject* parent)
    : QObject(parent), hosts(hostList), alerts(alertCenter) {
  TPathTracerOptions options;
  options.keepDays = historyLengths().rawDays;
  options.checkInterval = std::chrono::milliseconds(0);  // checkSchedule, from the status tick
  pathTracer = std::make_unique<TPathTracer>(options);
  pathTracer->addresses = [this, &runControl] {
    return runControl.running() ? hosts.addresses() : std::vector<std::string>{};
  };
  // The list above differs only after a change of the hosts or of running.
  pathTracer->addressesVersion = [this, &runControl] {
    return hosts.listChanges() * 2 + (runControl.running() ? 1 : 0);
  };
  pathTracer->loadSettings = [](const std::vector<std::string>& addresses) {
    return TPathSettings::load(addresses);
  };
  pathTracer->onRound = [this](const TTracedRound& traced) {
    if (roundDone) roundDone(traced, pathTracer->changesTotal(traced.round.address));
    if (traced.round.reason != "down" || traced.round.reached) return;
    const TTolvoHost* host = nullptr;
    for (int slot = 1; slot <= TTolvoHosts::MaxHosts && !host; ++slot)
      if (const TTolvoHost* h = hosts.hostAt(slot); h && h->ipAddress == traced.round.address)
        host = h;
    // Back up while the round ran: the "up again" said all there is.
    if (!host || !alerts.currentSettings().notifyFor(host->ipAddress) ||
        !alerts.currentSettings().notify || alerts.level(host->runId) != TAlertLevel::Down)
      return;
    TLastHop last;
    for (const THistoryHop& hop : traced.round.hops)
      if (!hop.address.empty()) last = {hop.hop, hop.address, hop.name};
    const std::string name = !host->callingName.empty() ? host->callingName
                             : !host->hostName.empty()  ? host->hostName
                                                        : host->ipAddress;
    alerts.notifier().show(pathStopNotice(name, host->runId, host->ipAddress, lastHopText(last)));
  };
  alerts.pathStop = [this](const std::string& address) { return pathTracer->lastStop(address); };
  // The alert center keeps its listeners: this one outlives the wiring harmlessly.
  alerts.addChangeListener([self = QPointer<TPathWiring>(this)](const TAlertChange& change) {
    if (!self) return;
    TPathTracer* tracer = self->pathTracer.get();
    const TAlertKind kind = kindOf(change);
    if (kind == TAlertKind::HostDown) tracer->hostWentDown(change.address);
    if (kind == TAlertKind::HostUp) tracer->hostCameBack(change.address);
  });
}

TPathWiring::~TPathWiring() { alerts.pathStop = nullptr; }

void TPathWiring::start(const std::string& databasePath) {
  reloadSettings();
  pathTracer->start(databasePath);
  started = true;
}

void TPathWiring::stop() {
  started = false;
  pathTracer->stop();
}

void TPathWiring::checkSchedule() {
  if (started) pathTracer->checkSchedule();
}

void TPathWiring::reloadSettings() {
  pathTracer->setSettings(TPathSettings::load(hosts.addresses()));
}
