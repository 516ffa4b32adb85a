// IPv6 echoes over both kinds of ICMPv6 socket, in private network namespaces with IPv6 enabled on
// loopback and on a veth pair of their own; names from a private hosts file (a mount namespace).
// Traffic stays inside those namespaces.

#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "icmp/ping.h"
#include "support/netns.h"

namespace {

using Clock = std::chrono::steady_clock;

// One Ping as "name=replies/error/status/family/datagram/elapsed ms;".
std::string pingLine(TPing& ping, const std::string& name, const std::string& address) {
  ping.setAddress(address);
  const auto start = Clock::now();
  const std::int32_t replies = ping.Ping();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  std::ostringstream out;
  out << name << "=" << replies << "/" << ping.ErrorCode() << "/" << ping.Reply().status << "/"
      << (ping.resolvedFamily() == AF_INET6 ? 6 : ping.resolvedFamily() == AF_INET ? 4 : 0) << "/"
      << ping.usedDatagramSocket() << "/" << ms.count() << ";";
  return out.str();
}

std::map<std::string, std::string> outcomes(const netns::TNetnsResult& result) {
  std::map<std::string, std::string> found;
  std::istringstream in(result.text);
  for (std::string part; std::getline(in, part, ';');) {
    const auto equals = part.find('=');
    if (equals != std::string::npos) found[part.substr(0, equals)] = part.substr(equals + 1);
  }
  return found;
}

// The outcome without its elapsed time, and the elapsed time alone.
std::string verdict(const std::string& outcome) { return outcome.substr(0, outcome.rfind('/')); }
long elapsed(const std::string& outcome) { return std::stol(outcome.substr(outcome.rfind('/') + 1)); }

netns::TNetnsSetup ipv6Namespace(bool datagram) {
  netns::TNetnsSetup setup;
  setup.sysctls = {{"net/ipv4/ping_group_range", datagram ? "0 2147483647" : "1 0"},
                   {"net/ipv6/conf/all/disable_ipv6", "0"},
                   {"net/ipv6/conf/default/disable_ipv6", "0"},
                   {"net/ipv6/conf/lo/disable_ipv6", "0"}};
  return setup;
}

#define SKIP_UNLESS_ROOT() \
  if (!netns::isRoot()) GTEST_SKIP() << "needs root for private network namespaces and raw sockets"

class Echo6 : public testing::TestWithParam<bool> {};

// One TPing, its sockets kept: an answer, a silent host, an ICMPv6 error, and an answer again that
// no leftover of the earlier echoes may spoil.
TEST_P(Echo6, AnswersSilenceAndErrorsOverOneKeptSocket) {
  SKIP_UNLESS_ROOT();
  if (std::system("command -v nft >/dev/null 2>&1") != 0) GTEST_SKIP() << "nft is not installed";
  netns::TNetnsSetup setup = ipv6Namespace(GetParam());
  setup.commands = {
      "ip -6 addr add fd00::9/128 dev lo nodad",
      "nft add table ip6 sorvelo_test",
      "nft add chain ip6 sorvelo_test input '{ type filter hook input priority 0; }'",
      "nft add rule ip6 sorvelo_test input icmpv6 type echo-request ip6 daddr fd00::9 "
      "reject with icmpv6 type admin-prohibited"};
  const auto result = netns::runInPrivateNetns(
      [](std::string& text) {
        TPing ping;
        ping.setTimeout(500);
        text += pingLine(ping, "answered", "::1");
        text += pingLine(ping, "rejected", "fd00::9");
        std::ofstream("/proc/sys/net/ipv6/icmp/echo_ignore_all") << "1";
        text += pingLine(ping, "silent", "::1");
        std::ofstream("/proc/sys/net/ipv6/icmp/echo_ignore_all") << "0";
        text += pingLine(ping, "again", "::1");
        text += pingLine(ping, "ipv4", "127.0.0.1");
        return 0;
      },
      setup);
  ASSERT_TRUE(result.completed) << result.failure;
  auto got = outcomes(result);
  const std::string kind = GetParam() ? "1" : "0";
  EXPECT_EQ(verdict(got["answered"]), "1/0/0/6/" + kind);
  EXPECT_EQ(verdict(got["rejected"]), "0/" + std::to_string(EACCES) + "/11003/6/" + kind)
      << "an ICMPv6 error is no reply";
  EXPECT_LT(elapsed(got["rejected"]), 400) << "the error ends the wait";
  EXPECT_EQ(verdict(got["silent"]), "0/" + std::to_string(ETIMEDOUT) + "/0/6/" + kind);
  EXPECT_GE(elapsed(got["silent"]), 495);
  EXPECT_EQ(verdict(got["again"]), "1/0/0/6/" + kind);
  EXPECT_EQ(verdict(got["ipv4"]), "1/0/0/4/" + kind);
}

INSTANTIATE_TEST_SUITE_P(Sockets, Echo6, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& test) {
                           return test.param ? "Datagram" : "Raw";
                         });

