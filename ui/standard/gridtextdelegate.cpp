#include "gridtextdelegate.h"

#include <QPainter>
#include <QStyle>
#include <QWidget>

int TGridTextDelegate::textMargin(const QWidget* grid) {
  return grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
}

void TGridTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const QString text = index.data(Qt::DisplayRole).toString();
  if (text.isEmpty()) return;
  const int margin = option.widget ? textMargin(option.widget) : 3;
  const QRect area = option.rect.adjusted(margin, 0, -margin, 0);
  drawLaidOutText(painter, area, texts.get(text, option.font), option.font,
                  option.palette.color(QPalette::Text));
}
