#include "tfrmmain.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

#include "ui/preferences/alertswiring.h"
#include "pathwiring.h"
#include "labelbox.h"
#include "metrics/metricsregistry.h"
#include "metrics/pathmetrics.h"
#include "pathwatch/pathtracer.h"
#include "config/settings.h"
#include "core/pingingsettings.h"
#include "core/tolvohosts.h"
#include "history/historyrecorder.h"
#include "history/historysettings.h"
#include "base/usermessages.h"
#include "metrics/metricsservice.h"
#include "storage/eventlogsubscriber.h"
#include "storage/hostsfilefollower.h"
#include "storage/tolvologger.h"
#include "ui/standard/frmconfigedit.h"
#include "ui/standard/edithostdialog.h"
#include "ui/standard/edithostsdialog.h"
#include "ui/standard/frmmaintainhosts.h"
#include "ui/common/siteaddresses.h"
#include "ui/standard/tfrmabout.h"
#include "ui/standard/tfrmstandardview.h"
#include "trayicon.h"
#include "usermessagebox.h"
#include "ui/views/overviewsettings.h"
#include "viewwindows.h"
#include "ui/common/windowplacement.h"
#include "ui/common/windowfit.h"

namespace {

constexpr int ClientWidth = 325;
constexpr int ClientHeight = 118;
constexpr const char* SpeedHint =
    "Define here how often should program check wheter the hosts should be pinged";

}  // namespace

TfrmMain::TfrmMain(const TClock& clockToUse, TEchoService echoService, QWidget* parent)
    : QMainWindow(parent), clock(clockToUse), runCtl(clockToUse) {
  // A fixed single border: minimise and close, no maximise, no resizing.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowTitle(QStringLiteral("Tolvo"));
  createControls();
  createActions();
  createMenus();
  createTimers();
  fixWindowSize();
  FormCreate(std::move(echoService));
}

TfrmMain::~TfrmMain() {
  // FormDestroy: the host list goes last, with all hosts and their workers.
  Timer1->stop();
  tmrPingSpeed->stop();
  runCtl.setHostList(nullptr);
  runCtl.setLogger(nullptr);
  paths.reset();  // its listener lives in the alert center
  alerts.reset();
  views.reset();
  metrics.reset();
  logSubscriber.reset();
  historyRecorder.reset();
  hosts.reset();
  logger.reset();
}

void TfrmMain::attachWindows(TfrmStandardView* standardView, TfrmMaintainHosts* maintainHosts,
                             TfrmConfigEdit* configEdit, TfrmAbout* about) {
  frmStandardView = standardView;
  frmMaintainHosts = maintainHosts;
  frmConfigEdit = configEdit;
  frmAbout = about;
}

void TfrmMain::createControls() {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(4, 2, 4, 2);
  column->setSpacing(2);
  auto* row = new QHBoxLayout;
  row->setSpacing(4);
  row->addWidget(createSpeedGroup());
  row->addWidget(createStatusFrame(), 1);
  column->addLayout(row, 1);
  lblCannotPing = new QLabel(central);
  lblCannotPing->setObjectName(QStringLiteral("lblCannotPing"));
  lblCannotPing->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  lblCannotPing->hide();
  column->addWidget(lblCannotPing);
  setCentralWidget(central);
  createStatusBar();
  TrayIcon1 = new TTrayIcon(this);
  TrayIcon1->OnDblClick = [this] { TrayIcon1DblClick(); };
  TrayIcon1->OnShow = [this] { TrayIcon1DblClick(); };
  TrayIcon1->OnStartStop = [this] { btnStartStopClick(); };
  TrayIcon1->OnQuit = [this] { Quit1Click(); };
  TrayIcon1->IsRunning = [this] { return runCtl.running(); };
}

