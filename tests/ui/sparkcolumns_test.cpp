// The overview's sparkline on a time scale: which pixel columns show an echo, continue one, or stay
// blank for a gap.

#include "core/tolvohosts.h"
#include "ui/views/livestats.h"
#include "ui/views/overviewmodel.h"
#include "ui/views/sparkcolumns.h"

#include <gtest/gtest.h>

namespace {

TEST(SparkColumns, EchoesLandByTimeLossesWinAndGapsStayBlank) {
  // 10 columns of 1 s over [0, 10 s); echoes every second until 4 s, then silence until 9 s.
  const std::vector<THistoryEcho> echoes = {{-500, 50},  {0, 100},    {1000, 300}, {1500, -1},
                                            {2000, 200}, {3000, 250}, {9000, 400}};
  const std::vector<TSparkColumn> c = sparkColumns(echoes, 10'000, 10'000, 10);
  using K = TSparkColumn;
  EXPECT_EQ(c[0], (K{K::Answered, 100}));
  EXPECT_EQ(c[1], (K{K::Lost, -1}));  // 300 and a lost one
  EXPECT_EQ(c[2], (K{K::Answered, 200}));
  EXPECT_EQ(c[3], (K{K::Answered, 250}));
  for (int i = 4; i < 9; ++i) EXPECT_EQ(c[static_cast<std::size_t>(i)].kind, K::Blank) << i;
  EXPECT_EQ(c[9], (K{K::Answered, 400}));

  // Echoes every 3 s (the usual spacing) continue into the columns between them, up to now.
  const std::vector<TSparkColumn> slow =
      sparkColumns({{1000, 10}, {4000, -1}, {7000, 30}}, 10'000, 10'000, 10);
  EXPECT_EQ(slow[0].kind, K::Blank);  // before the first echo
  EXPECT_EQ(slow[2], (K{K::Answered, 10}));
  EXPECT_EQ(slow[5], (K{K::Lost, -1}));
  EXPECT_EQ(slow[9], (K{K::Answered, 30}));
  EXPECT_TRUE(sparkColumns({}, 10'000, 10'000, 4) == std::vector<TSparkColumn>(4));
}

TEST(SparkColumns, TheOverviewHandsItsSparklineTheLastTenMinutesAndThePauses) {
  constexpr std::int64_t Now = 1'780'000'000'000;
  TTolvoHosts hosts;
  TLiveStats stats(hosts);
  std::unique_ptr<TTolvoHost> owned = hosts.newHost();
  TTolvoHost* host = owned.get();
  hosts.appendHost(owned);
  for (std::int64_t t = Now - 14 * 60'000; t < Now; t += 60'000)
    hosts.events().echoResult(*host, {t, true, 200});
  TOverviewModel model(stats, [] { return Now; });
  model.unmonitored = [](std::int64_t from, std::int64_t) {
    return std::vector<TTimeSpan>{{from + 1000, from + 2000}};
  };
  model.refresh();
  const auto trail = model.index(0, TOverviewModel::ColSpark)
                         .data(TOverviewModel::SparkTrailRole)
                         .value<TSparkTrail>();
  EXPECT_EQ(trail.nowMs, Now);
  ASSERT_EQ(trail.echoes.size(), 10u);  // of the 14 kept for the 15-minute figures
  EXPECT_EQ(trail.echoes.front().sentMs, Now - 10 * 60'000);
  EXPECT_EQ(trail.unmonitored, (std::vector<TTimeSpan>{{Now - 599'000, Now - 598'000}}));
}

}  // namespace
