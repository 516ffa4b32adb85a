#pragma once
// The sparkline of a hop row in the Path window: the hop's round trip over the chosen range, in the
// look of the overview's "Last 10 minutes" cell (overviewsparkline.h): one bar per pixel column in
// the hop's colour, its height the hop's mean round trip there between a little below the row's
// smallest and its largest; a step whose
// probes were all lost is a full-height mark in the colour of "Down"; time without probes stays
// blank, except between rounds no further apart than the chart joins.

#include <QStyledItemDelegate>

#include <cstdint>
#include <functional>
#include <vector>

#include "pathwatch/pathbuckets.h"

class TPathSparkline : public QStyledItemDelegate {
 public:
  // The buckets of the hop shown in a row (nullptr: nothing to draw) and the join distance.
  std::function<const std::vector<TPathBucket>*(int row)> bucketsOf;
  std::int64_t gapMs = 0;

  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// Buckets with the empty ones between two answered steps at most gapMs apart taking the earlier
// one's round trip (a round every few minutes still reads as one line); all-lost ones stay.
std::vector<TPathBucket> bridgedBuckets(const std::vector<TPathBucket>& buckets,
                                        std::int64_t gapMs);
