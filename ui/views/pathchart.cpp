#include "pathchart.h"

#include <QDateTime>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "historychart.h"
#include "ui/common/chartscale.h"

namespace {

constexpr double LeftMargin = 70;
constexpr double RightMargin = 12;
constexpr double BottomMargin = 30;
constexpr double LossStrip = 10;  // the ticks of lost probes under the plot
constexpr double MarkReach = 4;   // pixels either side of a route-change line that show its text

QString legendText(int hop) { return QStringLiteral("hop %1").arg(hop); }

}  // namespace

QColor pathHopColour(int hop) {
  static const QColor colours[] = {
      QColor(31, 119, 180),  QColor(255, 127, 14), QColor(44, 160, 44),   QColor(0, 140, 140),
      QColor(148, 103, 189), QColor(140, 86, 75),  QColor(227, 119, 194), QColor(127, 127, 127),
      QColor(188, 189, 34),  QColor(23, 190, 207)};
  return colours[static_cast<std::size_t>(std::max(hop - 1, 0)) % std::size(colours)];
}

QString routeChangeText(const TRouteChange& change) {
  return QStringLiteral("hop %1: %2 \u2192 %3")
      .arg(change.hop)
      .arg(QString::fromStdString(change.before), QString::fromStdString(change.after));
}

TPathChart::TPathChart(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
  setMouseTracking(true);
}

void TPathChart::setRange(std::int64_t fromMs, std::int64_t toMs, std::int64_t stepMs,
                          std::int64_t gapMs) {
  from = fromMs;
  to = std::max(toMs, fromMs + 60'000);
  step = std::max<std::int64_t>(stepMs, 1);
  joinGapMs = gapMs;
  update();
}

void TPathChart::setHops(std::vector<TPathChartHop> hops) {
  data = std::move(hops);
  updateScale();
  update();
}

void TPathChart::setRouteChanges(std::vector<TRouteChange> routeChanges) {
  changes = std::move(routeChanges);
  update();
}

void TPathChart::setShownHops(std::vector<int> hops) {
  chosen = std::move(hops);
  updateScale();
  update();
}

bool TPathChart::shown(int hop) const {
  return chosen.empty() || std::find(chosen.begin(), chosen.end(), hop) != chosen.end();
}

// The scale follows the means: a single slow answer should not flatten every line.
void TPathChart::updateScale() {
  double largest = 100;  // 0.1 ms: loopback still gets a readable scale
  for (const TPathChartHop& h : data)
    if (shown(h.hop))
      for (const TPathBucket& b : h.buckets)
        largest = std::max(largest, static_cast<double>(b.meanMicros));
  scaleTop = chartNiceCeiling(largest * 1.1);
}

int TPathChart::legendHeight() const {
  // Entries flow left to right and wrap.
  const QFontMetrics metrics = fontMetrics();
  const double right = width() - RightMargin;
  double x = LeftMargin;
  int lines = data.empty() ? 0 : 1;
  for (const TPathChartHop& h : data) {
    const double w = metrics.horizontalAdvance(legendText(h.hop)) + 30;
    if (x + w > right && x > LeftMargin) {
      ++lines;
      x = LeftMargin;
    }
    x += w;
  }
  return lines * (metrics.height() + 4) + 6;
}

QRectF TPathChart::plotArea() const {
  const double top = legendHeight() + 4;
  return QRectF(LeftMargin, top, std::max(10.0, width() - LeftMargin - RightMargin),
                std::max(10.0, height() - top - BottomMargin - LossStrip));
}

double TPathChart::xOf(std::int64_t ms) const {
  const QRectF area = plotArea();
  return area.left() +
         area.width() * static_cast<double>(ms - from) / static_cast<double>(to - from);
}

double TPathChart::yOf(double micros) const {
  const QRectF area = plotArea();
  return area.bottom() - area.height() * std::clamp(micros / scaleTop, 0.0, 1.0);
}

void TPathChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, true);
  paintAxes(p);
  paintLegend(p);
  p.save();
  // A few pixels of the right margin: the newest round's point sits on the plot's edge and is
  // drawn whole.
  p.setClipRect(plotArea().adjusted(0, 0, 3, LossStrip + 1));
  for (const TPathChartHop& h : data)
    if (shown(h.hop)) paintLosses(p, h);
  for (const TPathChartHop& h : data)
    if (shown(h.hop)) paintHop(p, h);
  paintRouteChanges(p);
  p.restore();
  const bool any = std::any_of(data.begin(), data.end(), [](const TPathChartHop& h) {
    return std::any_of(h.buckets.begin(), h.buckets.end(),
                       [](const TPathBucket& b) { return !b.empty(); });
  });
  if (!any) {
    p.setPen(palette().color(QPalette::PlaceholderText));
    p.drawText(plotArea(), Qt::AlignCenter, QStringLiteral("No path rounds in this range"));
  }
}

