// The Path window on rounds stored in a real results database: hops in order with their figures,
// a router that limits its answers told apart from loss, the range chosen, route changes marked,
// new rounds taken up while shown, and Ctrl+T from the history window and the timeline.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSqlDatabase>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <map>

#include "history/historyschema.h"
#include "history/historystore.h"
#include "history/pathrecords.h"
#include "mainwindowtestsupport.h"
#include "ui/program/programwindows.h"
#include "ui/program/viewwindows.h"
#include "ui/views/historychart.h"
#include "ui/views/historywindow.h"
#include "ui/views/livestats.h"
#include "ui/views/pathchart.h"
#include "ui/views/pathsparkline.h"
#include "ui/views/pathwindow.h"
#include "ui/views/timelineview.h"
#include "ui/views/timelinewindow.h"

TEST(PathWindow, ListsHopsAndTellsALimitingRouterFromLoss) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("history.sqlite").toStdString();
  constexpr std::int64_t Now = 1'780'000'000'000;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "path-window-fill");
    db.setDatabaseName(QString::fromStdString(path));
    ASSERT_TRUE(db.open());
    int version = 0;
    QSqlError error;
    ASSERT_EQ(prepareSchema(db, version, error), TSchemaResult::Ready);
    // Four rounds in the last hour; router 2 answers every other one, the host every time. One
    // older round (two hours ago) lost everything after hop 1.
    for (int i = 0; i < 4; ++i) {
      THistoryPathRound round{"192.0.2.14", Now - (4 - i) * 60'000, "schedule", true, {}};
      round.hops.push_back({1, "192.0.2.2", "r1.example", 1000 + i * 100});
      if (i % 2 == 0) {
        round.hops.push_back({2, "192.0.2.6", "", 2000});
      } else {
        round.hops.push_back({2, "", "", std::nullopt});
      }
      round.hops.push_back({3, "192.0.2.14", "host.example", 3000});
      ASSERT_TRUE(storePathRound(db, round, error)) << error.text().toStdString();
    }
    THistoryPathRound old{"192.0.2.14", Now - 2 * 3'600'000, "down", false, {}};
    old.hops = {{1, "192.0.2.2", "r1.example", 900}, {2, "", "", std::nullopt}};
    ASSERT_TRUE(storePathRound(db, old, error));
    EXPECT_EQ(lastHopText(*lastHopDuring(db, "192.0.2.14", Now - 3 * 3'600'000, Now)),
              "hop 1, 192.0.2.2 (r1.example)");
  }
  QSqlDatabase::removeDatabase("path-window-fill");

  TPathWindow window([&] { return path; }, [] { return Now; });
  window.showHost("192.0.2.14", "far");
  ASSERT_EQ(window.tbHops->rowCount(), 3);
  const auto cell = [&](int row, int column) { return window.tbHops->item(row, column)->text(); };
  EXPECT_EQ(cell(0, 1), "192.0.2.2");
  EXPECT_EQ(cell(0, 2), "r1.example");
  EXPECT_EQ(cell(0, 3), "0.0");
  EXPECT_EQ(cell(0, 4), "1.3");  // the last round's
  EXPECT_EQ(cell(0, 6), "1.0");
  EXPECT_EQ(cell(0, 7), "1.3");
  EXPECT_EQ(cell(1, 3), "router limits its answers");
  EXPECT_EQ(cell(1, 4), "lost");  // not the round trip of an older round
  EXPECT_EQ(cell(2, 2), "host.example");
  EXPECT_EQ(cell(2, 3), "0.0");
  EXPECT_FALSE(window.lblNote->text().isEmpty());

  // Over 24 hours the older round counts too: hop 2 loses 3 of 5, still passing probes on.
  window.cbRange->setCurrentIndex(1);
  ASSERT_EQ(window.tbHops->rowCount(), 3);
  EXPECT_EQ(cell(0, 3), "0.0");
  EXPECT_EQ(cell(0, 6), "0.900");  // the older round's best, below a millisecond
  EXPECT_EQ(cell(1, 3), "router limits its answers");
}

