// The overview's sparkline on a time scale: which pixel columns show an echo, continue one, or stay
// blank for a gap.

#include "ui/sparkcolumns.h"

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

}  // namespace
