#pragma once
// Helpers for the host engine's tests: an echo service the test scripts, bounded waits for the
// worker threads, and one full echo cycle of a host driven by a manual clock.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/threadping.h"
#include "core/tolvohost.h"

// Polls `done` until it holds or `limit` has passed; the worker threads need real time.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// An echo service whose answers the test sets. It can also hold an echo back (as a host that does
// not answer within the timeout would) until the test lets it go or `holdLimit` has passed.
class TScriptedEcho {
 public:
  std::atomic<bool> answer{true};
  std::atomic<std::int32_t> pingTime{7};
  std::chrono::milliseconds holdLimit{3000};

  TEchoService service() {
    return [this](const std::string& address, std::int32_t timeoutMs) {
      return echo(address, timeoutMs);
    };
  }

  void hold() {
    std::lock_guard guard(lock);
    holding = true;
  }
  void letGo() {
    {
      std::lock_guard guard(lock);
      holding = false;
    }
    released.notify_all();
  }

  int calls() const {
    std::lock_guard guard(lock);
    return static_cast<int>(requests.size());
  }
  std::vector<std::pair<std::string, std::int32_t>> seen() const {
    std::lock_guard guard(lock);
    return requests;
  }

 private:
  TEchoOutcome echo(const std::string& address, std::int32_t timeoutMs) {
    std::unique_lock guard(lock);
    requests.emplace_back(address, timeoutMs);
    released.wait_for(guard, holdLimit, [this] { return !holding; });
    const bool replied = answer.load();
    return {replied, replied ? pingTime.load() : -1};
  }

  mutable std::mutex lock;
  std::condition_variable released;
  bool holding = false;
  std::vector<std::pair<std::string, std::int32_t>> requests;
};

// Waits until the host's worker has published a result.
inline bool waitForResult(const TTolvoHost& host) {
  return waitUntil([&] {
    return host.worker && host.worker->resultReady.load(std::memory_order_acquire);
  });
}

// One echo of a host: makes it due, steps it to send, waits for the worker, steps it to collect.
// The clock moves on by interval + 1 seconds first, so the host is due whatever its interval.
inline void runEcho(TTolvoHost& host, TManualClock& clock, TScriptedEcho& echo, bool answered) {
  echo.answer = answered;
  if (!host.worker) host.pingStep();
  clock.advanceSeconds(host.interval + 1);
  host.pingStep();
  ASSERT_TRUE(host.inFlight);
  ASSERT_TRUE(waitForResult(host));
  host.pingStep();
  ASSERT_FALSE(host.inFlight);
}