void TPathChart::paintAxes(QPainter& p) const {
  const QRectF area = plotArea();
  const QColor text = palette().color(QPalette::Text);
  QColor grid = text;
  grid.setAlpha(40);
  const QFontMetrics metrics = fontMetrics();
  for (int i = 0; i <= 4; ++i) {
    const double micros = scaleTop * i / 4;
    const double y = yOf(micros);
    p.setPen(grid);
    p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    p.setPen(text);
    p.drawText(QRectF(0, y - metrics.height() / 2.0, LeftMargin - 6, metrics.height()),
               Qt::AlignRight | Qt::AlignVCenter,
               i == 0 ? QStringLiteral("0 ms") : historyRttText(static_cast<std::int64_t>(micros)));
  }
  const QString widest = QStringLiteral("00-00 00:00");
  const int room =
      std::max(2, static_cast<int>(area.width() / (metrics.horizontalAdvance(widest) + 16)));
  const std::int64_t tick = chartTimeStep(to - from, room);
  // Ticks on local time boundaries.
  const std::int64_t offset = QDateTime::fromMSecsSinceEpoch(from).offsetFromUtc() * 1000LL;
  std::int64_t at = ((from + offset) / tick + 1) * tick - offset;
  const double labelY = area.bottom() + LossStrip + 4;
  for (int n = 0; at < to && n < 200; at += tick, ++n) {
    const double x = xOf(at);
    p.setPen(grid);
    p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    p.setPen(text);
    const QString label = QDateTime::fromMSecsSinceEpoch(at).toString(
        tick >= 86'400'000       ? QStringLiteral("MM-dd")
        : to - from > 86'400'000 ? QStringLiteral("MM-dd HH:mm")
                                 : QStringLiteral("HH:mm"));
    // Centred under its tick, but kept inside the widget: a tick near the right end (the range
    // ends now) had its last digits cut off.
    const double width = std::min<double>(metrics.horizontalAdvance(label) + 2, this->width());
    const double left = std::clamp(x - width / 2, 0.0, this->width() - width);
    p.drawText(QRectF(left, labelY, width, metrics.height()),
               Qt::AlignHCenter | Qt::AlignTop, label);
  }
  p.setPen(text);
  p.drawRect(area);
}

void TPathChart::paintLegend(QPainter& p) const {
  const QFontMetrics metrics = fontMetrics();
  const double right = width() - RightMargin;
  double x = LeftMargin;
  double y = 4;
  for (const TPathChartHop& h : data) {
    const QString text = legendText(h.hop);
    const double w = metrics.horizontalAdvance(text) + 30;
    if (x + w > right && x > LeftMargin) {
      x = LeftMargin;
      y += metrics.height() + 4;
    }
    QColor swatch = h.colour;
    if (!shown(h.hop)) swatch.setAlpha(60);
    p.fillRect(QRectF(x, y + metrics.height() / 2.0 - 3, 14, 6), swatch);
    p.setPen(shown(h.hop) ? palette().color(QPalette::Text)
                          : palette().color(QPalette::PlaceholderText));
    p.drawText(QPointF(x + 19, y + metrics.ascent()), text);
    x += w;
  }
}

