#include "trayicon.h"

#include <QEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <algorithm>

#include "programpictures.h"

TTrayIcon::TTrayIcon(QWidget* form, std::function<bool()> probe)
    : QObject(form),
      mainForm(form),
      trayProbe(probe ? std::move(probe) : [] { return QSystemTrayIcon::isSystemTrayAvailable(); }),
      icon(new QSystemTrayIcon(this)),
      trayLook(new QTimer(this)) {
  trayAvailable = trayProbe();
  for (auto which : {TTrayPicture::ConnectionOk, TTrayPicture::ConnectionDown,
                     TTrayPicture::NotRunning})
    pictures.emplace_back(trayPicture(which));
  icon->setToolTip(QString::fromLatin1(Hint));
  setIconIndex(0);
  connect(icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::DoubleClick && OnDblClick) OnDblClick();
  });
  mainForm->installEventFilter(this);
  // Put up for the whole run once a tray is there: now, or when lookForTray sees one appear.
  if (trayAvailable) icon->show();
  trayLook->setInterval(TrayLookInterval);
  connect(trayLook, &QTimer::timeout, this, &TTrayIcon::lookForTray);
  trayLook->start();
}

void TTrayIcon::lookForTray() {
  const bool nowAvailable = trayProbe();
  const bool appeared = nowAvailable && !trayAvailable;
  trayAvailable = nowAvailable;
  if (!appeared) return;
  // Hiding and showing again makes Qt look for the tray afresh and dock the icon there (a tray
  // that restarts may not take back an icon that Qt still counts as docked).
  icon->hide();
  icon->show();
}

TTrayIcon::~TTrayIcon() { icon->hide(); }

void TTrayIcon::setIconIndex(int index) {
  iconIndex = index;
  shownIndex = std::clamp(index, 0, static_cast<int>(pictures.size()) - 1);
  icon->setIcon(pictures[shownIndex]);
}

QIcon TTrayIcon::currentIcon() const { return pictures[shownIndex]; }

void TTrayIcon::hideMainForm() { mainForm->hide(); }

void TTrayIcon::showMainForm() {
  mainForm->show();
  mainForm->setWindowState((mainForm->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  mainForm->raise();
  mainForm->activateWindow();
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (watched == mainForm && event->type() == QEvent::WindowStateChange &&
      mainForm->isMinimized() && MinimizeToTray && trayAvailable) {
    // Hiding inside the state change itself confuses some window managers: do it right after.
    QTimer::singleShot(0, this, [this] {
      if (mainForm->isMinimized()) hideMainForm();
    });
    if (!icon->isVisible()) icon->show();
  }
  return QObject::eventFilter(watched, event);
}
