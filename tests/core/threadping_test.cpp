// The ping worker on its own: how fast it takes up a request and ends, the order of its flags, and
// what a failing echo service gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "core/threadping.h"
#include "enginetestsupport.h"
#include "icmp/ping.h"
#include "support/messagerecorder.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void request(TThreadPing& worker, const std::string& address, std::int32_t timeout) {
  worker.timeout = timeout;
  worker.address = address;
  worker.requestPending.store(true, std::memory_order_release);
  worker.notify();
}

bool waitIdle(TThreadPing& worker) {
  return waitUntil([&] { return worker.stage.load() == 1; });
}

// Each request handed over the moment the last result is in, while the worker is on its way back
// to sleep: a wake-up lost there would leave a request unserved.
TEST(ThreadPing, RequestsHandedOverBackToBackAreNeverLost) {
  TScriptedEcho echo;
  TThreadPing worker(echo.service());
  worker.start();
  for (int i = 0; i < 3000; ++i) {
    // At a varying moment of the worker's way back: 0 to 19 microseconds after the last result.
    const auto handOver = Clock::now() + std::chrono::microseconds(i % 20);
    while (Clock::now() < handOver) {
    }
    request(worker, "127.0.0.1", 1000);
    const auto deadline = Clock::now() + 3s;
    while (!(worker.resultReady.load() && !worker.requestPending.load()) && Clock::now() < deadline)
      std::this_thread::yield();
    ASSERT_TRUE(worker.resultReady.load()) << "request " << i << " was not served";
    ASSERT_TRUE(worker.replied);
    worker.resultReady.store(false);
  }
}

TEST(ThreadPing, ARequestSetWhileIdleIsTakenUpAtOnce) {
  TScriptedEcho echo;
  TThreadPing worker(echo.service());
  worker.start();
  std::vector<Clock::duration> took;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(waitIdle(worker));
    std::this_thread::sleep_for(2ms);  // well inside the worker's pause
    const auto sent = Clock::now();
    request(worker, "127.0.0.1", 1000);
    ASSERT_TRUE(waitUntil([&] { return worker.resultReady.load(std::memory_order_acquire); }));
    took.push_back(Clock::now() - sent);
    worker.resultReady.store(false);
  }
  std::sort(took.begin(), took.end());
  EXPECT_LT(took[2], 30ms) << "the median request waited for the pause instead of being woken";
  EXPECT_EQ(echo.calls(), 5);
}

TEST(ThreadPing, ReleaseEndsAnIdleLoopPromptly) {
  TThreadPing worker;
  worker.start();
  ASSERT_TRUE(waitIdle(worker));
  std::this_thread::sleep_for(2ms);
  const auto before = Clock::now();
  worker.release();
  EXPECT_LT(Clock::now() - before, 50ms);
  EXPECT_EQ(worker.stage.load(), 10);
  EXPECT_TRUE(worker.resultReady.load());
  EXPECT_FALSE(worker.requestPending.load());
}

TEST(ThreadPing, ClearingKeepRunningEndsTheLoop) {
  TThreadPing worker;
  worker.start();
  ASSERT_TRUE(waitIdle(worker));
  worker.keepRunning.store(false);
  worker.notify();
  EXPECT_TRUE(waitUntil([&] { return worker.stage.load() == 10; }, 1000ms));
}

TEST(ThreadPing, ResultsCarryTheOutcomeAndTheRequestIsClearedFirst) {
  TScriptedEcho echo;
  TThreadPing worker(echo.service());
  worker.start();
  for (int i = 0; i < 20; ++i) {
    echo.answer = i % 3 != 0;
    echo.pingTime = i;
    request(worker, "127.0.1." + std::to_string(i), 100 + i);
    ASSERT_TRUE(waitUntil([&] { return worker.resultReady.load(std::memory_order_acquire); }));
    // Seen with acquire order, the result must find the request already cleared.
    EXPECT_FALSE(worker.requestPending.load(std::memory_order_relaxed));
    EXPECT_EQ(worker.replied, i % 3 != 0);
    EXPECT_EQ(worker.pingTime, i % 3 != 0 ? i : -1);
    worker.resultReady.store(false, std::memory_order_relaxed);
  }
  const auto seen = echo.seen();
  ASSERT_EQ(seen.size(), 20u);
  EXPECT_EQ(seen[7], std::make_pair(std::string("127.0.1.7"), 107));
}

TEST(ThreadPing, AnEchoServiceThatCannotOpenGivesNoResultButItsCause) {
  TMessageRecorder recorder;
  TThreadPing worker([](const std::string&, std::int32_t) -> TEchoOutcome {
    throw TICMPException("Unable to get ping handle", "ICMP sockets are not permitted");
  });
  worker.start();
  for (int i = 0; i < 2; ++i) {
    request(worker, "127.0.0.1", 100);
    ASSERT_TRUE(waitUntil([&] { return worker.resultReady.load(std::memory_order_acquire); }));
    EXPECT_TRUE(worker.notSent);
    EXPECT_EQ(worker.notSentReason, "Unable to get ping handle");
    EXPECT_EQ(worker.notSentCause, "ICMP sockets are not permitted");
    EXPECT_EQ(worker.pingTime, -1);
    worker.resultReady.store(false);
  }
  EXPECT_TRUE(recorder.messages().empty()) << "the host list tells the user, once";
}

}  // namespace
