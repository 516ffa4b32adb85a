#include "overviewsparkline.h"

#include <QPainter>

#include <algorithm>

#include "overviewmodel.h"

void TOverviewSparkline::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);  // background and selection
  const auto echoes = index.data(TOverviewModel::SparkRole).value<QList<qint64>>();
  if (echoes.isEmpty()) return;
  const QRectF area = QRectF(option.rect).adjusted(3, 3, -3, -3);
  const double step = area.width() / SparkEchoes;
  qint64 largest = 1;
  for (qint64 rtt : echoes) largest = std::max(largest, rtt);
  const int lightness = option.palette.color(QPalette::Base).lightness();
  const QColor lostColour = TOverviewModel::stateColour(TLiveState::Down, lightness);
  const QColor barColour = option.state & QStyle::State_Selected
                               ? option.palette.color(QPalette::HighlightedText)
                               : option.palette.color(QPalette::Text);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  // The newest echo is at the right edge.
  double x = area.right() - step * static_cast<double>(echoes.size());
  for (qint64 rtt : echoes) {
    const QRectF bar(x + step * 0.15, area.top(), std::max(1.0, step * 0.7), area.height());
    if (rtt < 0) {
      painter->fillRect(bar, lostColour);
    } else {
      const double h =
          std::max(1.0, area.height() * static_cast<double>(rtt) / static_cast<double>(largest));
      painter->fillRect(QRectF(bar.left(), area.bottom() - h, bar.width(), h), barColour);
    }
    x += step;
  }
  painter->restore();
}

QSize TOverviewSparkline::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setWidth(std::max(size.width(), SparkEchoes * 2 + 6));
  return size;
}
