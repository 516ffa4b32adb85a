#include "path/pathstats.h"

#include <algorithm>
#include <cmath>

double THopStats::lossPercent() const { return sent == 0 ? 0.0 : 100.0 * (sent - received) / sent; }

double THopStats::stdevMicros() const {
  return received < 2 ? 0.0 : std::sqrt(squaresMicros / (received - 1));
}

void TPathStats::add(const TPathRound& round) {
  ++roundCount;
  if (round.reached) ++reachedCount;
  if (byHop.size() < round.hops.size()) {
    const std::size_t had = byHop.size();
    byHop.resize(round.hops.size());
    for (std::size_t i = had; i < byHop.size(); ++i) byHop[i].hop = static_cast<int>(i) + 1;
  }
  for (const THopAnswer& answer : round.hops) {
    THopStats& hop = byHop[static_cast<std::size_t>(answer.hop) - 1];
    ++hop.sent;
    if (!answer.rttMicros) continue;
    const std::int64_t rtt = *answer.rttMicros;
    ++hop.received;
    hop.lastAddress = answer.address;
    if (std::find(hop.addresses.begin(), hop.addresses.end(), answer.address) ==
        hop.addresses.end())
      hop.addresses.push_back(answer.address);
    hop.isHost = hop.isHost || answer.isHost;
    hop.lastMicros = rtt;
    hop.bestMicros = hop.received == 1 ? rtt : std::min(hop.bestMicros, rtt);
    hop.worstMicros = hop.received == 1 ? rtt : std::max(hop.worstMicros, rtt);
    const double delta = static_cast<double>(rtt) - hop.meanMicros;
    hop.meanMicros += delta / hop.received;
    hop.squaresMicros += delta * (static_cast<double>(rtt) - hop.meanMicros);
  }
}

std::vector<THopStats> TPathStats::hops() const {
  std::size_t shown = byHop.size();
  while (shown > 0 && byHop[shown - 1].received == 0) --shown;
  return {byHop.begin(), byHop.begin() + static_cast<std::ptrdiff_t>(shown)};
}
