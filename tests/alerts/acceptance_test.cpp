// The whole chain with real parts: the host engine pings 127.0.0.2 over ICMP in the test's private
// network namespace, a firewall rule there silences it and is then taken away again, and the
// notifications arrive at the test's own notification service on a private D-Bus bus. Exactly one
// "down" after K losses and one "up" after M answers; the time from the first lost echo to the
// "down" notification is printed. The results database records the run, and the outage report
// (`sorvelo --outages`) shows the silence with its start and end to the second.

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

// Notes the send times of the silent host's first lost echo once the rule is in place, and of its
// first answer after that.
struct TFirstLoss final : TEngineObserver {
  bool armed = false;
  std::int64_t sentMs = 0;
  std::int64_t answerMs = 0;
  void echoResult(const TTolvoHost& host, const TEchoResult& r) override {
    if (!armed || host.ipAddress != Silent) return;
    if (!sentMs && !r.answered) sentMs = r.sentUnixMs;
    if (sentMs && !answerMs && r.answered) answerMs = r.sentUnixMs;
  }
};

std::int64_t isoMillis(const QJsonValue& text) {
  return QDateTime::fromString(text.toString(), Qt::ISODate).toMSecsSinceEpoch();
}

TEST(AlertAcceptance, ASilencedHostGivesOneDownAfterKLossesAndOneUpAfterMAnswers) {
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
  center.applySettings({});  // K = 3, M = 2
  TTolvoHost* steady = hosts.addHost("127.0.0.1", false);
  TTolvoHost* silent = hosts.addHost(Silent, false);
  ASSERT_TRUE(steady && silent);
  QTimer tick;  // as the program runs at "Fast": four scheduler passes every 100 ms
  QObject::connect(&tick, &QTimer::timeout, [&] {
    for (int pass = 0; pass < 4; ++pass) hosts.schedulerPass();
  });
  QTimer evaluate;
  QObject::connect(&evaluate, &QTimer::timeout, [&] { hosts.evaluateConnection(); });
  tick.start(100);
  evaluate.start(1000);

  ASSERT_TRUE(QTest::qWaitFor([&] { return center.level(silent->runId) == TAlertLevel::Up; }, 20000));
  ASSERT_TRUE(nft(QStringLiteral("table ip alerttest {\n chain in {\n  type filter hook input priority 0;\n"
                                 "  ip daddr %1 icmp type echo-request drop\n }\n}\n")
                      .arg(QString::fromLatin1(Silent))));
  firstLoss.armed = true;
  const auto has = [&](const char* text) {
    for (const TNotifyCall& call : service.calls())
      if (call.summary.contains(QString::fromLatin1(text))) return true;
    return false;
  };
  const bool down = QTest::qWaitFor([&] { return has("is down"); }, 30000);
  nft(QStringLiteral("delete table ip alerttest"));
  ASSERT_TRUE(down);
  const TNotifyCall downCall = service.calls().back();
  EXPECT_EQ(downCall.summary, QStringLiteral("%1 is down").arg(QString::fromLatin1(Silent)));
  EXPECT_EQ(downCall.body, QStringLiteral("%1: 3 echoes lost in a row").arg(QString::fromLatin1(Silent)));
  ASSERT_GT(firstLoss.sentMs, 0);
  const std::int64_t latencyMs = downCall.atUnixMs - firstLoss.sentMs;
  std::cout << "first lost echo to the down notification: " << latencyMs << " ms\n";
  ::testing::Test::RecordProperty("down_notification_ms", static_cast<int>(latencyMs));

  // The "up" waits out the host's minute since "down", then comes once.
  ASSERT_TRUE(QTest::qWaitFor([&] { return has("is up again"); }, 75000));
  QTest::qWait(3000);
  const auto calls = service.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].summary, QStringLiteral("%1 is up again").arg(QString::fromLatin1(Silent)));
  EXPECT_EQ(calls[1].body, QStringLiteral("%1: 2 answers in a row").arg(QString::fromLatin1(Silent)));
  EXPECT_GE(calls[1].atUnixMs - downCall.atUnixMs, 60000 - 50);
  EXPECT_EQ(center.notifier().fallbackCount(), 0);
  hosts.events().unsubscribe(&firstLoss);

  // The outage report from the recorded results: the silent host's one outage, from its first lost
  // echo to its first answer, and nothing for the steady host.
  ASSERT_TRUE(recorder.waitWritten(std::chrono::seconds(5)));
  recorder.stop();
  std::ostringstream out, err;
  ASSERT_EQ(runOutagesCommand({"--outages", "--since", "1h", "--format", "json", "--hosts", hostsFile},
                              out, err),
            0)
      << err.str();
  const QJsonArray outages = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).array();
  ASSERT_EQ(outages.size(), 1) << out.str();
  const QJsonObject outage = outages[0].toObject();
  EXPECT_EQ(outage[QStringLiteral("address")].toString(), QString::fromLatin1(Silent));
  EXPECT_EQ(isoMillis(outage[QStringLiteral("start")]) / 1000, firstLoss.sentMs / 1000);
  ASSERT_GT(firstLoss.answerMs, 0);
  EXPECT_EQ(isoMillis(outage[QStringLiteral("end")]) / 1000, firstLoss.answerMs / 1000);
  EXPECT_GE(outage[QStringLiteral("lost")].toInt(), 3);
}

}  // namespace
