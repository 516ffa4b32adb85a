// The whole chain with real parts: the host engine pings 127.0.0.1 and 127.0.0.2 over ICMP in the
// test's private network namespace; once each has 15 echoes of history a firewall rule there
// silences both, and is then taken away again. The notifications arrive at the test's own
// notification service on a private D-Bus bus: each host "down" (never "degraded") within K
// intervals and 3 s of its first lost echo, one notification naming both, the connection down with
// how many hosts are down, and "up again" in the place of the "down". The time from the first lost
// echo to the "down" notification is printed. The results database records the run, and the outage
// report (`sorvelo --outages`) shows the silence with its start and end to the second.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include <unistd.h>

#include "alerts/alertcenter.h"
#include "core/tolvohosts.h"
#include "history/historyrecorder.h"
#include "history/historysettings.h"
#include "history/outagescommand.h"
#include "notificationservice.h"
#include "support/netns.h"

namespace {

constexpr const char* Silent = "127.0.0.2";
constexpr const char* Other = "127.0.0.1";
constexpr int IntervalS = 3;  // the shortest the scheduler allows
// A host is due once more than its interval has passed in whole seconds: one echo every 4 s.
constexpr std::int64_t EchoSpacingMs = (IntervalS + 1) * 1000;
constexpr int HistoryEchoes = 15;

std::string namespaceOf(const std::string& process) {
  char target[128] = {};
  const ssize_t n = ::readlink(("/proc/" + process + "/ns/net").c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// True in a network namespace of this test program's own (the test runner started it in one), so
// the firewall rule stays in it.
bool privateNetworkNamespace() {
  const std::string own = namespaceOf("self");
  const std::string parent = namespaceOf(std::to_string(::getppid()));
  return !own.empty() && !parent.empty() && own != parent;
}

bool nft(const QString& rules) {
  QProcess p;
  p.start(QStringLiteral("nft"), {QStringLiteral("-f"), QStringLiteral("-")});
  p.write(rules.toUtf8());
  p.closeWriteChannel();
  return p.waitForFinished(5000) && p.exitCode() == 0;
}

// Per host: the answers before the rule, and the send times of the first lost echo once the rule is
// in place and of the first answer after that.
struct TFirstLoss final : TEngineObserver {
  struct THost {
    int answers = 0;
    std::int64_t sentMs = 0;
    std::int64_t answerMs = 0;
  };
  bool armed = false;
  std::map<std::string, THost> hosts;
  void echoResult(const TTolvoHost& host, const TEchoResult& r) override {
    THost& h = hosts[host.ipAddress];
    if (!armed) {
      h.answers += r.answered ? 1 : 0;
      return;
    }
    if (!h.sentMs && !r.answered) h.sentMs = r.sentUnixMs;
    if (h.sentMs && !h.answerMs && r.answered) h.answerMs = r.sentUnixMs;
  }
};

std::int64_t isoMillis(const QJsonValue& text) {
  return QDateTime::fromString(text.toString(), Qt::ISODate).toMSecsSinceEpoch();
}

TEST(AlertAcceptance, SilencedHostsAreToldDownAtOnceWithTheConnectionAndUpAgainInItsPlace) {
  if (!netns::isRoot() || !privateNetworkNamespace())
    GTEST_SKIP() << "needs root in a private network namespace (ICMP sockets, a firewall rule)";
  for (const char* tool : {"nft", "dbus-daemon"})
    if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
      GTEST_SKIP() << tool << " is not installed";
  TSessionBus bus;
  ASSERT_FALSE(bus.address().isEmpty());
  TNotificationService service(bus.address());
  ASSERT_TRUE(service.started());

  TTolvoHosts hosts;
  TFirstLoss firstLoss;
  hosts.events().subscribe(&firstLoss);
  QTemporaryDir folder;
  const std::string hostsFile = QDir(folder.path()).filePath(QStringLiteral("hosts.cfg")).toStdString();
  THistoryRecorder recorder(hosts.events());
  recorder.start(historyFilePath(hostsFile));
  TAlertCenter center(hosts, bus.connect(QStringLiteral("program")));
  center.applySettings({});  // K = 3, M = 2, degraded at 5 % loss over at least 10 echoes
  TTolvoHost* other = hosts.addHost(Other, false);
  TTolvoHost* silent = hosts.addHost(Silent, false);
  ASSERT_TRUE(other && silent);
  other->interval = silent->interval = IntervalS;
  QTimer tick;  // as the program runs at "Fast": four scheduler passes every 100 ms
  QObject::connect(&tick, &QTimer::timeout, [&] {
    for (int pass = 0; pass < 4; ++pass) hosts.schedulerPass();
  });
  QTimer evaluate;
  QObject::connect(&evaluate, &QTimer::timeout, [&] { hosts.evaluateConnection(); });
  tick.start(100);
  evaluate.start(1000);

  // 15 echoes of history: enough to judge a degradation, so one lost echo is 6 % of the window.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return firstLoss.hosts[Silent].answers >= HistoryEchoes && firstLoss.hosts[Other].answers >= HistoryEchoes;
      },
      (HistoryEchoes + 5) * EchoSpacingMs));
  ASSERT_EQ(center.level(silent->runId), TAlertLevel::Up);
  ASSERT_TRUE(nft(QStringLiteral("table ip alerttest {\n chain in {\n  type filter hook input priority 0;\n"
                                 "  ip daddr { %1, %2 } icmp type echo-request drop\n }\n}\n")
                      .arg(QString::fromLatin1(Other), QString::fromLatin1(Silent))));
  firstLoss.armed = true;
  const auto find = [&](const char* text) -> std::optional<TNotifyCall> {
    for (const TNotifyCall& call : service.calls())
      if (call.summary.contains(QString::fromLatin1(text))) return call;
    return std::nullopt;
  };
  // The engine's connection rule takes more lost echoes than K: wait for both.
  const bool silenced = QTest::qWaitFor([&] { return find("The connection is down").has_value(); }, 40000);
  nft(QStringLiteral("delete table ip alerttest"));
  ASSERT_TRUE(silenced);

