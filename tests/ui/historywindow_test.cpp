// The history window on a real results database that the test fills through the recorder: a day of
// echoes every 10 s with a few lost ones and one outage, then the window's ranges, zoom, values
// under the pointer, exports, and a host deleted while the window is open.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFile>
#include <QDateTime>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include "history/historyfill.h"
#include "ui/views/historychart.h"
#include "ui/views/historywindow.h"

namespace {

constexpr std::int64_t Now = 1'780'000'000'000 / 3'600'000 * 3'600'000;  // on the hour
constexpr std::int64_t OutageStart = Now - 30 * 60'000;                  // 6 echoes lost from here

class HistoryWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new QTemporaryDir;
    ASSERT_TRUE(fillHistory(path(), {{"gateway", "gw.lan", "127.0.0.1"}},
                            {.fromMs = Now - 86'400'000,
                             .toMs = Now,
                             .stepMs = 10'000,
                             .rttOf = [](std::size_t, std::int64_t t) -> std::int64_t {
                               const bool inOutage = t >= OutageStart && t < OutageStart + 60'000;
                               return inOutage || (t / 10'000) % 97 == 0
                                          ? -1
                                          : 200 + (t / 10'000) % 50 * 10;
                             },
                             .nowMs = Now}));
  }
  static void TearDownTestSuite() { delete dir; }
  static std::string path() { return dir->filePath("history.sqlite").toStdString(); }

  THistoryWindow* open(std::vector<THistoryTarget> targets) {
    window = std::make_unique<THistoryWindow>(path(), std::move(targets), [] { return Now; });
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    return window.get();
  }

  static QTemporaryDir* dir;
  std::unique_ptr<THistoryWindow> window;
  const THistoryTarget gateway{7, "gateway", "gw.lan", "127.0.0.1"};
};
QTemporaryDir* HistoryWindowTest::dir = nullptr;

TEST_F(HistoryWindowTest, ShortRangesShowEchoesAndTheOutageLongOnesSummaries) {
  THistoryWindow* w = open({gateway});
  w->showRange(THistoryWindow::Hour);
  ASSERT_EQ(w->chart->series().size(), 1u);
  const THistorySeries& hour = w->chart->series()[0];
  EXPECT_TRUE(hour.raw);
  EXPECT_EQ(hour.echoes.size(), 360u);
  ASSERT_EQ(hour.outages.size(), 1u);
  EXPECT_EQ(hour.outages[0].startMs, OutageStart);
  EXPECT_EQ(hour.outages[0].lostCount, 6);
  EXPECT_EQ(hour.outages[0].endMs, OutageStart + 60'000);
  EXPECT_TRUE(w->lblNotice->isHidden());

  w->showRange(THistoryWindow::Month);
  const THistorySeries& month = w->chart->series()[0];
  EXPECT_FALSE(month.raw);
  ASSERT_FALSE(month.summaries.empty());
  int sent = 0;
  for (const THistorySummary& s : month.summaries) {
    sent += s.sent;
    EXPECT_LE(s.minMicros, s.meanMicros);
    EXPECT_LE(s.meanMicros, s.maxMicros);
  }
  EXPECT_GT(sent, 8000);  // the summarised part of the day
  EXPECT_EQ(month.summaries.front().stepSeconds, 3600);
  EXPECT_EQ(w->chart->toMs() - w->chart->fromMs(), 30 * 86'400'000LL);
}

TEST_F(HistoryWindowTest, WheelZoomsAroundThePointerAndValuesFollowIt) {
  THistoryWindow* w = open({gateway});
  w->resize(800, 400);
  w->showRange(THistoryWindow::Hour);
  THistoryChart* chart = w->chart;
  const QPointF middle(chart->width() / 2.0, chart->height() / 2.0);
  const std::int64_t under = chart->timeAt(middle.x());
  QWheelEvent wheel(middle, chart->mapToGlobal(middle), {}, {0, 240}, Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(chart, &wheel);
  EXPECT_NEAR(static_cast<double>(chart->toMs() - chart->fromMs()), 0.64 * 3'600'000, 1000);
  EXPECT_NEAR(static_cast<double>(chart->timeAt(middle.x())), static_cast<double>(under), 10'000);
  EXPECT_EQ(w->rangeButtons->checkedButton(), nullptr);  // no longer one of the ranges

  QTest::mouseMove(chart, chart->mapFromParent(chart->pos()) +
                              QPoint(static_cast<int>(chart->width() * 0.5), 50));
  EXPECT_TRUE(w->lblValues->text().startsWith("gateway "));
  const QString atOutage = chart->valuesAt(OutageStart + 20'000);
  EXPECT_TRUE(atOutage.endsWith(": lost")) << atOutage.toStdString();
}

TEST_F(HistoryWindowTest, ExportsTheShownRangeAsCsvAndPng) {
  THistoryWindow* w = open({gateway});
  w->showCustom(OutageStart - 30'000, OutageStart + 30'000);
  const QString csv = dir->filePath("shown.csv");
  ASSERT_TRUE(w->exportCsv(csv));
  QFile file(csv);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_FALSE(text.contains(QLatin1Char('\r')));  // LF alone, as every CSV file of the program
  const QStringList lines = text.split("\n", Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 7);
  EXPECT_EQ(lines[0], "host,sent,rtt_ms,lost");
  EXPECT_TRUE(lines[4].startsWith("gateway,")) << lines[4].toStdString();
  EXPECT_TRUE(lines[4].endsWith(",,1"));  // the outage's first echo
  EXPECT_TRUE(lines[3].endsWith(",0"));
  // ISO 8601 with milliseconds and the UTC offset of the time.
  EXPECT_TRUE(QRegularExpression(
                  "^gateway,\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d,")
                  .match(lines[1])
                  .hasMatch())
      << lines[1].toStdString();
  const QString png = dir->filePath("shown.png");
  ASSERT_TRUE(w->exportPng(png));
  // The chart under a title line with the hosts and the range, also kept as the file's title.
  const QImage picture(png);
  const QSize chart = w->chart->size() * w->chart->devicePixelRatio();
  EXPECT_EQ(picture.width(), chart.width());
  EXPECT_GT(picture.height(), chart.height());
  const QString from =
      QDateTime::fromMSecsSinceEpoch(OutageStart - 30'000).toString("yyyy-MM-dd HH:mm:ss");
  EXPECT_TRUE(picture.text("Title").startsWith("History - gateway: " + from + " to "))
      << picture.text("Title").toStdString();
}

TEST_F(HistoryWindowTest, DeletedOrUnknownHostsAndAMissingDatabaseAreSaidPlainly) {
  THistoryWindow* w = open({gateway, {8, "nas", "nas.lan", "127.0.0.2"}});
  w->showRange(THistoryWindow::Hour);
  const std::size_t shownBefore = w->chart->series()[0].echoes.size();
  EXPECT_EQ(w->lblNotice->text(), "No history has been recorded for nas yet.");
  w->hostDeleted(7);
  EXPECT_TRUE(w->lblNotice->text().startsWith(
      "gateway has been deleted from the host list; what is shown is kept."));
  EXPECT_EQ(w->chart->series()[0].echoes.size(), shownBefore);

  THistoryWindow missing(dir->filePath("none.sqlite").toStdString(), {gateway}, [] { return Now; });
  EXPECT_TRUE(missing.lblNotice->text().contains("There is no history database"));
  EXPECT_TRUE(missing.chart->series()[0].echoes.empty());
}

}  // namespace
