#include "ui/common/drawnicon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace {

class TDrawnIconEngine : public QIconEngine {
 public:
  explicit TDrawnIconEngine(TPictureDrawing draw) : drawing(std::move(draw)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, ratio));
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }

  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
    const int side = static_cast<int>(std::lround(std::min(size.width(), size.height()) * scale));
    QPixmap picture = drawnPixmap(drawing, std::max(side, 1));
    if (mode == QIcon::Disabled) {
      QPixmap faded(picture.size());
      faded.fill(Qt::transparent);
      QPainter p(&faded);
      p.setOpacity(0.4);
      p.drawPixmap(0, 0, picture);
      p.end();
      picture = faded;
    }
    picture.setDevicePixelRatio(scale);
    return picture;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    return {side, side};
  }

  QIconEngine* clone() const override { return new TDrawnIconEngine(drawing); }

 private:
  TPictureDrawing drawing;
};

}  // namespace

QIcon drawnIcon(TPictureDrawing drawing) { return QIcon(new TDrawnIconEngine(std::move(drawing))); }

QPixmap drawnPixmap(const TPictureDrawing& drawing, int side) {
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  drawing(p, side);
  return pixmap;
}
