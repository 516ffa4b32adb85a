// Desktop notifications against a real bus: a private dbus-daemon and a notification service of the
// test's own that records what it is sent. Nothing here may wait for the service.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTest>

#include "alerts/desktopnotifier.h"
#include "notificationservice.h"

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
