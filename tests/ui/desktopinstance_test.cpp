// The desktop program's single-instance glue with its real windows: "activate" through the channel
// brings back a window hidden in the tray, and the hosts-file lock follows the Config dialog.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include <future>

#include "config/settings.h"
#include "core/tolvohosts.h"
#include "mainwindowtestsupport.h"
#include "support/messagerecorder.h"
#include "ui/program/desktopinstance.h"
#include "ui/standard/frmconfigedit.h"
#include "ui/program/programwindows.h"
#include "ui/program/tfrmmain.h"
#include "ui/program/trayicon.h"

namespace {

using namespace std::chrono_literals;

TEST(DesktopInstance, ActivateRestoresFromTheTrayAndTheHostsLockFollowsConfig) {
  uitest::TProgramFiles files;
  files.writeSettings();
  TDesktopInstance instance;
  ASSERT_EQ(instance.claim(), TDesktopInstance::TClaim::First);
  TProgramWindows windows;
  instance.serve(windows.main());

  windows.main().show();
  windows.main().TrayIcon1->hideMainForm();
  const auto holder = instanceHolder(TInstanceKind::Settings, settingsFilePath());
  ASSERT_TRUE(holder);
  auto answer = std::async(std::launch::async,
                           [&] { return sendInstanceCommand(holder->channel, "activate", 3s); });
  while (answer.wait_for(10ms) != std::future_status::ready) QCoreApplication::processEvents();
  EXPECT_EQ(answer.get(), "ok");
  EXPECT_TRUE(windows.main().isVisible());
  EXPECT_FALSE(windows.main().isMinimized());

  const std::string first = files.hostsPath().toStdString();
  const std::string busy = first + ".busy", free = first + ".free";
  TInstanceLock other(TInstanceKind::Hosts, busy);
  ASSERT_TRUE(other.tryAcquire());
  TMessageRecorder messages;
  windows.configEdit().edHostsFileName->setText(QString::fromStdString(busy));
  windows.configEdit().btnSave->click();
  EXPECT_EQ(settings.hosts_file_name, first);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_NE(messages.messages()[0].find("in use by another running copy"), std::string::npos);

  windows.configEdit().edHostsFileName->setText(QString::fromStdString(free));
  windows.configEdit().btnSave->click();
  EXPECT_EQ(settings.hosts_file_name, free);
  EXPECT_TRUE(instanceHolder(TInstanceKind::Hosts, free));
  EXPECT_FALSE(instanceHolder(TInstanceKind::Hosts, first));
}

// What sorvelo --add sends after writing the hosts file: the desktop takes the change at once.
TEST(DesktopInstance, ReloadHostsTakesTheFileAsWrittenByAnotherProgram) {
  uitest::TProgramFiles files;
  files.writeSettings();
  files.writeHosts({{"gateway", "127.0.0.1"}});
  TDesktopInstance instance;
  ASSERT_EQ(instance.claim(), TDesktopInstance::TClaim::First);
  TProgramWindows windows;
  instance.serve(windows.main());
  ASSERT_EQ(windows.main().hostList()->hostCount(), 1);

  files.writeHosts({{"gateway", "127.0.0.1"}, {"nas", "127.0.0.2"}});
  const auto holder = instanceHolder(TInstanceKind::Hosts, files.hostsPath().toStdString());
  ASSERT_TRUE(holder);
  auto answer = std::async(std::launch::async,
                           [&] { return sendInstanceCommand(holder->channel, "reload-hosts", 3s); });
  while (answer.wait_for(10ms) != std::future_status::ready) QCoreApplication::processEvents();
  EXPECT_EQ(answer.get(), "ok");
  EXPECT_EQ(windows.main().hostList()->hostCount(), 2);
}

}  // namespace