// The chart and the rows say where the route changed, and a shown window takes up rounds stored
// after it opened without being opened again.
TEST(PathWindow, MarksRouteChangesAndFollowsNewRounds) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("history.sqlite").toStdString();
  std::int64_t now = 1'780'000'000'000;
  QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "path-window-follow");
  db.setDatabaseName(QString::fromStdString(path));
  ASSERT_TRUE(db.open());
  int version = 0;
  QSqlError error;
  ASSERT_EQ(prepareSchema(db, version, error), TSchemaResult::Ready);
  const auto store = [&](std::int64_t at, const char* hop2, std::int64_t hop1Rtt) {
    THistoryPathRound round{"192.0.2.14", at, "schedule", true, {}};
    round.hops = {{1, "192.0.2.2", "", hop1Rtt}, {2, hop2, "", 2000}, {3, "192.0.2.14", "", 3000}};
    ASSERT_TRUE(storePathRound(db, round, error)) << error.text().toStdString();
  };
  for (int i = 0; i < 6; ++i) store(now - (30 - i) * 60'000, i < 3 ? "10.0.0.1" : "10.0.9.1", 1000);

  TPathWindow window([&] { return path; }, [&] { return now; });
  window.showHost("192.0.2.14", "far");
  window.show();
  const std::vector<TPathChart::TMark> marks = window.chart->routeMarks();
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0].text, QString::fromUtf8("hop 2: 10.0.0.1 \u2192 10.0.9.1"));
  EXPECT_EQ(window.chart->textAt(QPointF(marks[0].x, 60)), marks[0].text);
  EXPECT_TRUE(window.tbHops->item(1, 1)->text().contains("route changed"));
  EXPECT_FALSE(window.tbHops->item(0, 1)->text().contains("route changed"));
  ASSERT_EQ(window.chart->hops().size(), 3u);

  now += 5 * 60'000;
  store(now - 60'000, "10.0.9.1", 4200);
  window.follow();
  EXPECT_EQ(window.tbHops->item(0, 4)->text(), "4.2");  // hop 1's last round trip
  std::int64_t newest = 0;
  for (const TPathBucket& b : window.chart->hops()[0].buckets)
    if (b.maxMicros == 4200) newest = b.startMs;
  EXPECT_GT(newest, now - 2 * 60'000);
  EXPECT_EQ(window.chart->toMs(), now + 1);
  db.close();
}

// The two long ranges show summarised rounds, also those no longer kept as rounds, and say from
// when on route changes are marked.
TEST(PathWindow, LongRangesShowSummariesOfRoundsNoLongerKept) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("history.sqlite").toStdString();
  constexpr std::int64_t Now = 1'780'000'000'000, Day = 86'400'000, KeptFrom = Now - 10 * Day;
  // Twelve days of a round every ten minutes: hop 1 quicker on the first two, the host losing one
  // probe of four.
  std::int64_t bestOfAll = INT64_MAX;
  int sent = 0, lost = 0;
  THistoryStore store{"path-window-long-store"};
  ASSERT_EQ(store.open(path), THistoryStore::TOpen::Ready);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "path-window-long");
    db.setDatabaseName(QString::fromStdString(path));
    ASSERT_TRUE(db.open());
    QSqlError error;
    for (std::int64_t t = Now - 12 * Day, n = 0; t < Now; t += 600'000, ++n) {
      const std::int64_t rtt = (t < KeptFrom ? 1500 : 2000) + n % 7 * 10;
      bestOfAll = std::min(bestOfAll, rtt);
      const bool answered = n % 4 != 0;
      ++sent;
      lost += answered ? 0 : 1;
      THistoryPathRound round{"192.0.2.14", t, "schedule", answered, {}};
      round.hops = {
          {1, "192.0.2.2", "gw.example", rtt}, {2, "192.0.2.6", "", 3000}, {3, "", "", {}}};
      if (answered) round.hops[2] = {3, "192.0.2.14", "", 4000};
      ASSERT_TRUE(storePathRound(db, round, error)) << error.text().toStdString();
    }
    ASSERT_TRUE(store.packAndConsolidate(Now));
    ASSERT_TRUE(prunePathRounds(db, KeptFrom, error));  // as the tracer does after raw_days
    db.close();
  }
  QSqlDatabase::removeDatabase("path-window-long");
  store.close();

  TPathWindow window([&] { return path; }, [] { return Now; });
  window.showHost("192.0.2.14", "far");
  const auto cell = [&](int row, int column) { return window.tbHops->item(row, column)->text(); };
  const auto ms = [](std::int64_t micros) {
    return QString::number(static_cast<double>(micros) / 1000, 'f', 1);
  };
  for (const char* range : {"Last 30 days", "Last year"}) {
    SCOPED_TRACE(range);
    ASSERT_GT(window.cbRange->findText(range), 2);
    window.cbRange->setCurrentIndex(window.cbRange->findText(range));
    ASSERT_EQ(window.tbHops->rowCount(), 3);
    EXPECT_EQ(cell(0, 6), ms(bestOfAll));
    EXPECT_EQ(cell(2, 3), QString::number(100.0 * lost / sent, 'f', 1));
    EXPECT_TRUE(window.lblNote->text().contains("marked from"));
    bool charted = false;
    for (const TPathBucket& b : window.chart->hops()[0].buckets)
      charted = charted || (!b.empty() && b.startMs + Day < KeptFrom);
    EXPECT_TRUE(charted);
  }
}