QWidget* TfrmMain::createSpeedGroup() {
  rgSpeed = new QGroupBox(QStringLiteral("Running speed"));
  rgSpeed->setObjectName(QStringLiteral("rgSpeed"));
  rgSpeed->setToolTip(QString::fromLatin1(SpeedHint));
  rgSpeedButtons = new QButtonGroup(rgSpeed);
  auto* column = new QVBoxLayout(rgSpeed);
  column->setContentsMargins(6, 0, 6, 0);
  column->setSpacing(0);
  int id = 0;
  for (const char* item : {"Awesome!", "Fast", "Normal", "Slow"}) {
    auto* button = new QRadioButton(QString::fromLatin1(item), rgSpeed);
    rgSpeedButtons->addButton(button, id++);
    column->addWidget(button);
  }
  rgSpeedButtons->button(1)->setChecked(true);  // "Fast" at design
  // Every change of the selection counts as the user's choice, also when the program makes it.
  // The selection is kept as it changes, so the scheduler tick reads no widget.
  connect(rgSpeedButtons, &QButtonGroup::idToggled, this, [this](int index, bool checked) {
    if (checked) checkedSpeed = index;
    else if (checkedSpeed == index) checkedSpeed = -1;
    if (checked) TRunControl::rgSpeedClick(index);
  });
  return rgSpeed;
}

QWidget* TfrmMain::createStatusFrame() {
  Bevel1 = new QFrame;
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  lblStatus = new QLabel(Bevel1);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lblStatus->setWordWrap(true);
  lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  btnStartStop = new QPushButton(QStringLiteral("Start"), Bevel1);
  btnStartStop->setObjectName(QStringLiteral("btnStartStop"));
  connect(btnStartStop, &QPushButton::clicked, this, [this] { btnStartStopClick(); });
  auto* column = new QVBoxLayout(Bevel1);
  column->setContentsMargins(6, 6, 6, 6);
  // The pings sent change every second: in a box of its own the label's new text is painted
  // without laying the window out again.
  column->addWidget(new TLabelBox(lblStatus, Bevel1), 1);
  column->addWidget(btnStartStop, 0, Qt::AlignRight | Qt::AlignBottom);
  return Bevel1;
}

void TfrmMain::createStatusBar() {
  statusPanel0 = new QLabel;
  statusPanel0->setFixedWidth(scaledToText(*this, 100));
  statusPanel1 = new QLabel;
  // With larger text the panel keeps room for the connection text shown while stopped.
  const QString longest = QStringLiteral("Connection status unknown.");
  statusPanel1->setMinimumWidth(textLargerThanDesigned(*this)
                                    ? statusPanel1->fontMetrics().horizontalAdvance(longest) + 8
                                    : 50);
  statusBar()->setObjectName(QStringLiteral("StatusBar1"));
  statusBar()->setSizeGripEnabled(false);
  // The pings a second change every ten seconds; boxed as the status text is.
  statusBar()->addWidget(new TLabelBox(statusPanel0));
  statusBar()->addWidget(new TLabelBox(statusPanel1), 1);
}

void TfrmMain::createActions() {
  auto action = [this](const char* text, const char* name, void (TfrmMain::*handler)()) {
    auto* a = new QAction(QString::fromLatin1(text), this);
    a->setObjectName(QString::fromLatin1(name));
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return a;
  };
  Maintainhosts1 = action("Maintain hosts", "Maintainhosts1", &TfrmMain::Maintainhosts1Click);
  Config1 = action("Config", "Config1", &TfrmMain::Config1Click);
  Quit1 = action("Quit", "Quit1", &TfrmMain::Quit1Click);
  Standard1 = action("Standard", "Standard1", &TfrmMain::Standard1Click);
  Gotohomepage1 = action("Go to homepage", "Gotohomepage1", &TfrmMain::Gotohomepage1Click);
  About1 = action("About", "About1", &TfrmMain::About1Click);
  Overview1 = action("Overview", "Overview1", &TfrmMain::Overview1Click);
  Outages1 = action("Outages", "Outages1", &TfrmMain::Outages1Click);
  Timeline1 = action("Timeline", "Timeline1", &TfrmMain::Timeline1Click);
  Preferences1 = action("Preferences...", "Preferences1", &TfrmMain::Preferences1Click);
}

