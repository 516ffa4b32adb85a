// The main window as the user meets it: what start-up reads, selects, loads and logs; Start/Stop;
// pinging paused around the dialogs; the orderly close; the menus.

#include <gtest/gtest.h>

#include <QScreen>
#include <QAction>
#include <QButtonGroup>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUrl>

#include "core/tolvohosts.h"
#include "mainwindowtestsupport.h"
#include "support/messagerecorder.h"
#include "ui/standard/frmconfigedit.h"
#include "ui/program/programwindows.h"
#include "ui/common/siteaddresses.h"
#include "ui/standard/tfrmabout.h"
#include "ui/standard/tfrmstandardview.h"
#include "ui/program/trayicon.h"
#include "ui/program/usermessagebox.h"

namespace {

using uitest::THostEntry;
using Log = std::vector<std::string>;

// Stands in for the desktop's browser: keeps the address it was asked to open.
class TUrlCatcher : public QObject {
  Q_OBJECT
 public:
  QUrl opened;
  Q_INVOKABLE void open(const QUrl& url) { opened = url; }
};

class MainWindowTest : public ::testing::Test {
 protected:
  // The timers are stopped so that each test drives them itself.
  std::unique_ptr<TfrmMain> makeMain() {
    auto frm = std::make_unique<TfrmMain>(clock, echo.service());
    frm->Timer1->stop();
    frm->tmrPingSpeed->stop();
    return frm;
  }

  uitest::TProgramFiles files;
  TManualClock clock{encodeDateTime(2026, 5, 14, 10, 0, 0)};
  uitest::TFakeEcho echo;
};

TEST_F(MainWindowTest, StartUpReadsSettingsLoadsHostsAndLogsTheStart) {
  files.writeSettings({{"ping_speed", "2"}});
  files.writeHosts({{"gateway", "127.0.0.1"}, {"second", "127.0.0.2"}});
  TMessageRecorder messages;
  auto frm = makeMain();

  EXPECT_EQ(frm->speedIndex(), 2);
  EXPECT_EQ(settings.ping_speed, 2);
  ASSERT_EQ(frm->hostList()->hostCount(), 2);
  EXPECT_EQ(frm->hostList()->hostAt(2)->callingName, "second");
  EXPECT_EQ(files.log(), Log{"STARTUP"});
  EXPECT_FALSE(frm->runControl().running());
  EXPECT_EQ(frm->lblStatus->text(), "Ping threads are stopped");
  EXPECT_EQ(frm->btnStartStop->text(), "Start");
  EXPECT_EQ(frm->statusPanel0->text(), "");
  EXPECT_EQ(frm->statusPanel1->text(), "Connection status unknown.");
  EXPECT_EQ(frm->TrayIcon1->IconIndex(), 2);
  EXPECT_EQ(frm->windowTitle(), "Tolvo");  // the titles come with the first activation
  EXPECT_TRUE(messages.messages().empty());
  // The start time text carries the start-up moment in the user's format.
  EXPECT_EQ(frm->runControl().startTimeText, TRegionalFormat::fromLocale().formatDateTime(clock.now()));
}

TEST_F(MainWindowTest, AStoredSpeedOfZeroWarnsBeforeTheWindowIsShown) {
  files.writeSettings({{"ping_speed", "0"}});
  TUserMessageBox sink;
  uitest::TMessageBoxClicker clicker;
  auto frm = makeMain();

  ASSERT_EQ(clicker.seen.size(), 1u);
  EXPECT_EQ(clicker.seen[0].text.toStdString(), TRunControl::AwesomeWarning);
  EXPECT_EQ(clicker.seen[0].title, ApplicationTitle);
  EXPECT_FALSE(clicker.seen[0].mainWindowVisible);
  EXPECT_EQ(frm->speedIndex(), 0);
  EXPECT_EQ(settings.ping_speed, 0);
}

TEST_F(MainWindowTest, StoredSpeedsSelectTheirEntry) {
  struct TCase {
    const char* stored;
    int selected;
    int storedAfter;
    bool warned;
  };
  const TCase cases[] = {
      {"1", 1, 1, false}, {"2", 2, 2, false}, {"3", 3, 3, false},
      {"7", 3, 3, false},    // above the last entry: "Slow", and the choice is stored as 3
      {"-1", -1, -1, false},  // nothing selected, nothing stored
      {"abc", 1, 1, false},  // not a number: the default, "Fast"
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.stored);
    files.writeSettings({{"ping_speed", c.stored}});
    TMessageRecorder messages;
    auto frm = makeMain();
    EXPECT_EQ(frm->speedIndex(), c.selected);
    EXPECT_EQ(settings.ping_speed, c.storedAfter);
    EXPECT_EQ(!messages.messages().empty(), c.warned);
  }
}

