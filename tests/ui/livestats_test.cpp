// The overview's live figures: the 15-minute window against the whole run, jitter as the mean
// difference of consecutive answers, the state rules and the number texts.

#include <gtest/gtest.h>

#include "core/tolvohosts.h"
#include "ui/views/livestats.h"

namespace {

constexpr std::int64_t T0 = 1'780'000'000'000;  // a wall-clock time in ms
constexpr std::int64_t Minute = 60'000;

class LiveStatsTest : public ::testing::Test {
 protected:
  LiveStatsTest() {
    std::unique_ptr<TTolvoHost> h = hosts.newHost();
    h->callingName = "gateway";
    h->ipAddress = "127.0.0.1";
    host = h.get();
    hosts.appendHost(h);
  }
  void echo(std::int64_t sentMs, std::int64_t rtt) {
    hosts.events().echoResult(*host, {sentMs, rtt >= 0, rtt});
  }
  TLiveFigures figures() { return TLiveStats::figures(stats.hosts().at(host->runId)); }

  TTolvoHosts hosts;
  TLiveStats stats{hosts};
  TTolvoHost* host = nullptr;
};

TEST_F(LiveStatsTest, WindowKeepsFifteenMinutesWhileRunCountsEverything) {
  // Minute 0-4: lost echoes; minute 5-24: answers of 1000, 3000, 1000, ... microseconds.
  for (int m = 0; m < 5; ++m) echo(T0 + m * Minute, -1);
  for (int m = 5; m < 25; ++m) echo(T0 + m * Minute, m % 2 ? 1000 : 3000);
  TLiveFigures f = figures();
  EXPECT_EQ(f.runSent, 25);
  EXPECT_EQ(f.runLost, 5);
  EXPECT_DOUBLE_EQ(f.runLossPercent(), 20.0);
  // Sends at minutes 9..24 are within 15 minutes of minute 24 (minute 9 exactly on the edge).
  EXPECT_EQ(f.windowSent, 16);
  EXPECT_EQ(f.windowLost, 0);
  EXPECT_EQ(f.minMicros, 1000);
  EXPECT_EQ(f.maxMicros, 3000);
  EXPECT_DOUBLE_EQ(f.meanMicros, 2000.0);
  EXPECT_DOUBLE_EQ(f.jitterMicros, 2000.0);  // every consecutive pair differs by 2000

  // An hour of nothing: the window empties, the run keeps its counts.
  stats.evict(T0 + 85 * Minute);
  f = figures();
  EXPECT_EQ(f.windowSent, 0);
  EXPECT_EQ(f.minMicros, -1);
  EXPECT_EQ(f.meanMicros, -1);
  EXPECT_EQ(f.jitterMicros, -1);
  EXPECT_EQ(f.windowLossPercent(), -1);
  EXPECT_EQ(f.runSent, 25);
}

TEST_F(LiveStatsTest, JitterAndExtremesFollowEvictionAcrossLostEchoes) {
  echo(T0, 9000);  // the maximum, leaves first
  echo(T0 + Minute, 1000);
  echo(T0 + 2 * Minute, -1);  // a loss between two answers does not break their pair
  echo(T0 + 3 * Minute, 1500);
  echo(T0 + 4 * Minute, 1200);
  TLiveFigures f = figures();
  EXPECT_EQ(f.maxMicros, 9000);
  EXPECT_DOUBLE_EQ(f.jitterMicros, (8000 + 500 + 300) / 3.0);
  stats.evict(T0 + 15 * Minute + 1);  // the first echo leaves
  f = figures();
  EXPECT_EQ(f.maxMicros, 1500);
  EXPECT_EQ(f.minMicros, 1000);
  EXPECT_DOUBLE_EQ(f.jitterMicros, (500 + 300) / 2.0);
  EXPECT_NEAR(f.windowLossPercent(), 25.0, 1e-9);
  EXPECT_TRUE(f.lastRttMicros == 1200 && !f.lastLost);
}

TEST_F(LiveStatsTest, SparklineHoldsTheLastSixtyEchoesOldestFirst) {
  for (int i = 0; i < 75; ++i) echo(T0 + i * 1000, i % 10 == 9 ? -1 : i);
  const TLiveFigures f = figures();
  ASSERT_EQ(f.sparkCount, SparkEchoes);
  EXPECT_EQ(f.spark[0], 15);
  EXPECT_EQ(f.spark[4], -1);   // echo 19 was lost
  EXPECT_EQ(f.spark[54], -1);  // echo 69 too
  EXPECT_EQ(f.spark[SparkEchoes - 1], 74);
}

TEST_F(LiveStatsTest, StateIsUnknownUntilAResultThenFollowsTheEngineAndTheFlag) {
  // A status reported before this run's first echo (saved counters) does not count yet.
  hosts.events().hostStatusChanged(*host, hsDown);
  EXPECT_EQ(figures().state, TLiveState::Unknown);
  echo(T0, 500);
  EXPECT_EQ(figures().state, TLiveState::Down);  // the engine has not reported a change since
  hosts.events().hostStatusChanged(*host, hsOk);
  EXPECT_EQ(figures().state, TLiveState::Ok);
  stats.setHostFlag(host->runId, true);
  EXPECT_EQ(figures().state, TLiveState::Degraded);
  hosts.events().hostStatusChanged(*host, hsDown);
  EXPECT_EQ(figures().state, TLiveState::Down);  // down outranks degraded
}

TEST_F(LiveStatsTest, FirstEchoDecidesUntilTheEngineReports) {
  echo(T0, -1);
  EXPECT_EQ(figures().state, TLiveState::Down);
  EXPECT_TRUE(figures().lastLost);
}

TEST_F(LiveStatsTest, DeletedAndEditedHostsAndAClockSteppingBack) {
  const std::uint64_t before = stats.listVersion();
  const THostNames old{host->callingName, host->hostName, host->ipAddress};
  host->callingName = "router";
  hosts.hostEdited(host, old);
  EXPECT_EQ(stats.hosts().at(host->runId).callingName, "router");
  EXPECT_GT(stats.listVersion(), before);
  // The wall clock steps back an hour: nothing goes negative, the echoes stay counted.
  echo(T0, 1000);
  echo(T0 - 60 * Minute, 3000);
  TLiveFigures f = figures();
  EXPECT_EQ(f.windowSent, 2);
  EXPECT_DOUBLE_EQ(f.jitterMicros, 2000.0);
  hosts.deleteHost(host);
  EXPECT_TRUE(stats.hosts().empty());
}

TEST(LiveTexts, RoundTripsKeepThreeFiguresAndLossOneDecimal) {
  const std::pair<double, const char*> rtts[] = {
      {12, "0.012 ms"},    {999, "0.999 ms"}, {2346, "2.35 ms"}, {23'400, "23.4 ms"},
      {234'000, "234 ms"}, {0, "0.000 ms"},   {-1, ""}};
  for (const auto& [micros, text] : rtts) EXPECT_EQ(rttText(micros), text) << micros;
  const std::pair<double, const char*> losses[] = {
      {0, "0 %"}, {1.24, "1.2 %"}, {33.333, "33.3 %"}, {100, "100 %"}, {-1, ""}};
  for (const auto& [percent, text] : losses) EXPECT_EQ(lossText(percent), text) << percent;
}

}  // namespace