// Ctrl+T opens the Path window of the host shown in a history window, and of the host pointed at
// in the timeline; a minimised Path window comes back for it.
TEST(PathWindow, CtrlTOpensItFromTheHistoryWindowAndTheTimeline) {
  uitest::TProgramFiles files;
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}, {"second", "127.0.0.2"}});
  TManualClock clock{encodeDateTime(2026, 5, 14, 10, 0, 0)};
  uitest::TFakeEcho echo;
  TProgramWindows windows(clock, echo.service());
  TfrmMain& main = windows.main();
  main.Timer1->stop();
  TViewWindows& views = main.viewWindows();
  std::map<std::string, std::uint64_t> ids;
  for (const auto& [id, host] : views.liveStats().hosts()) ids[host.address] = id;
  ASSERT_EQ(ids.size(), 2u);
  const auto pathWindow = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* path = qobject_cast<TPathWindow*>(w); path && path->isVisible()) return path;
    return static_cast<TPathWindow*>(nullptr);
  };

  THistoryWindow* history = views.showHistory({ids["127.0.0.2"]});
  ASSERT_NE(history, nullptr);
  QApplication::setActiveWindow(history);
  QTest::keyClick(history->chart, Qt::Key_T, Qt::ControlModifier);
  TPathWindow* path = pathWindow();
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->hostAddress(), "127.0.0.2");
  EXPECT_TRUE(path->windowTitle().contains("second"));

  path->showMinimized();
  views.showTimeline();
  TTimelineWindow& timeline = views.timeline();
  TTimelineView& view = *timeline.view;
  view.refresh();
  // The pointer over the second row (the rows' order is the timeline's own).
  const QPoint overSecond(view.viewport()->width() - 5,
                          view.axisHeight() + view.rowHeight() * 3 / 2);
  const auto pointed = view.hitAt(overSecond);
  ASSERT_TRUE(pointed);
  QTest::mouseMove(view.viewport(), overSecond);
  QApplication::setActiveWindow(&timeline);
  QTest::keyClick(&timeline, Qt::Key_T, Qt::ControlModifier);
  EXPECT_EQ(pathWindow(), path);  // the same window, restored
  EXPECT_FALSE(path->isMinimized());
  EXPECT_EQ(ids[path->hostAddress()], pointed->runId);
  main.close();
}

// A hop's sparkline bridges the minutes between rounds a few minutes apart, but neither a long
// gap nor a step whose probes were all lost.
TEST(PathWindow, SparklineBridgesOnlyShortGaps) {
  constexpr std::int64_t Minute = 60'000;
  std::vector<TPathBucket> buckets(9);
  for (std::size_t i = 0; i < buckets.size(); ++i)
    buckets[i].startMs = static_cast<std::int64_t>(i) * Minute;
  const auto answered = [&](std::size_t i, std::int64_t rtt) {
    buckets[i] = {buckets[i].startMs, 1, 0, rtt, rtt, rtt};
  };
  answered(0, 1000);
  answered(2, 2000);                        // one empty minute before: bridged
  buckets[4] = {buckets[4].startMs, 1, 1};  // all lost
  answered(5, 3000);                        // after the loss: the loss stays
  answered(8, 4000);                        // three minutes after: too far
  const std::vector<TPathBucket> out = bridgedBuckets(buckets, 2 * Minute);
  EXPECT_EQ(out[1].meanMicros, 1000);
  EXPECT_TRUE(out[3].empty());
  EXPECT_TRUE(out[4].allLost());
  EXPECT_TRUE(out[6].empty());
  EXPECT_TRUE(out[7].empty());
  EXPECT_EQ(out[8].meanMicros, 4000);
}
