// The recorder against a real SQLite file: batching, restarts, edits, packing, consolidation,
// pruning and a clock that steps back.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

#include "history/historyreaderthread.h"
#include "historyfixture.h"

#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::int64_t countRows(const std::string& path, const QString& sql) {
  std::int64_t n = -1;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "count");
    db.setDatabaseName(QString::fromStdString(path));
    if (db.open()) {
      QSqlQuery q(db);
      if (q.exec(sql) && q.next()) n = q.value(0).toLongLong();
    }
  }
  QSqlDatabase::removeDatabase("count");
  return n;
}

class RecorderTest : public HistoryFixture {};

TEST_F(RecorderTest, BatchesSurviveARestartAndEditsKeepTheHistory) {
  auto host = makeHost("gateway", "gw.lan", "127.0.0.2");
  std::vector<THistoryEcho> sent;
  {
    auto recorder = makeRecorder();
    hub.hostAdded(*host);
    recorder->start(dbPath());
    for (int i = 0; i < 300; ++i) {
      const THistoryEcho e{DayStartMs + i * 1000LL, i % 7 == 3 ? -1 : 100 + i};
      echo(*host, e.sentMs, e.rttMicros);
      sent.push_back(e);
    }
    hub.hostDeleting(*host);
    ASSERT_TRUE(recorder->waitWritten(5s));
    EXPECT_EQ(recorder->stats().written, 300u);
    EXPECT_EQ(recorder->stats().dropped, 0u);
    THistoryReader reader(dbPath());
    ASSERT_EQ(reader.hosts().size(), 1u);
    EXPECT_NE(reader.hosts()[0].deletedMs, 0);
  }
  // The next run: the host added again with the same names continues its history; then it is
  // renamed and readdressed.
  host = makeHost("gateway", "gw.lan", "127.0.0.2");
  {
    auto recorder = makeRecorder();
    recorder->start(dbPath());
    hub.hostAdded(*host);
    const THostNames before{host->callingName, host->hostName, host->ipAddress};
    host->callingName = "router";
    host->ipAddress = "127.0.0.3";
    nowMs = DayStartMs + 300'000;
    hub.hostEdited(*host, before);
    const THostNames renamed{host->callingName, host->hostName, host->ipAddress};
    host->callingName = "gateway";
    hub.hostEdited(*host, renamed);
    host->callingName = "router";
    hub.hostEdited(*host, {"gateway", host->hostName, host->ipAddress});
    for (int i = 300; i < 360; ++i) {
      echo(*host, DayStartMs + i * 1000LL, 50);
      sent.push_back({DayStartMs + i * 1000LL, 50});
    }
    ASSERT_TRUE(recorder->waitWritten(5s));
  }
  THistoryReader reader(dbPath());
  ASSERT_TRUE(reader.open()) << reader.errorText();
  const std::vector<THistoryHost> hosts = reader.hosts();
  ASSERT_EQ(hosts.size(), 1u);
  EXPECT_EQ(hosts[0].callingName, "router");
  EXPECT_EQ(hosts[0].deletedMs, 0);
  EXPECT_EQ(hosts[0].address, "127.0.0.3");
  EXPECT_EQ(reader.echoes(hosts[0].id, DayStartMs, DayStartMs + 3'600'000), sent);
  // The new address is noted with the time of its edit; renames are not.
  EXPECT_EQ(reader.addressChanges(hosts[0].id, DayStartMs, DayStartMs + 3'600'000),
            (std::vector<THistoryAddressChange>{{DayStartMs + 300'000, "127.0.0.2", "127.0.0.3"}}));
  EXPECT_TRUE(
      reader.addressChanges(hosts[0].id, DayStartMs + 300'001, DayStartMs + 3'600'000).empty());
  // A range inside: only the echoes sent in it.
  EXPECT_EQ(reader.echoes(hosts[0].id, DayStartMs + 10'500, DayStartMs + 20'000).size(), 9u);
}

TEST_F(RecorderTest, AReaderThreadAnswersWhileTheRecorderWrites) {
  auto host = makeHost("gateway", "gw.lan", "127.0.0.2");
  auto recorder = makeRecorder();
  hub.hostAdded(*host);
  recorder->start(dbPath());
  for (int i = 0; i < 50; ++i) echo(*host, DayStartMs + i * 1000LL, 200);
  ASSERT_TRUE(recorder->waitWritten(5s));
  THistoryReaderThread readers(dbPath());
  std::promise<std::pair<std::size_t, std::size_t>> answer;
  readers.post([&](THistoryReader& reader) {
    const auto hosts = reader.hosts();
    answer.set_value({hosts.size(), hosts.empty() ? 0 : reader.echoes(hosts[0].id, DayStartMs,
                                                                       DayStartMs + 60'000).size()});
  });
  auto result = answer.get_future();
  ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(result.get(), std::make_pair(std::size_t{1}, std::size_t{50}));
}

TEST_F(RecorderTest, ClosedMinutesArePackedAndStepsSummarised) {
  auto host = makeHost("nas", "nas.lan", "127.0.0.4");
  // Twenty echoes over the first five minutes, every fifth lost.
  std::vector<std::int64_t> answered;
  auto recorder = makeRecorder();
  hub.hostAdded(*host);
  for (int i = 0; i < 20; ++i) {
    const std::int64_t rtt = i % 5 == 4 ? -1 : (i + 1) * 1000;
    echo(*host, DayStartMs + i * 15'000LL, rtt);
    if (rtt >= 0) answered.push_back(rtt);
  }
  nowMs = DayStartMs + 10 * 60'000;
  recorder->start(dbPath());
  ASSERT_TRUE(recorder->waitWritten(5s));
  recorder->stop();

  EXPECT_EQ(countRows(dbPath(), "SELECT count(*) FROM recent"), 0);
  EXPECT_EQ(countRows(dbPath(), "SELECT count(*) FROM raw"), 5);  // one row per minute
  THistoryReader reader(dbPath());
  const auto id = reader.findHost("127.0.0.4", "nas.lan");
  ASSERT_TRUE(id);
  const auto steps = reader.summariesAtStep(id->id, DayStartMs, DayStartMs + 3'600'000, 300);
  ASSERT_EQ(steps.size(), 1u);
  std::sort(answered.begin(), answered.end());
  std::int64_t total = 0;
  for (std::int64_t r : answered) total += r;
  EXPECT_EQ(steps[0].startMs, DayStartMs);
  EXPECT_EQ(steps[0].sent, 20);
  EXPECT_EQ(steps[0].lost, 20 - static_cast<int>(answered.size()));
  EXPECT_EQ(steps[0].minMicros, answered.front());
  EXPECT_EQ(steps[0].maxMicros, answered.back());
  EXPECT_EQ(steps[0].meanMicros, total / static_cast<std::int64_t>(answered.size()));
  // 16 values: the 95th percentile by nearest rank is the 16th (0.95 * 16 = 15.2, rounded up).
  EXPECT_EQ(steps[0].p95Micros, answered[15]);
  // The hour has not ended: no hourly summary yet; the best level for the hour is the 5 minutes.
  EXPECT_TRUE(reader.summariesAtStep(id->id, DayStartMs, DayStartMs + 3'600'000, 3600).empty());
  EXPECT_EQ(reader.summaries(id->id, DayStartMs, DayStartMs + 3'600'000).size(), 1u);
}

TEST_F(RecorderTest, TheMedianOfADayComesFromItsFiveMinuteSummaries) {
  auto host = makeHost("nas", "nas.lan", "127.0.0.4");
  auto recorder = makeRecorder();
  hub.hostAdded(*host);
  // Two days before: slow answers, outside the day asked for.
  for (int i = 0; i < 10; ++i) echo(*host, DayStartMs - 2 * 86'400'000LL + i * 1000, 500'000);
  // The day: three steps of 1, 1 (and one lost) and 3 answers; the median echo is in the third.
  echo(*host, DayStartMs + 1000, 1000);
  echo(*host, DayStartMs + 301'000, 2000);
  echo(*host, DayStartMs + 302'000, -1);
  for (int i = 0; i < 3; ++i) echo(*host, DayStartMs + 601'000 + i * 1000, 9000 + i * 2);
  nowMs = DayStartMs + 30 * 60'000;
  recorder->start(dbPath());
  ASSERT_TRUE(recorder->waitWritten(5s));
  recorder->stop();

  THistoryReader reader(dbPath());
  const std::int64_t id = reader.hosts().at(0).id;
  EXPECT_EQ(reader.median24h(id, nowMs), 9002);  // the third step's mean, not the middle step's
  EXPECT_FALSE(reader.median24h(id, nowMs + 2 * 86'400'000LL));  // nothing in that day
  // Without the raw results the answer stays: only the summaries are read.
  reader.close();
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "drop");
    db.setDatabaseName(QString::fromStdString(dbPath()));
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec("DELETE FROM raw"));
  }
  QSqlDatabase::removeDatabase("drop");
  EXPECT_EQ(countRows(dbPath(), "SELECT count(*) FROM raw"), 0);
  EXPECT_EQ(reader.median24h(id, nowMs), 9002);
}

TEST_F(RecorderTest, LevelsArePrunedToTheirLengths) {
  auto host = makeHost("far", "far.example", "127.0.0.5");
  THistoryLengths lengths;
  lengths.rawDays = 1;
  lengths.fiveMinuteDays = 2;
  auto recorder = makeRecorder(lengths);
  hub.hostAdded(*host);
  for (int i = 0; i < 60; ++i) echo(*host, DayStartMs + i * 60'000LL, 1000 + i);
  nowMs = DayStartMs + 2 * 3'600'000;
  recorder->start(dbPath());
  ASSERT_TRUE(recorder->waitWritten(5s));
  THistoryReader reader(dbPath());
  const std::int64_t id = reader.hosts().at(0).id;
  EXPECT_EQ(reader.echoes(id, DayStartMs, DayStartMs + 3'600'000).size(), 60u);
  EXPECT_EQ(reader.summariesAtStep(id, DayStartMs, DayStartMs + 3'600'000, 300).size(), 12u);
  EXPECT_EQ(reader.summariesAtStep(id, DayStartMs, DayStartMs + 3'600'000, 3600).size(), 1u);

  // Three days later: raw results and 5-minute summaries are gone, the hourly one stays.
  nowMs = DayStartMs + 3 * 86'400'000LL;
  echo(*host, nowMs, 1000);
  ASSERT_TRUE(recorder->waitWritten(5s));
  EXPECT_TRUE(reader.echoes(id, DayStartMs, DayStartMs + 3'600'000).empty());
  EXPECT_TRUE(reader.summariesAtStep(id, DayStartMs, DayStartMs + 3'600'000, 300).empty());
  EXPECT_EQ(reader.summariesAtStep(id, DayStartMs, DayStartMs + 3'600'000, 3600).size(), 1u);
}

TEST_F(RecorderTest, AClockSteppingBackKeepsResultsInOrderAndSummariesWhole) {
  auto host = makeHost("lab", "lab.lan", "127.0.0.6");
  auto recorder = makeRecorder();
  hub.hostAdded(*host);
  recorder->start(dbPath());
  // An hour of results, summarised; then the clock steps back 30 minutes and runs on.
  for (int i = 0; i < 60; ++i) echo(*host, DayStartMs + i * 60'000LL + 30'000, 2000);
  nowMs = DayStartMs + 3'600'000 + 10 * 60'000;
  ASSERT_TRUE(recorder->waitWritten(5s));
  for (int i = 0; i < 10; ++i) echo(*host, DayStartMs + 30 * 60'000LL + i * 60'000 + 45'000, -1);
  nowMs = DayStartMs + 30 * 60'000 + 20 * 60'000;
  ASSERT_TRUE(recorder->waitWritten(5s));

  THistoryReader reader(dbPath());
  const std::int64_t id = reader.hosts().at(0).id;
  const auto echoes = reader.echoes(id, DayStartMs, DayStartMs + 2 * 3'600'000);
  ASSERT_EQ(echoes.size(), 70u);
  EXPECT_TRUE(std::is_sorted(echoes.begin(), echoes.end(),
                             [](const auto& a, const auto& b) { return a.sentMs < b.sentMs; }));
  // The late results were added to the summaries already made.
  const auto hour = reader.summariesAtStep(id, DayStartMs, DayStartMs + 3'600'000, 3600);
  ASSERT_EQ(hour.size(), 1u);
  EXPECT_EQ(hour[0].sent, 70);
  EXPECT_EQ(hour[0].lost, 10);
}

// With nothing to write the database thread sleeps instead of looking every flush interval, and
// the next result wakes it: written without anyone asking for a flush.
TEST_F(RecorderTest, AnIdleRecorderSleepsUntilTheNextResult) {
  auto host = makeHost("gateway", "gw.lan", "127.0.0.2");
  auto recorder = makeRecorder();  // a flush interval of 20 ms
  recorder->start(dbPath());
  echo(*host, DayStartMs, 100);
  ASSERT_TRUE(recorder->waitWritten(5s));
  // Settled: no round for 200 ms (10 flush intervals), within 5 s.
  std::uint64_t wakeUps = recorder->stats().wakeUps;
  for (int i = 0; i < 25; ++i) {
    std::this_thread::sleep_for(200ms);
    const std::uint64_t now = recorder->stats().wakeUps;
    if (now == wakeUps) break;
    wakeUps = now;
  }
  std::this_thread::sleep_for(500ms);
  EXPECT_LE(recorder->stats().wakeUps - wakeUps, 1u) << "25 flush intervals passed";

  echo(*host, DayStartMs + 1000, 200);
  bool written = false;
  for (int i = 0; i < 500 && !written; ++i) {
    written = recorder->stats().written == 2;
    if (!written) std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(written) << "the result woke the thread";
}

TEST_F(RecorderTest, AFullQueueDropsTheOldestResultsAndCountsThem) {
  THistoryRecorderOptions options;
  options.queueCapacity = 10;
  options.nowMs = [this] { return nowMs.load(); };
  THistoryRecorder recorder(hub, options);
  auto host = makeHost("busy", "busy.lan", "127.0.0.7");
  hub.hostAdded(*host);
  for (int i = 0; i < 25; ++i) echo(*host, DayStartMs + i * 1000LL, 10 + i);
  recorder.start(dbPath());
  ASSERT_TRUE(recorder.waitWritten(5s));
  EXPECT_EQ(recorder.stats().dropped, 17u);  // ten places, one taken by the host, one by the run
  THistoryReader reader(dbPath());
  const auto echoes = reader.echoes(reader.hosts().at(0).id, DayStartMs, DayStartMs + 60'000);
  ASSERT_EQ(echoes.size(), 8u);
  EXPECT_EQ(echoes.front().sentMs, DayStartMs + 17'000);  // the newest were kept
}

}  // namespace