void TfrmMain::createMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  file->addAction(Maintainhosts1);
  file->addSeparator();
  file->addAction(Config1);
  file->addAction(Preferences1);
  file->addSeparator();
  file->addAction(Quit1);
  QMenu* viewsMenu = menuBar()->addMenu(QStringLiteral("Views"));
  viewsMenu->addAction(Standard1);
  viewsMenu->addAction(Overview1);
  viewsMenu->addAction(Outages1);
  viewsMenu->addAction(Timeline1);
  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  help->addAction(Gotohomepage1);
  help->addAction(About1);
}

void TfrmMain::createTimers() {
  Timer1 = new QTimer(this);
  Timer1->setTimerType(Qt::PreciseTimer);  // 20 ms at "Awesome!" should be 20 ms
  Timer1->setInterval(100);
  connect(Timer1, &QTimer::timeout, this, [this] { runCtl.Timer1Timer(); });
  tmrPingSpeed = new QTimer(this);
  // Precise, so that it keeps step with Timer1 and the scheduler tick can take its turn.
  tmrPingSpeed->setTimerType(Qt::PreciseTimer);
  tmrPingSpeed->setInterval(1000);
  connect(tmrPingSpeed, &QTimer::timeout, this, [this] {
    pingSpeedTick();
    runCtl.statusTickFired();
  });
  runCtl.setView({lblStatus, btnStartStop, statusPanel0, statusPanel1, TrayIcon1, Timer1,
                  [this] { return speedIndex(); },
                  [this](const std::string& cause) { showCannotPingNote(cause); }, tmrPingSpeed,
                  [this] { pingSpeedTick(); }});
  Timer1->start();
  tmrPingSpeed->start();
}

// The once-a-second status tick: the run control's texts and rate figure, the run state for the
// results database and the timeline (Stop or a pause ends a run there, so outages do not reach
// across it), the path rounds that are due, and a look for a tray that has come.
void TfrmMain::pingSpeedTick() {
  runCtl.tmrPingSpeedTimer();
  if (historyRecorder) historyRecorder->setMonitoring(runCtl.running());
  if (views) views->setMonitoring(runCtl.running());
  if (paths) paths->checkSchedule();
  TrayIcon1->followStatusTick();
}

