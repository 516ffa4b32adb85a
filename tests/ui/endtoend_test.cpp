// The real program, start to finish: started with settings and a hosts file of the test's own, left
// pinging for about twelve seconds, then ended with SIGTERM. The log must tell the whole run in
// order and the hosts file must have been saved with the counters of the run.
//
// The program runs in a private network namespace with only its loopback: 127.0.0.1 answers, and
// the lookup of nohost.invalid fails at once without any packet leaving the machine.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "mainwindowtestsupport.h"

namespace {

constexpr int PingingMs = 12000;

QString programPath() {
  QString buildDir = qEnvironmentVariable("SORVELO_BUILD_DIR");
  if (buildDir.isEmpty()) buildDir = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
  return QDir(buildDir).absoluteFilePath(QStringLiteral("sorvelo"));
}

// The counters of each host in a saved hosts file, by address.
std::map<std::string, std::pair<int, int>> savedCounters(const std::string& text) {
  std::map<std::string, std::pair<int, int>> counters;
  std::string address;
  for (const QString& line : QString::fromStdString(text).split(QStringLiteral("\r\n"))) {
    const QStringList words = line.split(QLatin1Char(' '));
    if (words.size() < 3) continue;
    if (words[0] == "HOSTIPADDRESS") address = words[2].toStdString();
    if (words[0] == "SUCCEEDEDCOUNT") counters[address].first = words[2].toInt();
    if (words[0] == "FAILEDCOUNT") counters[address].second = words[2].toInt();
  }
  return counters;
}

TEST(EndToEnd, PingsLogsAndSavesUntilSigterm) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: ICMP sockets and a private network namespace";
  for (const char* tool : {"unshare", "ip"})
    if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
      GTEST_SKIP() << tool << " is not installed";
  const QString program = programPath();
  ASSERT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();

  QTemporaryDir home;
  for (const char* sub : {"config/Sorvelo", "data", "runtime"}) QDir(home.path()).mkpath(sub);
  QFile::setPermissions(home.filePath("runtime"),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  const QString logPath = home.filePath("general_log.txt");
  const QString hostsPath = home.filePath("hosts.cfg");
  uitest::writeFile(home.filePath("config/Sorvelo/Sorvelo.conf"),
                    "[logging]\ngeneral_log_enabled=1\nhost_log_enabled=1\n"
                    "general_log_filename=" + logPath.toStdString() + "\n"
                    "[hosts]\nhosts_file_name=" + hostsPath.toStdString() + "\n"
                    "[pinging]\nping_speed=1\nauto_startup=1\n"
                    "[general]\nfirsttime=0\nlogtimestampinterval=60\ncheckversion=1\n");
  uitest::writeFile(hostsPath, uitest::hostsFileText({{"loopback", "127.0.0.1"},
                                                      {"nowhere", "nohost.invalid"}}));

  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", home.filePath("config"));
  env.insert("XDG_DATA_HOME", home.filePath("data"));
  env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  process.setProcessEnvironment(env);
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  // unshare and sh both exec, so the process id is the program's own.
  process.start("unshare", {"--net", "--", "sh", "-c", "ip link set lo up && exec \"$0\"", program});
  ASSERT_TRUE(process.waitForStarted(5000));

  QElapsedTimer running;
  running.start();
  while (running.elapsed() < PingingMs) {
    ASSERT_FALSE(process.waitForFinished(200)) << "the program ended by itself";
  }
  ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGTERM), 0);
  ASSERT_TRUE(process.waitForFinished(20000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0);

  const std::vector<std::string> log = uitest::logTexts(logPath);
  ASSERT_GE(log.size(), 8u);
  EXPECT_EQ(log[0], "STARTUP");
  EXPECT_EQ(log[1], "PINGING START");
  const auto middle = std::vector<std::string>(log.begin() + 2, log.end() - 4);
  auto holds = [&](const std::string& prefix) {
    return std::any_of(middle.begin(), middle.end(),
                       [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
  };
  EXPECT_TRUE(holds("CONNECTION_STATUS "));
  EXPECT_TRUE(holds("HOST_STATUS UP"));
  EXPECT_TRUE(holds("HOST_STATUS DOWN"));
  const std::vector<std::string> tail(log.end() - 4, log.end());
  EXPECT_EQ(tail[0].rfind("TIMESTAMP ", 0), 0u);
  EXPECT_EQ(tail[1], tail[0]);
  EXPECT_EQ(tail[2], "PINGING STOP");
  EXPECT_EQ(tail[3], "SHUTDOWN");

  const auto counters = savedCounters(uitest::readFile(hostsPath));
  ASSERT_EQ(counters.count("127.0.0.1"), 1u);
  ASSERT_EQ(counters.count("nohost.invalid"), 1u);
  EXPECT_GT(counters.at("127.0.0.1").first, 0);
  EXPECT_EQ(counters.at("127.0.0.1").second, 0);
  EXPECT_EQ(counters.at("nohost.invalid").first, 0);
  EXPECT_GT(counters.at("nohost.invalid").second, 0);
}

}  // namespace
