// The Path window's reading of loss at a middle hop from stored rounds.

#include <gtest/gtest.h>

#include "pathwatch/pathhoprows.h"

TEST(PathHopRows, ARouterSilentForARoundIsNoLossEvenWhenThePathBrokeBehindItOnce) {
  const auto round = [](std::int64_t at, bool hop2, bool hop3) {
    const auto rtt = [](bool answered, std::int64_t micros) {
      return answered ? std::optional(micros) : std::nullopt;
    };
    return THistoryPathRound{"192.0.2.14", at, "schedule", hop3,
                             {{1, "192.0.2.2", "", 50},
                              {2, hop2 ? "192.0.2.6" : "", "", rtt(hop2, 60)},
                              {3, hop3 ? "192.0.2.14" : "", "", rtt(hop3, 70)}}};
  };
  // Cut behind hop 2 in one round, hop 2 silent but passing probes on in another: both lose 25 %.
  std::vector<THistoryPathRound> rounds = {round(1, true, true), round(2, true, false),
                                           round(3, false, true), round(4, true, true)};
  EXPECT_TRUE(pathHopRows(rounds).at(1).limitsAnswers);
  EXPECT_FALSE(pathHopRows(rounds).at(2).limitsAnswers);
  // Hop 2 lost in a round in which nothing behind it answered: loss.
  rounds[2] = round(3, false, false);
  EXPECT_FALSE(pathHopRows(rounds).at(1).limitsAnswers);
}
