#include "gridtextdelegate.h"

#include <QPainter>
#include <QStyle>
#include <QWidget>

namespace {

constexpr qsizetype MaxKeptTexts = 4096;

}  // namespace

int TGridTextDelegate::textMargin(const QWidget* grid) {
  return grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
}

const QStaticText& TGridTextDelegate::laidOut(const QString& text, const QFont& font) const {
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

void TGridTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const QString text = index.data(Qt::DisplayRole).toString();
  if (text.isEmpty()) return;
  const int margin = option.widget ? textMargin(option.widget) : 3;
  const QRect area = option.rect.adjusted(margin, 0, -margin, 0);
  const QStaticText& laid = laidOut(text, option.font);
  painter->save();
  painter->setClipRect(area);
  painter->setFont(option.font);
  painter->setPen(option.palette.color(QPalette::Text));
  const qreal top = area.top() + (area.height() - laid.size().height()) / 2;
  painter->drawStaticText(QPointF(area.left(), top), laid);
  painter->restore();
}
