#include "programpictures.h"

#include <QPainter>
#include <QPainterPath>

#include <array>

#include <cmath>
#include <functional>
#include <numbers>

#include "ui/common/drawnicon.h"

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

// Draws a picture made on a 16 x 16 grid on a square of `side` pixels.
static void drawOnGrid(QPainter& p, int side, const std::function<void(QPainter&)>& draw) {
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(side / 16.0, side / 16.0);
  draw(p);
}

QPixmap trayPicture(TTrayPicture which) {
  QPixmap pixmap = transparentPixmap(16, 16);
  QPainter p(&pixmap);
  drawTrayPicture(p, which);
  return pixmap;
}

QIcon trayIcon(TTrayPicture which) {
  return drawnIcon([which](QPainter& p, int side) {
    drawOnGrid(p, side, [which](QPainter& grid) { drawTrayPicture(grid, which); });
  });
}

void drawTrayPicture(QPainter& p, TTrayPicture which) {
  p.setRenderHint(QPainter::Antialiasing);
  // A light rim around the shape: the dark outline alone disappears on a dark panel.
  p.setPen(QPen(QColor(255, 255, 255, 150), 1));
  p.setBrush(Qt::NoBrush);
  if (which == TTrayPicture::NotRunning)
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3.5, 3.5);
  else
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
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

static void drawRefresh(QPainter& p, int side) {
  drawOnGrid(p, side, [](QPainter& grid) {
    // A green light enough to show on a dark tool bar, dark enough on a light one.
    grid.setPen(QPen(QColor(30, 150, 60), 1.6));
    drawCircularArrow(grid, 20, 140);
    drawCircularArrow(grid, 200, 140);
  });
}

QPixmap refreshPicture() { return drawnPixmap(drawRefresh, 16); }

QIcon refreshIcon() { return drawnIcon(drawRefresh); }

namespace {

// A 3 x 5 pixel font for the eight letters of HOST NAME, rows from the top, "1" a set pixel.
using TGlyph = std::array<const char*, 5>;
TGlyph glyph(char letter) {
  switch (letter) {
    case 'H': return {"101", "101", "111", "101", "101"};
    case 'O': return {"111", "101", "101", "101", "111"};
    case 'S': return {"111", "100", "111", "001", "111"};
    case 'T': return {"111", "010", "010", "010", "010"};
    case 'N': return {"101", "111", "111", "111", "101"};
    case 'A': return {"010", "101", "111", "101", "101"};
    case 'M': return {"101", "111", "101", "101", "101"};
    default: return {"111", "100", "110", "100", "111"};  // E
  }
}

// Two words of four letters: 15 x 11 font pixels, each scaled with the picture (a 24-pixel
// picture makes them alternately one and two pixels wide) and rounded to whole pixels, so no edge
// is blurred.
void drawHostName(QPainter& p, int side) {
  const double unit = side / 16.0;
  const auto at = [unit](double offset, int cell) {
    return static_cast<int>(std::lround(offset + cell * unit));
  };
  const double left = (side - 15 * unit) / 2;
  const double top = (side - 11 * unit) / 2;
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(QRect(0, 0, side, side), QColor(250, 246, 222));
  const QColor ink(0, 0, 110);
  const char* const words[] = {"HOST", "NAME"};
  for (int line = 0; line < 2; ++line)
    for (int i = 0; i < 4; ++i) {
      const TGlyph rows = glyph(words[line][i]);
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
          if (rows[static_cast<std::size_t>(y)][x] == '1')
            p.fillRect(QRect(QPoint(at(left, i * 4 + x), at(top, line * 6 + y)),
                             QPoint(at(left, i * 4 + x + 1) - 1, at(top, line * 6 + y + 1) - 1)),
                       ink);
    }
}

}  // namespace

QPixmap hostNamePicture() { return drawnPixmap(drawHostName, 16); }

QIcon hostNameIcon() { return drawnIcon(drawHostName); }

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
