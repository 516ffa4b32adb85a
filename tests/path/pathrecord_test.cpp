// The monitor without a display tracing a host's path in a chain of namespaces
// (source -- r1 -- r2 -- r3 -- host): a cut behind router 2 makes the outage name hop 2 as the last
// that answered (on standard error and in `sorvelo --outages`), and router 2 answering from another
// address afterwards is recorded as a route change in the results database and on the metrics
// endpoint.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "history/pathrecords.h"
#include "support/netchain.h"
#include "support/netns.h"

namespace {

std::string program() {
  if (const char* build = std::getenv("SORVELO_BUILD_DIR")) return std::string(build) + "/sorvelo";
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "sorvelo")
      .string();
}

std::string readText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool waitFor(const std::function<bool()>& done, int limitMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limitMs) return false;
    QThread::msleep(250);
  }
  return true;
}

// Counts rows of the results database with a query of its own connection (read only).
int count(const std::string& database, const QString& sql) {
  const QString name = QStringLiteral("path-record-test");
  int rows = -1;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(QString::fromStdString(database));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
    QSqlQuery q(db);
    if (db.open() && q.exec(sql) && q.next()) rows = q.value(0).toInt();
  }
  QSqlDatabase::removeDatabase(name);
  return rows;
}

}  // namespace

TEST(PathRecord, CutBehindRouterTwoNamesHopTwoAndANewAnswerAddressIsARouteChange) {
  if (!netns::isRoot()) GTEST_SKIP() << "needs root to build the namespace chain";
  netns::TNetChain chain("pr", 3);
  ASSERT_TRUE(chain.ok()) << chain.failure();
  QTemporaryDir dir;
  const std::string home = dir.path().toStdString();
  const std::string settings = home + "/sorvelo.conf", hosts = home + "/hosts.cfg";
  const std::string database = home + "/history.sqlite", errors = home + "/stderr.txt";
  const std::string target = chain.addressV4(4);
  std::ofstream(settings) << "[logging]\ngeneral_log_enabled=1\ngeneral_log_filename=" << home
                          << "/general_log.txt\n[hosts]\nhosts_file_name=" << hosts
                          << "\n[pinging]\nping_speed=1\n[general]\nfirsttime=0\n"
                             "[paths]\ntrace_all=1\n[metrics]\nport=9777\n";
  std::ofstream(hosts) << "NEW_HOST_START $$@@$$ \r\nHOSTCALLINGNAME %STRING% far\r\n"
                          "HOSTNAME %STRING% " << target << "\r\nHOSTIPADDRESS %STRING% " << target
                       << "\r\nTIMEOUT %INTEGER% 1000\r\nINTERVAL %INTEGER% 1\r\n"
                          "NEW_HOST_END $$@@$$ \r\n";
  ASSERT_EQ(chain.run(0, program() + " --headless --config " + settings + " 2>" + errors +
                             " >/dev/null & echo $! >" + home + "/pid"),
            0);
  ASSERT_TRUE(waitFor([&] { return !readText(home + "/pid").empty(); }, 5000));
  const std::string pid = std::to_string(std::stoi(readText(home + "/pid")));
  const auto stopProgram = [&] {
    // A program already gone fails the kill, which is as good.
    [[maybe_unused]] const int signalled =
        std::system(("kill -TERM " + pid + " 2>/dev/null").c_str());
    return waitFor([&] { return std::system(("kill -0 " + pid + " 2>/dev/null").c_str()) != 0; },
                   15000);
  };

  // The scheduled round at start reaches the host through all three routers.
  ASSERT_TRUE(waitFor([&] {
    return count(database, "SELECT count(*) FROM path_rounds WHERE reached = 1") >= 1;
  }, 20000)) << readText(errors);
  EXPECT_EQ(count(database, "SELECT count(*) FROM path_hops WHERE hop_address <> ''"), 4);

  // Router 3 takes in nothing any more: router 2 is the last to answer.
  ASSERT_EQ(chain.run(3, "nft add table inet cut && nft add chain inet cut in "
                         "\"{ type filter hook prerouting priority -300; policy drop; }\""),
            0);
  const std::string named = "is down: the path stops after hop 2, " + chain.addressV4(2) + " (" +
                            chain.reverseName(2) + ")";
  EXPECT_TRUE(waitFor([&] { return readText(errors).find(named) != std::string::npos; }, 40000))
      << readText(errors);

  // Mended, and router 2 now answers from its right-hand address (the route back prefers it).
  const std::string leftOfRouter2 = chain.addressV4(2);
  const std::string rightOfRouter2 = "192.0.2.9";
  ASSERT_EQ(chain.run(3, "nft delete table inet cut"), 0);
  ASSERT_EQ(chain.run(2, "ip route replace 192.0.2.0/30 via 192.0.2.5 src " + rightOfRouter2), 0);
  const std::string changed =
      "path to " + target + " changed at hop 2: " + leftOfRouter2 + " -> " + rightOfRouter2;
  EXPECT_TRUE(waitFor([&] { return readText(errors).find(changed) != std::string::npos; }, 40000))
      << readText(errors);
  // The endpoint (inside the source namespace) shows the last round, reaching the host again.
  std::string page;
  // bash's own TCP redirection: a fresh system need not have an HTTP client installed.
  chain.run(0,
            R"(bash -c "exec 3<>/dev/tcp/127.0.0.1/9777 && )"
            R"(printf \"GET /metrics HTTP/1.0\\r\\n\\r\\n\" >&3 && timeout 5 cat <&3")",
            &page);
  EXPECT_NE(page.find("sorvelo_path_hops{host=\"far\"} 4"), std::string::npos) << page;
  EXPECT_NE(page.find("sorvelo_path_hop_rtt_seconds{host=\"far\",hop=\"2\",address=\"" +
                      rightOfRouter2 + "\"}"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("sorvelo_path_changes_total{host=\"far\"} 1"), std::string::npos) << page;
  ASSERT_TRUE(stopProgram());

  EXPECT_EQ(count(database, QStringLiteral("SELECT count(*) FROM path_changes WHERE hop = 2 AND "
                                           "before_address = '%1' AND after_address = '%2'")
                                .arg(QString::fromStdString(leftOfRouter2),
                                     QString::fromStdString(rightOfRouter2))),
            1);
  EXPECT_EQ(count(database, "SELECT count(*) FROM path_rounds WHERE reason = 'down'"), 1);

  std::string report;
  ASSERT_EQ(chain.run(0, program() + " --outages --config " + settings + " --format json",
                      &report),
            0)
      << report;
  const QJsonArray outages = QJsonDocument::fromJson(QByteArray::fromStdString(report)).array();
  ASSERT_EQ(outages.size(), 1) << report;
  EXPECT_EQ(outages[0].toObject()["last_hop"].toString().toStdString(),
            "hop 2, " + leftOfRouter2 + " (" + chain.reverseName(2) + ")")
      << report;
}