void TPathChart::paintHop(QPainter& p, const TPathChartHop& hop) const {
  p.setPen(QPen(hop.colour, 1.5));
  QPolygonF line;
  const auto flush = [&] {
    if (line.size() > 1) {
      p.drawPolyline(line);
    } else if (line.size() == 1) {
      p.setBrush(hop.colour);
      p.drawEllipse(line.front(), 2, 2);
      p.setBrush(Qt::NoBrush);
    }
    line.clear();
  };
  std::int64_t lastMs = 0;
  for (const TPathBucket& b : hop.buckets) {
    if (b.empty()) continue;  // no probes: joined across while the gap allows
    if (b.meanMicros < 0) {   // every probe lost: the line stops here
      flush();
      continue;
    }
    if (!line.isEmpty() && joinGapMs > 0 && b.startMs - lastMs > joinGapMs + step) flush();
    lastMs = b.startMs;
    line << QPointF(xOf(b.startMs + step / 2), yOf(static_cast<double>(b.meanMicros)));
  }
  flush();
}

void TPathChart::paintLosses(QPainter& p, const TPathChartHop& hop) const {
  const QRectF area = plotArea();
  const double strip = area.bottom() + 1;
  const double width = std::max(1.5, xOf(from + step) - xOf(from) - 1);
  for (const TPathBucket& b : hop.buckets) {
    if (b.lost <= 0) continue;
    const double share = static_cast<double>(b.lost) / b.sent;
    const double height = (LossStrip - 2) * share;
    p.fillRect(QRectF(xOf(b.startMs), strip + (LossStrip - 2) - height, width, height), hop.colour);
  }
}

std::vector<TPathChart::TMark> TPathChart::routeMarks() const {
  std::vector<TMark> marks;
  const QRectF area = plotArea();
  for (const TRouteChange& change : changes) {
    const double x = xOf(change.atMs);
    if (x < area.left() || x > area.right()) continue;
    marks.push_back({x, change.hop, routeChangeText(change)});
  }
  return marks;
}

void TPathChart::paintRouteChanges(QPainter& p) const {
  const QRectF area = plotArea();
  const QFontMetrics metrics = fontMetrics();
  int line = 0;  // labels of nearby marks stack
  for (const TMark& mark : routeMarks()) {
    const QColor colour = pathHopColour(mark.hop);
    p.setPen(QPen(colour, 1.5, Qt::DashLine));
    p.drawLine(QPointF(mark.x, area.top()), QPointF(mark.x, area.bottom()));
    const QString label = legendText(mark.hop);
    const double w = metrics.horizontalAdvance(label) + 6;
    const double left = mark.x + 3 + w <= area.right() ? mark.x + 3 : mark.x - 3 - w;
    const QRectF box(left, area.top() + 2 + line * metrics.height(), w, metrics.height());
    QColor back = palette().color(QPalette::Base);
    back.setAlpha(210);
    p.fillRect(box, back);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, label);
    line = (line + 1) % 3;
  }
}

QString TPathChart::textAt(QPointF point) const {
  QStringList lines;
  for (const TMark& mark : routeMarks())
    if (std::abs(mark.x - point.x()) <= MarkReach) lines << mark.text;
  if (!lines.isEmpty()) return lines.join(QLatin1Char('\n'));
  const QRectF area = plotArea();
  if (!area.contains(point) || step <= 0) return {};
  const std::int64_t ms =
      from + static_cast<std::int64_t>((point.x() - area.left()) / area.width() *
                                       static_cast<double>(to - from));
  constexpr int MostLines = 12;
  for (const TPathChartHop& h : data) {
    if (!shown(h.hop) || lines.size() >= MostLines) continue;
    const auto it = std::find_if(h.buckets.begin(), h.buckets.end(), [&](const TPathBucket& b) {
      return ms >= b.startMs && ms < b.startMs + step;
    });
    if (it == h.buckets.end() || it->empty()) continue;
    QString line = QStringLiteral("hop %1: %2").arg(h.hop).arg(historyRttText(it->meanMicros));
    if (it->lost > 0) line += QStringLiteral(" (%1 of %2 lost)").arg(it->lost).arg(it->sent);
    if (lines.isEmpty())
      lines << QDateTime::fromMSecsSinceEpoch(it->startMs)
                   .toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    lines << line;
  }
  return lines.join(QLatin1Char('\n'));
}

bool TPathChart::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = textAt(help->pos());
    text.isEmpty() ? QToolTip::hideText() : QToolTip::showText(help->globalPos(), text, this);
    return true;
  }
  return QWidget::event(event);
}
