#include "historychart.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "historymarks.h"
#include "ui/common/chartscale.h"
#include "livestats.h"

namespace {

constexpr double LeftMargin = 70;
constexpr double RightMargin = 12;
constexpr double BottomMargin = 34;
constexpr double LossStrip = 10;  // height of the lost-echo ticks under the plot

template <typename T>
std::size_t nearestIndex(const std::vector<T>& items, std::int64_t ms,
                         std::int64_t (*timeOf)(const T&)) {
  auto it = std::lower_bound(items.begin(), items.end(), ms,
                             [timeOf](const T& item, std::int64_t t) { return timeOf(item) < t; });
  std::size_t i = static_cast<std::size_t>(it - items.begin());
  if (i == items.size()) return i - 1;
  if (i > 0 && ms - timeOf(items[i - 1]) < timeOf(items[i]) - ms) return i - 1;
  return i;
}

std::int64_t echoTime(const THistoryEcho& e) { return e.sentMs; }
std::int64_t summaryMiddle(const THistorySummary& s) { return s.startMs + s.stepSeconds * 500LL; }

}  // namespace

QString historyRttText(std::int64_t micros) {
  return micros < 0 ? QStringLiteral("lost")
                    : QString::fromStdString(rttText(static_cast<double>(micros)));
}

THistoryChart::THistoryChart(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
}

void THistoryChart::setRange(std::int64_t fromMs, std::int64_t toMs) {
  if (toMs - fromMs < MinSpanMs) toMs = fromMs + MinSpanMs;
  from = fromMs;
  to = toMs;
  update();
}

void THistoryChart::setSeries(std::vector<THistorySeries> series) {
  shown = std::move(series);
  scaleTop = chartNiceCeiling(largestMicros() * 1.1);
  update();
}

void THistoryChart::setUnmonitored(std::vector<TTimeSpan> spans) {
  notMonitored = std::move(spans);
  update();
}

void THistoryChart::appendEcho(std::size_t seriesIndex, const THistoryEcho& echo) {
  if (seriesIndex >= shown.size()) return;
  std::vector<THistoryEcho>& echoes = shown[seriesIndex].echoes;
  echoes.push_back(echo);
  // Let go in one piece once the oldest is two spans old: amortised, a few echoes' worth each.
  if (echoes.front().sentMs < from - 2 * (to - from))
    std::erase_if(echoes, [this](const THistoryEcho& e) { return e.sentMs < from - (to - from); });
  if (echo.answered() && static_cast<double>(echo.rttMicros) > scaleTop)
    scaleTop = chartNiceCeiling(static_cast<double>(echo.rttMicros) * 1.1);
  update();
}

void THistoryChart::setOutages(std::size_t seriesIndex, std::vector<TOutage> outages) {
  if (seriesIndex >= shown.size()) return;
  shown[seriesIndex].outages = std::move(outages);
  update();
}

double THistoryChart::largestMicros() const {
  double largest = 100;  // 0.1 ms: loopback still gets a readable scale
  for (const THistorySeries& s : shown) {
    for (const THistoryEcho& e : s.echoes)
      if (e.sentMs >= from && e.sentMs < to)
        largest = std::max(largest, static_cast<double>(e.rttMicros));
    for (const THistorySummary& m : s.summaries)
      if (m.startMs + m.stepSeconds * 1000LL > from && m.startMs < to)
        largest = std::max(largest, static_cast<double>(m.maxMicros));
  }
  return largest;
}

QRectF THistoryChart::plotArea() const {
  return QRectF(LeftMargin, 10, std::max(10.0, width() - LeftMargin - RightMargin),
                std::max(10.0, height() - 10 - BottomMargin - LossStrip));
}

double THistoryChart::xOf(std::int64_t ms) const {
  const QRectF area = plotArea();
  return area.left() +
         area.width() * static_cast<double>(ms - from) / static_cast<double>(to - from);
}

double THistoryChart::yOf(double micros) const {
  const QRectF area = plotArea();
  return area.bottom() - area.height() * std::clamp(micros / scaleTop, 0.0, 1.0);
}

