#include "pathhoprows.h"

#include <map>

std::vector<TPathHopRow> pathHopRows(const std::vector<THistoryPathRound>& rounds) {
  TPathStats stats;
  std::map<std::string, std::string> names;  // the last name seen per address
  for (const THistoryPathRound& stored : rounds) {
    TPathRound round;
    round.reached = stored.reached;
    for (const THistoryHop& hop : stored.hops) {
      THopAnswer answer;
      answer.hop = hop.hop;
      answer.address = hop.address;
      answer.rttMicros = hop.rttMicros;
      answer.isHost = stored.reached && &hop == &stored.hops.back();
      round.hops.push_back(std::move(answer));
      if (!hop.address.empty() && !hop.name.empty()) names[hop.address] = hop.name;
    }
    stats.add(round);
  }
  std::vector<TPathHopRow> rows;
  for (const THopStats& hop : stats.hops()) {
    TPathHopRow row{hop, {}, false};
    if (const auto it = names.find(hop.lastAddress); it != names.end()) row.name = it->second;
    rows.push_back(std::move(row));
  }
  markLimitingRouters(rows);
  return rows;
}

void markLimitingRouters(std::vector<TPathHopRow>& rows) {
  // Loss that does not go on: some later hop lost less.
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const double loss = rows[i].stats.lossPercent();
    if (loss <= 0) continue;
    for (std::size_t later = i + 1; later < rows.size(); ++later) {
      if (rows[later].stats.received > 0 && rows[later].stats.lossPercent() < loss) {
        rows[i].limitsAnswers = true;
        break;
      }
    }
  }
}
