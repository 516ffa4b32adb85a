// Alerts in the desktop program: the tray's menu and tooltip, and the wiring from a confirmed change
// to the tray balloon (no notification service runs here) and from a click on it to the overview.

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QTableWidget>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "alerts/alertcenter.h"
#include "config/settings.h"
#include "core/tolvohosts.h"
#include "history/historyrecorder.h"
#include "history/alertmedians.h"
#include "ui/preferences/alertspreferences.h"
#include "ui/preferences/alertswiring.h"
#include "ui/views/livestats.h"
#include "ui/views/overviewmodel.h"
#include "ui/views/overviewwindow.h"
#include "ui/program/viewwindows.h"
#include "ui/program/runcontrol.h"
#include "ui/program/trayicon.h"

namespace {

QAction* entry(TTrayIcon& tray, const QString& text) {
  for (QAction* a : tray.contextMenu()->actions())
    if (a->text() == text) return a;
  return nullptr;
}

TEST(AlertsTray, MenuOffersShowOverviewStartStopAndQuit) {
  QWidget form;
  TTrayIcon tray(&form);
  bool running = false;
  QStringList called;
  tray.OnShow = [&] { called << "show"; };
  tray.OnStartStop = [&] { called << "startstop"; };
  tray.OnQuit = [&] { called << "quit"; };
  tray.IsRunning = [&] { return running; };
  tray.updateMenu();
  EXPECT_FALSE(entry(tray, "Overview")->isVisible());  // no overview to open yet
  entry(tray, "Show")->trigger();
  entry(tray, "Start pinging")->trigger();
  running = true;
  tray.updateMenu();
  ASSERT_NE(entry(tray, "Stop pinging"), nullptr);
  tray.OnOverview = [&] { called << "overview"; };
  tray.updateMenu();
  EXPECT_TRUE(entry(tray, "Overview")->isVisible());
  entry(tray, "Overview")->trigger();
  entry(tray, "Quit")->trigger();
  EXPECT_EQ(called, (QStringList{"show", "startstop", "overview", "quit"}));
}

TEST(AlertsTray, TooltipKeepsTheHintAndAddsConnectionAndDownHostsShortenedToFit) {
  QWidget form;
  TTrayIcon tray(&form);
  tray.setIconIndex(2);
  EXPECT_EQ(tray.toolTip(), "Hi! I'm tolvo.\nPinging is stopped");
  tray.setIconIndex(1);
  tray.setDownHosts({"gateway", "nas"});
  EXPECT_EQ(tray.toolTip(), "Hi! I'm tolvo.\nConnection: down\nDown: gateway, nas");
  std::vector<std::string> many;
  for (int i = 0; i < 40; ++i) many.push_back("host-number-" + std::to_string(i));
  tray.setDownHosts(many);
  const QString text = tray.toolTip();
  EXPECT_LE(text.size(), TTrayIcon::TooltipChars);
  EXPECT_TRUE(text.startsWith("Hi! I'm tolvo.\nConnection: down\nDown: host-number-0, host-number-1"));
  EXPECT_TRUE(text.endsWith(", …")) << text.toStdString();
  tray.setDownHosts({std::string(300, 'x')});  // one name longer than the room
  EXPECT_LE(tray.toolTip().size(), TTrayIcon::TooltipChars);
  EXPECT_TRUE(tray.toolTip().endsWith(u'…'));
  tray.setIconIndex(0);
  tray.setDownHosts({});
  EXPECT_EQ(tray.toolTip(), "Hi! I'm tolvo.\nConnection: up");
}

TEST(AlertsPreferences, RefusesWrongValuesAndStoresGlobalPerHostAndCommand) {
  TAlertsPreferences page([] {
    return std::vector<TAlertsPreferences::THostRow>{{"gateway", "10.1.1.1"}, {"nas", "10.1.1.2"}};
  });
  setExtraSetting("alerts", "lost_to_down", "4");
  setExtraSetting("alerts", "degraded_rtt_ms", "off");
  page.load();
  EXPECT_EQ(page.edLostToDown->text(), "4");
  EXPECT_EQ(page.edRttMs->text(), "off");
  EXPECT_TRUE(page.validate().isEmpty());
  page.edLossPercent->setText("0");
  EXPECT_TRUE(page.validate().contains("\"0\" is refused")) << page.validate().toStdString();
  page.edLossPercent->setText("2.5");
  page.tbHosts->item(1, 2)->setText("-4");
  EXPECT_TRUE(page.validate().startsWith("10.1.1.2: ")) << page.validate().toStdString();
  page.tbHosts->item(1, 2)->setText("8");
  page.tbHosts->item(0, 4)->setCheckState(Qt::Unchecked);
  page.edCommand->setText(R"(/opt/my tools/page "on call" --quiet)");
  ASSERT_TRUE(page.validate().isEmpty());
  bool applied = false;
  page.onApplied = [&] { applied = true; };
  page.apply();
  EXPECT_TRUE(applied);
  const TAlertSettings s = TAlertSettings::load({"10.1.1.1", "10.1.1.2"});
  EXPECT_EQ(s.degradedLossPercent, 2.5);
  EXPECT_EQ(s.lostToDownFor("10.1.1.2"), 8);
  EXPECT_FALSE(s.notifyFor("10.1.1.1"));
  EXPECT_EQ(s.command, (std::vector<std::string>{"/opt/my", "tools/page", "on call", "--quiet"}));
  page.load();
  EXPECT_EQ(page.edCommand->text(), R"(/opt/my tools/page "on call" --quiet)");
}

TEST(AlertsMedians, ComeFromTheResultsDatabaseWithoutWaitingForIt) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("history.sqlite").toStdString();
  TTolvoHosts hosts;
  THistoryRecorder recorder(hosts.events());
  TTolvoHost* host = hosts.addHost("127.0.0.7", false);
  ASSERT_NE(host, nullptr);
  // An hour ago, inside one 5-minute step: queued before the recorder starts, so its first write
  // packs and summarises them.
  const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
  const std::int64_t step = (now - 3'600'000) / 300'000 * 300'000;
  for (std::int64_t rtt : {30000, 10000, 20000, -1, 25000, 15000})
    hosts.events().echoResult(*host, {step + rtt, rtt > 0, rtt});
  recorder.start(path);
  ASSERT_TRUE(recorder.waitWritten(std::chrono::seconds(10)));