std::int64_t THistoryChart::timeAt(double x) const {
  const QRectF area = plotArea();
  return from + static_cast<std::int64_t>((x - area.left()) / area.width() *
                                          static_cast<double>(to - from));
}

void THistoryChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, true);
  paintAxes(p, scaleTop);
  p.save();
  p.setClipRect(plotArea().adjusted(0, 0, 0, LossStrip + 1));
  paintUnmonitored(p);
  for (std::size_t i = 0; i < shown.size(); ++i) paintLosses(p, shown[i], static_cast<int>(i));
  for (const THistorySeries& s : shown) paintSeries(p, s);
  paintAddressChanges(p, plotArea(), [this](std::int64_t ms) { return xOf(ms); }, shown);
  p.restore();
  paintLegend(p);
  if (shown.empty() || std::all_of(shown.begin(), shown.end(), [](const THistorySeries& s) {
        return s.echoes.empty() && s.summaries.empty();
      })) {
    p.setPen(palette().color(QPalette::PlaceholderText));
    p.drawText(plotArea(), Qt::AlignCenter, QStringLiteral("No echoes recorded in this range"));
  }
}

void THistoryChart::paintAxes(QPainter& p, double top) const {
  const QRectF area = plotArea();
  const QColor text = palette().color(QPalette::Text);
  QColor grid = text;
  grid.setAlpha(40);
  const QFontMetrics metrics = fontMetrics();
  p.setPen(text);
  for (int i = 0; i <= 4; ++i) {
    const double micros = top * i / 4;
    const double y = yOf(micros);
    p.setPen(grid);
    p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    p.setPen(text);
    p.drawText(QRectF(0, y - metrics.height() / 2.0, LeftMargin - 6, metrics.height()),
               Qt::AlignRight | Qt::AlignVCenter,
               historyRttText(static_cast<std::int64_t>(micros)));
  }
  const int room = std::max(
      2, static_cast<int>(area.width() /
                          (metrics.horizontalAdvance(QStringLiteral("00-00 00:00")) + 16)));
  const std::int64_t step = chartTimeStep(to - from, room);
  const bool days = step >= 86'400'000;
  // Ticks on local time boundaries.
  const std::int64_t offset = QDateTime::fromMSecsSinceEpoch(from).offsetFromUtc() * 1000LL;
  std::int64_t tick = ((from + offset) / step + 1) * step - offset;
  const double labelY = area.bottom() + LossStrip + 4;
  for (int n = 0; tick < to && n < 200; tick += step, ++n) {
    const double x = xOf(tick);
    p.setPen(grid);
    p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    p.setPen(text);
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(tick);
    const QString label = at.toString(days                     ? QStringLiteral("MM-dd")
                                      : step >= 86'400'000 / 4 ? QStringLiteral("MM-dd HH:mm")
                                                               : QStringLiteral("HH:mm"));
    p.drawText(QRectF(x - 60, labelY, 120, metrics.height()), Qt::AlignHCenter | Qt::AlignTop,
               label);
  }
  p.setPen(text);
  p.drawRect(area);
}

void THistoryChart::paintUnmonitored(QPainter& p) const {
  const QRectF area = plotArea();
  QColor shade = palette().color(QPalette::Text);
  shade.setAlpha(28);
  const QString label = QStringLiteral("not monitored");
  const double labelWidth = fontMetrics().horizontalAdvance(label) + 8;
  p.setPen(palette().color(QPalette::PlaceholderText));
  for (const TTimeSpan& span : notMonitored) {
    const double x0 = std::max(area.left(), xOf(span.fromMs));
    const double x1 = std::min(area.right(), std::max(xOf(span.toMs), x0 + 1));
    const QRectF band(QPointF(x0, area.top()), QPointF(x1, area.bottom()));
    p.fillRect(band, shade);
    if (band.width() >= labelWidth)
      p.drawText(band.adjusted(0, 0, 0, -8), Qt::AlignHCenter | Qt::AlignBottom, label);
  }
}

