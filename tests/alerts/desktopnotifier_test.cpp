// Desktop notifications against a real bus: a private dbus-daemon and a notification service of the
// test's own that records what it is sent. Nothing here may wait for the service.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTest>

#include "alerts/alertcenter.h"
#include "alerts/desktopnotifier.h"
#include "core/tolvohosts.h"
#include "notificationservice.h"
#include "pathwatch/pathtracer.h"
#include "ui/program/pathwiring.h"
#include "ui/program/runcontrol.h"

namespace {

TAlertNotice downNotice() {
  TAlertNotice notice;
  notice.summary = "gateway is down";
  notice.body = "gateway (10.0.0.1): 3 echoes lost in a row";
  notice.runIds = {7};
  notice.urgent = true;
  return notice;
}

class DesktopNotifier : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
      GTEST_SKIP() << "dbus-daemon is not installed";
    ASSERT_FALSE(bus.address().isEmpty()) << "the test's own bus did not start";
  }
  TSessionBus bus;
};

TEST_F(DesktopNotifier, SendsNotifyAndHandsBackTheHostsOfAClickedNotification) {
  TNotificationService service(bus.address());
  ASSERT_TRUE(service.started());
  TDesktopNotifier notifier(bus.connect(QStringLiteral("client")));
  int fallbacks = 0;
  notifier.fallback = [&](const TAlertNotice&) { ++fallbacks; };
  std::vector<std::uint64_t> activated;
  notifier.onActivated = [&](const std::vector<std::uint64_t>& ids) { activated = ids; };

  notifier.show(downNotice());
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.answeredCount() == 1; }, 5000));
  const auto calls = service.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].appName, "Sorvelo");
  EXPECT_EQ(calls[0].summary, "gateway is down");
  EXPECT_EQ(calls[0].body, "gateway (10.0.0.1): 3 echoes lost in a row");
  EXPECT_TRUE(calls[0].actions.contains(QStringLiteral("default")));
  EXPECT_EQ(calls[0].hints.value(QStringLiteral("urgency")).toInt(), 2);

  service.click(calls[0].id + 100);  // another program's notification: not ours
  service.click(calls[0].id);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !activated.empty(); }, 5000));
  EXPECT_EQ(activated, std::vector<std::uint64_t>{7});
  EXPECT_EQ(fallbacks, 0);
}

TEST_F(DesktopNotifier, UpAgainTakesThePlaceOfTheDownItAnswers) {
  TNotificationService service(bus.address());
  ASSERT_TRUE(service.started());
  TDesktopNotifier notifier(bus.connect(QStringLiteral("client")));
  TAlertNotice down = downNotice();
  down.downSubjects = {7, 0};  // gateway and the connection
  notifier.show(down);
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.answeredCount() == 1; }, 5000));
  TAlertNotice partly;
  partly.summary = "gateway is up again";
  partly.upSubjects = {7};  // the connection is still down: a notification of its own
  notifier.show(partly);
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.answeredCount() == 2; }, 5000));
  TAlertNotice up = partly;
  up.summary = "gateway is up again; The connection is up again";
  up.upSubjects = {7, 0};
  notifier.show(up);
  notifier.show(up);  // nothing left to replace
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.answeredCount() == 4; }, 5000));
  const auto calls = service.calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[1].replacesId, 0u);
  EXPECT_EQ(calls[2].replacesId, calls[0].id);
  EXPECT_EQ(calls[3].replacesId, 0u);
}

// The desktop program's path notice: a round made when gateway went down that stops short takes
// the place of gateway's "down", "up again" takes the path notice's place, and a round that ends
// once gateway is back shows nothing.
TEST_F(DesktopNotifier, PathNoticeTakesThePlaceOfItsHostsDownUnlessTheHostIsBack) {
  TNotificationService service(bus.address());
  ASSERT_TRUE(service.started());
  TTolvoHosts hosts;
  TAlertCenter center(hosts, bus.connect(QStringLiteral("program")));
  center.applySettings({});  // down after 3 lost echoes, up after 2 answers
  TRunControl runControl(systemClock());
  TPathWiring paths(hosts, center, runControl);
  TTolvoHost* host = hosts.addHost("127.0.0.9", false);
  ASSERT_NE(host, nullptr);
  std::int64_t sentMs = QDateTime::currentMSecsSinceEpoch();
  const auto echoes = [&](int count, bool answered) {
    for (int i = 0; i < count; ++i, sentMs += 3000)
      hosts.events().echoResult(*host, {sentMs, answered, answered ? 700 : -1});
  };
  const auto round = [&] {
    TTracedRound traced;
    traced.round.address = host->ipAddress;
    traced.round.reason = "down";
    traced.round.hops = {{1, "192.0.2.1", "edge.example", 900}, {2, "", "", std::nullopt}};
    paths.tracer().onRound(traced);
  };
  echoes(2, true);
  echoes(3, false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls().size() == 1; }, 10000));
  round();
  ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls().size() == 2; }, 10000));
  echoes(2, true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls().size() == 3; }, 10000));
  const int sentBefore = center.notifier().sentCount();
  round();
  EXPECT_EQ(center.notifier().sentCount(), sentBefore);

  const auto calls = service.calls();
  EXPECT_TRUE(calls[0].summary.contains(QStringLiteral("is down"))) << calls[0].summary.toStdString();
  EXPECT_TRUE(calls[1].summary.endsWith(QStringLiteral("the path stops after hop 1, 192.0.2.1 (edge.example)")))
      << calls[1].summary.toStdString();
  EXPECT_EQ(calls[1].replacesId, calls[0].id);
  EXPECT_TRUE(calls[2].summary.contains(QStringLiteral("up again"))) << calls[2].summary.toStdString();
  EXPECT_EQ(calls[2].replacesId, calls[1].id);
}

