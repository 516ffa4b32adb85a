// The probe rate cap and the hop figures of a report.

#include <gtest/gtest.h>

#include "path/pathstats.h"
#include "path/tokenbucket.h"

namespace {

using namespace std::chrono_literals;

TEST(TokenBucket, BurstThenTheRateAndNeverMore) {
  const auto start = TTokenBucket::Clock::time_point{} + 1h;
  TTokenBucket bucket(20, 5, start);
  int taken = 0;
  while (taken < 100 && bucket.take(start)) ++taken;
  EXPECT_EQ(taken, 5);
  EXPECT_EQ(bucket.nextTokenAt(start), start + 50ms);
  EXPECT_FALSE(bucket.take(start + 49ms));
  EXPECT_TRUE(bucket.take(start + 50ms));
  // Over ten seconds at most rate x time plus what was left: a cap, however often it is asked.
  int later = 0;
  for (auto at = start + 50ms; at <= start + 10s; at += 1ms) later += bucket.take(at) ? 1 : 0;
  EXPECT_EQ(later, 199);
  // A long pause fills the bucket to its burst only.
  taken = 0;
  while (taken < 100 && bucket.take(start + 1h)) ++taken;
  EXPECT_EQ(taken, 5);
  // A rate of zero would stop probing for good: the default stands instead.
  EXPECT_EQ(TTokenBucket(0, 0).ratePerSecond(), TTokenBucket::DefaultRatePerSecond);
}

THopAnswer lost(int hop) {
  THopAnswer answer;
  answer.hop = hop;
  return answer;
}

THopAnswer answered(int hop, const std::string& address, std::int64_t micros) {
  THopAnswer answer;
  answer.hop = hop;
  answer.address = address;
  answer.rttMicros = micros;
  return answer;
}

TEST(PathStats, FiguresPerHopOverRounds) {
  TPathStats stats;
  TPathRound first;
  first.hops = {answered(1, "192.0.2.1", 1000), lost(2), answered(3, "192.0.2.9", 3000)};
  first.hops[2].isHost = first.reached = true;
  TPathRound second;
  second.hops = {answered(1, "192.0.2.5", 3000), lost(2), answered(3, "192.0.2.9", 5000), lost(4)};
  TPathRound third;
  third.hops = {answered(1, "192.0.2.5", 2000), answered(2, "192.0.2.7", 4000)};
  for (const TPathRound& round : {first, second, third}) stats.add(round);

  const auto hops = stats.hops();
  ASSERT_EQ(hops.size(), 3U) << "hop 4 never answered";
  EXPECT_EQ(hops[0].sent, 3);
  EXPECT_EQ(hops[0].lastAddress, "192.0.2.5");
  EXPECT_EQ(hops[0].addresses, (std::vector<std::string>{"192.0.2.1", "192.0.2.5"}));
  EXPECT_EQ(hops[0].bestMicros, 1000);
  EXPECT_EQ(hops[0].worstMicros, 3000);
  EXPECT_DOUBLE_EQ(hops[0].meanMicros, 2000);
  EXPECT_DOUBLE_EQ(hops[0].stdevMicros(), 1000);
  EXPECT_NEAR(hops[1].lossPercent(), 66.67, 0.01);
  EXPECT_EQ(hops[2].sent, 2) << "the third round ended before hop 3";
  EXPECT_TRUE(hops[2].isHost);
  EXPECT_EQ(hops[2].lastMicros, 5000);
  EXPECT_TRUE(stats.reached());
}

}  // namespace