TEST_F(MainWindowTest, ChoosingAwesomeWarnsAndEveryChoiceIsStored) {
  files.writeSettings();
  TMessageRecorder messages;
  auto frm = makeMain();

  QTest::mouseClick(frm->rgSpeedButtons->button(3), Qt::LeftButton);
  EXPECT_EQ(settings.ping_speed, 3);
  EXPECT_TRUE(messages.messages().empty());
  QTest::mouseClick(frm->rgSpeedButtons->button(0), Qt::LeftButton);
  EXPECT_EQ(settings.ping_speed, 0);
  EXPECT_EQ(messages.messages(), std::vector<std::string>{TRunControl::AwesomeWarning});
}

TEST_F(MainWindowTest, AutomaticStartWithHostsStartsPinging) {
  files.writeSettings({{"auto_startup", "1"}});
  files.writeHosts({{"gateway", "127.0.0.1", 30, 20}});
  TMessageRecorder messages;
  auto frm = makeMain();

  EXPECT_TRUE(frm->runControl().running());
  EXPECT_EQ(frm->btnStartStop->text(), "Stop");
  EXPECT_EQ(frm->lblStatus->text(), "Running, pings sent: 0,05k");
  // Loaded counters are no result of this run: the host is unknown and no outage is logged.
  EXPECT_EQ(files.log(), (Log{"STARTUP", "PINGING START"}));
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(MainWindowTest, AutomaticStartWithoutHostsSaysSoAndStaysStopped) {
  files.writeSettings({{"auto_startup", "1"}});
  TUserMessageBox sink;
  uitest::TMessageBoxClicker clicker;
  auto frm = makeMain();

  ASSERT_EQ(clicker.seen.size(), 1u);
  EXPECT_EQ(clicker.seen[0].text.toStdString(), TRunControl::NoHostsMessage);
  EXPECT_FALSE(clicker.seen[0].mainWindowVisible);
  EXPECT_FALSE(frm->runControl().running());
  EXPECT_EQ(files.log(), Log{"STARTUP"});
}

TEST_F(MainWindowTest, StartAndStopWithHosts) {
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}});
  auto frm = makeMain();

  QTest::mouseClick(frm->btnStartStop, Qt::LeftButton);
  EXPECT_TRUE(frm->runControl().running());
  EXPECT_EQ(frm->btnStartStop->text(), "Stop");
  EXPECT_EQ(frm->lblStatus->text(), "Running, pings sent: 0,00k");
  QTest::mouseClick(frm->btnStartStop, Qt::LeftButton);
  EXPECT_FALSE(frm->runControl().running());
  EXPECT_EQ(frm->btnStartStop->text(), "Start");
  EXPECT_EQ(files.log(), (Log{"STARTUP", "PINGING START", "PINGING STOP"}));
}

TEST_F(MainWindowTest, StartWithoutHostsChangesNothingButStopAlwaysWorks) {
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}});
  TMessageRecorder messages;
  auto frm = makeMain();
  frm->btnStartStopClick();
  ASSERT_TRUE(frm->runControl().running());

  // Every host deleted while pinging: Stop still stops.
  frm->hostList()->clearHosts();
  frm->btnStartStopClick();
  EXPECT_FALSE(frm->runControl().running());
  EXPECT_TRUE(messages.messages().empty());

  // Start with no hosts: only the message.
  frm->btnStartStopClick();
  EXPECT_FALSE(frm->runControl().running());
  EXPECT_EQ(frm->btnStartStop->text(), "Start");
  EXPECT_EQ(messages.messages(), std::vector<std::string>{TRunControl::NoHostsMessage});
  EXPECT_EQ(files.log(), (Log{"STARTUP", "PINGING START", "PINGING STOP"}));
}

// A dialog of the test's own that closes itself and notes whether pinging ran while it was open.
void runSelfClosingDialog(TfrmMain& frm, bool refresh, bool& runningWhileOpen) {
  QDialog dialog;
  QTimer::singleShot(20, &dialog, [&] {
    runningWhileOpen = frm.runControl().running();
    dialog.accept();
  });
  frm.runPausedModal(dialog, refresh);
}

