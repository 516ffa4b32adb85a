#include "timelineview.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <array>
#include <cmath>

#include "historychart.h"
#include "livestats.h"
#include "livetrail.h"
#include "sparkcolumns.h"

namespace {

// The echoes of a trail in [from, to), with the one before (a mark reaches to the next echo).
std::vector<THistoryEcho> echoesIn(const std::deque<THistoryEcho>& trail, std::int64_t from,
                                   std::int64_t to) {
  auto first = std::lower_bound(trail.begin(), trail.end(), from,
                                [](const THistoryEcho& e, std::int64_t t) { return e.sentMs < t; });
  if (first != trail.begin()) --first;
  std::vector<THistoryEcho> out;
  for (auto it = first; it != trail.end() && it->sentMs < to; ++it) out.push_back(*it);
  return out;
}

}  // namespace

TTimelineView::TTimelineView(const TLiveStats& liveStats, const TLiveTrail& liveTrail,
                             std::function<std::int64_t()> nowMs, QWidget* parent)
    : QAbstractScrollArea(parent), stats(liveStats), trail(liveTrail), clock(std::move(nowMs)) {
  setObjectName(QStringLiteral("timelineView"));
  viewport()->setMouseTracking(true);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  refresh();
}

int TTimelineView::rowHeight() const { return fontMetrics().height() + 4; }
int TTimelineView::axisHeight() const { return fontMetrics().height() + 8; }
int TTimelineView::nameWidth() const { return std::max(80, fontMetrics().averageCharWidth() * 18); }

void TTimelineView::setSpan(std::int64_t span) {
  spanMs = std::clamp<std::int64_t>(span, 60'000, TrailKeepMs);
  refresh();
}

void TTimelineView::refresh() {
  updateRows();
  updateScale();
  viewport()->update();
}

void TTimelineView::updateRows() {
  if (seenVersion == stats.listVersion()) return;
  seenVersion = stats.listVersion();
  rows.clear();
  for (const auto& [id, host] : stats.hosts())
    rows.push_back({id, QString::fromStdString(host.callingName), {}, -1});
  updateScrollBar();
}

void TTimelineView::updateScale() {
  const std::int64_t now = clock();
  std::int64_t low = -1, high = -1;
  for (const TRow& row : rows) {
    const std::deque<THistoryEcho>& echoes = trail.echoesOf(row.runId);
    for (auto it = echoes.rbegin(); it != echoes.rend() && it->sentMs >= now - spanMs; ++it) {
      if (!it->answered()) continue;
      low = low < 0 ? it->rttMicros : std::min(low, it->rttMicros);
      high = std::max(high, it->rttMicros);
    }
  }
  scaleLow = std::max<std::int64_t>(low, 1);
  scaleHigh = std::max(high, scaleLow + 1);
}

QColor TTimelineView::rttColour(std::int64_t micros, std::int64_t low, std::int64_t high) {
  // Logarithmic from blue (the lowest) over green and yellow to orange (the highest); red is for
  // lost echoes alone.
  const double l = std::log(static_cast<double>(std::max<std::int64_t>(low, 1)));
  const double h = std::log(static_cast<double>(std::max(high, low + 1)));
  const double v = std::log(static_cast<double>(std::clamp(micros, low, high) + (micros <= 0)));
  const double share = std::clamp((v - l) / std::max(h - l, 1e-9), 0.0, 1.0);
  return QColor::fromHsvF(static_cast<float>((215.0 - share * 185.0) / 360.0), 0.85f, 0.9f);
}

void TTimelineView::updateScrollBar() {
  const int content = rowCount() * rowHeight();
  const int room = std::max(0, viewport()->height() - axisHeight());
  verticalScrollBar()->setRange(0, std::max(0, content - room));
  verticalScrollBar()->setPageStep(room);
  verticalScrollBar()->setSingleStep(rowHeight());
}

void TTimelineView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollBar();
}

int TTimelineView::rowAt(int y) const {
  if (y < axisHeight()) return -1;
  const int row = (y - axisHeight() + verticalScrollBar()->value()) / rowHeight();
  return row < rowCount() ? row : -1;
}

