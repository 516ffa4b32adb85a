#pragma once
// The Path window's chart: the round trip of each hop over the chosen range, one line per hop in
// the hop's colour (the table's selected hops, or all), a legend of the hops above the plot.
// Rounds arrive bucketed (pathbuckets.h); a line joins steps with answers while they are no
// further apart than the rounds' own spacing allows, and breaks where a hop lost every probe of a
// step: such steps, and steps with some probes lost, get a tick in the hop's colour under the plot
// (its height the share lost), never a round trip of zero. Route changes are dashed vertical lines
// in the hop's colour; the tooltip over one says what changed ("hop 3: 10.0.0.1 → 10.0.9.1"),
// elsewhere it gives the shown hops' figures at that time.

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "history/pathrecords.h"
#include "pathwatch/pathbuckets.h"

struct TPathChartHop {
  int hop = 0;
  QColor colour;
  std::vector<TPathBucket> buckets;
};

class TPathChart : public QWidget {
  Q_OBJECT
 public:
  explicit TPathChart(QWidget* parent = nullptr);

  // The range shown, its step, and how far apart answered steps may be and still be joined.
  void setRange(std::int64_t fromMs, std::int64_t toMs, std::int64_t stepMs, std::int64_t gapMs);
  void setHops(std::vector<TPathChartHop> hops);
  void setRouteChanges(std::vector<TRouteChange> changes);
  // The hops drawn; empty: all of them.
  void setShownHops(std::vector<int> hops);

  const std::vector<TPathChartHop>& hops() const { return data; }
  std::int64_t fromMs() const { return from; }
  std::int64_t toMs() const { return to; }

  // The route-change marks inside the plot, where they are drawn and what they say.
  struct TMark {
    double x = 0;
    int hop = 0;
    QString text;
  };
  std::vector<TMark> routeMarks() const;
  // What the tooltip at `point` says.
  QString textAt(QPointF point) const;

  QSize sizeHint() const override { return {760, 280}; }
  QSize minimumSizeHint() const override { return {240, 150}; }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool shown(int hop) const;
  QRectF plotArea() const;
  int legendHeight() const;
  double xOf(std::int64_t ms) const;
  double yOf(double micros) const;
  void updateScale();
  void paintAxes(QPainter& p) const;
  void paintLegend(QPainter& p) const;
  void paintHop(QPainter& p, const TPathChartHop& hop) const;
  void paintLosses(QPainter& p, const TPathChartHop& hop) const;
  void paintRouteChanges(QPainter& p) const;

  std::int64_t from = 0;
  std::int64_t to = 3'600'000;
  std::int64_t step = 60'000;
  std::int64_t joinGapMs = 180'000;
  std::vector<TPathChartHop> data;
  std::vector<TRouteChange> changes;
  std::vector<int> chosen;
  double scaleTop = 1000;  // microseconds at the top of the plot
};

// The colour of a hop in the chart and the table: ten colours that read on light and dark
// backgrounds, repeating after hop 10; no red, which means loss.
QColor pathHopColour(int hop);
// "hop 3: 10.0.0.1 → 10.0.9.1"
QString routeChangeText(const TRouteChange& change);
