// The alert center's switches: nothing is notified while pinging is stopped or for a host switched
// off, while its command runs all the same; connection changes join the hosts' notification.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

#include "alerts/alertcenter.h"
#include "core/tolvohosts.h"

namespace {

TEST(AlertCenter, SwitchesSilenceNotificationsButNotTheCommand) {
  TTolvoHosts hosts;
  // No bus: every notification shows as the fallback, at once when its batch is due.
  TAlertCenter center(hosts, QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"),
                                                           QStringLiteral("center-nobus")));
  QDBusConnection::disconnectFromBus(QStringLiteral("center-nobus"));
  std::vector<TAlertNotice> shown;
  center.notifier().fallback = [&](const TAlertNotice& n) { shown.push_back(n); };
  QStringList commandLines;
  center.commandRunner().onLogLine = [&](const QString& line) { commandLines << line; };
  TAlertSettings settings;
  settings.command = {"true"};
  settings.notifyHost["10.0.0.2"] = false;
  center.applySettings(settings);
  bool pinging = false;
  center.pinging = [&] { return pinging; };

  TTolvoHost a, b, c;
  a.ipAddress = "10.0.0.1";
  b.ipAddress = "10.0.0.2";
  c.ipAddress = "10.0.0.3";
  const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
  auto goDown = [&](TTolvoHost& host) {
    for (int i = 0; i < 5; ++i) center.echoResult(host, {now + i * 3000, i < 2, i < 2 ? 500 : -1});
  };
  goDown(a);  // while pinging is stopped
  QTest::qWait(2500);
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(QTest::qWaitFor([&] { return commandLines.size() == 1; }, 5000));

  pinging = true;
  goDown(b);  // switched off for this host
  goDown(c);
  center.connectionChanged(csUp);  // the first state of a run says nothing
  center.connectionChanged(csDown);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.empty(); }, 5000));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].summary, "10.0.0.3 is down; The connection is down");
  EXPECT_EQ(shown[0].runIds, std::vector<std::uint64_t>{c.runId});
  // The connection's line tells how many hosts are down since the first lost echo of the first.
  const QString since = QDateTime::fromMSecsSinceEpoch(now + 6000).toString(QStringLiteral("HH:mm:ss"));
  EXPECT_EQ(shown[0].body, "10.0.0.3: 3 echoes lost in a row\nThe connection is down: 3 of 3 hosts down since " +
                               since.toStdString() + ": 10.0.0.1, 10.0.0.2, 10.0.0.3");
  EXPECT_TRUE(QTest::qWaitFor([&] { return commandLines.size() == 3; }, 5000));
}

}  // namespace
