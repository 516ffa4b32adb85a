#include "overviewsparkline.h"

#include <QPainter>

#include <algorithm>

#include "overviewmodel.h"
#include "sparkcolumns.h"

void TOverviewSparkline::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);  // background and selection
  const auto trail = index.data(TOverviewModel::SparkTrailRole).value<TSparkTrail>();
  const QRectF area = QRectF(option.rect).adjusted(3, 3, -3, -3);
  // Stopped or paused: shaded (too narrow for a label; the history window has it).
  QColor shade = option.palette.color(QPalette::Text);
  shade.setAlpha(40);
  for (const TTimeSpan& span : trail.unmonitored) {
    const double x0 = area.left() + area.width() * static_cast<double>(span.fromMs - trail.nowMs +
                                                                      SparkSpanMs) / SparkSpanMs;
    const double x1 = area.left() + area.width() * static_cast<double>(span.toMs - trail.nowMs +
                                                                      SparkSpanMs) / SparkSpanMs;
    painter->fillRect(QRectF(x0, area.top(), std::max(1.0, x1 - x0), area.height()), shade);
  }
  if (trail.echoes.empty()) return;
  const int count = std::max(1, static_cast<int>(area.width()));
  const std::vector<TSparkColumn> columns =
      sparkColumns(trail.echoes, trail.nowMs, SparkSpanMs, count);
  std::int64_t largest = 1;
  for (const TSparkColumn& c : columns) largest = std::max(largest, c.rttMicros);
  const int lightness = option.palette.color(QPalette::Base).lightness();
  const QColor lostColour = TOverviewModel::stateColour(TLiveState::Down, lightness);
  const QColor barColour = option.state & QStyle::State_Selected
                               ? option.palette.color(QPalette::HighlightedText)
                               : option.palette.color(QPalette::Text);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  const double step = area.width() / count;
  for (int i = 0; i < count; ++i) {
    const TSparkColumn& c = columns[static_cast<std::size_t>(i)];
    const double x = area.left() + step * i;
    if (c.kind == TSparkColumn::Lost) {
      painter->fillRect(QRectF(x, area.top(), step, area.height()), lostColour);
    } else if (c.kind == TSparkColumn::Answered) {
      const double h = std::max(
          1.0, area.height() * static_cast<double>(c.rttMicros) / static_cast<double>(largest));
      painter->fillRect(QRectF(x, area.bottom() - h, step, h), barColour);
    }
  }
  painter->restore();
}

QSize TOverviewSparkline::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setWidth(std::max(size.width(), SparkEchoes * 2 + 6));
  return size;
}
