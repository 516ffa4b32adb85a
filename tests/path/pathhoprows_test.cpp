// The Path window's reading of loss at a middle hop from stored rounds.

#include <gtest/gtest.h>

#include "pathwatch/pathhoprows.h"

TEST(PathHopRows, ARouterSilentForARoundIsNoLossEvenWhenThePathBrokeBehindItOnce) {
  const auto round = [](std::int64_t at, bool hop2, bool hop3) {
    THistoryPathRound r{"192.0.2.14", at, "schedule", hop3, {}};
    r.hops = {{1, "192.0.2.2", "", 50}, {2, hop2 ? "192.0.2.6" : "", "", std::nullopt},
              {3, hop3 ? "192.0.2.14" : "", "", std::nullopt}};
    if (hop2) r.hops[1].rttMicros = 60;
    if (hop3) r.hops[2].rttMicros = 70;
    return r;
  };
  // Cut behind hop 2 in one round; hop 2 silent but passing probes on in another: both lose one
  // round of four.
  std::vector<THistoryPathRound> rounds = {round(1000, true, true), round(2000, true, false),
                                           round(3000, false, true), round(4000, true, true)};
  std::vector<TPathHopRow> rows = pathHopRows(rounds);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_DOUBLE_EQ(rows[1].stats.lossPercent(), rows[2].stats.lossPercent());
  EXPECT_TRUE(rows[1].limitsAnswers);
  EXPECT_FALSE(rows[2].limitsAnswers);  // nothing answered behind the host

  // Hop 2 lost in the round the path broke at it: real loss, told as loss.
  rounds[2] = round(3000, false, false);
  rows = pathHopRows(rounds);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_FALSE(rows[1].limitsAnswers);
}
