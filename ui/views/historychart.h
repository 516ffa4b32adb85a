#pragma once
// The history window's chart, painted here: for each host a line of the round trip over time. Long
// ranges show the summaries (a band from min to max around the mean), short ones every echo as a
// point. Lost echoes are red ticks at the foot, outages (and steps in which nothing was answered)
// red shading. Echoes further apart than three of the host's intervals are not joined, and spans in
// which nothing was monitored are shaded grey and labelled "not monitored". The mouse wheel zooms
// around the pointer, dragging pans, and the figures under the pointer are offered as a text
// (hoverText).

#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

#include "history/historytypes.h"
#include "history/outages.h"
#include "historygaps.h"

struct THistorySeries {
  QString name;
  QColor colour;
  bool raw = false;                        // a short range: every echo, no summaries
  std::vector<THistoryEcho> echoes;        // ordered by time sent (after the summaries)
  std::vector<THistorySummary> summaries;  // ordered by start
  std::vector<TOutage> outages;            // found in the echoes
  std::int64_t gapMs = 0;                  // echoes further apart are not joined (0: any)
  std::vector<THistoryAddressChange> addressChanges;  // marked where they happened
};

class THistoryChart : public QWidget {
  Q_OBJECT
 public:
  explicit THistoryChart(QWidget* parent = nullptr);

  void setRange(std::int64_t fromMs, std::int64_t toMs);
  std::int64_t fromMs() const { return from; }
  std::int64_t toMs() const { return to; }
  void setSeries(std::vector<THistorySeries> series);
  const std::vector<THistorySeries>& series() const { return shown; }
  // Spans in which nothing was monitored: shaded, labelled, never joined across.
  void setUnmonitored(std::vector<TTimeSpan> spans);
  const std::vector<TTimeSpan>& unmonitored() const { return notMonitored; }
  // A live echo at the end of a series (sent after every one it holds); the scale only grows.
  // Echoes more than a span before the shown range are let go.
  void appendEcho(std::size_t seriesIndex, const THistoryEcho& echo);
  void setOutages(std::size_t seriesIndex, std::vector<TOutage> outages);

  // The time at x, and the figures of every host nearest to that time.
  std::int64_t timeAt(double x) const;
  QString valuesAt(std::int64_t ms) const;
  // Zooms by `factor` (below 1: in) keeping the time at x in place.
  void zoom(double factor, double x);
  void pan(std::int64_t deltaMs);

  // Hooks the window uses: the shown range changed (zoom or pan), the pointer's text changed.
  std::function<void()> onRangeChanged;
  std::function<void(const QString&)> onHover;

  QSize sizeHint() const override { return {760, 360}; }
  QSize minimumSizeHint() const override { return {240, 140}; }

  // The narrowest range a zoom allows (a minute).
  static constexpr std::int64_t MinSpanMs = 60'000;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QRectF plotArea() const;
  double xOf(std::int64_t ms) const;
  double yOf(double micros) const;
  double largestMicros() const;
  void paintAxes(QPainter& p, double top) const;
  void paintSeries(QPainter& p, const THistorySeries& s) const;
  void paintSummaries(QPainter& p, const THistorySeries& s) const;
  void paintLegend(QPainter& p) const;
  void paintLosses(QPainter& p, const THistorySeries& s, int index) const;
  void paintUnmonitored(QPainter& p) const;

  std::int64_t from = 0;
  std::int64_t to = 3'600'000;
  std::vector<THistorySeries> shown;
  std::vector<TTimeSpan> notMonitored;
  double scaleTop = 1000;  // microseconds at the top of the plot
  bool dragging = false;
  double dragX = 0;
};

// Round trip texts of the chart: "0.012 ms" etc.; "lost" for a lost echo.
QString historyRttText(std::int64_t micros);