TEST_F(MainWindowTest, PausingAroundADialogWritesStopAndStartOnlyWhenPinging) {
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}});
  auto frm = makeMain();
  bool runningWhileOpen = true;

  runSelfClosingDialog(*frm, false, runningWhileOpen);
  EXPECT_FALSE(runningWhileOpen);
  EXPECT_EQ(files.log(), Log{"STARTUP"});

  frm->btnStartStopClick();
  runningWhileOpen = true;
  runSelfClosingDialog(*frm, true, runningWhileOpen);
  EXPECT_FALSE(runningWhileOpen);
  EXPECT_TRUE(frm->runControl().running());
  EXPECT_EQ(files.log(), (Log{"STARTUP", "PINGING START", "PINGING STOP",
                              "PINGING START"}));
}

TEST_F(MainWindowTest, TheConfigurationMenuPausesPinging) {
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}});
  TProgramWindows windows(clock, echo.service());
  TfrmMain& frm = windows.main();
  frm.Timer1->stop();
  frm.tmrPingSpeed->stop();
  frm.btnStartStopClick();
  bool runningWhileOpen = true;
  QTimer::singleShot(30, &windows.configEdit(), [&] {
    runningWhileOpen = frm.runControl().running();
    windows.configEdit().reject();
  });
  frm.Config1->trigger();
  EXPECT_FALSE(runningWhileOpen);
  EXPECT_TRUE(frm.runControl().running());
  EXPECT_EQ(files.log(), (Log{"STARTUP", "PINGING START", "PINGING STOP",
                              "PINGING START"}));
}

TEST_F(MainWindowTest, ClosingWritesTimestampsStopsSavesHostsAndSettings) {
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1", 4, 1}});
  auto frm = makeMain();
  frm->btnStartStopClick();
  frm->rgSpeedButtons->button(2)->click();  // a change that only the saved settings can show
  QFile::remove(files.hostsPath());

  frm->Quit1->trigger();
  EXPECT_TRUE(frm->isClosed());
  EXPECT_EQ(files.log(), (Log{"STARTUP", "PINGING START", "TIMESTAMP " +
                              frm->runControl().startTimeText, "TIMESTAMP " +
                              frm->runControl().startTimeText, "PINGING STOP", "SHUTDOWN"}));
  const std::string hosts = uitest::readFile(files.hostsPath());
  EXPECT_NE(hosts.find("HOSTCALLINGNAME %STRING% gateway"), std::string::npos);
  EXPECT_NE(hosts.find("SUCCEEDEDCOUNT %INTEGER% 4"), std::string::npos);
  EXPECT_NE(uitest::readFile(files.settingsPath()).find("ping_speed=2"), std::string::npos);
}

// A hosts file with a format error in its second block: start and close keep the original whole
// beside it and save the one host read as the new file.
TEST_F(MainWindowTest, AHostsFileWithAFormatErrorOutlivesTheRun) {
  files.writeSettings();
  const std::string original = uitest::hostsFileText({{"first", "127.0.0.1"}}) + "NEW_HOST_END $$@@$$ \r\n" +
                               uitest::hostsFileText({{"second", "127.0.0.2"}});
  uitest::writeFile(files.hostsPath(), original);
  TMessageRecorder messages;
  auto frm = makeMain();
  frm->close();
  ASSERT_TRUE(frm->isClosed());
  const std::vector<std::string> told = messages.messages();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0], "Error loading hosts, HOST_END when hostOpen=FALSE");
  const QDir folder(QFileInfo(files.hostsPath()).canonicalPath());
  const QStringList kept = folder.entryList({"hosts.cfg.unreadable-*"});
  ASSERT_EQ(kept.size(), 1);
  const QString keptPath = folder.filePath(kept[0]);
  EXPECT_NE(told[1].find("moved to \"" + keptPath.toStdString() + "\""), std::string::npos)
      << told[1];
  EXPECT_EQ(uitest::readFile(keptPath), original);
  const std::string saved = uitest::readFile(files.hostsPath());
  EXPECT_NE(saved.find("HOSTCALLINGNAME %STRING% first"), std::string::npos);
  EXPECT_EQ(saved.find("second"), std::string::npos);
}