void THistoryChart::paintLegend(QPainter& p) const {
  // The hosts' names in their colours, in the plot's top left corner.
  const QRectF area = plotArea();
  const QFontMetrics metrics = fontMetrics();
  double x = area.left() + 8;
  const double y = area.top() + 6;
  for (const THistorySeries& s : shown) {
    const double w = metrics.horizontalAdvance(s.name);
    QColor back = palette().color(QPalette::Base);
    back.setAlpha(200);
    p.fillRect(QRectF(x - 3, y - 2, w + 24, metrics.height() + 4), back);
    p.fillRect(QRectF(x, y + metrics.height() / 2.0 - 3, 12, 6), s.colour);
    p.setPen(palette().color(QPalette::Text));
    p.drawText(QPointF(x + 17, y + metrics.ascent()), s.name);
    x += w + 34;
  }
}

void THistoryChart::paintLosses(QPainter& p, const THistorySeries& s, int index) const {
  const QRectF area = plotArea();
  QColor lost(220, 30, 30);
  QColor shade = lost;
  shade.setAlpha(45);
  const double strip = area.bottom() + 1 + index % 2;
  for (const TOutage& o : s.outages) {
    const std::int64_t end = o.endMs.value_or(o.startMs + o.durationMs);
    p.fillRect(QRectF(QPointF(xOf(o.startMs), area.top()),
                      QPointF(std::max(xOf(end), xOf(o.startMs) + 2), area.bottom())),
               shade);
  }
  p.setPen(QPen(lost, 1.5));
  for (const THistoryEcho& e : s.echoes)
    if (!e.answered())
      p.drawLine(QPointF(xOf(e.sentMs), strip), QPointF(xOf(e.sentMs), strip + LossStrip - 2));
  for (const THistorySummary& m : s.summaries) {
    if (m.lost <= 0 || m.sent <= 0) continue;
    const double x0 = xOf(m.startMs);
    const double x1 = xOf(m.startMs + m.stepSeconds * 1000LL);
    const double share = static_cast<double>(m.lost) / m.sent;
    p.fillRect(QRectF(x0, strip + (LossStrip - 2) * (1 - share), std::max(1.5, x1 - x0),
                      (LossStrip - 2) * share),
               lost);
    if (m.lost >= m.sent)
      p.fillRect(QRectF(QPointF(x0, area.top()), QPointF(std::max(x1, x0 + 2), area.bottom())),
                 shade);
  }
}

void THistoryChart::paintSeries(QPainter& p, const THistorySeries& s) const {
  paintSummaries(p, s);
  {
    // Points for every answer, joined while no echo in between was lost and no gap lies between
    // (polylines: much quicker to stroke than one path of thousands of elements).
    p.setPen(QPen(s.colour, 1.2));
    QPolygonF line;
    for (const auto& [first, last] : joinedRuns(s.echoes, s.gapMs, notMonitored)) {
      line.clear();
      for (std::size_t i = first; i <= last; ++i)
        if (s.echoes[i].answered())
          line << QPointF(xOf(s.echoes[i].sentMs), yOf(static_cast<double>(s.echoes[i].rttMicros)));
      if (line.size() > 1) p.drawPolyline(line);
    }
    if (s.echoes.size() < 2000) {
      p.setPen(Qt::NoPen);
      p.setBrush(s.colour);
      for (const THistoryEcho& e : s.echoes)
        if (e.answered())
          p.drawEllipse(QPointF(xOf(e.sentMs), yOf(static_cast<double>(e.rttMicros))), 2, 2);
      p.setBrush(Qt::NoBrush);
    }
  }
}

void THistoryChart::paintSummaries(QPainter& p, const THistorySeries& s) const {
  QColor band = s.colour;
  band.setAlpha(60);
  QPainterPath mean;
  bool open = false;
  std::int64_t lastEnd = 0;
  for (const THistorySummary& m : s.summaries) {
    if (m.meanMicros < 0) {
      open = false;
      continue;
    }
    // Steps follow one another without a step missing or a span not monitored between them.
    const std::int64_t halfStep = m.stepSeconds * 500LL;
    open = open && m.startMs == lastEnd &&
           joins(lastEnd - halfStep, m.startMs + halfStep, 0, notMonitored);
    lastEnd = m.startMs + m.stepSeconds * 1000LL;
    const double x0 = xOf(m.startMs);
    const double x1 = xOf(m.startMs + m.stepSeconds * 1000LL);
    p.fillRect(QRectF(QPointF(x0, yOf(static_cast<double>(m.maxMicros))),
                      QPointF(std::max(x1, x0 + 1), yOf(static_cast<double>(m.minMicros)))),
               band);
    const QPointF point((x0 + x1) / 2, yOf(static_cast<double>(m.meanMicros)));
    open ? mean.lineTo(point) : mean.moveTo(point);
    open = true;
  }
  p.setPen(QPen(s.colour, 1.5));
  p.drawPath(mean);
}

