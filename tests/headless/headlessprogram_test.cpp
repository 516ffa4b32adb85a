// The real program in headless mode, started the way a service manager starts it: exit codes and
// messages, SIGHUP and SIGTERM, and a real Prometheus server scraping it.
//
// Each test moves itself into a network namespace of its own first, so the program's echoes, its
// endpoint and Prometheus all stay inside it: 127.0.0.0/8 answers there, and 10.98.0.2 lies on a
// veth link whose other end holds no address, so nothing ever answers for it (the silent host).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include <QTest>

#include "metrics/scrapesupport.h"
#include "support/httpsink.h"
#include "support/netns.h"

namespace {

QString programPath() {
  QString buildDir = qEnvironmentVariable("SORVELO_BUILD_DIR");
  if (buildDir.isEmpty()) buildDir = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
  return QDir(buildDir).absoluteFilePath(QStringLiteral("sorvelo"));
}

// Moves this thread, and every process it starts from now on, into a new network namespace with
// loopback up; then runs the set-up commands there.
::testing::AssertionResult enterPrivateNetwork(const std::vector<std::string>& commands = {}) {
  if (unshare(CLONE_NEWNET) != 0) return ::testing::AssertionFailure() << "unshare failed";
  if (std::string problem = netns::bringLoopbackUp(); !problem.empty())
    return ::testing::AssertionFailure() << problem;
  for (const std::string& command : commands)
    if (std::system(command.c_str()) != 0) return ::testing::AssertionFailure() << command;
  return ::testing::AssertionSuccess();
}

bool waitFor(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < limitMs) QThread::msleep(200);
  return done();
}

void writeText(const QString& path, const std::string& text) {
  std::ofstream(path.toStdString(), std::ios::binary) << text;
}

std::string readText(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A private home for one run: settings with the log and hosts file in it and the endpoint on
// `port`, and the hosts (calling name, address) in the hosts file.
struct THome {
  QTemporaryDir dir;
  QString settings = dir.filePath("sorvelo.conf");
  QString hosts = dir.filePath("hosts.cfg");
  QString log = dir.filePath("general_log.txt");

  void write(int port, const std::vector<std::pair<std::string, std::string>>& hostList) {
    writeText(settings, "[logging]\ngeneral_log_enabled=1\nhost_log_enabled=1\n"
                        "general_log_filename=" + log.toStdString() + "\n"
                        "[hosts]\nhosts_file_name=" + hosts.toStdString() + "\n"
                        "[pinging]\nping_speed=1\n[general]\nfirsttime=0\n"
                        "[metrics]\nport=" + std::to_string(port) + "\n");
    writeHosts(hostList);
  }
  void writeHosts(const std::vector<std::pair<std::string, std::string>>& hostList) {
    std::string text;
    for (const auto& [name, address] : hostList)
      text += "NEW_HOST_START $$@@$$ \r\nHOSTCALLINGNAME %STRING% " + name +
              "\r\nHOSTNAME %STRING% " + address + "\r\nHOSTIPADDRESS %STRING% " + address +
              "\r\nTIMEOUT %INTEGER% 1000\r\nINTERVAL %INTEGER% 1\r\nNEW_HOST_END $$@@$$ \r\n";
    writeText(hosts, text);
  }
  // Kind and subject (and state) of each log entry: "PROGRAM STARTUP", "PROGRAM PINGING START".
  std::vector<std::string> logEntries() const {
    std::vector<std::string> entries;
    std::istringstream lines(readText(log));
    for (std::string line; std::getline(lines, line);) {
      const QStringList fields = QString::fromStdString(line).split(';');
      if (fields.size() < 9) continue;
      QString entry = fields[6] + " " + fields[7];
      if (!fields[8].isEmpty() && fields[7] != "TIMESTAMP") entry += " " + fields[8];
      entries.push_back(entry.toStdString());
    }
    return entries;
  }
};

struct TEnded {
  int code = -1;
  std::string errors;
};

TEnded runToEnd(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(20000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          process.readAllStandardError().toStdString()};
}

void startHeadless(QProcess& process, const THome& home) {
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  process.start(programPath(), {"--headless", "--config", home.settings});
  ASSERT_TRUE(process.waitForStarted(5000));
}

TEnded stop(QProcess& process) {
  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  if (!process.waitForFinished(20000)) return {};
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, {}};
}

#define REQUIRE_ROOT()                                                                   \
  if (!netns::isRoot()) GTEST_SKIP() << "needs root: network namespaces and ICMP sockets"; \
  ASSERT_TRUE(QFileInfo(programPath()).isExecutable()) << programPath().toStdString()

