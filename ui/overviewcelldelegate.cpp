#include "overviewcelldelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace {

constexpr qsizetype MaxKeptTexts = 8192;

}  // namespace

const QStaticText& TOverviewCellDelegate::laidOut(const QString& text, const QFont& font) const {
  if (font != textsFont || texts.size() >= MaxKeptTexts) {
    texts.clear();
    textsFont = font;
  }
  auto found = texts.find(text);
  if (found != texts.end()) return *found;
  QStaticText laid(text);
  laid.setTextFormat(Qt::PlainText);
  laid.setPerformanceHint(QStaticText::AggressiveCaching);
  laid.prepare(QTransform(), font);
  return *texts.insert(text, laid);
}

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
  const QStaticText& laid = laidOut(opt.text, opt.font);
  const bool selected = opt.state & QStyle::State_Selected;
  QColor colour = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
  const QVariant foreground = index.data(Qt::ForegroundRole);
  if (!selected && foreground.canConvert<QColor>()) colour = foreground.value<QColor>();
  const qreal width = laid.size().width();
  const qreal left = opt.displayAlignment & Qt::AlignRight ? area.right() + 1 - width : area.left();
  const qreal top = area.top() + (area.height() - laid.size().height()) / 2;
  painter->save();
  painter->setClipRect(area);
  painter->setFont(opt.font);
  painter->setPen(colour);
  painter->drawStaticText(QPointF(left, top), laid);
  painter->restore();
}
