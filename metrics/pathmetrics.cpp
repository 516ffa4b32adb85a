#include "pathmetrics.h"

#include <utility>
#include <vector>

#include "metricsregistry.h"
#include "pathwatch/pathtracer.h"

void feedPathMetrics(TMetricsRegistry& registry, const TTracedRound& traced,
                     std::uint64_t changesTotal) {
  std::vector<TMetricsRegistry::TPathHop> hops;
  for (const THistoryHop& hop : traced.round.hops)
    hops.push_back({hop.hop, hop.address,
                    hop.rttMicros ? static_cast<double>(*hop.rttMicros) / 1e6 : 0.0});
  registry.setPath(traced.round.address, std::move(hops), changesTotal);
}
