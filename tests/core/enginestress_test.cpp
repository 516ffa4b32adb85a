// All 255 hosts pinging at once over loopback with the real echo service: every host gets its own
// answers, and destroying the list leaves no worker thread behind. Workers are counted by the
// program's own count, not by the process's threads (a sanitizer or the resolver adds threads).

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/tolvohosts.h"

namespace {

TEST(EngineStress, TwoHundredFiftyFiveHostsAnswerOverLoopback) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to open ICMP sockets in this namespace";
  const int workersBefore = TThreadPing::runningWorkers();
  // The scheduler runs on a manual clock moved on by one second per round over all hosts, so the
  // test does not wait out the hosts' intervals in real time; the echoes themselves are real.
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int passes = 0;
    while (!everyHostAnswered(3) && std::chrono::steady_clock::now() < deadline) {
      for (int i = 0; i < 4; ++i, ++passes) {
        list.schedulerPass();
        if (passes % 255 == 254) clock.advanceSeconds(1);
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