TEST(Echo6Names, BothFamiliesIpv4FirstUnlessIpv6IsPreferred) {
  SKIP_UNLESS_ROOT();
  const auto result = netns::runInPrivateNetns(
      [](std::string& text) {
        // A hosts file of the test's own, seen only in this mount namespace.
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
          return 1;
        char hosts[] = "/tmp/sorvelo-hosts-XXXXXX";
        const int fd = mkstemp(hosts);
        if (fd < 0) return 2;
        close(fd);
        std::ofstream(hosts) << "::1 sixonly.test\n127.0.0.1 both.test\n::1 both.test\n";
        if (mount(hosts, "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) return 3;
        TPing ping;
        ping.setTimeout(1000);
        text += pingLine(ping, "sixonly", "sixonly.test");
        text += pingLine(ping, "both", "both.test");
        ping.setPreferIpv6(true);
        text += pingLine(ping, "preferred", "both.test");
        unlink(hosts);
        return 0;
      },
      ipv6Namespace(true));
  ASSERT_TRUE(result.completed) << result.failure;
  ASSERT_EQ(result.code, 0);
  auto got = outcomes(result);
  EXPECT_EQ(verdict(got["sixonly"]), "1/0/0/6/1") << "a name with only an IPv6 address works";
  EXPECT_EQ(verdict(got["both"]), "1/0/0/4/1");
  EXPECT_EQ(verdict(got["preferred"]), "1/0/0/6/1");
}

// A link-local address on one end of a veth pair, named with its zone.
TEST(Echo6Names, LinkLocalWithAZoneAndAZoneThatDoesNotExist) {
  SKIP_UNLESS_ROOT();
  netns::TNetnsSetup setup = ipv6Namespace(true);
  setup.commands = {"ip link add va type veth peer name vb", "ip link set va up",
                    "ip link set vb up", "ip -6 addr add fe80::2/64 dev vb nodad"};
  const auto result = netns::runInPrivateNetns(
      [](std::string& text) {
        // A veth pair's carrier comes up a moment after "ip link set up" (later on a busy machine);
        // before that the zone's link-local address is not reachable.
        const int probe = socket(AF_INET6, SOCK_DGRAM, 0);
        for (int wait = 0; wait < 50; ++wait) {
          ifreq request{};
          std::strncpy(request.ifr_name, "vb", IFNAMSIZ - 1);
          if (ioctl(probe, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_RUNNING)) break;
          usleep(100 * 1000);
        }
        close(probe);
        TPing ping;
        ping.setTimeout(1000);
        text += pingLine(ping, "zone", "fe80::2%vb");
        text += pingLine(ping, "nozone", "fe80::2%nosuchif");
        text += pingLine(ping, "junk", "::1%");
        return 0;
      },
      setup);
  ASSERT_TRUE(result.completed) << result.failure;
  auto got = outcomes(result);
  EXPECT_EQ(verdict(got["zone"]), "1/0/0/6/1");
  EXPECT_EQ(verdict(got["nozone"]), "0/11018/0/0/1") << "nothing is sent";
  EXPECT_EQ(verdict(got["junk"]), "0/11018/0/0/1");
}

}  // namespace
