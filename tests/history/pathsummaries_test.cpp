// Path rounds summarised per hop in a real results database: stored over the tracer's own
// connection, summarised and pruned by the database thread's store, read back for a range.

#include <gtest/gtest.h>

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "history/historystore.h"
#include "history/pathsummaries.h"
#include "historyfixture.h"

namespace {

constexpr std::int64_t Minute = 60'000, Hour = 3'600'000;
constexpr int Minutes = 180;  // three hours of rounds, one a minute

// Hop 2 loses every fourth probe; hop 3 answers from a new address after two and a half hours.
std::optional<std::int64_t> rttOf(int hop, int minute) {
  if (hop == 2 && minute % 4 == 0) return std::nullopt;
  return 1000 * hop + (minute * 37) % 200;
}
std::string addressOf(int hop, int minute) {
  return hop == 3 && minute >= 150 ? "10.0.3.2" : "10.0.0." + std::to_string(hop);
}
THistoryPathRound roundAt(int minute, std::int64_t extraRtt = 0) {
  THistoryPathRound round{"192.0.2.9", DayStartMs + minute * Minute + 7'000, "schedule", true, {}};
  for (int hop = 1; hop <= 3; ++hop) {
    const auto rtt = rttOf(hop, minute);
    round.hops.push_back({hop, rtt ? addressOf(hop, minute) : "", "", rtt ? *rtt + extraRtt : rtt});
  }
  return round;
}

class PathSummariesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(store.open(path()), THistoryStore::TOpen::Ready);
    db = QSqlDatabase::addDatabase("QSQLITE", "tracer");
    db.setDatabaseName(QString::fromStdString(path()));
    ASSERT_TRUE(db.open());
  }
  void TearDown() override {
    db.close();
    db = {};
    QSqlDatabase::removeDatabase("tracer");
  }
  std::string path() const { return QDir(dir.path()).filePath("history.sqlite").toStdString(); }
  void storeRounds() {
    QSqlError error;
    for (int m = 0; m < Minutes; ++m) ASSERT_TRUE(storePathRound(db, roundAt(m), error));
  }
  // Every bucket read back against the rounds it covers.
  void expectBucketsMatchRounds(std::int32_t step) {
    const TPathSummaryRange range =
        pathSummariesAtStep(db, "192.0.2.9", DayStartMs, DayStartMs + Minutes * Minute, step);
    ASSERT_EQ(range.hops.size(), 3u);
    const int perBucket = step / 60;
    for (const TPathHopSeries& series : range.hops) {
      ASSERT_EQ(series.buckets.size(), static_cast<std::size_t>(Minutes / perBucket));
      for (std::size_t i = 0; i < series.buckets.size(); ++i) {
        const int first = static_cast<int>(i) * perBucket;
        EXPECT_EQ(series.buckets[i].startMs, DayStartMs + first * Minute);
        expectFiguresOfMinutes(series.buckets[i], series.hop, first, first + perBucket);
      }
    }
  }
  // The figures of a hop's rounds in [first, end) minutes, figured out here from rttOf.
  static void expectFiguresOfMinutes(const TPathHopBucket& b, int hop, int first, int end) {
    std::vector<double> rtts;
    for (int m = first; m < end; ++m)
      if (const auto rtt = rttOf(hop, m)) rtts.push_back(static_cast<double>(*rtt));
    const double n = static_cast<double>(rtts.size());
    double mean = 0, squares = 0;
    for (double r : rtts) mean += r / n;
    for (double r : rtts) squares += (r - mean) * (r - mean);
    EXPECT_EQ(b.sent, end - first);
    EXPECT_EQ(b.answered, static_cast<int>(rtts.size()));
    EXPECT_EQ(b.bestMicros, static_cast<std::int64_t>(*std::min_element(rtts.begin(), rtts.end())));
    EXPECT_EQ(b.worstMicros, static_cast<std::int64_t>(*std::max_element(rtts.begin(), rtts.end())));
    EXPECT_NEAR(b.meanMicros, mean, 0.5);
    EXPECT_NEAR(b.stdevMicros(), std::sqrt(squares / (n - 1)), 0.05);
    EXPECT_EQ(b.address, addressOf(hop, end - 1));
  }

