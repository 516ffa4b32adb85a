// The timeline on a real host list of 255 hosts with echoes published on its event stream: rows,
// pixel scrolling, the host and time under the pointer, the shared colour scale, and a click asking
// for a host's history at a moment.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QScrollBar>
#include <QTest>

#include "core/tolvohosts.h"
#include "ui/views/livestats.h"
#include "ui/views/livetrail.h"
#include "ui/views/timelineview.h"
#include "ui/views/timelinewindow.h"

namespace {

constexpr std::int64_t Now = 1'780'000'000'000;

TEST(Timeline, RowsScrollByThePixelAndThePointerFindsHostTimeAndRoundTrip) {
  TTolvoHosts hosts;
  TLiveStats stats(hosts);
  TLiveTrail trail(&hosts.events());
  std::vector<TTolvoHost*> list;
  for (int i = 0; i < TTolvoHosts::MaxHosts; ++i) {
    std::unique_ptr<TTolvoHost> h = hosts.newHost();
    h->callingName = "host" + std::to_string(i);
    list.push_back(h.get());
    hosts.appendHost(h);
  }
  // Ten minutes at one echo per 4 s; host 0 lost its echoes in the middle minute, host 2 has none.
  for (std::int64_t t = Now - 600'000; t < Now; t += 4000)
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (i == 2) continue;
      const bool lost = i == 0 && t >= Now - 330'000 && t < Now - 270'000;
      hosts.events().echoResult(*list[i], {t, !lost, lost ? -1 : 100 + static_cast<int>(i) * 10});
    }

  TTimelineWindow w(stats, trail, [] { return Now; });
  w.resize(900, 500);
  w.show();
  TTimelineView& v = *w.view;
  ASSERT_EQ(v.rowCount(), 255);
  EXPECT_EQ(w.cbSpan->currentText(), QStringLiteral("10 min"));
  const int room = v.viewport()->height() - v.axisHeight();
  EXPECT_EQ(v.verticalScrollBar()->maximum(), 255 * v.rowHeight() - room);
  EXPECT_EQ(v.scale(), (std::pair<std::int64_t, std::int64_t>{100, 100 + 254 * 10}));
  EXPECT_NE(TTimelineView::rttColour(100, 100, 2640), TTimelineView::rttColour(2640, 100, 2640));

  const int plotLeft = v.nameWidth();
  const int plotWidth = v.viewport()->width() - plotLeft;
  const auto pointAt = [&](int row, std::int64_t ms) {
    return QPoint(
        plotLeft +
            static_cast<int>(static_cast<double>(ms - (Now - 600'000)) / 600'000.0 * plotWidth),
        v.axisHeight() + row * v.rowHeight() + v.rowHeight() / 2 - v.verticalScrollBar()->value());
  };
  EXPECT_TRUE(v.hoverText(pointAt(0, Now - 300'000)).endsWith(QStringLiteral("lost")));
  EXPECT_TRUE(v.hoverText(pointAt(0, Now - 100'000)).startsWith(QStringLiteral("host0")));
  EXPECT_FALSE(v.hoverText(pointAt(0, Now - 100'000)).endsWith(QStringLiteral("lost")));
  EXPECT_TRUE(v.hoverText(pointAt(2, Now - 100'000)).endsWith(QStringLiteral("no data")));
  EXPECT_TRUE(v.hoverText(QPoint(plotLeft + 5, 2)).isEmpty());  // the axis
  // Paused for a minute: not monitored, on every row.
  trail.setMonitoring(false, Now - 200'000);
  trail.setMonitoring(false, Now - 190'000);  // no change: the pause began earlier
  trail.setMonitoring(true, Now - 140'000);
  EXPECT_EQ(trail.unmonitored(Now - 600'000, Now),
            (std::vector<TTimeSpan>{{Now - 200'000, Now - 140'000}}));
  EXPECT_TRUE(v.hoverText(pointAt(1, Now - 170'000)).endsWith(QStringLiteral("not monitored")));

  // Scrolled down by a pixel count that is no whole row: the point still finds its host.
  v.verticalScrollBar()->setValue(200 * v.rowHeight() + 3);
  const QPoint onRow230 = pointAt(230, Now - 120'000);
  ASSERT_TRUE(v.hitAt(onRow230).has_value());
  EXPECT_EQ(v.hitAt(onRow230)->runId, list[230]->runId);
  EXPECT_NEAR(static_cast<double>(v.hitAt(onRow230)->ms), Now - 120'000.0, 600'000.0 / plotWidth);
  std::optional<TTimelineView::THit> opened;
  v.onOpen = [&](std::uint64_t runId, std::int64_t ms) { opened = {runId, ms}; };
  QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, onRow230);
  ASSERT_TRUE(opened.has_value());
  EXPECT_EQ(opened->runId, list[230]->runId);

  w.cbSpan->setCurrentIndex(4);
  EXPECT_EQ(v.span(), 3 * 3'600'000);
}

}  // namespace
