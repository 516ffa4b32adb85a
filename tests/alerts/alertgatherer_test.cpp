// Gathering changes into notifications: 2 seconds together, one per host per minute, and the texts.

#include <gtest/gtest.h>

#include "alerts/alertgatherer.h"
#include "alerts/alerttexts.h"

namespace {

TAlertChange hostChange(std::uint64_t id, std::string name, TAlertLevel from, TAlertLevel to) {
  TAlertChange c;
  c.runId = id;
  c.callingName = std::move(name);
  c.address = "10.0.0." + std::to_string(id);
  c.from = from;
  c.to = to;
  return c;
}

using L = TAlertLevel;

TEST(AlertGatherer, ChangesWithinTwoSecondsMakeOneNotification) {
  TAlertGatherer g;
  const char* names[] = {"gateway", "nas", "printer", "tv", "phone"};
  for (std::uint64_t i = 0; i < 5; ++i) g.add(hostChange(i + 1, names[i], L::Up, L::Down), 1000 + 300 * i);
  g.add(hostChange(6, "camera", L::Degraded, L::Up), 2900);
  EXPECT_TRUE(g.take(2999).empty());
  EXPECT_EQ(g.nextDueMs(), 3000);
  const auto batch = g.take(3000);
  ASSERT_EQ(batch.size(), 6u);
  const TAlertNotice notice = composeNotice(batch);
  EXPECT_EQ(notice.summary, "5 hosts down: gateway, nas, printer, …; camera has recovered");
  EXPECT_EQ(notice.body,
            "5 hosts down:\n  gateway (10.0.0.1)\n  nas (10.0.0.2)\n  printer (10.0.0.3)\n"
            "  tv (10.0.0.4)\n  phone (10.0.0.5)\ncamera (10.0.0.6)");
  EXPECT_EQ(notice.runIds, (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(notice.urgent);
  EXPECT_FALSE(g.nextDueMs());

  // The connection, alone and with a host.
  TAlertChange connection;
  connection.from = L::Up;
  connection.to = L::Down;
  connection.detail = "2 of 7 hosts down since 04:12:05: gateway, nas";
  EXPECT_EQ(composeNotice({connection}).summary, "The connection is down");
  EXPECT_EQ(composeNotice({connection}).body, connection.detail);  // more than the summary again
  EXPECT_EQ(composeNotice({connection}).downSubjects, std::vector<std::uint64_t>{0});
  auto single = hostChange(9, "", L::Down, L::Up);
  single.hostName = "nas.lan";
  single.detail = "2 answers in a row";
  EXPECT_EQ(composeNotice({single}).summary, "nas.lan is up again");
  EXPECT_EQ(composeNotice({single}).body, "nas.lan (10.0.0.9): 2 answers in a row");
}

TEST(AlertGatherer, AHostFlappingEveryEchoIsToldAtMostAPairAMinute) {
  TAlertGatherer g;
  std::vector<std::pair<std::int64_t, std::vector<TAlertChange>>> sent;
  L level = L::Up;
  // Ten minutes of a host going down and up every 3 s (K = M = 1), another host going down once.
  for (std::int64_t now = 0; now <= 600000; now += 100) {
    if (now % 3000 == 0) {
      const L next = level == L::Up ? L::Down : L::Up;
      g.add(hostChange(1, "gateway", level, next), now);
      level = next;
    }
    if (now == 30000) g.add(hostChange(2, "nas", L::Up, L::Down), now);
    auto batch = g.take(now);
    if (!batch.empty()) sent.emplace_back(now, std::move(batch));
  }
  std::vector<std::int64_t> gateway;
  bool nasTold = false;
  for (const auto& [at, batch] : sent)
    for (const TAlertChange& c : batch) {
      if (c.runId == 2) nasTold = at <= 32000;  // nas is not held back by gateway
      if (c.runId != 1) continue;
      gateway.push_back(at);
      EXPECT_NE(kindOf(c), TAlertKind::None);
    }
  // The first down and up at once, then never more than two in a minute.
  ASSERT_GE(gateway.size(), 4u);
  EXPECT_EQ(gateway[0], 2000);
  EXPECT_EQ(gateway[1], 5000);
  for (std::size_t i = 2; i < gateway.size(); ++i) EXPECT_GE(gateway[i] - gateway[i - 2], 60000) << i;
  EXPECT_LE(gateway.size(), 22u);
  EXPECT_TRUE(nasTold);
}

TEST(AlertGatherer, DownAndUpAreNeverHeldByTheMinuteOfADegradedNotice) {
  TAlertGatherer g;
  g.add(hostChange(1, "gateway", L::Up, L::Degraded), 0);
  ASSERT_EQ(g.take(2000).size(), 1u);
  // Down 3 s after "degraded": told 2 s later as "down", and the up after it as well.
  g.add(hostChange(1, "gateway", L::Degraded, L::Down), 5000);
  EXPECT_EQ(g.nextDueMs(), 7000);
  auto batch = g.take(7000);
  ASSERT_EQ(batch.size(), 1u);
  EXPECT_EQ(kindOf(batch[0]), TAlertKind::HostDown);
  g.add(hostChange(1, "gateway", L::Down, L::Up), 9000);
  batch = g.take(11000);
  ASSERT_EQ(batch.size(), 1u);
  EXPECT_EQ(kindOf(batch[0]), TAlertKind::HostUp);

  // A degraded notice waiting out its minute is dropped when the host goes down.
  g.add(hostChange(2, "nas", L::Degraded, L::Up), 20000);
  ASSERT_EQ(g.take(22000).size(), 1u);
  g.add(hostChange(2, "nas", L::Up, L::Degraded), 30000);
  EXPECT_TRUE(g.take(32000).empty());
  g.add(hostChange(2, "nas", L::Degraded, L::Down), 40000);
  batch = g.take(42000);
  ASSERT_EQ(batch.size(), 1u);
  EXPECT_EQ(kindOf(batch[0]), TAlertKind::HostDown);
  EXPECT_EQ(composeNotice(batch).summary, "nas is down");
  EXPECT_FALSE(g.nextDueMs());
}

TEST(AlertGatherer, AChangeUndoneWhileWaitingIsDropped) {
  TAlertGatherer g;
  g.add(hostChange(1, "gateway", L::Up, L::Down), 0);
  g.add(hostChange(1, "gateway", L::Down, L::Up), 1500);
  EXPECT_TRUE(g.take(2000).empty());
  g.add(hostChange(2, "nas", L::Up, L::Down), 5000);
  ASSERT_EQ(g.take(7000).size(), 1u);
  g.add(hostChange(2, "nas", L::Down, L::Up), 10000);
  ASSERT_EQ(g.take(12000).size(), 1u);
  // Beyond the first pair, held until the down at 7000 is a minute old: down, up, down nets to "down".
  g.add(hostChange(2, "nas", L::Up, L::Down), 20000);
  g.add(hostChange(2, "nas", L::Down, L::Up), 30000);
  g.add(hostChange(2, "nas", L::Up, L::Down), 40000);
  EXPECT_EQ(g.nextDueMs(), 67000);
  const auto released = g.take(67000);
  ASSERT_EQ(released.size(), 1u);
  EXPECT_EQ(kindOf(released[0]), TAlertKind::HostDown);
  g.add(hostChange(2, "nas", L::Down, L::Up), 70000);
  g.forget(2);
  EXPECT_FALSE(g.nextDueMs());
}

TEST(AlertTexts, ManyHostsOfOneKindListTheFirstTwentyWithoutRepeatingTheSummary) {
  std::vector<TAlertChange> changes;
  for (std::uint64_t i = 1; i <= 23; ++i)
    changes.push_back(hostChange(i, "h" + std::to_string(i), L::Up, L::Degraded));
  const TAlertNotice notice = composeNotice(changes);
  EXPECT_EQ(notice.summary, "23 hosts degraded: h1, h2, h3, …");
  const std::string end = "h20 (10.0.0.20)\n… and 3 more";
  EXPECT_EQ(notice.body.rfind("h1 (10.0.0.1)\nh2 (10.0.0.2)\n", 0), 0u) << notice.body;
  EXPECT_EQ(notice.body.substr(notice.body.size() - end.size()), end);
  EXPECT_FALSE(notice.urgent);
}

}  // namespace