std::optional<TTimelineView::THit> TTimelineView::hitAt(QPoint point) const {
  const int row = rowAt(point.y());
  const int plotWidth = viewport()->width() - nameWidth();
  if (row < 0 || point.x() < nameWidth() || plotWidth <= 0) return std::nullopt;
  const std::int64_t now = clock();
  const double share = static_cast<double>(point.x() - nameWidth()) / plotWidth;
  return THit{rows[static_cast<std::size_t>(row)].runId,
              now - spanMs + static_cast<std::int64_t>(share * static_cast<double>(spanMs))};
}

QString TTimelineView::hoverText(QPoint point) const {
  const std::optional<THit> hit = hitAt(point);
  if (!hit) return {};
  const TRow& row = rows[static_cast<std::size_t>(rowAt(point.y()))];
  const std::int64_t now = clock();
  const std::vector<THistoryEcho> echoes =
      echoesIn(trail.echoesOf(hit->runId), now - spanMs, now + 1);
  // The echo whose mark holds the time: the last sent at or before it, unless a gap follows.
  const std::vector<TSparkColumn> one = sparkColumns(echoes, hit->ms + 1, 1, 1);
  const QString time =
      QDateTime::fromMSecsSinceEpoch(hit->ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  QString value = QStringLiteral("no data");
  if (spanAt(trail.unmonitored(hit->ms, hit->ms + 1), hit->ms))
    return QStringLiteral("%1   %2   not monitored").arg(row.name, time);
  if (one[0].kind == TSparkColumn::Lost) value = QStringLiteral("lost");
  if (one[0].kind == TSparkColumn::Answered) value = historyRttText(one[0].rttMicros);
  return QStringLiteral("%1   %2   %3").arg(row.name, time, value);
}

void TTimelineView::paintAxis(QPainter& p, int width, std::int64_t now) const {
  const QColor text = palette().color(QPalette::Text);
  const int plotWidth = width - nameWidth();
  p.setPen(text);
  p.drawLine(0, axisHeight() - 1, width, axisHeight() - 1);
  if (plotWidth <= 0) return;
  static const std::int64_t steps[] = {60'000,  120'000,   300'000,  600'000,
                                       900'000, 1'800'000, 3'600'000};
  const int room =
      std::max(1, plotWidth / (fontMetrics().horizontalAdvance(QStringLiteral("00:00")) + 24));
  std::int64_t step = steps[std::size(steps) - 1];
  for (std::int64_t s : steps)
    if (spanMs / s <= room) {
      step = s;
      break;
    }
  const std::int64_t from = now - spanMs;
  const std::int64_t offset = QDateTime::fromMSecsSinceEpoch(from).offsetFromUtc() * 1000LL;
  for (std::int64_t tick = ((from + offset) / step + 1) * step - offset; tick < now; tick += step) {
    const int x = nameWidth() + static_cast<int>(static_cast<double>(tick - from) /
                                                 static_cast<double>(spanMs) * plotWidth);
    p.drawLine(x, axisHeight() - 5, x, axisHeight() - 1);
    // Centred on its tick, but whole: a tick near the right edge has its time just left of it.
    const QString label = QDateTime::fromMSecsSinceEpoch(tick).toString(QStringLiteral("HH:mm"));
    const int half = fontMetrics().horizontalAdvance(label) / 2 + 1;
    const int centre = std::min(x, width - half);
    p.drawText(QRect(centre - 40, 2, 80, axisHeight() - 6), Qt::AlignCenter, label);
  }
}

void TTimelineView::paintRows(QPainter& p, int width, int first, int last, int yOffset) {
  const std::int64_t now = clock();
  const int plotWidth = width - nameWidth();
  const int h = rowHeight();
  const QColor text = palette().color(QPalette::Text);
  QColor rule = text;
  rule.setAlpha(30);
  // The colours of the scale in 64 steps, and one line of pixels per row drawn stretched to the
  // row's height: a row is one picture, not a mark per echo.
  constexpr int Steps = 64;
  std::array<QRgb, Steps> ramp{};
  const double logLow = std::log(static_cast<double>(scaleLow));
  const double logSpan = std::max(std::log(static_cast<double>(scaleHigh)) - logLow, 1e-9);
  for (int i = 0; i < Steps; ++i)
    ramp[static_cast<std::size_t>(i)] =
        rttColour(static_cast<std::int64_t>(std::exp(logLow + logSpan * i / (Steps - 1))), scaleLow,
                  scaleHigh)
            .rgba();
  const QRgb lost = lostColour().rgba();
  // Opaque (blank is the background): copied, not blended.
  const QRgb blank = palette().color(QPalette::Base).rgb();
  QImage line(std::max(plotWidth, 1), 1, QImage::Format_RGB32);
  p.setPen(text);
  for (int r = std::max(first, 0); r <= last && r < rowCount(); ++r) {
    TRow& row = rows[static_cast<std::size_t>(r)];
    const int y = axisHeight() + r * h - yOffset;
    if (row.elidedFor != nameWidth()) {
      row.label.setText(fontMetrics().elidedText(row.name, Qt::ElideRight, nameWidth() - 8));
      row.label.prepare(QTransform(), font());
      row.elidedFor = nameWidth();
    }
    p.drawStaticText(4, y + (h - fontMetrics().height()) / 2, row.label);
    p.fillRect(QRect(0, y + h - 1, width, 1), rule);
    if (plotWidth <= 0) continue;
    const std::vector<TSparkColumn> columns = sparkColumns(
        echoesIn(trail.echoesOf(row.runId), now - spanMs, now + 1), now, spanMs, plotWidth);
    auto* pixels = reinterpret_cast<QRgb*>(line.scanLine(0));
    QRgb colour = 0;
    for (int c = 0; c < plotWidth; ++c) {
      const TSparkColumn& column = columns[static_cast<std::size_t>(c)];
      if (c == 0 || !(column == columns[static_cast<std::size_t>(c - 1)])) {
        if (column.kind == TSparkColumn::Blank) {
          colour = blank;
        } else if (column.kind == TSparkColumn::Lost) {
          colour = lost;
        } else {
          const double share =
              (std::log(static_cast<double>(std::max<std::int64_t>(column.rttMicros, 1))) -
               logLow) /
              logSpan;
          colour = ramp[static_cast<std::size_t>(
              std::clamp(static_cast<int>(share * (Steps - 1) + 0.5), 0, Steps - 1))];
        }
      }
      pixels[c] = colour;
    }
    p.drawImage(QRect(nameWidth(), y + 1, plotWidth, h - 3), line);
  }
  // Stopped or paused: shaded across every row and labelled.
  if (plotWidth > 0) {
    QColor shade = text;
    shade.setAlpha(40);
    const QString label = QStringLiteral("not monitored");
    const int labelWidth = fontMetrics().horizontalAdvance(label) + 8;
    for (const TTimeSpan& span : trail.unmonitored(now - spanMs, now)) {
      const int x0 =
          nameWidth() + static_cast<int>(static_cast<double>(span.fromMs - now + spanMs) /
                                         static_cast<double>(spanMs) * plotWidth);
      const int x1 = nameWidth() + static_cast<int>(static_cast<double>(span.toMs - now + spanMs) /
                                                    static_cast<double>(spanMs) * plotWidth);
      const QRect band(x0, axisHeight(), std::max(1, x1 - x0), p.device()->height());
      p.fillRect(band, shade);
      if (band.width() >= labelWidth)
        p.drawText(QRect(x0, axisHeight() + 2, band.width(), fontMetrics().height()),
                   Qt::AlignHCenter | Qt::AlignTop, label);
    }
  }
  p.fillRect(QRect(0, 0, width, axisHeight()), palette().color(QPalette::Base));
  paintAxis(p, width, now);
}

void TTimelineView::paintEvent(QPaintEvent*) {
  updateRows();
  QPainter p(viewport());
  const int offset = verticalScrollBar()->value();
  const int first = offset / rowHeight();
  const int last = (offset + viewport()->height()) / rowHeight();
  paintRows(p, viewport()->width(), first, last, offset);
}

void TTimelineView::mouseMoveEvent(QMouseEvent* event) {
  if (onHover) onHover(hoverText(event->position().toPoint()));
}

void TTimelineView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (const std::optional<THit> hit = hitAt(event->position().toPoint()); hit && onOpen)
    onOpen(hit->runId, hit->ms);
}

void TTimelineView::leaveEvent(QEvent*) {
  if (onHover) onHover({});
}
