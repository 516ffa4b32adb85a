// Adding hosts from text: which lookups are made, duplicates, a full list, and a pasted listing
// through the real resolver.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "core/tolvohosts.h"
#include "base/textutils.h"
#include "support/messagerecorder.h"

namespace {

class AddHostTest : public ::testing::Test {
 protected:
  TManualClock clock{encodeDateTime(2026, 5, 1, 9, 0, 0)};
  TTolvoHosts list{clock};
  std::vector<std::string> lookups;  // "forward text" / "reverse text"
  std::map<std::string, std::string> answers;
  TMessageRecorder recorder;

  void SetUp() override {
    list.nameLookup = [this](const std::string& text, bool forward) {
      lookups.push_back((forward ? "forward " : "reverse ") + text);
      const auto found = answers.find(text);
      return found == answers.end() ? text : found->second;
    };
  }
};

TEST_F(AddHostTest, AnAddressWithoutReverseLookupIsTakenAsItIs) {
  TTolvoHost* host = list.addHost("127.0.0.7", false);
  ASSERT_NE(host, nullptr);
  EXPECT_TRUE(lookups.empty());
  EXPECT_EQ(host->hostName, "127.0.0.7");
  EXPECT_EQ(host->ipAddress, "127.0.0.7");
  EXPECT_EQ(host->callingName, "127.0.0.7");
  EXPECT_EQ(host->timeout, 2000);
  EXPECT_EQ(host->interval, 4);
  EXPECT_EQ(list.hostAt(1), host);
}

TEST_F(AddHostTest, LookupsFollowTheKindOfText) {
  answers = {{"127.0.0.8", "eight.test"}, {"gw.example.org", "127.0.0.9"}};
  TTolvoHost* byAddress = list.addHost("127.0.0.8", true);
  ASSERT_NE(byAddress, nullptr);
  EXPECT_EQ(byAddress->hostName, "eight.test");
  EXPECT_EQ(byAddress->ipAddress, "127.0.0.8");
  EXPECT_EQ(byAddress->callingName, "eight.test");

  TTolvoHost* byName = list.addHost("gw.example.org", true);
  ASSERT_NE(byName, nullptr);
  EXPECT_EQ(byName->hostName, "gw.example.org");
  EXPECT_EQ(byName->ipAddress, "127.0.0.9");
  EXPECT_EQ(lookups, (std::vector<std::string>{"reverse 127.0.0.8", "forward gw.example.org"}))
      << "a name is only looked up forward, even with reverse lookups on";

  TTolvoHost* unresolved = list.addHost("nowhere.test", false);
  ASSERT_NE(unresolved, nullptr);
  EXPECT_EQ(unresolved->ipAddress, "nowhere.test");
  EXPECT_TRUE(recorder.messages().empty());
}

TEST_F(AddHostTest, DuplicatesByNameOrAddressAreRefusedSilently) {
  answers = {{"router.lan.net", "127.0.0.5"}, {"Router.lan.net", "127.0.0.5"},
             {"Other.lan.net", "127.0.0.6"}};
  ASSERT_NE(list.addHost("router.lan.net", false), nullptr);
  EXPECT_EQ(list.addHost("router.lan.net", false), nullptr);
  EXPECT_EQ(list.addHost("127.0.0.5", false), nullptr);
  EXPECT_FALSE(list.hostExists("Router.lan.net")) << "names are compared case-sensitively";
  EXPECT_EQ(list.addHost("Router.lan.net", false), nullptr) << "refused through its address";
  EXPECT_NE(list.addHost("Other.lan.net", false), nullptr);
  EXPECT_EQ(list.hostCount(), 2);
  EXPECT_TRUE(list.hostExists("127.0.0.6"));
  EXPECT_TRUE(recorder.messages().empty());
}

TEST_F(AddHostTest, TheTwoHundredFiftySixthHostIsDroppedSilently) {
  for (int i = 1; i <= 255; ++i) {
    auto host = list.newHost();
    host->ipAddress = host->hostName = "h" + std::to_string(i);
    ASSERT_TRUE(list.appendHost(host));
  }
  EXPECT_EQ(list.addHost("127.0.0.200", false), nullptr);
  EXPECT_EQ(list.hostCount(), 255);
  EXPECT_TRUE(recorder.messages().empty());
}

TEST_F(AddHostTest, TextThatIsNeitherIsShownAndStillAdded) {
  TTolvoHost* host = list.addHost("not a host!", true);
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(recorder.messages(), (std::vector<std::string>{"not a host!"}));
  EXPECT_EQ(host->hostName, "not a host!");
  EXPECT_EQ(host->ipAddress, "not a host!");
  EXPECT_TRUE(lookups.empty());
}

TEST_F(AddHostTest, AFailingLookupAddsNothing) {
  list.nameLookup = [](const std::string&, bool) -> std::string {
    throw std::runtime_error("lookup could not start");
  };
  EXPECT_THROW(list.addHost("gw.example.org", false), std::runtime_error);
  EXPECT_EQ(list.hostCount(), 0);
}

// The real resolver. Only lookups that /etc/hosts answers are made, so nothing leaves the machine:
// the pasted addresses are added without reverse lookups.
TEST(AddHostResolver, APastedTraceListingAddsEachHostOnceInOrder) {
  TTolvoHosts list;
  const std::string listing =
      "traceroute to localhost (127.0.0.1), 30 hops max, 60 byte packets\n"
      " 1  localhost (127.0.0.1)  0.045 ms  0.012 ms  0.010 ms\n"
      " 2  127.0.0.2  0.101 ms * 0.090 ms\n"
      " 3  * * *\n"
      " 4  localhost [127.0.0.3]  1.204 ms  1.100 ms  1.090 ms\n"
      " 5  127.0.0.4 (127.0.0.4)  2.3 ms  2.1 ms  *\n"
      " 6  127.0.0.2  0.2 ms\n";
  auto paste = [&] {
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);)
      for (const std::string& candidate : hostCandidates(line)) list.addHost(candidate, false);
  };
  paste();
  std::vector<std::string> added;
  for (int slot = 1; slot <= list.hostCount(); ++slot) added.push_back(list.hostAt(slot)->ipAddress);
  EXPECT_EQ(added, (std::vector<std::string>{"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"}));
  paste();
  EXPECT_EQ(list.hostCount(), 4) << "pasting the listing again adds nothing";
}

TEST(AddHostResolver, ReverseLookupOfLoopbackNamesTheHost) {
  std::ifstream hostsFile("/etc/hosts");
  std::string hosts((std::istreambuf_iterator<char>(hostsFile)), std::istreambuf_iterator<char>());
  if (hosts.find("127.0.0.1 localhost") == std::string::npos &&
      hosts.find("127.0.0.1\tlocalhost") == std::string::npos)
    GTEST_SKIP() << "/etc/hosts does not name 127.0.0.1 localhost; the lookup would leave the machine";
  TTolvoHosts list;
  TTolvoHost* host = list.addHost("127.0.0.1", true);
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->hostName, "localhost");
  EXPECT_EQ(host->ipAddress, "127.0.0.1");
}

}  // namespace