  QTemporaryDir dir;
  THistoryStore store{"path-summaries-store"};
  QSqlDatabase db;
};

TEST_F(PathSummariesTest, RoundsAreSummarisedPerHopAndALateRoundSummarisesItsStepAgain) {
  storeRounds();
  ASSERT_TRUE(store.packAndConsolidate(DayStartMs + (Minutes + 3) * Minute));
  expectBucketsMatchRounds(300);
  expectBucketsMatchRounds(3600);
  // The 5-minute steps of each hop joined give the figures of all three hours.
  for (const TPathHopSeries& series :
       pathSummariesAtStep(db, "192.0.2.9", DayStartMs, DayStartMs + 3 * Hour, 300).hops) {
    TPathHopBucket joined;
    for (const TPathHopBucket& b : series.buckets) joined.add(b);
    expectFiguresOfMinutes(joined, series.hop, 0, Minutes);
  }
  // Three hours fit in 40 five-minute buckets; with at most 10 per hop the hours are chosen.
  EXPECT_EQ(pathSummaries(db, "192.0.2.9", DayStartMs, DayStartMs + 3 * Hour).stepSeconds, 300);
  EXPECT_EQ(pathSummaries(db, "192.0.2.9", DayStartMs, DayStartMs + 3 * Hour, 10).stepSeconds, 3600);

  // A second round in minute 61 stored late, slower than any before: both its steps take it in.
  THistoryPathRound late = roundAt(61, 5000);
  late.roundMs += 30'000;
  QSqlError error;
  ASSERT_TRUE(storePathRound(db, late, error));
  ASSERT_TRUE(store.packAndConsolidate(DayStartMs + (Minutes + 4) * Minute));
  for (std::int32_t step : PathSummarySteps) {
    const auto range = pathSummariesAtStep(db, "192.0.2.9", DayStartMs + Hour,
                                           DayStartMs + Hour + 1, step);
    ASSERT_EQ(range.hops.size(), 3u);
    EXPECT_EQ(range.hops[0].buckets.at(0).sent, step / 60 + 1);
    EXPECT_EQ(range.hops[0].buckets.at(0).worstMicros, *rttOf(1, 61) + 5000);
  }
}

TEST_F(PathSummariesTest, EachStepIsPrunedWithItsLength) {
  storeRounds();
  ASSERT_TRUE(store.packAndConsolidate(DayStartMs + (Minutes + 3) * Minute));
  const THistoryLengths lengths{1, 2, 4, 10};  // raw, 5-minute, hourly, daily days
  const auto count = [&](std::int32_t step) {
    return pathSummariesAtStep(db, "192.0.2.9", DayStartMs, DayStartMs + Minutes * Minute, step)
        .hops.size();
  };
  ASSERT_TRUE(store.prune(DayStartMs + 3 * 24 * Hour, lengths));
  EXPECT_EQ(count(300), 0u);
  EXPECT_EQ(count(3600), 3u);
  ASSERT_TRUE(store.prune(DayStartMs + 5 * 24 * Hour, lengths));
  EXPECT_EQ(count(3600), 0u);
}

TEST_F(PathSummariesTest, TheUpgradeFromVersion4SummarisesTheRoundsStored) {
  storeRounds();
  store.close();
  {
    QSqlQuery q(db);
    for (const char* sql : {"DROP TABLE path_summaries", "DROP TABLE path_summaries_due",
                            "DELETE FROM meta WHERE key LIKE 'path_%'", "PRAGMA user_version = 4"})
      ASSERT_TRUE(q.exec(sql)) << sql;
  }
  ASSERT_EQ(store.open(path()), THistoryStore::TOpen::Ready);
  EXPECT_EQ(store.fileVersion(), 4);
  EXPECT_EQ(pathRounds(db, "192.0.2.9", DayStartMs, DayStartMs + Minutes * Minute).size(),
            static_cast<std::size_t>(Minutes));
  expectBucketsMatchRounds(300);
  expectBucketsMatchRounds(3600);
}

}  // namespace
