#include "ui/common/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "config/settings.h"

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

void bringToFront(QWidget& window) {
  window.show();
  // show() leaves a minimised window minimised; only a change of state brings it back.
  if (window.isMinimized())
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  window.raise();
  window.activateWindow();
}

void restoreMainWindowPlace(QWidget& window) {
  const QByteArray saved = QByteArray::fromBase64(QByteArray::fromStdString(
      extraSetting(MainWindowSection, MainWindowGeometryKey).value_or("")));
  if (saved.isEmpty()) return;
  const QSize fixed = window.size();
  // restoreGeometry moves a place that lies off every screen back onto one.
  if (window.restoreGeometry(saved)) window.resize(fixed);
}

void storeMainWindowPlace(const QWidget& window) {
  setExtraSetting(MainWindowSection, MainWindowGeometryKey,
                  window.saveGeometry().toBase64().toStdString());
}