QString THistoryChart::valuesAt(std::int64_t ms) const {
  if (const TTimeSpan* span = spanAt(notMonitored, ms))
    return QStringLiteral("%1 to %2: not monitored")
        .arg(QDateTime::fromMSecsSinceEpoch(span->fromMs)
                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             QDateTime::fromMSecsSinceEpoch(span->toMs)
                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
  QStringList parts;
  for (const THistorySeries& s : shown) {
    const bool onEchoes =
        !s.echoes.empty() && (s.summaries.empty() || ms >= s.echoes.front().sentMs);
    if (onEchoes) {
      const THistoryEcho& e = s.echoes[nearestIndex(s.echoes, ms, &echoTime)];
      parts << QStringLiteral("%1 %2: %3")
                   .arg(s.name,
                        QDateTime::fromMSecsSinceEpoch(e.sentMs).toString(
                            QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                        historyRttText(e.rttMicros));
    } else if (!s.summaries.empty()) {
      const THistorySummary& m = s.summaries[nearestIndex(s.summaries, ms, &summaryMiddle)];
      parts << QStringLiteral("%1 %2 (%3 min): min %4, mean %5, max %6, lost %7 of %8")
                   .arg(s.name, QDateTime::fromMSecsSinceEpoch(m.startMs).toString(
                                    QStringLiteral("yyyy-MM-dd HH:mm")))
                   .arg(m.stepSeconds / 60)
                   .arg(historyRttText(m.minMicros), historyRttText(m.meanMicros),
                        historyRttText(m.maxMicros))
                   .arg(m.lost)
                   .arg(m.sent);
    }
  }
  return parts.join(QStringLiteral("   "));
}

void THistoryChart::zoom(double factor, double x) {
  const std::int64_t anchor = timeAt(x);
  const double span = std::max<double>(MinSpanMs, static_cast<double>(to - from) * factor);
  const double share = static_cast<double>(anchor - from) / static_cast<double>(to - from);
  const std::int64_t newFrom = anchor - static_cast<std::int64_t>(span * share);
  setRange(newFrom, newFrom + static_cast<std::int64_t>(span));
  if (onRangeChanged) onRangeChanged();
}

void THistoryChart::pan(std::int64_t deltaMs) {
  setRange(from + deltaMs, to + deltaMs);
  if (onRangeChanged) onRangeChanged();
}

void THistoryChart::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (steps == 0) return;
  zoom(std::pow(0.8, steps), event->position().x());
  event->accept();
}

void THistoryChart::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging = true;
  dragX = event->position().x();
  setCursor(Qt::ClosedHandCursor);
}

void THistoryChart::mouseMoveEvent(QMouseEvent* event) {
  const double x = event->position().x();
  if (dragging) {
    const std::int64_t delta = timeAt(dragX) - timeAt(x);
    dragX = x;
    if (delta != 0) pan(delta);
  }
  if (onHover) onHover(valuesAt(timeAt(x)));
}

void THistoryChart::mouseReleaseEvent(QMouseEvent*) {
  dragging = false;
  unsetCursor();
}

void THistoryChart::leaveEvent(QEvent*) {
  if (onHover) onHover({});
}

void THistoryChart::keyPressEvent(QKeyEvent* event) {
  const double middle = plotArea().center().x();
  const std::int64_t tenth = (to - from) / 10;
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      zoom(0.8, middle);
      break;
    case Qt::Key_Minus:
      zoom(1.25, middle);
      break;
    case Qt::Key_Left:
      pan(-tenth);
      break;
    case Qt::Key_Right:
      pan(tenth);
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}
