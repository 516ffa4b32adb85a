#pragma once
// The metrics endpoint as the program runs it: a registry fed by the engine's events and an HTTP
// server of its own (one thread, see metricshttpserver.h) that serves it at /metrics.
//
// prometheus-cpp's pull exposer is not used: its server gives each connection a thread of a small
// pool, so a few idle or slow clients held every scrape up, and it writes every page anew through
// the ostream serializer (about 6 ms of CPU for 255 hosts). The handler here builds the page
// several times faster and reuses it for a tenth of a second (see metricshttphandler.h).
//
// An address that cannot be listened on (a port already taken, an address not on this machine)
// is not an error of the program: monitoring goes on without the endpoint, and problem() says why
// for the caller to pass on to the user.

#include <memory>
#include <string>

#include "metricssettings.h"

class TMetricsHttpHandler;
class TMetricsHttpServer;
class TMetricsObserver;
class TMetricsRegistry;
class TTolvoHosts;

class TMetricsService {
 public:
  TMetricsService(TTolvoHosts& hosts, const TMetricsSettings& settings);
  ~TMetricsService();  // the server stops first, so no scrape outlives the registry's feed
  TMetricsService(const TMetricsService&) = delete;
  TMetricsService& operator=(const TMetricsService&) = delete;

  bool listening() const { return server != nullptr; }
  // Empty while listening.
  const std::string& problem() const { return problemText; }
  const std::shared_ptr<TMetricsRegistry>& registry() const { return series; }

 private:
  std::shared_ptr<TMetricsRegistry> series;
  std::unique_ptr<TMetricsObserver> observer;
  std::unique_ptr<TMetricsHttpHandler> handler;
  std::unique_ptr<TMetricsHttpServer> server;
  std::string problemText;
};

// The service when the [metrics] settings enable it (on by default in headless mode), else none.
// Read after loadSettings.
std::unique_ptr<TMetricsService> startMetrics(TTolvoHosts& hosts, bool headless);
