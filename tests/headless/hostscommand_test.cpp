// sorvelo --add, --list and --remove through the real program, against a headless monitor running
// on the same hosts file in a network namespace of the test's own (loopback only).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sched.h>
#include <signal.h>

#include <fstream>
#include <functional>

#include "metrics/scrapesupport.h"
#include "support/netns.h"

namespace {

QString programPath() {
  QString buildDir = qEnvironmentVariable("SORVELO_BUILD_DIR");
  if (buildDir.isEmpty()) buildDir = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
  return QDir(buildDir).absoluteFilePath(QStringLiteral("sorvelo"));
}

bool waitFor(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < limitMs) QThread::msleep(200);
  return done();
}

std::string readText(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct TRun {
  int code = -1;
  std::string out;
  std::string err;
};

TRun run(const QStringList& arguments, const QByteArray& input = {}) {
  QProcess process;
  process.start(programPath(), arguments);
  process.write(input);
  process.closeWriteChannel();
  process.waitForFinished(20000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

TEST(HostsCommand, AddedHostsArePingedAndARunningMonitorTakesEveryChange) {
  if (!netns::isRoot()) GTEST_SKIP() << "needs root: network namespaces and ICMP sockets";
  ASSERT_EQ(unshare(CLONE_NEWNET), 0);
  ASSERT_EQ(netns::bringLoopbackUp(), "");
  QTemporaryDir dir;
  const QString config = dir.filePath("sorvelo.conf");
  const QString hosts = dir.filePath("hosts.cfg");
  const int port = scrape::freePort();
  std::ofstream(config.toStdString()) << "[pinging]\nping_speed=1\n[general]\nfirsttime=0\n"
                                         "[metrics]\nport=" << port << "\n";
  const QStringList files = {"--config", config, "--hosts", hosts};

  TRun added = run(QStringList{"--add", "127.0.0.5,127.0.0.6"} + files);
  EXPECT_EQ(added.code, 0) << added.err;
  EXPECT_NE(added.out.find("127.0.0.6: added from \"127.0.0.5,127.0.0.6\""), std::string::npos) << added.out;
  EXPECT_EQ(run(QStringList{"--add", "0.0.0.0", "999.1.1.1"} + files).code, 1);  // nothing added
  EXPECT_EQ(run(QStringList{"--add", "--format", "csv", "127.0.0.9"} + files).code, 2);

  QProcess monitor;
  monitor.setProcessChannelMode(QProcess::ForwardedChannels);
  monitor.start(programPath(), QStringList{"--headless"} + files);
  ASSERT_TRUE(monitor.waitForStarted(5000));
  auto value = [port](const std::string& address) {
    const auto page = scrape::httpGet(port, "/metrics");
    return page ? scrape::sample(*page, "sorvelo_host_up{host=\"" + address + "\",address=\"" + address + "\"}")
                : std::nullopt;
  };
  EXPECT_TRUE(waitFor([&] { return value("127.0.0.5") == 1 && value("127.0.0.6") == 1; }, 15000));

  // While it runs: a host from standard input, one removed, one that is not there.
  added = run(QStringList{"--add", "-"} + files, "url=https://127.0.0.7:8443/x\n");
  EXPECT_EQ(added.code, 0) << added.err;
  // Told over its channel, not left to notice the file.
  EXPECT_NE(added.out.find("The running monitor (pid " + std::to_string(monitor.processId()) +
                           ") has read the hosts file again."),
            std::string::npos)
      << added.out;
  EXPECT_EQ(run(QStringList{"--remove", "127.0.0.5"} + files).code, 0);
  const TRun missing = run(QStringList{"--remove", "127.0.0.99"} + files);
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("no host has the address or name \"127.0.0.99\""), std::string::npos);
  EXPECT_TRUE(waitFor([&] { return value("127.0.0.7") == 1 && !value("127.0.0.5"); }, 15000));

  ::kill(static_cast<pid_t>(monitor.processId()), SIGTERM);
  ASSERT_TRUE(monitor.waitForFinished(20000));
  EXPECT_EQ(monitor.exitCode(), 0);
  // The monitor's save kept the commands' changes and its own counts, and moved nothing aside.
  const TRun listed = run(QStringList{"--list", "--format", "csv"} + files);
  EXPECT_EQ(listed.code, 0);
  EXPECT_EQ(listed.out.find("127.0.0.5"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("127.0.0.6,127.0.0.6,127.0.0.6,2000,4,"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("127.0.0.7,127.0.0.7,127.0.0.7,2000,4,"), std::string::npos) << listed.out;
  EXPECT_EQ(readText(hosts).find("SUCCEEDEDCOUNT %INTEGER% 0\r\n"), std::string::npos);
  EXPECT_EQ(QDir(dir.path()).entryList({"*.unreadable-*"}).size(), 0);
}

}  // namespace
