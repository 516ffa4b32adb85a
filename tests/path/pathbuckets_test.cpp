// Path rounds bucketed per hop for the Path window's chart: loss and time without rounds stay
// apart from round trips, steps sit on whole multiples of the step.

#include <gtest/gtest.h>

#include "pathwatch/pathbuckets.h"

namespace {

THistoryPathRound roundAt(std::int64_t ms, std::vector<THistoryHop> hops) {
  return {"192.0.2.9", ms, "schedule", true, std::move(hops)};
}

}  // namespace

TEST(PathBuckets, LossAndGapsAreNeverRoundTripsOfZero) {
  constexpr std::int64_t Minute = 60'000;
  constexpr std::int64_t From = 29'666'666 * Minute + 20'000;  // not on a step
  const std::vector<THistoryPathRound> rounds = {
      roundAt(From,
              {{1, "192.0.2.1", "", 1000}, {2, "", "", std::nullopt}, {3, "192.0.2.9", "", 3000}}),
      // The host answers at hop 2 now: hop 3 is not probed in this round.
      roundAt(From + Minute, {{1, "192.0.2.1", "", 2000}, {2, "192.0.2.9", "", 2600}}),
      // Nothing for a minute, then hop 1 lost once and answered once in the same step.
      roundAt(From + 3 * Minute, {{1, "", "", std::nullopt}, {2, "192.0.2.9", "", 2400}}),
      roundAt(From + 3 * Minute + 20'000, {{1, "192.0.2.1", "", 1500}, {2, "192.0.2.9", "", 2200}}),
      roundAt(From + 9 * Minute, {{1, "192.0.2.1", "", 1}}),  // after the range: left out
  };
  const std::vector<TPathHopBuckets> hops = pathHopBuckets(rounds, From, From + 4 * Minute, Minute);
  ASSERT_EQ(hops.size(), 3u);
  for (const TPathHopBuckets& h : hops) {
    ASSERT_EQ(h.buckets.size(), 5u);  // the first step starts before From
    EXPECT_EQ(h.buckets.front().startMs % Minute, 0);
  }
  const auto& hop1 = hops[0].buckets;
  const auto& hop2 = hops[1].buckets;
  const auto& hop3 = hops[2].buckets;
  EXPECT_EQ(hop1[0].meanMicros, 1000);
  // A lost probe: counted, no round trip.
  EXPECT_TRUE(hop2[0].allLost());
  EXPECT_EQ(hop2[0].meanMicros, -1);
  // Not probed (the host answered earlier) is no data, not loss.
  EXPECT_TRUE(hop3[1].empty());
  EXPECT_EQ(hop3[1].lost, 0);
  // A minute without rounds is empty for every hop.
  EXPECT_TRUE(hop1[2].empty() && hop2[2].empty() && hop3[2].empty());
  // One of two lost: the figures are the answered one's alone.
  EXPECT_EQ(hop1[3].sent, 2);
  EXPECT_EQ(hop1[3].lost, 1);
  EXPECT_EQ(hop1[3].meanMicros, 1500);
  EXPECT_EQ(hop2[3].minMicros, 2200);
  EXPECT_EQ(hop2[3].meanMicros, 2300);
  EXPECT_EQ(hop2[3].maxMicros, 2400);
  EXPECT_TRUE(hop1[4].empty());
}

TEST(PathBuckets, SevenDaysOfRoundsFitAChartAndAStepStaysPut) {
  constexpr std::int64_t Day = 86'400'000;
  const std::int64_t step = pathBucketStepMs(7 * Day, 600);
  EXPECT_LE(7 * Day / step, 600);
  EXPECT_GE(7 * Day / step, 150);                       // not coarser than needed
  EXPECT_EQ(pathBucketStepMs(3'600'000, 600), 60'000);  // a round a minute: one a step
  // Sliding the range by a few seconds keeps a round in the step it was in.
  const std::vector<THistoryPathRound> rounds = {
      roundAt(5 * step + 7, {{1, "192.0.2.1", "", 900}})};
  for (std::int64_t slide : {0, 1000, 20'000}) {
    const auto hops = pathHopBuckets(rounds, step + slide, 7 * step + slide, step);
    ASSERT_EQ(hops.size(), 1u);
    const auto it = std::find_if(hops[0].buckets.begin(), hops[0].buckets.end(),
                                 [](const TPathBucket& b) { return !b.empty(); });
    ASSERT_NE(it, hops[0].buckets.end());
    EXPECT_EQ(it->startMs, 5 * step);
  }
}