TEST_F(MainWindowTest, SettingsAreSavedAtCloseExactlyWhenNotAFirstRun) {
  for (const char* firsttime : {"0", "1", "2"}) {
    SCOPED_TRACE(firsttime);
    files.writeSettings({{"firsttime", firsttime}, {"ping_speed", "3"}});
    auto frm = makeMain();
    frm->rgSpeedButtons->button(2)->click();
    frm->close();
    ASSERT_TRUE(frm->isClosed());
    const bool saved =
        uitest::readFile(files.settingsPath()).find("ping_speed=2") != std::string::npos;
    EXPECT_EQ(saved, std::string(firsttime) != "1");
  }
}

TEST_F(MainWindowTest, ClosingWhileStoppedWritesNoStopAndRunsOnce) {
  files.writeSettings();
  auto frm = makeMain();
  frm->close();
  frm->close();  // a second request (a signal after Quit) changes nothing
  EXPECT_EQ(files.log(), (Log{"STARTUP", "TIMESTAMP " + frm->runControl().startTimeText,
                              "TIMESTAMP " + frm->runControl().startTimeText, "SHUTDOWN"}));
  // An empty host list is saved as an empty file.
  EXPECT_TRUE(QFile::exists(files.hostsPath()));
  EXPECT_EQ(uitest::readFile(files.hostsPath()), "");
}

TEST_F(MainWindowTest, ShowingAndActivatingSetsTheTitles) {
  files.writeSettings();
  auto frm = makeMain();
  frm->show();
  frm->activateWindow();
  EXPECT_TRUE(uitest::waitUntil([&] { return frm->windowTitle() == "Sorvelo"; }));
  // No application display name is set: Qt would append it to every caption on X11.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
  // The client area below the menu bar is 325 x 118 and cannot be resized.
  EXPECT_EQ(frm->width(), 325);
  EXPECT_EQ(frm->height() - frm->menuBar()->height(), 118);
  EXPECT_EQ(frm->minimumSize(), frm->maximumSize());
}

TEST_F(MainWindowTest, ViewsStandardShowsTheHostsInTheStatusView) {
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}});
  TProgramWindows windows(clock, echo.service());
  TfrmStandardView& view = windows.standardView();
  EXPECT_FALSE(view.isVisible());

  windows.main().Standard1->trigger();
  EXPECT_TRUE(view.isVisible());
  EXPECT_EQ(view.hostList, windows.main().hostList());
  ASSERT_EQ(view.sgResults->rowCount(), 2);
  EXPECT_EQ(view.sgResults->item(1, 0)->text(), "gateway");
  // At 150, 192 where the screen has room for it; on a smaller screen moved onto the screen.
  const QRect area = view.screen()->availableGeometry();
  if (area.contains(QRect(QPoint(150, 192), view.frameGeometry().size())))
    EXPECT_EQ(view.pos(), QPoint(150, 192));
  else
    EXPECT_TRUE(area.contains(view.pos()) && view.frameGeometry().right() <= area.right());
  // The windows belong to the installed launcher and carry an icon.
  EXPECT_EQ(QGuiApplication::desktopFileName(), "sorvelo");
  EXPECT_FALSE(view.windowIcon().isNull());
}

TEST_F(MainWindowTest, HelpOpensTheHomepageAndTheAboutBox) {
  files.writeSettings();
  TProgramWindows windows(clock, echo.service());

  TUrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
  windows.main().Gotohomepage1->trigger();
  QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
  EXPECT_EQ(catcher.opened.toString().toStdString(), HomepageUrl);
  EXPECT_EQ(catcher.opened.query(), "version=1-0.5.1-release");

  bool aboutWasModal = false;
  QTimer::singleShot(20, &windows.about(), [&] {
    aboutWasModal = QApplication::activeModalWidget() == &windows.about();
    windows.about().accept();
  });
  windows.main().About1->trigger();
  EXPECT_TRUE(aboutWasModal);
}

TEST_F(MainWindowTest, TheMenusHoldTheirItemsInOrder) {
  files.writeSettings();
  auto frm = makeMain();
  QStringList seen;
  for (QAction* menu : frm->menuBar()->actions()) {
    seen << menu->text() + ":";
    for (QAction* item : menu->menu()->actions()) seen << (item->isSeparator() ? "-" : item->text());
  }
  EXPECT_EQ(seen.join(QLatin1Char('|')),
            "File:|Maintain hosts|-|Config|Preferences...|-|Quit|Views:|Standard|Overview|"
            "Outages|Timeline|Help:|Go to homepage|About");
  EXPECT_TRUE(frm->Maintainhosts1->isEnabled());
  EXPECT_TRUE(frm->Config1->isEnabled());
}

}  // namespace

#include "mainwindow_test.moc"
