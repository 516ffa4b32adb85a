// The run control's figures: connection texts and tray pictures as echoes answer and fail, the
// pings-per-second figure, the periodic time stamp and the scheduler tick at each speed.

#include <gtest/gtest.h>

#include <QButtonGroup>

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

#include "core/tolvohosts.h"
#include "mainwindowtestsupport.h"
#include "base/textutils.h"
#include "support/messagerecorder.h"
#include "ui/program/trayicon.h"

namespace {

using uitest::THostEntry;

class RunStatusTest : public ::testing::Test {
 protected:
  void start(const std::vector<THostEntry>& hosts, std::map<std::string, std::string> changes = {}) {
    files.writeSettings(changes);
    files.writeHosts(hosts);
    frm = std::make_unique<TfrmMain>(clock, echo.service());
    frm->Timer1->stop();
    frm->tmrPingSpeed->stop();
  }

  // Makes the first host due once and ticks the scheduler until its result has been collected.
  bool oneEcho(bool answered) {
    *echo.answer = answered;
    TTolvoHost* host = frm->hostList()->hostAt(1);
    const int before = host->succeededCount + host->failedCount;
    clock.advanceSeconds(5);
    return uitest::waitUntil([&] {
      frm->runControl().Timer1Timer();
      return host->succeededCount + host->failedCount > before;
    });
  }

  std::string panel1() const { return frm->statusPanel1->text().toStdString(); }

  uitest::TProgramFiles files;
  TManualClock clock{encodeDateTime(2026, 5, 14, 10, 0, 0)};
  uitest::TFakeEcho echo;
  TMessageRecorder messages;
  std::unique_ptr<TfrmMain> frm;
};

TEST_F(RunStatusTest, ConnectionTextsAndTrayPicturesFollowTheEchoes) {
  start({{"gateway", "127.0.0.1"}});
  TRunControl& run = frm->runControl();
  frm->btnStartStopClick();
  // No result of this run yet: nothing is known.
  EXPECT_EQ(panel1(), "Connection status unknown.");
  EXPECT_EQ(frm->TrayIcon1->IconIndex(), 2);

  ASSERT_TRUE(oneEcho(true));
  run.refreshStatus();
  EXPECT_EQ(panel1(), "Connection: OK ");
  EXPECT_EQ(frm->TrayIcon1->IconIndex(), 0);

  // One answer holds two history entries: three failures outweigh it.
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(oneEcho(false));
  const TDateTime downAt = clock.now();
  run.refreshStatus();
  EXPECT_EQ(panel1(), "Connection: DOWN!");
  EXPECT_EQ(frm->TrayIcon1->IconIndex(), 1);
  EXPECT_EQ(frm->hostList()->lastDownAt, downAt);

  for (int i = 0; i < 2; ++i) ASSERT_TRUE(oneEcho(true));
  run.refreshStatus();
  EXPECT_EQ(panel1(),
            "Conn: OK (l.down @ " + TRegionalFormat::fromLocale().formatDateTime(downAt) + ")");
  EXPECT_EQ(frm->TrayIcon1->IconIndex(), 0);
  EXPECT_EQ(frm->lblStatus->text().toStdString(),
            "Running, pings sent: " + realToText(2, static_cast<double>(frm->hostList()->totalPings()) / 1000.0) + "k");

  frm->btnStartStopClick();
  EXPECT_EQ(panel1(), "Connection status unknown.");
  EXPECT_EQ(frm->TrayIcon1->IconIndex(), 2);
  EXPECT_EQ(frm->lblStatus->text(), "Ping threads are stopped");

  const std::vector<std::string> log = files.log();
  const std::vector<std::string> expected = {
      "STARTUP",          "PINGING START",          "HOST_STATUS UP", "CONNECTION_STATUS UP",
      "HOST_STATUS DOWN", "CONNECTION_STATUS DOWN", "HOST_STATUS UP", "CONNECTION_STATUS UP",
      "PINGING STOP"};
  EXPECT_EQ(log, expected);
}

// The pings sent change every second at the fast speeds, the pings a second every ten: the new
// texts are painted without laying the window out again, and the labels keep their room.
TEST_F(RunStatusTest, ANewStatusTextLaysNothingOut) {
  start({{"gateway", "127.0.0.1"}});
  frm->show();
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  struct : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      count += e->type() == QEvent::LayoutRequest ? 1 : 0;
      return false;
    }
  } requests;
  QWidget* watched[] = {frm.get(), frm->Bevel1, frm->statusBar()};
  for (QWidget* w : watched) w->installEventFilter(&requests);
  frm->lblStatus->setText(QStringLiteral("Running, pings sent: 1,24k"));
  frm->statusPanel0->setText(QStringLiteral("12,40 pings/s"));
  QCoreApplication::processEvents();
  EXPECT_EQ(requests.count, 0);
  EXPECT_EQ(frm->statusPanel0->width(), frm->statusPanel0->minimumWidth());
  EXPECT_GE(frm->lblStatus->height(), frm->lblStatus->sizeHint().height());
}