TEST(HeadlessProgram, ExitCodesNameTheFault) {
  REQUIRE_ROOT();
  ASSERT_TRUE(enterPrivateNetwork());
  TEnded ended = runToEnd(programPath(), {"--headless", "--frobnicate"});
  EXPECT_EQ(ended.code, 2);
  EXPECT_NE(ended.errors.find("error: unknown option '--frobnicate'"), std::string::npos);

  ended = runToEnd(programPath(), {"--headless", "--config", "/nonexistent/sorvelo.conf"});
  EXPECT_EQ(ended.code, 2);
  EXPECT_NE(ended.errors.find("/nonexistent/sorvelo.conf does not exist"), std::string::npos);

  // An ordinary user where ICMP sockets are not allowed ("1 0" allows no group).
  if (QStandardPaths::findExecutable("setpriv").isEmpty()) GTEST_SKIP() << "no setpriv";
  writeText("/proc/sys/net/ipv4/ping_group_range", "1 0");
  ended = runToEnd("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                               programPath(), "--headless"});
  EXPECT_EQ(ended.code, 1) << ended.errors;
  EXPECT_NE(ended.errors.find("error: Unable to get ping handle"), std::string::npos);
  EXPECT_NE(ended.errors.find("ping_group_range"), std::string::npos);
  EXPECT_NE(ended.errors.find("setcap cap_net_raw+ep"), std::string::npos);
}

TEST(HeadlessProgram, SighupReadsTheHostsAgainAndSigtermClosesInOrderKeepingTheSettingsFile) {
  REQUIRE_ROOT();
  ASSERT_TRUE(enterPrivateNetwork());
  THome home;
  const int port = scrape::freePort();
  home.write(port, {{"one", "127.0.0.1"}});
  QProcess program;
  startHeadless(program, home);
  auto value = [port](const std::string& series) {
    const auto page = scrape::httpGet(port, "/metrics");
    return page ? scrape::sample(*page, series) : std::nullopt;
  };
  ASSERT_TRUE(waitFor([&] { return value("sorvelo_hosts") == 1; }, 10000));

  home.writeHosts({{"one", "127.0.0.1"}, {"two", "127.0.0.2"}});
  ::kill(static_cast<pid_t>(program.processId()), SIGHUP);
  EXPECT_TRUE(waitFor([&] { return value("sorvelo_hosts") == 2; }, 10000));
  EXPECT_TRUE(waitFor(
      [&] { return value("sorvelo_host_up{host=\"two\",address=\"127.0.0.2\"}") == 1; }, 15000));

  // Settings the desktop program (or the user) saved meanwhile: nothing here changed them, so the
  // stop does not write the values read at start back over them.
  std::string edited = readText(home.settings);
  edited.replace(edited.find("ping_speed=1"), 12, "ping_speed=3");
  writeText(home.settings, edited);
  EXPECT_EQ(stop(program).code, 0);
  EXPECT_EQ(readText(home.settings), edited);
  const std::vector<std::string> log = home.logEntries();
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(log[0], "PROGRAM STARTUP");
  EXPECT_EQ(log[1], "PROGRAM PINGING START");
  const std::vector<std::string> tail(log.end() - 4, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"PROGRAM TIMESTAMP", "PROGRAM TIMESTAMP",
                                            "PROGRAM PINGING STOP", "PROGRAM SHUTDOWN"}));
  const std::string saved = readText(home.hosts);
  EXPECT_NE(saved.find("HOSTIPADDRESS %STRING% 127.0.0.2"), std::string::npos);
  EXPECT_EQ(saved.find("SUCCEEDEDCOUNT %INTEGER% 0\r\n"), std::string::npos) << saved;
}

// Prometheus's answer to a query as value by "host result" ("loop answered", "loop" for series
// without a result label).
std::map<std::string, double> query(int port, const std::string& promql) {
  std::map<std::string, double> values;
  const auto body = scrape::httpGet(port, "/api/v1/query?query=" + promql);
  if (!body) return values;
  const QJsonArray result =
      QJsonDocument::fromJson(QByteArray::fromStdString(*body))["data"]["result"].toArray();
  for (const QJsonValue& series : result) {
    const QJsonObject labels = series["metric"].toObject();
    QString key = labels["host"].toString();
    if (labels.contains("result")) key += " " + labels["result"].toString();
    values[key.toStdString()] = series["value"].toArray().at(1).toString().toDouble();
  }
  return values;
}

