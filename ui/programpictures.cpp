#include "programpictures.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace {

QPixmap transparentPixmap(int width, int height) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void drawFace(QPainter& p, QColor skin, bool smiling) {
  p.setPen(QPen(skin.darker(170), 1));
  p.setBrush(skin);
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawEllipse(QRectF(4.5, 4.5, 2, 2.5));
  p.drawEllipse(QRectF(9.5, 4.5, 2, 2.5));
  p.setPen(QPen(Qt::black, 1.2));
  p.setBrush(Qt::NoBrush);
  // A smile is the lower arc of a circle, a frown the upper arc of one placed lower.
  if (smiling)
    p.drawArc(QRectF(4.5, 5.5, 7, 6), 200 * 16, 140 * 16);
  else
    p.drawArc(QRectF(4.5, 10, 7, 5), 20 * 16, 140 * 16);
}

void drawSign(QPainter& p) {
  p.setPen(QPen(QColor(0, 40, 140), 1));
  p.setBrush(QColor(30, 90, 220));
  p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
  QFont font = p.font();
  font.setPixelSize(12);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
}

// One arrow bent along a circle of radius r around (8, 8), with its head at the end angle.
void drawCircularArrow(QPainter& p, double startDeg, double spanDeg) {
  const QRectF circle(3, 3, 10, 10);
  p.setBrush(Qt::NoBrush);
  p.drawArc(circle, static_cast<int>(startDeg * 16), static_cast<int>(spanDeg * 16));
  const double end = (startDeg + spanDeg) * std::numbers::pi / 180.0;
  const QPointF tip(8 + 5 * std::cos(end), 8 - 5 * std::sin(end));
  // The head points along the direction of travel (counter-clockwise).
  const QPointF along(-std::sin(end), -std::cos(end));
  const QPointF across(std::cos(end), -std::sin(end));
  QPolygonF head;
  head << tip + along * 3.0 << tip + across * 2.5 << tip - across * 2.5;
  p.setBrush(p.pen().color());
  p.drawPolygon(head);
}

}  // namespace

QPixmap trayPicture(TTrayPicture which) {
  QPixmap pixmap = transparentPixmap(16, 16);
  QPainter p(&pixmap);
  drawTrayPicture(p, which);
  return pixmap;
}

void drawTrayPicture(QPainter& p, TTrayPicture which) {
  p.setRenderHint(QPainter::Antialiasing);
  switch (which) {
    case TTrayPicture::ConnectionOk:
      drawFace(p, QColor(40, 190, 60), true);
      break;
    case TTrayPicture::ConnectionDown:
      drawFace(p, QColor(220, 40, 40), false);
      break;
    case TTrayPicture::NotRunning:
      drawSign(p);
      break;
  }
}

QPixmap refreshPicture() {
  QPixmap pixmap = transparentPixmap(16, 16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(20, 110, 40), 1.6));
  drawCircularArrow(p, 20, 140);
  drawCircularArrow(p, 200, 140);
  return pixmap;
}

QPixmap hostNamePicture() {
  QPixmap pixmap = transparentPixmap(16, 16);
  QPainter p(&pixmap);
  QFont font = p.font();
  font.setPixelSize(6);
  font.setBold(true);
  font.setStretch(QFont::Condensed);
  p.setFont(font);
  p.setPen(QColor(0, 0, 120));
  p.drawText(QRectF(0, 1, 16, 7), Qt::AlignCenter, QStringLiteral("HOST"));
  p.drawText(QRectF(0, 8, 16, 7), Qt::AlignCenter, QStringLiteral("NAME"));
  return pixmap;
}

QPixmap gliderPicture() {
  QPixmap pixmap = transparentPixmap(200, 150);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(100, 80);
  p.rotate(-8);  // a gentle climb

  const QColor white(250, 250, 250);
  const QPen outline(QColor(60, 60, 70), 1.2);
  p.setPen(outline);

  // Long slender wings, seen from slightly above.
  p.setBrush(white);
  QPainterPath wing;
  wing.moveTo(-4, -2);
  wing.lineTo(-94, -10);
  wing.quadTo(-97, -7, -94, -5);
  wing.lineTo(-4, 5);
  wing.lineTo(4, 5);
  wing.lineTo(94, -5);
  wing.quadTo(97, -7, 94, -10);
  wing.lineTo(4, -2);
  wing.closeSubpath();
  p.drawPath(wing);

  // Fuselage: a slim body tapering into the tail boom.
  QPainterPath body;
  body.moveTo(-8, 2);
  body.quadTo(-6, -12, 0, -14);
  body.quadTo(6, -12, 8, 2);
  body.lineTo(2, 52);
  body.lineTo(-2, 52);
  body.closeSubpath();
  p.drawPath(body);

  // Canopy.
  p.setBrush(QColor(120, 170, 220));
  p.drawEllipse(QRectF(-4, -12, 8, 11));

  // T-tail: the tail plane across the end of the boom.
  p.setBrush(white);
  p.drawRoundedRect(QRectF(-22, 48, 44, 6), 2, 2);

  // Red wing tips so the shape reads at a glance.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(210, 40, 40));
  p.drawRect(QRectF(-92, -9.5, 8, 4.2));
  p.drawRect(QRectF(84, -9.5, 8, 4.2));
  return pixmap;
}
