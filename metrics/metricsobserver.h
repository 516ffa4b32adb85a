#pragma once
// Feeds the metrics registry from the engine's event stream: a subscriber like the event log,
// served after it. It subscribes when created (taking up the hosts already in the list) and
// unsubscribes when destroyed.

#include <memory>

#include "core/engineevents.h"

class TMetricsRegistry;
class TTolvoHosts;

class TMetricsObserver final : public TEngineObserver {
 public:
  TMetricsObserver(TTolvoHosts& hosts, std::shared_ptr<TMetricsRegistry> registry);
  ~TMetricsObserver() override;
  TMetricsObserver(const TMetricsObserver&) = delete;
  TMetricsObserver& operator=(const TMetricsObserver&) = delete;

  void echoResult(const TTolvoHost& host, const TEchoResult& result) override;
  void hostStatusChanged(const TTolvoHost& host, hostStatus status) override;
  void connectionChanged(connState state) override;
  void hostAdded(const TTolvoHost& host) override;
  void hostDeleting(const TTolvoHost& host) override;
  void hostEdited(const TTolvoHost& host, const THostNames& before) override;

 private:
  TTolvoHosts& hosts;
  std::shared_ptr<TMetricsRegistry> registry;
};
