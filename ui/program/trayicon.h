#pragma once
// The main window's icon in the system tray: one of three pictures (connection OK, down, not
// running) with the hint "Hi! I'm tolvo.", hiding the main window there when it is minimised and
// bringing it back on a double-click.
//
// A right-click menu offers Show, Overview, Start/Stop pinging and Quit (the main window installs
// what each does; Overview stays hidden until it has a handler). The tooltip is the hint, then the
// connection state the picture shows and the names of the hosts that alerts count as down,
// shortened so the whole text stays within TooltipChars.
//
// Where the desktop has no system tray (a bare X server, the offscreen platform), minimising leaves
// the window on the task bar: hiding it there would leave the user no way to bring it back. The
// tray often starts after the program (an autostart entry runs before the panel), and a panel may
// restart: the tray's presence is looked at every few seconds, and the icon is put up afresh each
// time a tray appears.

#include <QIcon>
#include <QObject>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class QWidget;

class TTrayIcon : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* Hint = "Hi! I'm tolvo.";

  // How often the tray's presence is looked at (one cheap query of the display server).
  static constexpr std::chrono::milliseconds TrayLookInterval{2000};

  // Watches `mainForm` for minimising; the pictures are the program's three tray pictures.
  // `trayProbe` answers whether a system tray exists now (Qt's answer unless a test gives one).
  explicit TTrayIcon(QWidget* mainForm, std::function<bool()> trayProbe = {});
  ~TTrayIcon() override;

  int IconIndex() const { return iconIndex; }
  // An index past the last picture shows the last one, a negative one the first.
  void setIconIndex(int index);
  // The picture index actually shown.
  int shownPicture() const { return shownIndex; }
  QIcon currentIcon() const;

  bool MinimizeToTray = true;
  // Whether a system tray exists, as last looked at; settable for tests.
  bool trayAvailable;
  // For a program with a once-a-second tick of its own: called from that tick, it looks for the
  // tray every TrayLookInterval in place of the timer, which stops (one wake-up fewer).
  void followStatusTick();
  // Looks at the tray now: when one has appeared since the last look, the icon is put up there.
  void lookForTray();
  // Called on a double-click of the icon (the main window restores itself there).
  std::function<void()> OnDblClick;

  // The menu's handlers; IsRunning names the Start/Stop entry when the menu opens.
  std::function<void()> OnShow;
  std::function<void()> OnOverview;
  std::function<void()> OnStartStop;
  std::function<void()> OnQuit;
  std::function<bool()> IsRunning;
  QMenu* contextMenu() const { return menu; }
  // Updates the entries' texts and visibility (done each time the menu opens).
  void updateMenu();

  static constexpr int TooltipChars = 127;
  // The names of the hosts that are down, for the tooltip.
  void setDownHosts(const std::vector<std::string>& names);
  // The line under the hint that tells the state; empty for the one that goes with the picture.
  void setStateLine(const QString& line);
  QString toolTip() const;

  void hideMainForm();
  void showMainForm();

  QSystemTrayIcon* systemTrayIcon() const { return icon; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createMenu();
  void updateToolTip();

  QWidget* mainForm;
  std::function<bool()> trayProbe;
  QSystemTrayIcon* icon;
  QTimer* trayLook;
  QMenu* menu = nullptr;
  QAction* actShow = nullptr;
  QAction* actOverview = nullptr;
  QAction* actStartStop = nullptr;
  QAction* actQuit = nullptr;
  std::vector<std::string> downHosts;
  QString stateLine;
  std::vector<QIcon> pictures;
  int iconIndex = 0;
  int shownIndex = 0;
  bool iconSet = false;  // a picture has been handed to the tray
  int ticksSinceLook = 0;  // status ticks since the tray was last looked for
};
