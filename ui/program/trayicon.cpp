#include "trayicon.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
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
    pictures.emplace_back(trayIcon(which));
  createMenu();
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

void TTrayIcon::followStatusTick() {
  trayLook->stop();
  if (++ticksSinceLook * 1000 < TrayLookInterval.count()) return;
  ticksSinceLook = 0;
  lookForTray();
}

TTrayIcon::~TTrayIcon() {
  icon->hide();
  delete menu;
}

void TTrayIcon::createMenu() {
  menu = new QMenu;  // a top-level widget: deleted with the icon
  auto add = [this](const char* text, std::function<void()> TTrayIcon::*handler) {
    QAction* action = menu->addAction(QString::fromLatin1(text));
    connect(action, &QAction::triggered, this, [this, handler] {
      if (this->*handler) (this->*handler)();
    });
    return action;
  };
  actShow = add("Show", &TTrayIcon::OnShow);
  actOverview = add("Overview", &TTrayIcon::OnOverview);
  actStartStop = add("Start pinging", &TTrayIcon::OnStartStop);
  menu->addSeparator();
  actQuit = add("Quit", &TTrayIcon::OnQuit);
  connect(menu, &QMenu::aboutToShow, this, [this] { updateMenu(); });
  updateMenu();
  icon->setContextMenu(menu);
}

void TTrayIcon::updateMenu() {
  actOverview->setVisible(static_cast<bool>(OnOverview));
  actStartStop->setText(IsRunning && IsRunning() ? QStringLiteral("Stop pinging")
                                                 : QStringLiteral("Start pinging"));
}

void TTrayIcon::setDownHosts(const std::vector<std::string>& names) {
  downHosts = names;
  updateToolTip();
}

void TTrayIcon::setStateLine(const QString& line) {
  if (line == stateLine) return;
  stateLine = line;
  updateToolTip();
}

QString TTrayIcon::toolTip() const { return icon->toolTip(); }

void TTrayIcon::updateToolTip() {
  static constexpr const char* Connection[] = {"Connection: up", "Connection: down",
                                               "Pinging is stopped"};
  QString text = QString::fromLatin1(Hint) + u'\n' +
                 (stateLine.isEmpty() ? QString::fromLatin1(Connection[shownIndex]) : stateLine);
  if (!downHosts.empty()) {
    QString line = QStringLiteral("\nDown: ");
    const QString more = QStringLiteral(", …");
    for (std::size_t i = 0; i < downHosts.size(); ++i) {
      const QString name = QString::fromStdString(downHosts[i]);
      const QString next = line + (i ? QStringLiteral(", ") : QString()) + name;
      const bool last = i + 1 == downHosts.size();
      if (text.size() + next.size() + (last ? 0 : more.size()) <= TooltipChars) {
        line = next;
        continue;
      }
      // What fits of the rest: the first name cut short, or an ellipsis after the names so far.
      if (i == 0) line += name.left(std::max<qsizetype>(0, TooltipChars - text.size() - line.size() - 1)) + u'…';
      else line += more;
      break;
    }
    text += line;
  }
  // The status tick sets the picture and the text every second; the tray (often another process,
  // over D-Bus) hears only of a change.
  if (text.size() > TooltipChars) text.truncate(TooltipChars);
  if (text != icon->toolTip()) icon->setToolTip(text);
}

void TTrayIcon::setIconIndex(int index) {
  iconIndex = index;
  const int shown = std::clamp(index, 0, static_cast<int>(pictures.size()) - 1);
  if (shown == shownIndex && iconSet) return;
  shownIndex = shown;
  iconSet = true;
  icon->setIcon(pictures[shownIndex]);
  updateToolTip();
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
