#include "metricsservice.h"

#include "config/settings.h"
#include "metricshttphandler.h"
#include "metricshttpserver.h"
#include "metricsobserver.h"
#include "metricsregistry.h"

TMetricsService::TMetricsService(TTolvoHosts& hosts, const TMetricsSettings& where)
    : series(std::make_shared<TMetricsRegistry>(SORVELO_VERSION)),
      observer(std::make_unique<TMetricsObserver>(hosts, series)) {
  handler = std::make_unique<TMetricsHttpHandler>(series);
  TMetricsHttpHandler* answering = handler.get();
  server = std::make_unique<TMetricsHttpServer>(
      where.address, where.port,
      [answering](const THttpRequestHead& request) { return answering->answer(request); });
  if (!server->listening()) {
    problemText = "The metrics endpoint cannot listen on " + listeningAddress(where) + " (" +
                  server->problem() + "). Monitoring goes on without it; choose another address "
                  "or port in the [metrics] section of " + settingsFilePath() + ".";
    server.reset();
  }
}

TMetricsService::~TMetricsService() {
  server.reset();  // joins the server's thread
  handler.reset();
  observer.reset();
}

std::unique_ptr<TMetricsService> startMetrics(TTolvoHosts& hosts, bool headless) {
  const TMetricsSettings metricsSettings = readMetricsSettings(headless);
  if (!metricsSettings.enabled) return nullptr;
  return std::make_unique<TMetricsService>(hosts, metricsSettings);
}
