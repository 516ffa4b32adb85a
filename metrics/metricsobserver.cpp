#include "metricsobserver.h"

#include "core/tolvohosts.h"
#include "metricsregistry.h"

TMetricsObserver::TMetricsObserver(TTolvoHosts& hostList, std::shared_ptr<TMetricsRegistry> target)
    : hosts(hostList), registry(std::move(target)) {
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot)
    if (const TTolvoHost* host = hosts.hostAt(slot)) hostAdded(*host);
  if (hosts.connectionState != csUnknown) connectionChanged(hosts.connectionState);
  hosts.events().subscribe(this);
}

TMetricsObserver::~TMetricsObserver() { hosts.events().unsubscribe(this); }

void TMetricsObserver::echoResult(const TTolvoHost& host, const TEchoResult& result) {
  registry->countEcho(host.runId, result.answered, result.rttMicros);
}

void TMetricsObserver::hostStatusChanged(const TTolvoHost& host, hostStatus status) {
  registry->setHostUp(host.runId, status == hsOk);
}

void TMetricsObserver::connectionChanged(connState state) {
  if (state != csUnknown) registry->setConnectionUp(state == csUp);
}

// The host label is the name the user gave the host (its calling name).
void TMetricsObserver::hostAdded(const TTolvoHost& host) {
  registry->setHost(host.runId, host.callingName, host.ipAddress);
}

void TMetricsObserver::hostDeleting(const TTolvoHost& host) { registry->removeHost(host.runId); }

void TMetricsObserver::hostEdited(const TTolvoHost& host, const THostNames&) { hostAdded(host); }