TEST_F(DesktopNotifier, UpAgainLeavesNoNotificationSayingItsHostsAreDown) {
  TNotificationService service(bus.address());
  ASSERT_TRUE(service.started());
  TTolvoHosts hosts;
  TAlertCenter center(hosts, bus.connect(QStringLiteral("program")));
  center.applySettings({});
  TRunControl runControl(systemClock());
  TPathWiring paths(hosts, center, runControl);
  TTolvoHost* far = hosts.addHost("127.0.0.9", false);
  TTolvoHost* edge = hosts.addHost("127.0.0.10", false);
  ASSERT_TRUE(far && edge);
  std::int64_t sentMs = QDateTime::currentMSecsSinceEpoch();
  const auto echoes = [&](int count, bool answered) {
    for (int i = 0; i < count; ++i, sentMs += 3000)
      for (TTolvoHost* host : {far, edge})
        hosts.events().echoResult(*host, {sentMs, answered, answered ? 700 : -1});
  };
  // Both down in one notification; then edge's path notice, beside it (it names one host only).
  echoes(2, true);
  echoes(3, false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls().size() == 1; }, 10000));
  TTracedRound traced;
  traced.round.address = edge->ipAddress;
  traced.round.reason = "down";
  traced.round.hops = {{1, "192.0.2.1", "", 900}, {2, "", "", std::nullopt}};
  paths.tracer().onRound(traced);
  ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls().size() == 2; }, 10000));
  echoes(2, true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls().size() == 3; }, 10000));

  const auto calls = service.calls();
  EXPECT_EQ(calls[1].replacesId, 0u);
  EXPECT_TRUE(calls[2].summary.contains(QStringLiteral("up again"))) << calls[2].summary.toStdString();
  EXPECT_EQ(calls[2].replacesId, calls[1].id);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return service.closedIds() == std::vector<uint>{calls[0].id}; }, 5000));
}

TEST_F(DesktopNotifier, FallsBackWithoutServiceOrBusAndWhenTheServiceVanishes) {
  std::vector<std::string> balloons;
  auto record = [&](const TAlertNotice& n) { balloons.push_back(n.summary); };

  TDesktopNotifier noBus(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"),
                                                       QStringLiteral("nobus")));
  QDBusConnection::disconnectFromBus(QStringLiteral("nobus"));
  noBus.fallback = record;
  noBus.show(downNotice());
  EXPECT_EQ(balloons.size(), 1u);  // at once: there is nothing to wait for

  TDesktopNotifier noService(bus.connect(QStringLiteral("client2")));
  noService.fallback = record;
  noService.show(downNotice());
  ASSERT_TRUE(QTest::qWaitFor([&] { return balloons.size() == 2; }, 5000));

  // A service that takes the call, then vanishes before it answers.
  TNotificationService service(bus.address(), 3000);
  ASSERT_TRUE(service.started());
  TDesktopNotifier vanishing(bus.connect(QStringLiteral("client3")));
  vanishing.fallback = record;
  vanishing.show(downNotice());
  ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls().size() == 1; }, 5000));
  service.vanish();
  ASSERT_TRUE(QTest::qWaitFor([&] { return balloons.size() == 3; }, 5000));
  EXPECT_EQ(balloons.back(), "gateway is down");
}

TEST_F(DesktopNotifier, NoticesWaitForTheBusConnectedElsewhere) {
  TNotificationService service(bus.address());
  ASSERT_TRUE(service.started());
  TDesktopNotifier notifier{QDBusConnection(QString())};
  notifier.awaitBus();
  notifier.show(downNotice());
  EXPECT_EQ(notifier.sentCount(), 0);
  notifier.setBus(bus.connect(QStringLiteral("late")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls().size() == 1; }, 5000));
  EXPECT_EQ(notifier.fallbackCount(), 0);
}

TEST_F(DesktopNotifier, ASlowServiceNeverHoldsUpTheCaller) {
  TNotificationService service(bus.address(), 2000);
  ASSERT_TRUE(service.started());
  TDesktopNotifier notifier(bus.connect(QStringLiteral("client")));
  int fallbacks = 0;
  notifier.fallback = [&](const TAlertNotice&) { ++fallbacks; };

  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < 5; ++i) notifier.show(downNotice());
  EXPECT_LT(timer.elapsed(), 200);  // five calls sent, none answered yet
  EXPECT_EQ(notifier.answeredCount(), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.answeredCount() == 5; }, 8000));
  EXPECT_EQ(fallbacks, 0);
}

}  // namespace