  const std::optional<TNotifyCall> downCall = find("hosts down");
  ASSERT_TRUE(downCall);
  const QString downLine = downCall->summary.section(QLatin1Char(';'), 0, 0);
  EXPECT_TRUE(downLine.startsWith(QStringLiteral("2 hosts down: ")) && downLine.contains(QString::fromLatin1(Other)) &&
              downLine.contains(QString::fromLatin1(Silent)))
      << downLine.toStdString();
  EXPECT_TRUE(downCall->body.contains(QStringLiteral("%1: 3 echoes lost in a row").arg(QString::fromLatin1(Silent))))
      << downCall->body.toStdString();
  for (const char* address : {Other, Silent}) {
    ASSERT_GT(firstLoss.hosts[address].sentMs, 0) << address;
    const std::int64_t latencyMs = downCall->atUnixMs - firstLoss.hosts[address].sentMs;
    std::cout << address << ": first lost echo to the down notification: " << latencyMs << " ms\n";
    EXPECT_LE(latencyMs, 3 * EchoSpacingMs + 3000) << address;
  }
  ::testing::Test::RecordProperty("down_notification_ms",
                                  static_cast<int>(downCall->atUnixMs - firstLoss.hosts[Silent].sentMs));
  const std::optional<TNotifyCall> connectionCall = find("The connection is down");
  EXPECT_TRUE(connectionCall->body.contains(QStringLiteral("2 of 2 hosts down since ")))
      << connectionCall->body.toStdString();
  EXPECT_TRUE(connectionCall->body.contains(QString::fromLatin1(Other)) &&
              connectionCall->body.contains(QString::fromLatin1(Silent)))
      << connectionCall->body.toStdString();

  // Back after M answers, told at once (the first down and up of a minute) in the place of the
  // "down" when the connection's down was a notification of its own.
  ASSERT_TRUE(QTest::qWaitFor([&] { return find("hosts up again").has_value(); }, 20000));
  const TNotifyCall upCall = *find("hosts up again");
  EXPECT_LE(upCall.atUnixMs - firstLoss.hosts[Silent].answerMs, 2 * EchoSpacingMs + 3000);
  if (connectionCall->id != downCall->id) {
    EXPECT_EQ(upCall.replacesId, downCall->id);
  }
  for (const TNotifyCall& call : service.calls())
    EXPECT_FALSE(call.summary.contains(QStringLiteral("degraded"))) << call.summary.toStdString();
  EXPECT_EQ(center.notifier().fallbackCount(), 0);
  hosts.events().unsubscribe(&firstLoss);

  // The outage report from the recorded results: one outage per host, from its first lost echo to
  // its first answer.
  ASSERT_TRUE(recorder.waitWritten(std::chrono::seconds(5)));
  recorder.stop();
  std::ostringstream out, err;
  ASSERT_EQ(runOutagesCommand({"--outages", "--since", "1h", "--format", "json", "--hosts", hostsFile},
                              out, err),
            0)
      << err.str();
  const QJsonArray outages = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).array();
  ASSERT_EQ(outages.size(), 2) << out.str();
  for (const QJsonValue& value : outages) {
    const QJsonObject outage = value.toObject();
    const std::string address = outage[QStringLiteral("address")].toString().toStdString();
    ASSERT_TRUE(address == Silent || address == Other) << address;
    EXPECT_EQ(isoMillis(outage[QStringLiteral("start")]) / 1000, firstLoss.hosts[address].sentMs / 1000);
    ASSERT_GT(firstLoss.hosts[address].answerMs, 0);
    EXPECT_EQ(isoMillis(outage[QStringLiteral("end")]) / 1000, firstLoss.hosts[address].answerMs / 1000);
    EXPECT_GE(outage[QStringLiteral("lost")].toInt(), 3);
  }
}

}  // namespace
