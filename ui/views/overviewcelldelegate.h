#pragma once
// Draws the overview's text cells: the item background (selection) from the style, then the text
// laid out once and kept (QStaticText), in the cell's colour and alignment. The standard delegate
// lays every text out afresh at each paint, which is most of a refresh's cost with 255 hosts; the
// same few hundred texts recur from one second to the next.

#include <QStyledItemDelegate>

#include "ui/common/laidouttexts.h"

class TOverviewCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 private:
  mutable TLaidOutTexts texts{8192};
};
