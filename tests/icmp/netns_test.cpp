// The private-namespace helper that the network tests rely on: results come back, settings stay
// inside, and a body that hangs is stopped.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/netns.h"

namespace {

std::string groupRange() {
  std::ifstream in("/proc/sys/net/ipv4/ping_group_range");
  std::string low, high;
  in >> low >> high;
  return low + " " + high;
}

class PrivateNetns : public testing::Test {
 protected:
  void SetUp() override {
    if (!netns::isRoot()) GTEST_SKIP() << "needs root to create network namespaces";
  }
};

TEST_F(PrivateNetns, SysctlsApplyInsideOnlyAndResultsComeBack) {
  const std::string outside = groupRange();
  const std::string wanted = outside == "0 0" ? "1 1" : "0 0";
  netns::TNetnsSetup setup;
  setup.sysctls = {{"net/ipv4/ping_group_range", wanted}};
  const auto result = netns::runInPrivateNetns(
      [](std::string& text) {
        text = groupRange();
        return 42;
      },
      setup);
  ASSERT_TRUE(result.completed) << result.failure;
  EXPECT_EQ(result.code, 42);
  EXPECT_EQ(result.text, wanted);
  EXPECT_EQ(groupRange(), outside);
}

TEST_F(PrivateNetns, DropsToTheGivenUser) {
  netns::TNetnsSetup setup;
  setup.dropToUser = 65534;
  const auto result = netns::runInPrivateNetns(
      [](std::string& text) {
        text = std::to_string(getgid());
        return static_cast<int>(geteuid());
      },
      setup);
  ASSERT_TRUE(result.completed) << result.failure;
  EXPECT_EQ(result.code, 65534);
  EXPECT_EQ(result.text, "65534");
}

TEST_F(PrivateNetns, FailuresAreReportedNotHidden) {
  const auto thrown = netns::runInPrivateNetns([](std::string&) -> int {
    throw std::runtime_error("body gave up");
  });
  EXPECT_FALSE(thrown.completed);
  EXPECT_NE(thrown.failure.find("body gave up"), std::string::npos) << thrown.failure;

  netns::TNetnsSetup badSetup;
  badSetup.commands = {"exit 3"};
  const auto refused = netns::runInPrivateNetns([](std::string&) { return 0; }, badSetup);
  EXPECT_FALSE(refused.completed);
  EXPECT_NE(refused.failure.find("exit 3"), std::string::npos) << refused.failure;
}

TEST_F(PrivateNetns, HangingBodyIsStoppedAtTheTimeLimit) {
  netns::TNetnsSetup setup;
  setup.timeLimit = std::chrono::milliseconds(300);
  const auto start = std::chrono::steady_clock::now();
  const auto result = netns::runInPrivateNetns(
      [](std::string&) {
        std::this_thread::sleep_for(std::chrono::seconds(20));
        return 0;
      },
      setup);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(result.completed);
  EXPECT_NE(result.failure.find("time limit"), std::string::npos) << result.failure;
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

}  // namespace
