#include "overviewcelldelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

void TOverviewCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QWidget* widget = option.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
  if (opt.text.isEmpty()) return;
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 2;
  const QRect area = opt.rect.adjusted(margin, 0, -margin, 0);
  const bool selected = opt.state & QStyle::State_Selected;
  QColor colour = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
  const QVariant foreground = index.data(Qt::ForegroundRole);
  if (!selected && foreground.canConvert<QColor>()) colour = foreground.value<QColor>();
  drawLaidOutText(painter, area, texts.get(opt.text, opt.font), opt.font, colour,
                  opt.displayAlignment.testFlag(Qt::AlignRight));
}
