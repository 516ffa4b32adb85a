// The desktop program's single-instance glue with its real windows: "activate" through the channel
// brings back a window hidden in the tray, and the hosts-file lock follows the Config dialog.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <future>

#include "config/settings.h"
#include "mainwindowtestsupport.h"
#include "support/messagerecorder.h"
#include "ui/desktopinstance.h"
#include "ui/frmconfigedit.h"
#include "ui/programwindows.h"
#include "ui/tfrmmain.h"
#include "ui/trayicon.h"

namespace {

using namespace std::chrono_literals;

class DesktopInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.writeSettings();
    files.writeHosts({{"gateway", "127.0.0.1"}});
    ASSERT_EQ(instance.claim(), TDesktopInstance::TClaim::First);
    windows = std::make_unique<TProgramWindows>();
    instance.serve(windows->main());
  }

  uitest::TProgramFiles files;
  TDesktopInstance instance;
  std::unique_ptr<TProgramWindows> windows;
};

TEST_F(DesktopInstanceTest, ActivateRestoresTheWindowFromTheTray) {
  TfrmMain& main = windows->main();
  main.show();
  main.TrayIcon1->hideMainForm();
  ASSERT_FALSE(main.isVisible());

  const auto holder = instanceHolder(TInstanceKind::Settings, settingsFilePath());
  ASSERT_TRUE(holder);
  auto answer = std::async(std::launch::async,
                           [&] { return sendInstanceCommand(holder->channel, "activate", 3s); });
  while (answer.wait_for(10ms) != std::future_status::ready) QCoreApplication::processEvents();
  EXPECT_EQ(answer.get(), "ok");
  EXPECT_TRUE(main.isVisible());
  EXPECT_FALSE(main.isMinimized());
}

TEST_F(DesktopInstanceTest, HostsFileLockFollowsConfigAndRefusesOneInUse) {
  const std::string first = files.hostsPath().toStdString();
  const std::string busy = first + ".busy", free = first + ".free";
  TInstanceLock other(TInstanceKind::Hosts, busy);
  ASSERT_TRUE(other.tryAcquire());
  TMessageRecorder messages;
  TfrmConfigEdit& config = windows->configEdit();

  config.edHostsFileName->setText(QString::fromStdString(busy));
  config.btnSave->click();
  EXPECT_EQ(settings.hosts_file_name, first);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_NE(messages.messages()[0].find("in use by another running copy"), std::string::npos);

  config.edHostsFileName->setText(QString::fromStdString(free));
  config.btnSave->click();
  EXPECT_EQ(settings.hosts_file_name, free);
  EXPECT_TRUE(instanceHolder(TInstanceKind::Hosts, free));
  EXPECT_FALSE(instanceHolder(TInstanceKind::Hosts, first));
}

}  // namespace
