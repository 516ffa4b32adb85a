#pragma once
// The timeline: every host of the list one row, the time across (the last 10 minutes by default,
// 5 minutes to 3 hours), a time axis at the top. Each echo is a mark from its time to the next one,
// coloured by its round trip on one scale shared by all rows (low blue to high orange, logarithmic
// when the round trips spread widely); lost echoes are red, time without echoes blank (more than
// three of the host's usual spacings: sparkcolumns.h). Rows scroll by the pixel and only the
// visible ones are painted; the pointer's host, time and round trip are offered as a text, a click
// asks to open that host's history at that moment.

#include <QAbstractScrollArea>
#include <QStaticText>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TLiveStats;
class TLiveTrail;

class TTimelineView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  TTimelineView(const TLiveStats& stats, const TLiveTrail& trail,
                std::function<std::int64_t()> nowMs, QWidget* parent = nullptr);

  void setSpan(std::int64_t spanMs);
  std::int64_t span() const { return spanMs; }
  // Takes up added, deleted or renamed hosts and moves the time on (once a second).
  void refresh();

  int rowHeight() const;
  int axisHeight() const;
  int nameWidth() const;
  int rowCount() const { return static_cast<int>(rows.size()); }

  // The host and time under a point of the viewport, if it is on a row's plot.
  struct THit {
    std::uint64_t runId = 0;
    std::int64_t ms = 0;
  };
  std::optional<THit> hitAt(QPoint point) const;
  // "gateway  12:03:04  0.231 ms" for the echo nearest the point (or "lost", "no data").
  QString hoverText(QPoint point) const;

  // The shared colour scale: the smallest and largest round trip shown, in microseconds.
  std::pair<std::int64_t, std::int64_t> scale() const { return {scaleLow, scaleHigh}; }
  static QColor rttColour(std::int64_t micros, std::int64_t low, std::int64_t high);
  static QColor lostColour() { return {220, 30, 30}; }

  // Paints the axis and rows [first, last] into a painter `width` wide, the first row right under
  // the axis (the benchmark paints every row this way).
  void paintRows(QPainter& p, int width, int first, int last, int yOffset);

  std::function<void(std::uint64_t runId, std::int64_t ms)> onOpen;
  std::function<void(const QString&)> onHover;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  struct TRow {
    std::uint64_t runId;
    QString name;
    QStaticText label;  // the name cut to the column, laid out once
    int elidedFor;      // the name column's width it was cut for
  };
  void updateRows();
  void updateScale();
  void updateScrollBar();
  int rowAt(int y) const;
  void paintAxis(QPainter& p, int width, std::int64_t now) const;

  const TLiveStats& stats;
  const TLiveTrail& trail;
  std::function<std::int64_t()> clock;
  std::int64_t spanMs = 10 * 60'000;
  std::vector<TRow> rows;
  std::uint64_t seenVersion = ~0ULL;
  std::int64_t scaleLow = 0, scaleHigh = 1;
};
