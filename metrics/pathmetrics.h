#pragma once
// A traced path round as the metrics endpoint's path series; the desktop program and --headless
// both feed the registry through this one function.

#include <cstdint>

class TMetricsRegistry;
struct TTracedRound;

// The round's hops as the path series of its host, with the host's route changes so far.
void feedPathMetrics(TMetricsRegistry& registry, const TTracedRound& traced,
                     std::uint64_t changesTotal);
