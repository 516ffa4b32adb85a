// The Path window's rows and chart steps from the per-hop summaries of a real results database
// agree with those from the same rounds read raw.

#include <gtest/gtest.h>

#include <QDir>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <tuple>

#include "history/historystore.h"
#include "pathwatch/pathsummaryrows.h"

namespace {

constexpr std::int64_t Minute = 60'000;
constexpr std::int64_t Start = 1'767'225'600'000;  // the start of a day, an hour, a 5-minute step
constexpr int Minutes = 200;                       // 3 h 20 min; the last minutes not summarised
const std::string Host = "192.0.2.9";

// Hop 2 answers two probes of three but passes all on; hop 3's route changes halfway; the host
// loses one probe of seventeen.
THistoryPathRound roundAt(int m) {
  const bool edgeA = m < 100, hop2 = m % 3 != 0, host = m % 17 != 0;
  THistoryPathRound round{Host, Start + m * Minute + 11'000, "schedule", host, {}};
  round.hops = {{1, "10.0.0.1", "gw.example", 1000 + (m * 37) % 300},
                {2, "", "", std::nullopt},
                {3, edgeA ? "10.0.3.1" : "10.0.3.9", edgeA ? "edge-a" : "edge-b", 7000 + m % 700},
                {4, "", "", std::nullopt}};
  if (hop2) round.hops[1] = {2, "10.0.0.2", "", 5000 + (m * 53) % 900};
  // The last rounds stored before the reverse name was known again.
  if (host) round.hops[3] = {4, Host, m < 190 ? "far.example" : "", 9000 + (m * 71) % 1000};
  return round;
}

}  // namespace

TEST(PathSummaryRows, RowsAndStepsFromSummariesAgreeWithTheRounds) {
  QTemporaryDir dir;
  const std::string path = QDir(dir.path()).filePath("history.sqlite").toStdString();
  THistoryStore store{"path-summary-rows-store"};
  ASSERT_EQ(store.open(path), THistoryStore::TOpen::Ready);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "path-summary-rows");
    db.setDatabaseName(QString::fromStdString(path));
    ASSERT_TRUE(db.open());
    QSqlError error;
    for (int m = 0; m < Minutes; ++m) ASSERT_TRUE(storePathRound(db, roundAt(m), error));
    ASSERT_TRUE(store.packAndConsolidate(Start + (Minutes + 1) * Minute));
    const std::int64_t to = Start + Minutes * Minute;
    const std::vector<THistoryPathRound> all = pathRounds(db, Host, Start, to);
    const std::vector<TPathHopRow> expected = pathHopRows(all);
    ASSERT_EQ(expected.size(), 4u);
    ASSERT_TRUE(expected[1].limitsAnswers);

    for (std::int32_t step : PathSummarySteps) {
      SCOPED_TRACE(step);
      const TPathSummaryRange range = pathSummariesAtStep(db, Host, Start, to, step);
      ASSERT_EQ(range.hops.size(), 4u);
      // Some rounds come after the summaries; given all rounds, the summarised ones count once.
      const std::int64_t end = pathSummariesEndMs(range);
      ASSERT_GT(end, Start);
      ASSERT_LT(end, to);
      const std::vector<TPathHopRow> rows = pathHopRowsFromSummaries(range, all, Host);
      ASSERT_EQ(rows.size(), expected.size());
      for (std::size_t i = 0; i < rows.size(); ++i) {
        const THopStats& g = rows[i].stats;
        const THopStats& w = expected[i].stats;
        // The last round trip is exact: the last rounds are not summarised yet.
        EXPECT_EQ(
            std::tie(g.hop, g.sent, g.received, g.bestMicros, g.worstMicros, g.lastMicros,
                     g.lastAddress, g.addresses, rows[i].name, rows[i].limitsAnswers),
            std::tie(w.hop, w.sent, w.received, w.bestMicros, w.worstMicros, w.lastMicros,
                     w.lastAddress, w.addresses, expected[i].name, expected[i].limitsAnswers));
        EXPECT_EQ(g.isHost, i == 3);
        // Step means are stored in whole microseconds.
        EXPECT_NEAR(g.meanMicros, w.meanMicros, 0.5);
        EXPECT_NEAR(g.stdevMicros(), w.stdevMicros(), 0.5);
      }

      // Chart steps of two summary steps each, the first beginning before the range.
      const std::int64_t chartStep = 2 * step * 1000LL;
      const std::int64_t from = Start + step * 1000LL / 2;
      const auto want = pathHopBuckets(all, Start, to, chartStep);
      const auto got = pathHopBucketsFromSummaries(range, all, from, to, chartStep);
      ASSERT_EQ(got.size(), want.size());
      for (std::size_t h = 0; h < got.size(); ++h) {
        ASSERT_EQ(got[h].buckets.size(), want[h].buckets.size());
        for (std::size_t i = 0; i < got[h].buckets.size(); ++i) {
          const TPathBucket& g = got[h].buckets[i];
          const TPathBucket& w = want[h].buckets[i];
          EXPECT_EQ(std::tie(g.startMs, g.sent, g.lost, g.minMicros, g.maxMicros),
                    std::tie(w.startMs, w.sent, w.lost, w.minMicros, w.maxMicros));
          EXPECT_NEAR(static_cast<double>(g.meanMicros), static_cast<double>(w.meanMicros), 2.0);
        }
      }
    }
    db.close();
  }
  QSqlDatabase::removeDatabase("path-summary-rows");
}