// Without permission for ICMP sockets nothing is sent: the state stays unknown, the tray says why,
// the window keeps a note with the remedy, and the message comes once (two hosts, three rounds),
// again only after pinging worked and failed anew.
TEST_F(RunStatusTest, NothingCanBePingedSaysSoInsteadOfOk) {
  start({{"gateway", "127.0.0.1"}, {"router", "127.0.0.2"}});
  frm->show();
  frm->btnStartStopClick();
  const int height = frm->height();
  auto rounds = [&](bool refused, int count) {
    *echo.refused = refused;
    for (int round = 0; round < count; ++round) {
      clock.advanceSeconds(5);
      TTolvoHost* host = frm->hostList()->hostAt(1);
      ASSERT_TRUE(uitest::waitUntil([&] {
        frm->runControl().Timer1Timer();
        return !host->inFlight && host->cannotPing.empty() != refused;
      }));
      frm->runControl().tmrPingSpeedTimer();
    }
  };
  rounds(true, 3);
  EXPECT_EQ(panel1(), "Connection status unknown.");
  EXPECT_EQ(frm->TrayIcon1->IconIndex(), 2);
  EXPECT_TRUE(frm->TrayIcon1->toolTip().contains("Pinging is not possible: Not permitted."));
  EXPECT_EQ(frm->lblCannotPing->text(), "Cannot ping; allow it with: setcap x");
  EXPECT_GT(frm->height(), height) << "the window grows by the note's line";
  EXPECT_EQ(messages.messages(),
            std::vector<std::string>{"error #1\n\nNot permitted. Allow it with: setcap x"});
  EXPECT_EQ(files.log().back(), "PINGING START") << "nothing decided, nothing logged";

  rounds(false, 2);
  EXPECT_EQ(panel1(), "Connection: OK ");
  EXPECT_FALSE(frm->lblCannotPing->isVisible());
  EXPECT_EQ(frm->height(), height);
  EXPECT_EQ(files.log().back(), "CONNECTION_STATUS UP") << "decided by the first results";
  rounds(true, 2);
  EXPECT_EQ(messages.messages().size(), 2u);
}

TEST_F(RunStatusTest, ThePingRateCountsTenSecondsAtATime) {
  // 40 answers and 10 failures loaded from the file are no echoes of this run's ten seconds.
  start({{"gateway", "127.0.0.1", 40, 10}});
  TRunControl& run = frm->runControl();
  for (int tick = 1; tick < 10; ++tick) run.tmrPingSpeedTimer();
  EXPECT_EQ(frm->statusPanel0->text(), "");
  run.tmrPingSpeedTimer();
  EXPECT_EQ(frm->statusPanel0->text(), "0,00 pings/s");

  frm->btnStartStopClick();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(oneEcho(true));
  for (int tick = 0; tick < 10; ++tick) run.tmrPingSpeedTimer();
  EXPECT_EQ(frm->statusPanel0->text(), "0,30 pings/s");

  frm->btnStartStopClick();
  for (int tick = 0; tick < 10; ++tick) run.tmrPingSpeedTimer();
  EXPECT_EQ(frm->statusPanel0->text(), "0,00 pings/s");
  EXPECT_EQ(frm->statusPanel1->text(), "Connection status unknown.");
}

