// Releasing a worker never waits for the network: deleting a host, a dead-worker verdict and
// clearing the list interrupt an echo in flight at once, and a name server that never answers holds
// an echo no longer than its timeout. Real echoes in a private network namespace whose loopback
// ignores echo requests (a silent host).

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "core/tolvohosts.h"
#include "enginetestsupport.h"
#include "support/netns.h"

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Adds a host and steps it until its echo is in flight inside the echo service.
TTolvoHost* echoInFlight(TTolvoHosts& list, TManualClock& clock, const std::string& address,
                         std::int32_t timeout) {
  auto added = list.newHost();
  added->ipAddress = address;
  added->timeout = timeout;
  added->interval = 4;
  TTolvoHost* host = added.get();
  if (!list.appendHost(added)) return nullptr;
  host->pingStep();
  clock.advanceSeconds(5);
  host->pingStep();
  if (!waitUntil([&] { return host->worker->stage.load() == 6; })) return nullptr;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // well inside its wait
  return host;
}

netns::TNetnsSetup silentLoopback() {
  netns::TNetnsSetup setup;
  setup.sysctls = {{"net/ipv4/icmp_echo_ignore_all", "1"}};
  return setup;
}

TEST(WorkerRelease, DeleteVerdictAndClearInterruptAnEchoOfTwoMinutes) {
  if (!netns::isRoot()) GTEST_SKIP() << "needs root for a private network namespace";
  const auto result = netns::runInPrivateNetns(
      [](std::string& text) {
        TManualClock clock(encodeDateTime(2026, 12, 8, 12, 0, 0));
        TTolvoHosts list(clock);
        TTolvoHost* host = echoInFlight(list, clock, "127.0.0.1", 120000);
        if (!host) return 1;
        auto start = Clock::now();
        list.deleteHost(host);
        text += "delete=" + std::to_string(msSince(start));

        host = echoInFlight(list, clock, "127.0.0.1", 120000);
        if (!host) return 2;
        clock.advanceSeconds(41);  // more than interval x 10 seconds in flight
        start = Clock::now();
        host->pingStep();
        text += " verdict=" + std::to_string(msSince(start));
        if (host->status != hsThreadDead) return 3;

        for (const char* address : {"127.0.0.2", "127.0.0.3"})
          if (!echoInFlight(list, clock, address, 120000)) return 4;
        start = Clock::now();
        list.clearHosts();
        text += " clear=" + std::to_string(msSince(start));
        return 0;
      },
      silentLoopback());
  ASSERT_TRUE(result.completed) << result.failure;
  ASSERT_EQ(result.code, 0) << result.text;
  for (const char* step : {"delete=", "verdict=", "clear="}) {
    const auto at = result.text.find(step);
    ASSERT_NE(at, std::string::npos) << result.text;
    EXPECT_LT(std::stol(result.text.substr(at + std::string(step).size())), 300) << result.text;
  }
}

TEST(WorkerRelease, ANameServerThatNeverAnswersHoldsTheEchoNoLongerThanItsTimeout) {
  if (!netns::isRoot()) GTEST_SKIP() << "needs root for private network and mount namespaces";
  const auto result = netns::runInPrivateNetns(
      [](std::string& text) {
        // The resolver asks a name server on loopback that takes queries and never answers.
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
          return 1;
        char conf[] = "/tmp/sorvelo-resolv-XXXXXX";
        const int fd = mkstemp(conf);
        if (fd < 0) return 2;
        const std::string lines = "nameserver 127.0.0.1\noptions timeout:5 attempts:2\n";
        if (write(fd, lines.data(), lines.size()) != static_cast<ssize_t>(lines.size())) return 2;
        close(fd);
        if (mount(conf, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0) return 3;
        const int silent = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(53);
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(silent, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) return 4;

        TManualClock clock(encodeDateTime(2026, 12, 8, 12, 0, 0));
        TTolvoHosts list(clock);
        auto added = list.newHost();
        added->ipAddress = "never-answered.example";
        added->timeout = 300;
        TTolvoHost* host = added.get();
        list.appendHost(added);
        host->pingStep();
        clock.advanceSeconds(5);
        const auto start = Clock::now();
        host->pingStep();
        if (!waitUntil([&] { return host->worker->resultReady.load(); }, std::chrono::seconds(15)))
          return 5;
        text = "result=" + std::to_string(msSince(start));
        host->pingStep();
        text += host->failedCount == 1 ? " failed" : " not-failed";
        unlink(conf);
        return 0;
      },
      silentLoopback());
  ASSERT_TRUE(result.completed) << result.failure;
  ASSERT_EQ(result.code, 0) << result.text;
  EXPECT_NE(result.text.find(" failed"), std::string::npos) << result.text;
  EXPECT_LT(std::stol(result.text.substr(result.text.find('=') + 1)), 1000) << result.text;
}

}  // namespace

namespace {

TEST(WorkerIpv6, AHostWithAnIpv6AddressIsPingedAndShowsItsRoundTrip) {
  if (!netns::isRoot()) GTEST_SKIP() << "needs root for a private network namespace";
  netns::TNetnsSetup setup;
  setup.sysctls = {{"net/ipv6/conf/lo/disable_ipv6", "0"}};
  const auto result = netns::runInPrivateNetns(
      [](std::string& text) {
        TManualClock clock(encodeDateTime(2026, 12, 8, 12, 0, 0));
        TTolvoHosts list(clock);
        auto added = list.newHost();
        added->ipAddress = "::1";
        added->timeout = 1000;
        TTolvoHost* host = added.get();
        list.appendHost(added);
        host->pingStep();
        clock.advanceSeconds(5);
        host->pingStep();
        if (!waitForResult(*host)) return 1;
        host->pingStep();
        text = std::to_string(host->succeededCount) + "/" + std::to_string(host->failedCount) +
               "/" + std::to_string(host->lastSuccess.pingTime);
        return 0;
      },
      setup);
  ASSERT_TRUE(result.completed) << result.failure;
  EXPECT_EQ(result.text, "1/0/0") << "answered over loopback within a millisecond";
}

}  // namespace
