// A minimised overview or history window comes back, restored and raised, through every action
// that opens it: Views > Overview, the tray's Overview, a click on a notice, and asking for the
// history of the same hosts again.

#include <gtest/gtest.h>

#include <QSystemTrayIcon>

#include "mainwindowtestsupport.h"
#include "ui/views/historywindow.h"
#include "ui/views/livestats.h"
#include "ui/views/overviewwindow.h"
#include "ui/program/programwindows.h"
#include "ui/program/trayicon.h"
#include "ui/program/viewwindows.h"

namespace {

TEST(BringToFront, EveryActionThatOpensAMinimisedWindowRestoresIt) {
  uitest::TProgramFiles files;
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}, {"second", "127.0.0.2"}});
  TManualClock clock{encodeDateTime(2026, 5, 14, 10, 0, 0)};
  uitest::TFakeEcho echo;
  TProgramWindows windows(clock, echo.service());
  TfrmMain& main = windows.main();
  main.Timer1->stop();
  TViewWindows& views = main.viewWindows();
  TOverviewWindow& overview = views.overview();

  const std::vector<std::pair<const char*, std::function<void()>>> opening{
      {"Views > Overview", [&] { main.Overview1Click(); }},
      {"tray > Overview", [&] { main.TrayIcon1->OnOverview(); }},
      {"a click on a notice", [&] { emit main.TrayIcon1->systemTrayIcon()->messageClicked(); }}};
  for (const auto& [action, open] : opening) {
    overview.showMinimized();
    open();
    EXPECT_FALSE(overview.isMinimized()) << action;
    EXPECT_TRUE(overview.isVisible()) << action;
  }

  std::vector<std::uint64_t> ids;
  for (const auto& [id, host] : views.liveStats().hosts()) ids.push_back(id);
  THistoryWindow* history = views.showHistory(ids);
  ASSERT_NE(history, nullptr);
  history->showMinimized();
  EXPECT_EQ(views.showHistory(ids), history);  // the same window, not a second one
  EXPECT_FALSE(history->isMinimized());
  EXPECT_NE(views.showHistory({ids.front()}), history);  // other hosts, another window
  main.close();
}

}  // namespace
