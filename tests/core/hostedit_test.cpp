// The Edit host rules: what each field may hold, and an edited address pinged at once by the same
// host (same run id, so its history and its place in the list stay).

#include <gtest/gtest.h>

#include "core/hostedit.h"
#include "core/tolvohosts.h"
#include "enginetestsupport.h"

namespace {

class HostEditTest : public ::testing::Test {
 protected:
  TManualClock clock{encodeDateTime(2026, 12, 9, 9, 0, 0)};
  TScriptedEcho echo;
  TTolvoHosts list{clock};
  TTolvoHost* first = nullptr;

  void SetUp() override {
    list.echoService = echo.service();
    for (const char* address : {"127.0.0.12", "127.0.0.20"}) {
      auto host = list.newHost();
      host->callingName = host->hostName = host->ipAddress = address;
      host->interval = 4;
      ASSERT_TRUE(list.appendHost(host));
    }
    first = list.hostAt(1);
  }
};

TEST_F(HostEditTest, EachFieldSaysWhatItTakes) {
  const auto check = [&](THostEditTexts texts) { return checkHostEdit(list, first, texts); };
  EXPECT_TRUE(check({"gw", "gw", "127.0.0.12", "2000", "4"}).ok());
  EXPECT_TRUE(check({"gw", "", "gw.example.internal", "100", "86400"}).ok());
  EXPECT_EQ(check({" ", "gw", "127.0.0.13", "2000", "4"}).callingName, "a host needs a name to be shown by");
  EXPECT_EQ(check({"gw", "gw", "127.0.0.20", "2000", "4"}).address, "the host 127.0.0.20 has this address");
  EXPECT_EQ(check({"gw", "gw", "999.0.0.1", "2000", "4"}).address, "an octet above 255 (999)");
  EXPECT_EQ(check({"gw", "gw", "http://x", "2000", "4"}).address,
            "neither an IPv4 or IPv6 address nor a host name");
  EXPECT_EQ(check({"gw", "gw", "ff02::1", "2000", "4"}).address, "a multicast address (ff00::/8)");
  for (const char* timeout : {"99", "60001", "2s", ""})
    EXPECT_EQ(check({"gw", "gw", "127.0.0.13", timeout, "4"}).timeout,
              "a whole number of milliseconds from 100 to 60000")
        << timeout;
  EXPECT_EQ(check({"gw", "gw", "127.0.0.13", "2000", "0"}).interval,
            "a whole number of seconds from 1 to 86400");
  const THostEditCheck two = check({"gw", "gw", "127.0.0.13", "2000", "2"});
  EXPECT_TRUE(two.ok());
  EXPECT_EQ(two.intervalNote, "pinged every 3 seconds: no host is pinged more often");
}

TEST_F(HostEditTest, AnEditedAddressIsPingedAtOnceByTheSameHost) {
  runEcho(*first, clock, echo, true);
  const std::uint64_t runId = first->runId;
  applyHostEdit(list, *first, {"gateway", "", "0:0::1", "1500", "60"});
  EXPECT_EQ(list.hostAt(1), first);
  EXPECT_EQ(first->runId, runId);
  EXPECT_EQ(first->ipAddress, "::1");  // canonical form
  EXPECT_EQ(first->hostName, "::1");
  EXPECT_EQ(first->interval, 60);
  first->pingStep();  // no time has passed, the interval is a minute: still sent now
  ASSERT_TRUE(first->inFlight);
  ASSERT_TRUE(waitForResult(*first));
  EXPECT_EQ(echo.seen().back(), (std::pair<std::string, std::int32_t>{"::1", 1500}));
}

}  // namespace