void TfrmMain::fixWindowSize() {
  // The client area (below the menu bar) is 325 x 118, the status bar included. The menu bar gets
  // the height it needs at that width, which some styles make larger than its size hint.
  const int menuHeight =
      std::max(menuBar()->sizeHint().height(), menuBar()->heightForWidth(ClientWidth));
  const int note = lblCannotPing->isVisibleTo(this) ? lblCannotPing->sizeHint().height() + 2 : 0;
  QSize designed(ClientWidth, ClientHeight + menuHeight + note);
  // The status bar lays its panels out only when shown, so its need is added up here.
  if (textLargerThanDesigned(*this))
    designed.setWidth(std::max(designed.width(), statusPanel0->minimumWidth() +
                                                     statusPanel1->minimumWidth() + 4 * 6));
  setFixedSize(fittedSize(*this, designed));
  if (shownOnce) return;  // placed once, at creation
  if (auto* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

// The window grows by the note's line while it is shown. The line holds the remedy, which the
// cause names last (the last command it offers, or else its last sentence); the tip holds the
// whole cause.
void TfrmMain::showCannotPingNote(const std::string& cause) {
  const bool show = !cause.empty();
  if (show) {
    const QString full = QString::fromLocal8Bit(cause);
    const qsizetype command = full.lastIndexOf(QStringLiteral("with: "));
    const qsizetype lastSentence = full.lastIndexOf(QStringLiteral(". "));
    const QString line =
        command >= 0 ? QStringLiteral("Cannot ping; allow it with: ") + full.mid(command + 6)
                     : QStringLiteral("Cannot ping: ") +
                           (lastSentence < 0 ? full : full.mid(lastSentence + 2));
    lblCannotPing->setToolTip(full);
    lblCannotPing->setText(
        lblCannotPing->fontMetrics().elidedText(line, Qt::ElideRight, ClientWidth - 8));
  }
  if (show == lblCannotPing->isVisibleTo(this)) return;
  lblCannotPing->setVisible(show);
  fixWindowSize();
}

int TfrmMain::speedIndex() const { return checkedSpeed; }

void TfrmMain::setSpeedIndex(int index) {
  if (index < 0) {
    // No entry selected: an exclusive group cannot uncheck its last button itself.
    rgSpeedButtons->setExclusive(false);
    for (QAbstractButton* button : rgSpeedButtons->buttons()) button->setChecked(false);
    rgSpeedButtons->setExclusive(true);
    return;
  }
  const int last = static_cast<int>(rgSpeedButtons->buttons().size()) - 1;
  if (index > last) index = last;
  if (index != speedIndex()) rgSpeedButtons->button(index)->setChecked(true);
}

void TfrmMain::FormCreate(TEchoService echoService) {
  runCtl.startUp();
  hosts = std::make_unique<TTolvoHosts>(clock);
  hosts->echoService = std::move(echoService);
  // The event log subscribes first, so its entries keep the order in which the engine reports.
  logger = std::make_unique<TTolvoLogger>(clock);
  logSubscriber = std::make_unique<TEventLogSubscriber>(*hosts, *logger);
  // The results database records from the first host loaded; its thread starts once the settings
  // name the hosts file's folder.
  historyRecorder = std::make_unique<THistoryRecorder>(hosts->events());
  views = std::make_unique<TViewWindows>(
      *hosts, [this](const std::vector<TTolvoHost*>& chosen) { editHosts(chosen); });
  alerts = std::make_unique<TAlertsWiring>(*hosts, *TrayIcon1, runCtl);
  alerts->attachViews(*views);
  paths = std::make_unique<TPathWiring>(*hosts, alerts->center(), runCtl);
  runCtl.setHostList(hosts.get());
  runCtl.setLogger(logger.get());
  // A failure while settings or hosts are read ends the creation step: the rest is skipped and the
  // program runs on with what was loaded.
  try {
    loadSettings();
    restoreMainWindowPlace(*this);
    hosts->setPreferIpv6(pingingFlag(
        PreferIpv6Setting, extraSetting(PreferIpv6Setting.section, PreferIpv6Setting.name)));
    historyRecorder->setLengths(historyLengths());
    historyRecorder->start(historyFilePath(settings.hosts_file_name));
    views->setDatabasePath(historyFilePath(settings.hosts_file_name));
    // The metrics endpoint, off unless the user switched it on.
    metrics = startMetrics(*hosts, false);
    if (metrics && !metrics->listening()) showUserMessage(metrics->problem());
    setSpeedIndex(settings.ping_speed);
    if (overviewOpenAtStart()) QTimer::singleShot(0, this, [this] { Overview1Click(); });
    hosts->loadFromFile(settings.hosts_file_name);
    paths->roundDone = [this](const TTracedRound& traced, std::uint64_t changesTotal) {
      if (metrics) feedPathMetrics(*metrics->registry(), traced, changesTotal);
    };
    paths->start(historyFilePath(settings.hosts_file_name));
    hostsFollower = std::make_unique<THostsFileFollower>(*hosts, settings.hosts_file_name);
    alerts->reloadSettings(true);
    logger->logProgram(true);
    runCtl.setRunning(false);
    runCtl.pingRateText.clear();
    runCtl.refreshStatus();
    if (settings.auto_startup) btnStartStopClick();
  } catch (const std::exception& e) {
    TUserMessageBox::showErrorBox(e.what());
  }
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  runCtl.refreshStatus();
  // The first activation asks the set-up questions: ask for it rather than wait for a click, in
  // case the window manager does not hand a new window the focus by itself.
  if (!shownOnce) {
    shownOnce = true;
    activateWindow();
  }
}

bool TfrmMain::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate && activationCounts && !activating && !closing) {
    // Run after the activation has been delivered, so the boxes it may open stack cleanly.
    QMetaObject::invokeMethod(this, &TfrmMain::FormActivate, Qt::QueuedConnection);
  } else if (e->type() == QEvent::WindowDeactivate) {
    // Qt has already made the new window active: only a return from another window of the
    // program is an activation; message boxes, modal dialogs and other programs are not.
    QWidget* next = QApplication::activeWindow();
    activationCounts = next && next != this && !next->isModal() &&
                       !QApplication::activeModalWidget();
  }
  return QMainWindow::event(e);
}

