#pragma once
// Paints the overview's "Last 60 echoes" cell: one bar per echo, its height the round trip relative
// to the largest of the shown ones; a lost echo is a full-height mark in the colour of "Down".

#include <QStyledItemDelegate>

class TOverviewSparkline : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
