#include "pathhoprows.h"

#include <algorithm>
#include <iterator>
#include <map>

std::vector<TPathHopRow> pathHopRows(const std::vector<THistoryPathRound>& rounds) {
  TPathStats stats;
  std::map<std::string, std::string> names;  // the last name seen per address
  // Per hop: rounds it lost, and of those the ones in which a later hop answered all the same.
  std::map<int, std::pair<int, int>> lostPassedOn;
  for (const THistoryPathRound& stored : rounds) {
    for (auto hop = stored.hops.begin(); hop != stored.hops.end(); ++hop) {
      if (!hop->address.empty()) continue;
      auto& [lost, passedOn] = lostPassedOn[hop->hop];
      ++lost;
      if (std::any_of(std::next(hop), stored.hops.end(),
                      [](const THistoryHop& later) { return !later.address.empty(); }))
        ++passedOn;
    }
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
  // The shares alone miss a router that went silent for a round while, in another round, the
  // path broke behind it: both hops then lose as much. Every probe it lost having gone on to a
  // later hop says it all the same.
  for (TPathHopRow& row : rows)
    if (const auto it = lostPassedOn.find(row.stats.hop);
        it != lostPassedOn.end() && it->second.first == it->second.second)
      row.limitsAnswers = true;
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
