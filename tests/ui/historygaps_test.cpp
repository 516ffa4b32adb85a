// Gaps in drawn round trips: which spans count as not monitored (from the runs in the results
// database) and which echoes a line may join.

#include "ui/views/historygaps.h"

#include <gtest/gtest.h>

namespace {

using Runs = std::vector<std::pair<std::size_t, std::size_t>>;

TEST(HistoryGaps, StopsPausesAndCrashesLeaveSpansNotMonitoredButNothingBeforeTheFirstRun) {
  // Monitored 100-200 (stopped), 300-? (a crash: its last echo at 350), 400-500 (stopped), 600 on.
  const std::vector<THistoryRun> runs = {
      {100, 200}, {300, std::nullopt}, {400, 500}, {600, std::nullopt}};
  const std::vector<std::int64_t> seen = {150, 310, 350, 450, 650};
  EXPECT_EQ(unmonitoredSpans(runs, 0, 1000, seen),
            (std::vector<TTimeSpan>{{200, 300}, {350, 400}, {500, 600}}));
  // Cut to the range; a crashed run without any echo is not monitored from its start.
  EXPECT_EQ(unmonitoredSpans(runs, 250, 420, {}), (std::vector<TTimeSpan>{{250, 400}}));
  // The last run stopped: the rest of the range was not monitored.
  EXPECT_EQ(unmonitoredSpans({{100, 200}}, 0, 1000, {}), (std::vector<TTimeSpan>{{200, 1000}}));
  EXPECT_TRUE(unmonitoredSpans({}, 0, 1000, seen).empty());
}

TEST(HistoryGaps, LinesBreakAtLossesLongSilencesAndSpansNotMonitored) {
  const std::vector<THistoryEcho> echoes = {{0, 10},  {5, 11},  {10, -1}, {15, 12}, {20, 13},
                                            {40, 14}, {45, 15}, {50, 16}, {55, 17}, {60, 18}};
  // Lost echo at 10; 20 -> 40 is longer than 15.
  EXPECT_EQ(joinedRuns(echoes, 15, {}), (Runs{{0, 1}, {3, 4}, {5, 9}}));
  EXPECT_EQ(joinedRuns(echoes, 0, {}), (Runs{{0, 1}, {3, 9}}));
  // Not monitored from 47 to 49: 45 and 50 are not joined, even though they are close.
  EXPECT_EQ(joinedRuns(echoes, 15, {{47, 49}}), (Runs{{0, 1}, {3, 4}, {5, 6}, {7, 9}}));
  EXPECT_TRUE(joins(45, 50, 15, {{50, 60}}));  // touching its start is not inside it
  EXPECT_EQ(medianSpacingMs(echoes), 5);
  EXPECT_EQ(medianSpacingMs({{7, 1}}), 0);
}

}  // namespace
