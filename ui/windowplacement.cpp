#include "ui/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void centreOnScreen(QWidget& window) {
  QScreen* screen = window.screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QSize size = window.size();
  window.setGeometry(QRect(QPoint(area.left() + (area.width() - size.width()) / 2,
                                  area.top() + (area.height() - size.height()) / 2),
                           size));
}