TEST(HeadlessProgram, PrometheusSeesTheAnsweringAndTheSilentHost) {
  REQUIRE_ROOT();
  const QString prometheus = QStandardPaths::findExecutable("prometheus");
  if (prometheus.isEmpty()) GTEST_SKIP() << "prometheus is not installed";
  ASSERT_TRUE(enterPrivateNetwork({"ip link add sv0 type veth peer name sv1",
                                   "ip addr add 10.98.0.1/24 dev sv0", "ip link set sv0 up",
                                   "ip link set sv1 up"}));
  THome home;
  const int metricsPort = scrape::freePort();
  home.write(metricsPort, {{"loop", "127.0.0.1"}, {"silent", "10.98.0.2"}});
  QTemporaryDir storage;
  const QString config = home.dir.filePath("prometheus.yml");
  writeText(config, "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                    "scrape_configs:\n  - job_name: sorvelo\n    static_configs:\n"
                    "      - targets: ['127.0.0.1:" + std::to_string(metricsPort) + "']\n");
  const int prometheusPort = scrape::freePort();
  QProcess server;
  server.setProcessChannelMode(QProcess::MergedChannels);
  server.start(prometheus, {"--config.file=" + config, "--storage.tsdb.path=" + storage.path(),
                            "--web.listen-address=127.0.0.1:" + QString::number(prometheusPort)});
  ASSERT_TRUE(server.waitForStarted(5000));
  QProcess program;
  startHeadless(program, home);

  std::map<std::string, double> up, echoes;
  const bool seen = waitFor([&] {
    up = query(prometheusPort, "sorvelo_host_up");
    echoes = query(prometheusPort, "sorvelo_echoes_total");
    return up.size() == 2 && echoes["loop answered"] > 0 && echoes["silent lost"] > 0;
  }, 60000);
  EXPECT_EQ(stop(program).code, 0);
  ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
  server.waitForFinished(10000);
  ASSERT_TRUE(seen) << server.readAll().toStdString();
  EXPECT_EQ(up["loop"], 1);
  EXPECT_EQ(up["silent"], 0);
  EXPECT_EQ(echoes["loop lost"], 0);
  EXPECT_EQ(echoes["silent answered"], 0);
}

// Alerts without a display: loopback silenced in the namespace (echo requests ignored) and
// answering again; the command and the webhook run for both changes, and each change is one line
// on standard error.
TEST(HeadlessProgram, AHostSilencedAndBackRunsTheCommandAndTheWebhookWithOneLineEach) {
  REQUIRE_ROOT();
  ASSERT_TRUE(enterPrivateNetwork());
  THome home;
  const int port = scrape::freePort();
  home.write(port, {{"loop", "127.0.0.1"}});
  THttpSink sink;
  const QString marks = home.dir.filePath("marks.txt");
  const QString script = home.dir.filePath("on-change.sh");
  writeText(script, "#!/bin/sh\necho \"$SORVELO_CALLING_NAME $SORVELO_OLD_STATE $SORVELO_NEW_STATE\" >> " +
                        marks.toStdString() + "\n");
  QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  writeText(home.settings, readText(home.settings) + "[alerts]\nlost_to_down=1\nanswers_to_up=1\ncommand=" +
                               script.toStdString() + "\nwebhook_url=" + sink.url().toStdString() + "\n");
  QProcess program;
  program.start(programPath(), {"--headless", "--config", home.settings});
  ASSERT_TRUE(program.waitForStarted(5000));
  std::string errors;
  auto hostLines = [&](const std::string& state) {
    errors += program.readAllStandardError().toStdString();
    int count = 0;
    for (std::size_t at = errors.find("alert: loop (127.0.0.1) " + state); at != std::string::npos;
         at = errors.find("alert: loop (127.0.0.1) " + state, at + 1))
      ++count;
    return count;
  };
  auto posted = [&](const char* event) {
    return std::count_if(sink.requests.begin(), sink.requests.end(), [&](const THttpRequest& r) {
      return QJsonDocument::fromJson(r.body)["event"].toString() == event;
    });
  };
  const bool up = QTest::qWaitFor([&] {
    const auto page = scrape::httpGet(port, "/metrics");
    return page && scrape::sample(*page, "sorvelo_host_up{host=\"loop\",address=\"127.0.0.1\"}") == 1;
  }, 10000);
  writeText("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1");
  const bool down = QTest::qWaitFor([&] { return hostLines("down") == 1 && posted("host_down") == 1; }, 15000);
  writeText("/proc/sys/net/ipv4/icmp_echo_ignore_all", "0");
  const bool back = QTest::qWaitFor([&] { return hostLines("up") == 1 && posted("host_up") == 1; }, 15000);
  QTest::qWait(1500);  // nothing more is said about the same change
  EXPECT_EQ(stop(program).code, 0);
  errors += program.readAllStandardError().toStdString();
  ASSERT_TRUE(up && down && back) << errors;

  EXPECT_EQ(hostLines("down: 1 echo lost"), 1) << errors;
  EXPECT_EQ(hostLines("up: 1 answer"), 1) << errors;
  EXPECT_EQ(posted("host_down"), 1);
  EXPECT_EQ(posted("host_up"), 1);
  EXPECT_EQ(readText(marks), "loop up down\nloop down up\n");
  for (const THttpRequest& request : sink.requests) {
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    if (body["event"] == "host_up") {
      EXPECT_GE(body["outage_seconds"].toDouble(), 1) << request.body.toStdString();
    }
  }
}

}  // namespace
