// All 255 hosts pinging at once over loopback with the real echo service: every host gets its own
// answers, and destroying the list leaves no worker thread behind. Workers are counted by the
// program's own count, not by the process's threads (a sanitizer or the resolver adds threads).

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/tolvohosts.h"
#include "support/netns.h"

namespace {

TEST(EngineStress, TwoHundredFiftyFiveHostsAnswerOverLoopback) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to open ICMP sockets in this namespace";
  const int workersBefore = TThreadPing::runningWorkers();
  // The scheduler runs on a manual clock moved on by one second at a time, so the test does not
  // wait out the hosts' intervals in real time; the echoes themselves are real.
  TManualClock clock(encodeDateTime(2026, 8, 1, 12, 0, 0));
  {
    TTolvoHosts list(clock);
    for (int x = 1; x <= 255; ++x) {
      auto host = list.newHost();
      host->hostName = host->ipAddress = "127.0.0." + std::to_string(x);
      host->timeout = 2000;
      host->interval = 3;
      ASSERT_TRUE(list.appendHost(host));
    }
    auto everyHostAnswered = [&](int times) {
      for (int slot = 1; slot <= 255; ++slot)
        if (list.hostAt(slot)->succeededCount < times) return false;
      return true;
    };
    auto echoInFlight = [&] {
      for (int slot = 1; slot <= 255; ++slot)
        if (list.hostAt(slot)->inFlight) return true;
      return false;
    };
    // The clock moves on a second once every host had its step and no echo is in flight: it never
    // runs ahead of workers that a busy machine keeps waiting, so none looks dead (30 s in flight)
    // for want of CPU; a worker that really hangs stops the clock and fails the wait. Steps go 16
    // at a time, so the requests stay spread out while the sleeps between them, which a loaded
    // machine stretches, are few: the deadline is there for a hang, not for a slow machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int passesThisSecond = 0;
    while (!everyHostAnswered(3) && std::chrono::steady_clock::now() < deadline) {
      for (int i = 0; i < 16; ++i, ++passesThisSecond) list.schedulerPass();
      if (passesThisSecond >= 255 && !echoInFlight()) {
        clock.advanceSeconds(1);
        passesThisSecond = 0;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    EXPECT_TRUE(everyHostAnswered(3));
    for (int slot = 1; slot <= 255; ++slot) {
      const TTolvoHost* host = list.hostAt(slot);
      EXPECT_GT(host->succeededCount, 0) << host->ipAddress;
      EXPECT_EQ(host->failedCount, 0) << host->ipAddress;
      EXPECT_NE(host->getStatus(), hsThreadDead) << host->ipAddress;
    }
    EXPECT_EQ(TThreadPing::runningWorkers(), workersBefore + 255) << "one worker per host";
  }
  EXPECT_EQ(TThreadPing::runningWorkers(), workersBefore) << "worker threads outlived their hosts";
}

}  // namespace

namespace {

// The same with 255 IPv6 hosts (fd00::1 to fd00::ff on loopback of a private namespace): each host
// answers three times; the body hands back how many did.
TEST(EngineStress, TwoHundredFiftyFiveIpv6HostsAnswer) {
  if (!netns::isRoot()) GTEST_SKIP() << "needs root for a private network namespace";
  netns::TNetnsSetup setup;
  setup.sysctls = {{"net/ipv6/conf/lo/disable_ipv6", "0"}};
  setup.commands = {"for i in $(seq 1 255); do ip -6 addr add fd00::$(printf %x $i)/128 dev lo "
                    "nodad || exit 1; done"};
  setup.timeLimit = std::chrono::seconds(60);
  const auto result = netns::runInPrivateNetns(
      [](std::string& text) {
        TManualClock clock(encodeDateTime(2026, 8, 1, 12, 0, 0));
        TTolvoHosts list(clock);
        for (int x = 1; x <= 255; ++x) {
          auto host = list.newHost();
          char address[16];
          std::snprintf(address, sizeof address, "fd00::%x", x);
          host->ipAddress = address;
          host->timeout = 2000;
          host->interval = 3;
          list.appendHost(host);
        }
        const auto answered = [&] {
          int hosts = 0;
          for (int slot = 1; slot <= 255; ++slot)
            hosts += list.hostAt(slot)->succeededCount >= 3 && list.hostAt(slot)->failedCount == 0;
          return hosts;
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(45);
        for (int passes = 0; answered() < 255 && std::chrono::steady_clock::now() < deadline;) {
          for (int i = 0; i < 4; ++i, ++passes) {
            list.schedulerPass();
            if (passes % 255 == 254) clock.advanceSeconds(1);
          }
          std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        text = std::to_string(answered());
        return 0;
      },
      setup);
  ASSERT_TRUE(result.completed) << result.failure;
  EXPECT_EQ(result.text, "255");
}

}  // namespace

namespace {

// "::1" as the Add box takes it (the same addHost the dialog calls), then pinged by the real echo
// service: it answers, and its round trip arrives in microseconds with the result.
TEST(EngineStress, AnAddedIpv6LoopbackIsPingedWithItsRoundTrip) {
  if (!netns::isRoot()) GTEST_SKIP() << "needs root for a private network namespace";
  netns::TNetnsSetup setup;
  setup.sysctls = {{"net/ipv6/conf/lo/disable_ipv6", "0"}};
  const auto result = netns::runInPrivateNetns(
      [](std::string& text) {
        struct TRoundTrips final : TEngineObserver {
          std::vector<std::int64_t> micros;
          void echoResult(const TTolvoHost&, const TEchoResult& r) override {
            if (r.answered) micros.push_back(r.rttMicros);
          }
        } seen;
        TManualClock clock(encodeDateTime(2026, 8, 1, 12, 0, 0));
        TTolvoHosts list(clock);
        list.events().subscribe(&seen);
        TTolvoHost* host = list.addHost("::1", false);
        if (!host) return 1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (seen.micros.size() < 2 && std::chrono::steady_clock::now() < deadline) {
          list.schedulerPass();
          clock.advanceSeconds(1);
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        list.events().unsubscribe(&seen);
        text = host->ipAddress + " " + std::to_string(seen.micros.size()) + " " +
               (seen.micros.empty() || seen.micros[0] < 0 ? "none" : "rtt") + " " +
               std::to_string(host->lastSuccess.pingTime >= 0);
        return 0;
      },
      setup);
  ASSERT_TRUE(result.completed) << result.failure;
  EXPECT_EQ(result.text, "::1 2 rtt 1");
}

}  // namespace