  TAlertMedians medians(hosts, [path] { return path; });
  EXPECT_FALSE(medians.median(host->runId, now));  // asked for, not known yet
  EXPECT_TRUE(QTest::qWaitFor([&] { return medians.median(host->runId, now) == 20000; }, 5000));
  EXPECT_FALSE(medians.median(999999, now));  // not a host of the list
}

TEST(AlertsTray, ADegradedHostIsMarkedInTheOverviewWhichAClickOpensOnIt) {
  // The settings are one per process: set every one this test relies on.
  for (const auto& [key, value] : {std::pair{"quiet_while_stopped", "0"}, {"notify", "1"}, {"lost_to_down", "2"},
                                   {"answers_to_up", "2"}, {"degraded_loss_percent", "5"},
                                   {"degraded_min_echoes", "10"}})
    setExtraSetting("alerts", key, value);
  QWidget form;
  TTrayIcon tray(&form);
  TRunControl runControl(systemClock());
  TTolvoHosts hosts;
  TViewWindows views(hosts, [](const std::vector<TTolvoHost*>&) {});
  TAlertsWiring wiring(hosts, tray, runControl);
  wiring.attachViews(views);
  wiring.reloadSettings(false);
  TTolvoHost* host = hosts.addHost("127.0.0.9", false);
  ASSERT_NE(host, nullptr);
  ASSERT_TRUE(tray.OnOverview);

  // The overview's State column tells the state the alerts confirmed, as the tray and the
  // notifications name it, and its tooltip gives the rule with the numbers in force.
  const auto shownState = [&] {
    views.overview().refresh();
    const TOverviewModel& model = *views.overview().model;
    return model.text(model.rowOf(host->runId), TOverviewModel::ColState);
  };
  const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
  for (int i = 0; i < 14; ++i) {  // up, then every other echo lost: degraded, never down
    const bool answered = i < 2 || i % 2 == 0;
    hosts.events().echoResult(*host, {now + i * 3000, answered, answered ? 700 : -1});
    if (i == 0) {
      EXPECT_EQ(shownState(), "Unknown");  // one answer of the two that confirm "up"
    }
    if (i == 3) {
      EXPECT_EQ(shownState(), "OK");  // one lost echo is not "down"
    }
  }
  EXPECT_EQ(wiring.center().level(host->runId), TAlertLevel::Degraded);
  EXPECT_EQ(shownState(), "Degraded");
  const TOverviewModel& model = *views.overview().model;
  const QString rule = model.data(model.index(model.rowOf(host->runId), TOverviewModel::ColState),
                                  Qt::ToolTipRole).toString();
  EXPECT_TRUE(rule.startsWith("Down: 2 echoes lost in a row.\nOK: up after 2 answers in a row.\n"))
      << rule.toStdString();
  EXPECT_EQ(model.headerData(TOverviewModel::ColState, Qt::Horizontal, Qt::ToolTipRole).toString(), rule);
  ASSERT_TRUE(QTest::qWaitFor([&] { return wiring.center().notifier().fallbackCount() == 1; }, 5000));
  emit tray.systemTrayIcon()->messageClicked();
  EXPECT_TRUE(views.overview().isVisible());
  EXPECT_EQ(views.overview().selectedRunIds(), std::vector<std::uint64_t>{host->runId});

  // Two losses more in a row (K = 2 here): the tray's tooltip and the overview name it as down.
  for (int i = 14; i < 16; ++i) hosts.events().echoResult(*host, {now + i * 3000, false, -1});
  EXPECT_EQ(wiring.center().level(host->runId), TAlertLevel::Down);
  EXPECT_EQ(shownState(), "Down");
  EXPECT_TRUE(tray.toolTip().endsWith("\nDown: 127.0.0.9")) << tray.toolTip().toStdString();
}

}  // namespace