TEST_F(RunStatusTest, TimeStampsAreWrittenOnlyWhilePingingAfterTheInterval) {
  start({{"gateway", "127.0.0.1"}}, {{"logtimestampinterval", "2"}});
  TRunControl& run = frm->runControl();
  const std::string stamp = "TIMESTAMP " + run.startTimeText;
  auto stamps = [&] {
    const std::vector<std::string> log = files.log();
    return std::count(log.begin(), log.end(), stamp);
  };

  clock.advanceSeconds(200);
  run.Timer1Timer();  // stopped: the timer does nothing
  EXPECT_EQ(stamps(), 0);

  frm->btnStartStopClick();
  run.Timer1Timer();
  EXPECT_EQ(stamps(), 1);
  clock.advanceSeconds(120);  // exactly the interval: not more than it
  run.Timer1Timer();
  EXPECT_EQ(stamps(), 1);
  clock.advanceSeconds(1);
  run.Timer1Timer();
  EXPECT_EQ(stamps(), 2);
  clock.advanceSeconds(-3600);  // the wall clock steps back an hour (end of summer time)
  run.Timer1Timer();
  EXPECT_EQ(stamps(), 2) << "a step back is no turn of the year";
}

TEST_F(RunStatusTest, NoTimeStampsWhenTheIntervalIsBelowOne) {
  start({{"gateway", "127.0.0.1"}}, {{"logtimestampinterval", "0"}});
  frm->btnStartStopClick();
  clock.advanceSeconds(7200);
  frm->runControl().Timer1Timer();
  for (const std::string& entry : files.log()) EXPECT_EQ(entry.find("TIMESTAMP"), std::string::npos);
}

TEST_F(RunStatusTest, TheSchedulerTickFollowsTheRunningSpeed) {
  start({{"gateway", "127.0.0.1"}});
  frm->btnStartStopClick();
  const int expectedMs[] = {20, 100, 500, 1000};
  for (int index = 3; index >= 0; --index) {
    frm->rgSpeedButtons->button(index)->click();
    frm->runControl().Timer1Timer();
    EXPECT_EQ(frm->Timer1->interval(), expectedMs[index]) << index;
  }
  // Stopped, the tick changes nothing.
  frm->btnStartStopClick();
  frm->rgSpeedButtons->button(3)->click();
  frm->runControl().Timer1Timer();
  EXPECT_EQ(frm->Timer1->interval(), 20);
}

TEST_F(RunStatusTest, EveryTickStepsTheSchedulerFourTimes) {
  // Five due hosts: one tick steps four of them, and each of those sends its first echo.
  start({{"a", "127.0.0.1"}, {"b", "127.0.0.2"}, {"c", "127.0.0.3"}, {"d", "127.0.0.4"},
         {"e", "127.0.0.5"}});
  frm->btnStartStopClick();
  clock.advanceSeconds(5);
  frm->runControl().Timer1Timer();
  EXPECT_TRUE(uitest::waitUntil([&] { return *echo.echoes == 4; }));
  for (int slot = 1; slot <= 4; ++slot) EXPECT_TRUE(frm->hostList()->hostAt(slot)->inFlight);
  EXPECT_FALSE(frm->hostList()->hostAt(5)->inFlight);
  EXPECT_EQ(frm->hostList()->hostAt(5)->worker, nullptr);
}


// Stopped, the scheduler's timer rests (its ticks would do nothing) while the status tick goes on;
// Start sets it going again, and so does the end of a pause (a dialog's).
TEST_F(RunStatusTest, TheSchedulerTimerRestsWhileStoppedAndRunsAgain) {
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}});
  frm = std::make_unique<TfrmMain>(clock, echo.service());
  ASSERT_FALSE(frm->runControl().running());
  EXPECT_TRUE(uitest::waitUntil([&] { return !frm->Timer1->isActive(); }));
  EXPECT_TRUE(frm->tmrPingSpeed->isActive());

  frm->btnStartStopClick();
  EXPECT_TRUE(frm->Timer1->isActive());
  frm->btnStartStopClick();
  EXPECT_TRUE(uitest::waitUntil([&] { return !frm->Timer1->isActive(); }));
  frm->runControl().setRunning(true);
  EXPECT_TRUE(frm->Timer1->isActive());
}

}  // namespace
