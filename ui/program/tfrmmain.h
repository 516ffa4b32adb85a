#pragma once
// The main window: the running speed, Start/Stop with the run status, the status bar, the tray icon
// and the menus that open the other windows. It creates the program's one host list when it is
// created and destroys it last; closing it ends the program after an orderly shutdown (time stamps,
// pinging stopped, hosts file and settings saved).

#include <QMainWindow>

#include <memory>

#include "core/threadping.h"
#include "base/tolvotime.h"
#include "mainactivation.h"
#include "runcontrol.h"

class QAction;
class QButtonGroup;
class QDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;
class TAlertsWiring;
class TPathWiring;
class THostsFileFollower;
class TfrmAbout;
class TfrmConfigEdit;
class THistoryRecorder;
class TfrmMaintainHosts;
class TfrmStandardView;
class TEventLogSubscriber;
class TMetricsService;
class TTolvoHosts;
class TTolvoLogger;
class TTrayIcon;
class TViewWindows;
class TTolvoHost;

class TfrmMain : public QMainWindow {
  Q_OBJECT
 public:
  // The clock and the echo service reach the host list and its hosts; the program passes the
  // defaults (system time, real ICMP echoes), tests their own.
  explicit TfrmMain(const TClock& clock = systemClock(), TEchoService echoService = {},
                    QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The windows the menus open, created after this one.
  void attachWindows(TfrmStandardView* standardView, TfrmMaintainHosts* maintainHosts,
                     TfrmConfigEdit* configEdit, TfrmAbout* about);

  TTolvoHosts* hostList() const { return hosts.get(); }
  TTolvoLogger* eventLog() const { return logger.get(); }
  TAlertsWiring* alertsWiring() const { return alerts.get(); }
  TRunControl& runControl() { return runCtl; }
  TfrmStandardView* standardView() const { return frmStandardView; }
  TfrmMaintainHosts* maintainHostsDialog() const { return frmMaintainHosts; }
  TfrmConfigEdit* configEditDialog() const { return frmConfigEdit; }
  TfrmAbout* aboutBox() const { return frmAbout; }
  // The overview, history, outages and preferences windows.
  TViewWindows& viewWindows() const { return *views; }
  TMainActivation& mainActivation() { return activation; }
  // The orderly shutdown has run.
  bool isClosed() const { return closing; }

  // The selected running speed, -1 when none is selected.
  int speedIndex() const;
  // Selects a running speed as the program does at start-up: a change runs rgSpeedClick, a value
  // above 3 selects "Slow", a negative one selects nothing.
  void setSpeedIndex(int index);

  // Menu and tray handlers.
  void Maintainhosts1Click();
  void Config1Click();
  void Quit1Click();
  void Standard1Click();
  void Gotohomepage1Click();
  void About1Click();
  void Overview1Click();
  void Outages1Click();
  void Timeline1Click();
  void Preferences1Click();
  // Opens "Edit host" on one host, or on the settings they share for several.
  void editHosts(const std::vector<TTolvoHost*>& chosen);
  // Takes a change another program made to the hosts file, as the file's follower does
  // ("reload-hosts" on the instance channel).
  void reloadHostsFile();
  void TrayIcon1DblClick();
  void btnStartStopClick();

  // Pinging is paused while `dialog` is open and afterwards returns to the state it had.
  void runPausedModal(QDialog& dialog, bool refresh);

  QGroupBox* rgSpeed;
  QButtonGroup* rgSpeedButtons;
  int checkedSpeed = 1;  // rgSpeedButtons' checked id as it last changed, -1 for none
  QFrame* Bevel1;
  QLabel* lblStatus;
  QPushButton* btnStartStop;
  QLabel* statusPanel0;
  QLabel* statusPanel1;
  // One line under the controls while pinging is not possible: the remedy (the whole cause as tip).
  QLabel* lblCannotPing;
  QTimer* Timer1;
  QTimer* tmrPingSpeed;
  TTrayIcon* TrayIcon1;
  QAction* Maintainhosts1;
  QAction* Config1;
  QAction* Quit1;
  QAction* Standard1;
  QAction* Gotohomepage1;
  QAction* About1;
  QAction* Overview1;
  QAction* Outages1;
  QAction* Timeline1;
  QAction* Preferences1;

 signals:
  // The orderly shutdown is done: the program may end its event loop.
  void closed();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void createControls();
  QWidget* createSpeedGroup();
  QWidget* createStatusFrame();
  void createStatusBar();
  void createActions();
  void createMenus();
  void createTimers();
  void pingSpeedTick();
  void fixWindowSize();
  void showCannotPingNote(const std::string& cause);

  void FormCreate(TEchoService echoService);
  void FormActivate();
  void FormCloseQuery();
  void FormClose();

  const TClock& clock;
  TRunControl runCtl;
  std::unique_ptr<TTolvoHosts> hosts;
  std::unique_ptr<TTolvoLogger> logger;
  std::unique_ptr<TEventLogSubscriber> logSubscriber;
  std::unique_ptr<THistoryRecorder> historyRecorder;
  std::unique_ptr<TViewWindows> views;
  std::unique_ptr<TAlertsWiring> alerts;
  std::unique_ptr<TPathWiring> paths;  // path rounds of the traced hosts
  std::unique_ptr<TMetricsService> metrics;  // only when [metrics] enabled=1
  std::unique_ptr<THostsFileFollower> hostsFollower;  // takes changes sorvelo --add makes
  TMainActivation activation;
  TfrmStandardView* frmStandardView = nullptr;
  TfrmMaintainHosts* frmMaintainHosts = nullptr;
  TfrmConfigEdit* frmConfigEdit = nullptr;
  TfrmAbout* frmAbout = nullptr;
  bool activating = false;
  // Whether the next activation counts: the user came back from another window of the program,
  // not from a message box, a modal dialog or another application.
  bool activationCounts = true;
  bool closing = false;
  bool shownOnce = false;
};
