// The history window on a results database with two runs of monitoring: the spans between and
// after them are not monitored, and the window follows echoes published on a real host list's
// event stream until it is zoomed, then again from "Now".

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "core/tolvohosts.h"
#include "history/historyfill.h"
#include "ui/views/historychart.h"
#include "ui/views/historywindow.h"

namespace {

constexpr std::int64_t Minute = 60'000;
constexpr std::int64_t Now = 1'780'000'000'000 / 3'600'000 * 3'600'000;

TEST(HistoryLive, RunsGiveSpansNotMonitoredAndLiveEchoesFollowUntilZoomed) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("history.sqlite").toStdString();
  const auto rtt = [](std::size_t, std::int64_t t) -> std::int64_t { return 300 + t % 7; };
  // Each fill is a run of its own: monitoring from its first echo to 3 minutes past its last.
  ASSERT_TRUE(fillHistory(
      path, {{"gateway", "gw.lan", "127.0.0.1"}},
      {.fromMs = Now - 50 * Minute, .toMs = Now - 40 * Minute, .stepMs = 5000, .rttOf = rtt, .nowMs = {}}));
  ASSERT_TRUE(fillHistory(
      path, {{"gateway", "gw.lan", "127.0.0.1"}},
      {.fromMs = Now - 20 * Minute, .toMs = Now - 10 * Minute, .stepMs = 5000, .rttOf = rtt, .nowMs = {}}));

  TTolvoHosts hosts;
  std::unique_ptr<TTolvoHost> owned = hosts.newHost();
  TTolvoHost* host = owned.get();
  hosts.appendHost(owned);
  std::int64_t clockMs = Now;
  THistoryWindow w(path, {{host->runId, "gateway", "gw.lan", "127.0.0.1", 5000}},
                   [&clockMs] { return clockMs; });
  w.setAttribute(Qt::WA_DeleteOnClose, false);
  w.followEvents(hosts.events());
  w.show();
  w.showRange(THistoryWindow::Hour);

  EXPECT_EQ(w.chart->unmonitored(), (std::vector<TTimeSpan>{{Now - 37 * Minute, Now - 20 * Minute},
                                                            {Now - 7 * Minute, Now}}));
  EXPECT_TRUE(w.chart->valuesAt(Now - 30 * Minute).endsWith(QStringLiteral("not monitored")));
  EXPECT_FALSE(w.chart->valuesAt(Now - 15 * Minute).contains(QStringLiteral("not monitored")));
  EXPECT_EQ(w.chart->series()[0].gapMs, 15'000);
  EXPECT_TRUE(w.chart->series()[0].outages.empty());

  // Following: every echo joins the chart and the range slides; three lost make an outage that an
  // answer ends.
  ASSERT_TRUE(w.following());
  EXPECT_FALSE(w.btnNow->isEnabled());
  const std::size_t before = w.chart->series()[0].echoes.size();
  for (int i = 1; i <= 5; ++i) {
    clockMs = Now + i * 5000;
    const bool lost = i >= 2 && i <= 4;
    hosts.events().echoResult(*host, {clockMs, !lost, lost ? -1 : 900});
  }
  const THistorySeries& s = w.chart->series()[0];
  EXPECT_EQ(s.echoes.size(), before + 5);
  EXPECT_EQ(w.chart->toMs(), Now + 25'000);
  EXPECT_EQ(w.chart->toMs() - w.chart->fromMs(), 60 * Minute);
  ASSERT_EQ(s.outages.size(), 1u);
  EXPECT_EQ(s.outages[0].startMs, Now + 10'000);
  EXPECT_EQ(s.outages[0].lostCount, 3);
  EXPECT_EQ(s.outages[0].endMs, Now + 25'000);

  // Zooming into the past stops following; End brings the present back.
  w.chart->zoom(0.5, 100);
  EXPECT_FALSE(w.following());
  EXPECT_TRUE(w.btnNow->isEnabled());
  const std::int64_t zoomedTo = w.chart->toMs();
  clockMs = Now + 30'000;
  hosts.events().echoResult(*host, {clockMs, true, 800});
  EXPECT_EQ(w.chart->toMs(), zoomedTo);
  QTest::keyClick(w.chart, Qt::Key_End);
  EXPECT_TRUE(w.following());
  EXPECT_EQ(w.chart->toMs(), clockMs);
  EXPECT_EQ(w.chart->toMs() - w.chart->fromMs(), 30 * Minute);
}

}  // namespace
