#include "pathsparkline.h"

#include <QPainter>

#include <algorithm>

#include "livestats.h"
#include "overviewmodel.h"

std::vector<TPathBucket> bridgedBuckets(const std::vector<TPathBucket>& buckets,
                                        std::int64_t gapMs) {
  std::vector<TPathBucket> out = buckets;
  std::size_t last = out.size();  // the last answered bucket
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i].empty()) continue;
    if (out[i].meanMicros >= 0) {
      if (last < i && out[i].startMs - out[last].startMs <= gapMs)
        for (std::size_t k = last + 1; k < i; ++k) {
          out[k].minMicros = out[k].meanMicros = out[k].maxMicros = out[last].meanMicros;
          out[k].sent = 1;  // marks it as drawn; the figures stay the row's own
        }
      last = i;
    } else {
      last = out.size();  // all lost: nothing bridges across it
    }
  }
  return out;
}

void TPathSparkline::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);  // background and selection
  const std::vector<TPathBucket>* source = bucketsOf ? bucketsOf(index.row()) : nullptr;
  if (!source || source->empty()) return;
  const std::vector<TPathBucket> buckets = bridgedBuckets(*source, gapMs);
  const QRectF area = QRectF(option.rect).adjusted(3, 3, -3, -3);
  const int columns = std::max(1, static_cast<int>(area.width()));
  // Bars rise from a little below the row's smallest mean, so that a hop's changes show and not
  // only its distance.
  std::int64_t largest = 1, smallest = -1;
  for (const TPathBucket& b : buckets) {
    largest = std::max(largest, b.meanMicros);
    if (b.meanMicros >= 0)
      smallest = smallest < 0 ? b.meanMicros : std::min(smallest, b.meanMicros);
  }
  const double floor = static_cast<double>(std::max<std::int64_t>(smallest, 0)) * 0.8;
  const double reach = std::max(1.0, static_cast<double>(largest) - floor);
  const int lightness = option.palette.color(QPalette::Base).lightness();
  const QColor lostColour = TOverviewModel::stateColour(TLiveState::Down, lightness);
  // The hop's colour in the chart, from the row's Hop cell.
  const QVariant hopColour = index.siblingAtColumn(0).data(Qt::DecorationRole);
  const QColor barColour = option.state & QStyle::State_Selected
                               ? option.palette.color(QPalette::HighlightedText)
                           : hopColour.canConvert<QColor>() ? hopColour.value<QColor>()
                                                            : option.palette.color(QPalette::Text);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing, false);
  const double n = static_cast<double>(buckets.size());
  const double step = area.width() / columns;
  for (int c = 0; c < columns; ++c) {
    // The buckets under this column: the worst answered mean wins, else all lost, else blank.
    const auto first = static_cast<std::size_t>(c * n / columns);
    const auto last = std::max(first + 1, static_cast<std::size_t>((c + 1) * n / columns));
    std::int64_t worst = -1;
    bool lost = false;
    for (std::size_t i = first; i < last && i < buckets.size(); ++i) {
      worst = std::max(worst, buckets[i].meanMicros);
      lost = lost || buckets[i].allLost();
    }
    const double x = area.left() + step * c;
    if (worst >= 0) {
      const double h = std::max(1.0, area.height() * (static_cast<double>(worst) - floor) / reach);
      painter->fillRect(QRectF(x, area.bottom() - h, step, h), barColour);
    } else if (lost) {
      painter->fillRect(QRectF(x, area.top(), step, area.height()), lostColour);
    }
  }
  painter->restore();
}

QSize TPathSparkline::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setWidth(std::max(size.width(), 126));
  return size;
}
