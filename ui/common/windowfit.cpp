#include "ui/common/windowfit.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// The fixed sizes were drawn for 9-point text at 96 DPI: 12 pixels.
constexpr int DesignedTextPixels = 12;

int textPixels(const QWidget& widget) { return QFontInfo(widget.font()).pixelSize(); }

}  // namespace

bool textLargerThanDesigned(const QWidget& widget) {
  return textPixels(widget) > DesignedTextPixels;
}

QSize availableScreenSize(const QWidget& window) {
  QScreen* screen = window.screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry().size() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

QSize fittedSize(const QWidget& window, QSize designed) {
  const QSize wanted =
      textLargerThanDesigned(window) ? designed.expandedTo(window.minimumSizeHint()) : designed;
  return wanted.boundedTo(availableScreenSize(window));
}

void keepOnScreen(QWidget& window) {
  QScreen* screen = window.screen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QRect at = window.frameGeometry();  // move() places the frame
  const int x = std::max(area.left(), std::min(at.left(), area.right() + 1 - at.width()));
  const int y = std::max(area.top(), std::min(at.top(), area.bottom() + 1 - at.height()));
  if (x != at.left() || y != at.top()) window.move(x, y);
}

int scaledToText(const QWidget& widget, int designed) {
  const int pixels = textPixels(widget);
  if (pixels <= DesignedTextPixels) return designed;
  return static_cast<int>(std::lround(static_cast<double>(designed) * pixels / DesignedTextPixels));
}
