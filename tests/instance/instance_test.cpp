// One running copy per settings file and per hosts file: the lock on its own, then the real program
// started after a SIGKILL, twice, and beside a headless start.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>
#include <unistd.h>

#include "instance/instancechannel.h"
#include "instance/instancelock.h"

namespace {

using namespace std::chrono_literals;

TEST(InstanceLock, OneHolderPerFileWhateverThePathInAPrivateFolder) {
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
  EXPECT_TRUE(TInstanceLock(TInstanceKind::Settings, file).tryAcquire());  // a lock of its own
  first.reset();
  EXPECT_TRUE(second.tryAcquire());

  // Without XDG_RUNTIME_DIR: a folder of the temporary folder, never a link planted there.
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), ownTmp = qgetenv("TMPDIR");
  qunsetenv("XDG_RUNTIME_DIR");
  qputenv("TMPDIR", dir.path().toLocal8Bit());
  const QString folder = dir.filePath(QString("sorvelo-%1").arg(geteuid()));
  QFile::link(dir.path(), folder);
  EXPECT_FALSE(TInstanceLock(TInstanceKind::Hosts, file).tryAcquire());
  QFile::remove(folder);
  EXPECT_TRUE(TInstanceLock(TInstanceKind::Hosts, file).tryAcquire());
  EXPECT_EQ((QFileInfo(folder).permissions() & 0x0077).toInt(), 0);  // group and others: nothing
  qputenv("XDG_RUNTIME_DIR", runtime);
  qputenv("TMPDIR", ownTmp);
}

// The real program, with settings that say set-up is done and a hosts file of one host. This test
// program shares the runtime folder with it, to look at its locks.
class SingleInstanceProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"config/Sorvelo", "data", "runtime"}) QDir(home.path()).mkpath(sub);
    QFile::setPermissions(home.filePath("runtime"), QFileDevice::ReadOwner |
                                                        QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ownRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", home.filePath("runtime").toLocal8Bit());
    write("config/Sorvelo/Sorvelo.conf", "[hosts]\nhosts_file_name=" + path("hosts.cfg") +
                                             "\n[logging]\ngeneral_log_filename=" + path("log.txt") +
                                             "\n[general]\nfirsttime=0\ncheckversion=1\n");
    write("hosts.cfg",
          "NEW_HOST_START $$@@$$ \r\nHOSTCALLINGNAME %STRING% loop\r\nHOSTNAME %STRING% 127.0.0.1"
          "\r\nHOSTIPADDRESS %STRING% 127.0.0.1\r\nNEW_HOST_END $$@@$$ \r\n");
  }
  void TearDown() override { qputenv("XDG_RUNTIME_DIR", ownRuntime); }

  std::string path(const char* name) const { return home.filePath(name).toStdString(); }
  QByteArray read(const char* name) const {
    QFile file(home.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  void write(const char* name, const std::string& text) {
    QFile file(home.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text.c_str()) > 0);
  }

  std::unique_ptr<QProcess> start(const QStringList& arguments = {}) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("SORVELO_MESSAGES_TO_STDERR", "1");
    process->setProcessEnvironment(env);
    QString build = qEnvironmentVariable("SORVELO_BUILD_DIR");
    if (build.isEmpty()) build = QCoreApplication::applicationDirPath() + "/..";
    process->start(QDir(build).absoluteFilePath("sorvelo"), arguments);
    EXPECT_TRUE(process->waitForStarted(5000));
    return process;
  }

  // Waits until the desktop program serves its channel, which it opens once it holds its locks.
  void waitUntilServing(const QProcess& program) const {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
      const auto holder =
          instanceHolder(TInstanceKind::Settings, path("config/Sorvelo/Sorvelo.conf"));
      if (holder && holder->pid == program.processId() &&
          QFileInfo(QString::fromStdString(holder->channel)).exists())
        return;
      QThread::msleep(50);
    }
    FAIL() << "the program never served its channel";
  }

  static void stop(QProcess& process) {
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(15000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  }

  QTemporaryDir home;
  QByteArray ownRuntime;
};

// A copy killed with SIGKILL leaves no lock behind; the next one is the first, and a second start
// only brings its window forward.
TEST_F(SingleInstanceProgram, SecondStartLeavesTheFirstAloneAndHeadlessIsRefused) {
  auto killed = start();
  waitUntilServing(*killed);
  ::kill(static_cast<pid_t>(killed->processId()), SIGKILL);
  ASSERT_TRUE(killed->waitForFinished(5000));
  auto first = start();
  waitUntilServing(*first);

  auto second = start();
  const bool ended = second->waitForFinished(5000);
  if (!ended) stop(*second);  // a second full copy
  ASSERT_TRUE(ended) << "the second start kept running";
  EXPECT_EQ(second->exitCode(), 0);
  EXPECT_EQ(first->state(), QProcess::Running);

  auto headless = start({"--headless"});
  ASSERT_TRUE(headless->waitForFinished(5000));
  EXPECT_EQ(headless->exitCode(), 1);
  const std::string said = headless->readAllStandardError().toStdString();
  EXPECT_NE(said.find("in use by another running copy of Sorvelo (pid " +
                      std::to_string(first->processId())),
            std::string::npos) << said;

  stop(*first);
  // The first wrote its files as normal: nothing moved aside, no set-up questions answered.
  EXPECT_EQ(QDir(home.path()).entryList({"hosts.cfg*"}, QDir::Files).size(), 1);
  EXPECT_TRUE(read("hosts.cfg").contains("HOSTIPADDRESS %STRING% 127.0.0.1"));
  EXPECT_TRUE(read("config/Sorvelo/Sorvelo.conf").contains("firsttime=0"));
}

// What `sorvelo --add` and the like rely on: the lock of the hosts file leads to the monitor's
// channel, and the monitor reads its hosts file again when asked; read-only commands run beside it.
TEST_F(SingleInstanceProgram, HeadlessMonitorIsFoundByItsHostsFileAndReloadsWhenAsked) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: the headless program refuses to run without ICMP";
  auto monitor = start({"--headless"});
  ASSERT_FALSE(monitor->waitForFinished(1500)) << monitor->readAllStandardError().toStdString();
  const auto holder = instanceHolder(TInstanceKind::Hosts, path("hosts.cfg"));
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
