// Host texts beyond dotted addresses and host names: IPv6 literals, address blocks, names with a
// long last label, and the cutting of a pasted line into the parts that look like hosts. (What the
// Add makes of each kind, refusals included, is tested with the report in tests/core.)

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/textutils.h"
#include "net/hosttext.h"

TEST(HostText, Ipv6LiteralsWithTheirCanonicalFormAndZone) {
  const struct {
    const char* text;
    TIpv6Form form;
    const char* normal;
  } cases[] = {
      {"FE80:0:0::0001", TIpv6Form::Valid, "fe80::1"},
      {"::ffff:192.0.2.1", TIpv6Form::Valid, "::ffff:192.0.2.1"},
      {"2001:db8::1%eth0", TIpv6Form::Valid, "2001:db8::1%eth0"},
      {"fe80::1%", TIpv6Form::BadZone, ""},
      {"fe80::1%eth0;rm", TIpv6Form::BadZone, ""},
      {"fe80::1%averyveryverylongname", TIpv6Form::BadZone, ""},  // longer than any interface name
      {"12:30:45", TIpv6Form::NotIpv6, ""},                         // a time of day
      {"00:11:22:33:44:55", TIpv6Form::NotIpv6, ""},                // a hardware address
      {"fe80::1::2", TIpv6Form::NotIpv6, ""},
      {"std::string", TIpv6Form::NotIpv6, ""},
  };
  for (const auto& c : cases) {
    std::string normal;
    EXPECT_EQ(parseIpv6Literal(c.text, &normal), c.form) << c.text;
    if (c.form == TIpv6Form::Valid) {
      EXPECT_EQ(normal, c.normal) << c.text;
    }
  }
  EXPECT_TRUE(isUnspecifiedIpv6("0::0%lo"));
  EXPECT_FALSE(isUnspecifiedIpv6("::1"));
  EXPECT_TRUE(isLinkLocalIpv6("febf::1%lo") && !isLinkLocalIpv6("fec0::1"));
  // "lo" is index 1 on every machine, and the only interface of the tests' namespace.
  EXPECT_TRUE(zoneExists("lo") && zoneExists("1"));
  EXPECT_FALSE(zoneExists("nosuchif0") || zoneExists("99999") || zoneExists("12345678901234567890"));
}

TEST(HostText, LongLabelNamesAndAddressBlocks) {
  EXPECT_TRUE(isLongLabelName("router.internal") && isLongLabelName("shop.Online"));
  for (const std::string& no : std::vector<std::string>{"gw.example.com", "internal", "host.intern4l",
                                                        "host.internal.", "under_score.internal",
                                                        "x." + std::string(64, 'a')})
    EXPECT_FALSE(isLongLabelName(no)) << no;

  const auto block = parseAddressBlock("192.168.1.5/28");
  ASSERT_TRUE(block);
  EXPECT_EQ(block->count, 14u);
  EXPECT_EQ(block->address(0), "192.168.1.1");  // host bits cleared, network address left out
  EXPECT_EQ(block->address(13), "192.168.1.14");
  EXPECT_EQ(parseAddressBlock("10.1.2.3/32")->count, 1u);
  for (const char* no : {"10.0.0.256/24", "10.0.0.0/", "10.0.0.0/x", "10.0.0/24", "10.0.0.0/0024"})
    EXPECT_FALSE(parseAddressBlock(no)) << no;
}

// The candidates among the parts are exactly those of the host candidate scan, in its order.
TEST(HostText, PartsOfALineKeepTheScansCandidates) {
  for (const std::string line :
       {" 3  gw.example.internal (10.0.0.1)  1.2 ms  fe80::1%eth0  [2001:db8::7] 10.9.0.0/30 x.org",
        "12  <1 ms  *  host.example.com [192.0.2.4]"}) {
    std::vector<std::string> candidates;
    for (const THostPart& p : hostParts(line))
      if (p.kind == THostPartKind::Candidate && p.source.empty()) candidates.push_back(p.text);
    EXPECT_EQ(candidates, hostCandidates(line)) << line;
  }
  EXPECT_EQ(hostParts(" 3  gw.example.internal (10.0.0.1)").size(), 2u);
  EXPECT_TRUE(hostParts("  router.online ").at(0).aloneOnLine);
  EXPECT_FALSE(hostParts("router.online 1").at(0).aloneOnLine);
}
