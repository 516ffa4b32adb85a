#pragma once
// Draws the status grid's cells: plain text on the left, vertically centred, clipped to the cell.
//
// The grid repaints its visible cells whenever their texts change, up to five times a second. The
// standard delegate lays every text out afresh at each paint; this one keeps each text laid out
// (QStaticText), since the same few texts (durations, counts, "unknown") recur all over the grid.

#include <QStyledItemDelegate>

#include "ui/common/laidouttexts.h"

class TGridTextDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

  // Space between the cell's edge and its text, in pixels: what the grid adds when it widens a
  // column to fit a text.
  static int textMargin(const QWidget* grid);

 private:
  mutable TLaidOutTexts texts{4096};
};
