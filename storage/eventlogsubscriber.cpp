#include "eventlogsubscriber.h"

#include "core/tolvohosts.h"

TEventLogSubscriber::TEventLogSubscriber(TTolvoHosts& hostList, TTolvoLogger& eventLogger)
    : hosts(hostList), logger(eventLogger) {
  hosts.events().subscribe(this);
}

TEventLogSubscriber::~TEventLogSubscriber() { hosts.events().unsubscribe(this); }

void TEventLogSubscriber::hostStatusChanged(const TTolvoHost& host, hostStatus status) {
  logger.logHostStatus(host.hostName, host.ipAddress, status);
}

void TEventLogSubscriber::connectionChanged(connState state) { logger.logConnectionStatus(state); }
