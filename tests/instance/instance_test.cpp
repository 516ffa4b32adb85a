// One running copy per settings file and per hosts file: the lock and channel on their own, then
// the real program started twice, beside a headless start, and after a SIGKILL.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "instance/instancechannel.h"
#include "instance/instancelock.h"

namespace {

using namespace std::chrono_literals;

TEST(InstanceLock, OneHolderPerFileWhateverThePathAndNamedToOthers) {
  QTemporaryDir dir;
  QFile::link(dir.path(), dir.filePath("link"));
  const std::string file = dir.filePath("hosts.cfg").toStdString();
  auto first = std::make_unique<TInstanceLock>(TInstanceKind::Hosts, file);
  ASSERT_TRUE(first->tryAcquire("/somewhere/channel.sock")) << first->problem();

  // The same file, not yet existing, spelt another way: still the same lock.
  TInstanceLock second(TInstanceKind::Hosts, dir.filePath("link/new/../hosts.cfg").toStdString());
  EXPECT_FALSE(second.tryAcquire());
  ASSERT_TRUE(second.holder());
  EXPECT_EQ(second.holder()->pid, getpid());
  EXPECT_EQ(second.holder()->channel, "/somewhere/channel.sock");
  EXPECT_NE(describeHolder(*second.holder()).find("tests_instance"), std::string::npos);
  // A settings lock on the same path is a lock of its own.
  EXPECT_TRUE(TInstanceLock(TInstanceKind::Settings, file).tryAcquire());

  first.reset();
  EXPECT_FALSE(instanceHolder(TInstanceKind::Hosts, file));
  EXPECT_TRUE(second.tryAcquire());
}

TEST(InstanceLock, FolderIsPrivateAlsoWithoutRuntimeFolder) {
  QTemporaryDir tmp;
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), ownTmp = qgetenv("TMPDIR");
  qunsetenv("XDG_RUNTIME_DIR");
  qputenv("TMPDIR", tmp.path().toLocal8Bit());
  const QString folder = tmp.filePath(QString("sorvelo-%1").arg(geteuid()));
  QFile::link(tmp.path(), folder);  // a link planted where the folder goes is refused
  TInstanceLock planted(TInstanceKind::Hosts, "/x/hosts.cfg");
  EXPECT_FALSE(planted.tryAcquire());
  EXPECT_FALSE(planted.problem().empty());
  QFile::remove(folder);
  EXPECT_TRUE(TInstanceLock(TInstanceKind::Hosts, "/x/hosts.cfg").tryAcquire());
  EXPECT_EQ((QFileInfo(folder).permissions() & 0x0077).toInt(), 0);  // group and others: nothing
  qputenv("XDG_RUNTIME_DIR", runtime);
  qputenv("TMPDIR", ownTmp);
}

// Sends from another thread while this one runs the channel's event loop, as two processes would.
std::string sendWhileServing(const std::string& path, const std::string& command) {
  auto answer = std::async(std::launch::async, [&] { return sendInstanceCommand(path, command, 3s); });
  while (answer.wait_for(10ms) != std::future_status::ready) QCoreApplication::processEvents();
  return answer.get();
}

TEST(InstanceChannel, RunsKnownCommandsAndNamesUnknownOnes) {
  QTemporaryDir dir;
  TInstanceLock lock(TInstanceKind::Settings, dir.filePath("channel.conf").toStdString());
  ASSERT_TRUE(lock.tryAcquire());
  // A socket file left by a killed copy is taken over.
  QFile(QString::fromStdString(lock.channelPath())).open(QIODevice::WriteOnly);
  TInstanceChannel channel;
  int reloads = 0;
  channel.setHandler("reload-hosts", [&] { ++reloads; });
  ASSERT_TRUE(channel.listen(lock.channelPath())) << channel.problem();

  EXPECT_EQ(sendWhileServing(lock.channelPath(), "reload-hosts"), "ok");
  EXPECT_EQ(reloads, 1);
  EXPECT_EQ(sendWhileServing(lock.channelPath(), "activate"), "unknown activate");
  EXPECT_EQ(sendInstanceCommand(lock.channelPath() + ".none", "activate", 200ms), "");
}

