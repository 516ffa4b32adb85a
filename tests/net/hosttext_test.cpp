// Host texts beyond dotted addresses and host names: IPv6 literals, address blocks, names with a
// long last label, and the cutting of a pasted line into the parts that look like hosts.

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
    const char* zone;
  } cases[] = {
      {"::1", TIpv6Form::Valid, "::1", ""},
      {"FE80:0:0::0001", TIpv6Form::Valid, "fe80::1", ""},
      {"::ffff:192.0.2.1", TIpv6Form::Valid, "::ffff:192.0.2.1", ""},
      {"2001:db8::1%eth0", TIpv6Form::Valid, "2001:db8::1%eth0", "eth0"},
      {"fe80::1%2", TIpv6Form::Valid, "fe80::1%2", "2"},
      {"fe80::1%", TIpv6Form::BadZone, "", ""},
      {"fe80::1%eth0;rm", TIpv6Form::BadZone, "", ""},
      {"fe80::1%%", TIpv6Form::BadZone, "", ""},
      {"fe80::1%averyveryverylongname", TIpv6Form::BadZone, "", ""},  // longer than any interface
      {"12:30:45", TIpv6Form::NotIpv6, "", ""},                         // a time of day
      {"00:11:22:33:44:55", TIpv6Form::NotIpv6, "", ""},                // a hardware address
      {"fe80::1::2", TIpv6Form::NotIpv6, "", ""},
      {"10.0.0.1", TIpv6Form::NotIpv6, "", ""},
      {"std::string", TIpv6Form::NotIpv6, "", ""},
      {"%eth0", TIpv6Form::NotIpv6, "", ""},
  };
  for (const auto& c : cases) {
    std::string normal;
    std::string zone;
    EXPECT_EQ(parseIpv6Literal(c.text, &normal, &zone), c.form) << c.text;
    if (c.form != TIpv6Form::Valid) continue;
    EXPECT_EQ(normal, c.normal) << c.text;
    EXPECT_EQ(zone, c.zone) << c.text;
  }
  EXPECT_TRUE(isUnspecifiedIpv6("0::0"));
  EXPECT_TRUE(isUnspecifiedIpv6("::%lo"));
  EXPECT_FALSE(isUnspecifiedIpv6("::1"));
}

// The test programs run in a namespace of their own, where "lo" (index 1) is the only interface.
TEST(HostText, ZonesAreCheckedAgainstTheMachinesInterfaces) {
  EXPECT_TRUE(zoneExists("lo"));
  EXPECT_TRUE(zoneExists("1"));
  EXPECT_FALSE(zoneExists("nosuchif0"));
  EXPECT_FALSE(zoneExists("99999"));
  EXPECT_FALSE(zoneExists("12345678901234567890"));
  EXPECT_FALSE(zoneExists("lo;x"));
}

TEST(HostText, NamesWithALongLastLabel) {
  for (const char* yes : {"router.internal", "shop.Online", "a-b.c.example", "x.phpxx"})
    EXPECT_TRUE(isLongLabelName(yes)) << yes;
  const std::string label64(64, 'a');
  for (const std::string& no : std::vector<std::string>{"gw.example.com", "internal", "host.intern4l", "host.internal.",
                               "under_score.internal", "a.b", "x." + label64,
                               std::string(250, 'a') + ".online"})
    EXPECT_FALSE(isLongLabelName(no)) << no;
  EXPECT_EQ(lastLabel("gw.example.internal"), "internal");
}

TEST(HostText, AddressBlocks) {
  const auto block = parseAddressBlock("192.168.1.5/28");
  ASSERT_TRUE(block);
  EXPECT_TRUE(block->refusal.empty());
  EXPECT_EQ(block->count, 16u);
  EXPECT_EQ(block->address(0), "192.168.1.0");  // host bits of the base are cleared
  EXPECT_EQ(block->address(15), "192.168.1.15");
  EXPECT_EQ(parseAddressBlock("10.1.2.3/32")->count, 1u);
  EXPECT_EQ(parseAddressBlock("10.1.2.0/24")->count, 256u);

  const struct {
    const char* text;
    const char* refusal;
  } refused[] = {{"10.0.0.0/0", "/0 is the whole IPv4 address space"},
                 {"10.0.0.0/33", "/33 is longer than an IPv4 address (at most /32)"},
                 {"10.0.0.0/23", "a /23 block holds 512 addresses, more than 256"}};
  for (const auto& r : refused) {
    const auto b = parseAddressBlock(r.text);
    ASSERT_TRUE(b) << r.text;
    EXPECT_EQ(b->refusal, r.refusal);
    EXPECT_EQ(b->count, 0u);
  }
  for (const char* no : {"10.0.0.256/24", "10.0.0.0/", "10.0.0.0/x", "10.0.0/24", "10.0.0.0/0024",
                         "10.0.0.0/24/1", "/24"})
    EXPECT_FALSE(parseAddressBlock(no)) << no;
}

TEST(HostText, PartsOfALineKeepTheScansCandidatesInOrder) {
  const std::vector<std::string> lines = {
      " 3  gw.example.internal (10.0.0.1)  1.2 ms  fe80::1%eth0  [2001:db8::7] 10.9.0.0/30 x.org",
      "12  <1 ms  *  host.example.com [192.0.2.4]",
      "router.online",
      "  10.0.0.0/33  ",
      "fe80::1%junk;"};
  for (const std::string& line : lines) {
    std::vector<std::string> candidates;
    for (const THostPart& p : hostParts(line))
      if (p.kind == THostPartKind::Candidate) candidates.push_back(p.text);
    EXPECT_EQ(candidates, hostCandidates(line)) << line;
  }
  std::vector<std::string> kinds;
  for (const THostPart& p : hostParts(lines[0]))
    kinds.push_back(p.text + (p.aloneOnLine ? "!" : "") + "=" + std::to_string(static_cast<int>(p.kind)));
  EXPECT_EQ(kinds, (std::vector<std::string>{"gw.example.internal=3", "10.0.0.1=0", "fe80::1%eth0=1",
                                             "2001:db8::7=1", "10.9.0.0/30=4", "x.org=0"}));
  EXPECT_TRUE(hostParts(lines[2]).at(0).aloneOnLine);
  EXPECT_TRUE(hostParts(lines[3]).at(0).aloneOnLine);
  EXPECT_EQ(hostParts(lines[4]).at(0).kind, THostPartKind::Ipv6BadZone);
}