void TfrmMain::FormActivate() {
  if (activating || closing) return;
  activating = true;
  // The caption is exactly "Sorvelo": no application display name is set, since Qt appends one to
  // every caption on X11. The application title heads the plain message boxes (usermessagebox.h).
  setWindowTitle(QStringLiteral("Sorvelo"));
  activation.activate(this, {[this] { btnStartStopClick(); }, [this] { close(); }});
  activating = false;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  event->accept();
  if (closing) return;
  FormCloseQuery();
  closing = true;
  FormClose();
  emit closed();
}

void TfrmMain::FormCloseQuery() { logger->logTimestamp(runCtl.startTimeText); }

void TfrmMain::FormClose() {
  logger->logTimestamp(runCtl.startTimeText);
  runCtl.setRunning(false);
  logger->logProgram(false);
  hosts->saveToFile(settings.hosts_file_name);
  views->closeHistoryDatabases();
  alerts->closeHistoryDatabase();
  paths->stop();
  historyRecorder->stop();
  views->storeGeometry();
  storeMainWindowPlace(*this);
  try {
    if (settings.firsttime != 1) saveSettings();
  } catch (const std::exception& e) {
    TUserMessageBox::showErrorBox(e.what());
  }
}

void TfrmMain::runPausedModal(QDialog& dialog, bool refresh) {
  const bool wasRunning = runCtl.running();
  runCtl.setRunning(false);
  if (refresh) runCtl.refreshStatus();
  dialog.exec();
  // A shutdown while the dialog was open (a signal, the session ending) must not restart pinging.
  if (!closing) runCtl.setRunning(wasRunning);
}

void TfrmMain::Maintainhosts1Click() {
  if (!frmMaintainHosts) return;
  frmMaintainHosts->hostList = hosts.get();
  runPausedModal(*frmMaintainHosts, true);
}

void TfrmMain::Config1Click() {
  if (frmConfigEdit) runPausedModal(*frmConfigEdit, false);
}

void TfrmMain::Quit1Click() { close(); }

void TfrmMain::Standard1Click() {
  if (!frmStandardView) return;
  frmStandardView->hostList = hosts.get();
  bringToFront(*frmStandardView);
}

void TfrmMain::Gotohomepage1Click() {
  // Whether a browser opened is not looked at.
  QDesktopServices::openUrl(QUrl(QString::fromLatin1(HomepageUrl)));
}

void TfrmMain::About1Click() {
  if (frmAbout) frmAbout->exec();
}

void TfrmMain::TrayIcon1DblClick() { TrayIcon1->showMainForm(); }

void TfrmMain::btnStartStopClick() { runCtl.btnStartStopClick(); }

void TfrmMain::Overview1Click() { views->showOverview(); }

void TfrmMain::Outages1Click() { views->showOutages(); }

void TfrmMain::Timeline1Click() { views->showTimeline(); }

void TfrmMain::Preferences1Click() {
  if (!views->showPreferences()) return;
  historyRecorder->setLengths(historyLengths());
  // The metrics switch takes effect at once.
  if (readMetricsSettings(false).enabled != (metrics != nullptr)) {
    metrics.reset();
    metrics = startMetrics(*hosts, false);
    if (metrics && !metrics->listening()) showUserMessage(metrics->problem());
  }
}

// The overview's Edit: the host's own dialog, where its address can be changed too.
void TfrmMain::editHosts(const std::vector<TTolvoHost*>& chosen) {
  if (chosen.empty() || closing) return;
  std::unique_ptr<QDialog> dialog;
  if (chosen.size() == 1)
    dialog = std::make_unique<TfrmEditHost>(*hosts, *chosen.front(), this);
  else
    dialog = std::make_unique<TfrmEditHosts>(*hosts, chosen, this);
  if (dialog->exec() != QDialog::Accepted || closing) return;
  hosts->saveToFile(settings.hosts_file_name);
  // Alert settings changed alone reach the alerts here: no host event tells them.
  alerts->reloadSettings(false);
}

void TfrmMain::reloadHostsFile() {
  if (hostsFollower && !closing) hostsFollower->check();
}