// The real program, with settings that say set-up is done and a hosts file of one host.
class SingleInstanceProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"config/Sorvelo", "data", "runtime"}) QDir(home.path()).mkpath(sub);
    QFile::setPermissions(home.filePath("runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    write("config/Sorvelo/Sorvelo.conf",
          "[logging]\ngeneral_log_enabled=1\ngeneral_log_filename=" + path("log.txt") +
              "\n[hosts]\nhosts_file_name=" + path("hosts.cfg") +
              "\n[pinging]\nauto_startup=0\n[general]\nfirsttime=0\ncheckversion=1\n");
    write("hosts.cfg",
          "NEW_HOST_START $$@@$$ \r\nHOSTCALLINGNAME %STRING% loop\r\nHOSTNAME %STRING% 127.0.0.1"
          "\r\nHOSTIPADDRESS %STRING% 127.0.0.1\r\nTIMEOUT %INTEGER% 2000\r\nINTERVAL %INTEGER% 1"
          "\r\nNEW_HOST_END $$@@$$ \r\n");
  }

  std::string path(const char* name) const { return home.filePath(name).toStdString(); }
  void write(const char* name, const std::string& text) {
    QFile file(home.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
  }

  std::unique_ptr<QProcess> start(const QStringList& arguments = {}) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SORVELO_MESSAGES_TO_STDERR", "1");
    process->setProcessEnvironment(env);
    QString build = qEnvironmentVariable("SORVELO_BUILD_DIR");
    if (build.isEmpty()) build = QCoreApplication::applicationDirPath() + "/..";
    process->start(QDir(build).absoluteFilePath("sorvelo"), arguments);
    EXPECT_TRUE(process->waitForStarted(5000));
    return process;
  }

  // Waits until the desktop program listens on its channel (it holds its locks by then).
  void waitUntilServing() {
    QElapsedTimer waited;
    waited.start();
    const QDir folder(home.filePath("runtime/sorvelo"));
    while (folder.entryList({"settings-*.sock"}, QDir::System).isEmpty() && waited.elapsed() < 10000)
      QThread::msleep(50);
    ASSERT_FALSE(folder.entryList({"settings-*.sock"}, QDir::System).isEmpty());
  }

  static void stop(QProcess& process) {
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(15000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  }

  QTemporaryDir home;
};

TEST_F(SingleInstanceProgram, SecondStartLeavesTheFirstAloneAndHeadlessIsRefused) {
  auto first = start();
  waitUntilServing();

  auto second = start();
  const bool ended = second->waitForFinished(5000);
  if (!ended) stop(*second);  // today's behaviour: a second full copy
  ASSERT_TRUE(ended) << "the second start kept running";
  EXPECT_EQ(second->exitCode(), 0);
  EXPECT_EQ(first->state(), QProcess::Running);

  auto headless = start({"--headless"});
  ASSERT_TRUE(headless->waitForFinished(5000));
  EXPECT_EQ(headless->exitCode(), 1);
  const std::string said = headless->readAllStandardError().toStdString();
  EXPECT_NE(said.find("is in use by another running copy"), std::string::npos) << said;
  EXPECT_NE(said.find("pid " + std::to_string(first->processId())), std::string::npos) << said;

  stop(*first);
  // The first wrote its files as normal: nothing moved aside, no set-up questions answered.
  EXPECT_EQ(QDir(home.path()).entryList({"hosts.cfg*"}, QDir::Files).size(), 1);
  QFile hosts(home.filePath("hosts.cfg"));
  ASSERT_TRUE(hosts.open(QIODevice::ReadOnly));
  EXPECT_TRUE(hosts.readAll().contains("HOSTIPADDRESS %STRING% 127.0.0.1"));
  QFile settings(home.filePath("config/Sorvelo/Sorvelo.conf"));
  ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
  EXPECT_TRUE(settings.readAll().contains("firsttime=0"));
}

TEST_F(SingleInstanceProgram, KilledCopyLeavesNoLockBehind) {
  auto first = start();
  waitUntilServing();
  ::kill(static_cast<pid_t>(first->processId()), SIGKILL);
  ASSERT_TRUE(first->waitForFinished(5000));

  auto next = start();
  EXPECT_FALSE(next->waitForFinished(2000)) << next->readAllStandardError().toStdString();
  // It holds the lock and serves the channel now: a further start hands over to it.
  auto further = start();
  ASSERT_TRUE(further->waitForFinished(5000));
  EXPECT_EQ(further->exitCode(), 0);
  stop(*next);
}

// What `sorvelo --add` and the like rely on: the lock of the hosts file leads to the monitor's
// channel, and the monitor reads its hosts file again when asked; read-only commands run beside it.
TEST_F(SingleInstanceProgram, HeadlessMonitorIsFoundByItsHostsFileAndReloadsWhenAsked) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: the headless program refuses to run without ICMP";
  auto monitor = start({"--headless"});
  ASSERT_FALSE(monitor->waitForFinished(1500)) << monitor->readAllStandardError().toStdString();

  const QByteArray ownRuntime = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", home.filePath("runtime").toLocal8Bit());
  const auto holder = instanceHolder(TInstanceKind::Hosts, path("hosts.cfg"));
  qputenv("XDG_RUNTIME_DIR", ownRuntime);
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->pid, monitor->processId());
  EXPECT_EQ(sendInstanceCommand(holder->channel, "reload-hosts", 3s), "ok");

  auto outages = start({"--outages"});
  ASSERT_TRUE(outages->waitForFinished(5000));
  EXPECT_EQ(outages->exitCode(), 0) << outages->readAllStandardError().toStdString();
  stop(*monitor);
  EXPECT_NE(monitor->readAllStandardError().indexOf("read again"), -1);
}

}  // namespace
