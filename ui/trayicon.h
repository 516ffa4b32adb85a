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
// the window on the task bar: hiding it there would leave the user no way to bring it back. Qt adds
// the icon by itself once a tray appears later.

#include <QIcon>
#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

class TTrayIcon : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* Hint = "Hi! I'm tolvo.";

  // Watches `mainForm` for minimising; the pictures are the program's three tray pictures.
  explicit TTrayIcon(QWidget* mainForm);
  ~TTrayIcon() override;

  int IconIndex() const { return iconIndex; }
  // An index past the last picture shows the last one, a negative one the first.
  void setIconIndex(int index);
  // The picture index actually shown.
  int shownPicture() const { return shownIndex; }
  QIcon currentIcon() const;

  bool MinimizeToTray = true;
  // Whether a system tray exists; read from Qt at creation, settable for tests.
  bool trayAvailable;
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
  QSystemTrayIcon* icon;
  QMenu* menu = nullptr;
  QAction* actShow = nullptr;
  QAction* actOverview = nullptr;
  QAction* actStartStop = nullptr;
  QAction* actQuit = nullptr;
  std::vector<std::string> downHosts;
  std::vector<QIcon> pictures;
  int iconIndex = 0;
  int shownIndex = 0;
};
