#include "laidouttexts.h"

#include <QPainter>

const QStaticText& TLaidOutTexts::get(const QString& text, const QFont& font) {
  if (font != textsFont || texts.size() >= maxKept) {
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

void drawLaidOutText(QPainter* painter, const QRect& area, const QStaticText& laid,
                     const QFont& font, const QColor& colour, bool alignRight) {
  const qreal left = alignRight ? area.right() + 1 - laid.size().width() : area.left();
  const qreal top = area.top() + (area.height() - laid.size().height()) / 2;
  painter->save();
  painter->setClipRect(area);
  painter->setFont(font);
  painter->setPen(colour);
  painter->drawStaticText(QPointF(left, top), laid);
  painter->restore();
}
