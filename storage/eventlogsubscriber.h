#pragma once
// The general log as a subscriber of the engine: host transitions and connection changes become
// "HOST_STATUS" and "CONNECTION_STATUS" entries. It subscribes first, so the log keeps the order in
// which the engine reports.

#include "core/engineevents.h"
#include "tolvologger.h"

class TTolvoHosts;

class TEventLogSubscriber final : public TEngineObserver {
 public:
  TEventLogSubscriber(TTolvoHosts& hosts, TTolvoLogger& logger);
  ~TEventLogSubscriber() override;
  TEventLogSubscriber(const TEventLogSubscriber&) = delete;
  TEventLogSubscriber& operator=(const TEventLogSubscriber&) = delete;

  void hostStatusChanged(const TTolvoHost& host, hostStatus status) override;
  void connectionChanged(connState state) override;

 private:
  TTolvoHosts& hosts;
  TTolvoLogger& logger;
};
