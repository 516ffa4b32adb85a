#pragma once
// Paints the overview's "Last 10 minutes" cell on a time scale (sparkcolumns.h): one bar per pixel
// column, its height the round trip relative to the largest of the shown ones; a lost echo is a
// full-height mark in the colour of "Down"; time without echoes stays blank.

#include <QStyledItemDelegate>

class TOverviewSparkline : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
