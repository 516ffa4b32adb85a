// Real echoes over both kinds of ICMP socket, each test in a private network namespace of its own
// (so the machine's own ping_group_range and echo settings stay untouched). Traffic goes to
// 127.0.0.0/8 inside that namespace only.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "icmp/echopacket.h"
#include "icmp/echosocket.h"
#include "icmp/ping.h"
#include "support/netns.h"

namespace {

using Clock = std::chrono::steady_clock;
using Fields = std::map<std::string, std::string>;

const std::pair<std::string, std::string> AllGroupsMayPing{"net/ipv4/ping_group_range",
                                                           "0 2147483647"};
const std::pair<std::string, std::string> NobodyMayPing{"net/ipv4/ping_group_range", "1 0"};
constexpr unsigned NobodyUser = 65534;

// The namespace's count of echo requests sent (Icmp OutEchos in /proc/net/snmp).
long echoRequestsSent() {
  std::ifstream snmp("/proc/net/snmp");
  std::string names, values;
  while (std::getline(snmp, names) && std::getline(snmp, values)) {
    if (names.rfind("Icmp:", 0) != 0) continue;
    std::istringstream n(names), v(values);
    std::string name, value;
    while (n >> name && v >> value) {
      if (name == "OutEchos") return std::stol(value);
    }
  }
  return -1;
}

std::string dotted(std::uint32_t address) {
  in_addr a{};
  a.s_addr = address;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

// One Ping in the child, written into the text as "key=value" lines for the parent to check.
std::string pingOnce(TPing& ping, const std::string& address) {
  std::vector<std::string> shown;
  int requests = 0;
  ping.OnDisplay = [&](const std::string& text) { shown.push_back(text); };
  ping.OnEchoRequest = [&] { ++requests; };
  ping.setAddress(address);
  const long sentBefore = echoRequestsSent();
  const auto start = Clock::now();
  const std::int32_t replies = ping.Ping();
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  const TEchoReplyHeader reply = ping.Reply();
  ping.OnDisplay = nullptr;  // they refer to this function's locals
  ping.OnEchoRequest = nullptr;
  std::ostringstream out;
  out << "replies=" << replies << "\nerror=" << ping.ErrorCode() << "\nelapsed=" << elapsed.count()
      << "\nsent=" << echoRequestsSent() - sentBefore << "\nrequests=" << requests
      << "\naddress=" << dotted(reply.address) << "\nstatus=" << reply.status
      << "\nrtt=" << reply.rtt << "\nsize=" << reply.dataSize
      << "\ndatagram=" << ping.usedDatagramSocket() << "\nshown=";
  for (const auto& text : shown) out << text << "|";
  return out.str();
}

Fields fieldsOf(const std::string& text) {
  Fields fields;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const auto equals = line.find('=');
    if (equals != std::string::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return fields;
}

int number(const Fields& fields, const std::string& key) {
  const auto found = fields.find(key);
  return found == fields.end() ? -999999 : std::atoi(found->second.c_str());
}

// Runs `body` in a private namespace and hands back its fields; fails the test if it did not run.
Fields inNamespace(const netns::TNetnsSetup& setup,
                   const std::function<std::string()>& body) {
  const netns::TNetnsResult result = netns::runInPrivateNetns(
      [&](std::string& text) {
        text = body();
        return 0;
      },
      setup);
  EXPECT_TRUE(result.completed) << result.failure;
  return fieldsOf(result.text);
}

netns::TNetnsSetup withRange(const std::pair<std::string, std::string>& range) {
  netns::TNetnsSetup setup;
  setup.sysctls.push_back(range);
  return setup;
}

#define SKIP_UNLESS_ROOT() \
  if (!netns::isRoot()) GTEST_SKIP() << "needs root for private network namespaces and raw sockets"

// Parameter: whether ping_group_range lets the datagram socket be used (else root gets a raw one).
class EchoOverSocketKind : public testing::TestWithParam<bool> {
 protected:
  netns::TNetnsSetup setup() const { return withRange(GetParam() ? AllGroupsMayPing : NobodyMayPing); }
};

TEST_P(EchoOverSocketKind, LoopbackEchoIsAnswered) {
  SKIP_UNLESS_ROOT();
  const Fields got = inNamespace(setup(), [] {
    TPing ping;
    std::ostringstream defaults;
    defaults << "defaults=" << ping.Size() << "," << ping.TTL() << "," << ping.Timeout() << ","
             << ping.Flags() << "," << ping.Reply().rtt << "," << ping.Reply().address << "\n";
    return defaults.str() + pingOnce(ping, "127.0.0.1");
  });
  EXPECT_EQ(got.at("defaults"), "56,64,4000,0,0,0");
  EXPECT_EQ(number(got, "datagram"), GetParam() ? 1 : 0);
  EXPECT_EQ(number(got, "replies"), 1);
  EXPECT_EQ(number(got, "error"), 0);
  EXPECT_EQ(number(got, "status"), 0);
  EXPECT_EQ(got.at("address"), "127.0.0.1");
  EXPECT_EQ(number(got, "size"), 56);
  EXPECT_EQ(number(got, "sent"), 1);
  EXPECT_EQ(number(got, "requests"), 1);
  EXPECT_GE(number(got, "rtt"), 0);
  EXPECT_LE(number(got, "rtt"), number(got, "elapsed"));
}

TEST_P(EchoOverSocketKind, SilentHostTimesOut) {
  SKIP_UNLESS_ROOT();
  netns::TNetnsSetup silent = setup();
  silent.sysctls.push_back({"net/ipv4/icmp_echo_ignore_all", "1"});
  const Fields got = inNamespace(silent, [] {
    TPing ping;
    ping.setTimeout(600);
    return pingOnce(ping, "127.0.0.1");
  });
  EXPECT_EQ(number(got, "replies"), 0);
  EXPECT_EQ(number(got, "sent"), 1);
  EXPECT_EQ(number(got, "error"), ETIMEDOUT);
  EXPECT_GE(number(got, "elapsed"), 595);
  EXPECT_LE(number(got, "elapsed"), 1500);
}

TEST_P(EchoOverSocketKind, IcmpErrorIsNoReplyAndEndsTheWait) {
  SKIP_UNLESS_ROOT();
  if (std::system("command -v nft >/dev/null 2>&1") != 0) GTEST_SKIP() << "nft is not installed";
  netns::TNetnsSetup rejecting = setup();
  rejecting.commands = {
      "nft add table ip sorvelo_test",
      "nft add chain ip sorvelo_test input '{ type filter hook input priority 0; }'",
      "nft add rule ip sorvelo_test input icmp type echo-request ip daddr 127.0.0.9 "
      "reject with icmp type host-unreachable"};
  const Fields got = inNamespace(rejecting, [] {
    TPing ping;
    ping.setTimeout(3000);
    return pingOnce(ping, "127.0.0.9");
  });
  EXPECT_EQ(number(got, "replies"), 0);
  EXPECT_EQ(number(got, "error"), EHOSTUNREACH);
  EXPECT_EQ(number(got, "status"), 11003);
  EXPECT_LT(number(got, "elapsed"), 1500);
}

// Several TPing objects at once, each to its own address: every one must get its own reply, never
// another thread's (raw sockets of one process share their identifier and see every reply).
TEST_P(EchoOverSocketKind, ConcurrentPingsEachGetTheirOwnReply) {
  SKIP_UNLESS_ROOT();
  constexpr int Threads = 8;
  constexpr int Rounds = 3;
  const Fields got = inNamespace(setup(), [] {
    std::vector<std::string> outcomes(Threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
      workers.emplace_back([t, &outcomes] {
        const std::string target = "127.0.0." + std::to_string(t + 1);
        for (int round = 0; round < Rounds; ++round) {
          TPing ping;
          ping.setTimeout(2000);
          const Fields one = fieldsOf(pingOnce(ping, target));
          outcomes[t] += one.at("replies") + "@" + one.at("address") + ";";
        }
      });
    }
    for (auto& worker : workers) worker.join();
    std::string text;
    for (int t = 0; t < Threads; ++t) text += "t" + std::to_string(t) + "=" + outcomes[t] + "\n";
    return text;
  });
  for (int t = 0; t < Threads; ++t) {
    std::string wanted;
    for (int round = 0; round < Rounds; ++round) wanted += "1@127.0.0." + std::to_string(t + 1) + ";";
    EXPECT_EQ(got.count("t" + std::to_string(t)) ? got.at("t" + std::to_string(t)) : "", wanted)
        << "thread " << t;
  }
}

INSTANTIATE_TEST_SUITE_P(Sockets, EchoOverSocketKind, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& test) {
                           return test.param ? "Datagram" : "Raw";
                         });

// Another program pinging the same host: its replies never reach a raw socket's queue, ours do
// (IPv4 to 127.0.0.1, IPv6 to ::1).
class RawReplyFilter : public testing::TestWithParam<int> {};

TEST_P(RawReplyFilter, QueuesOnlyRepliesWithItsIdentifier) {
  SKIP_UNLESS_ROOT();
  const int family = GetParam();
  const Fields got = inNamespace(withRange(NobodyMayPing), [family] {
    const TEchoSocket ours = openEchoSocket(family);
    const TEchoSocket other = openEchoSocket(family);
    sockaddr_storage peer{};
    auto& v4 = reinterpret_cast<sockaddr_in&>(peer);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(peer);
    peer.ss_family = static_cast<sa_family_t>(family);
    if (family == AF_INET6) v6.sin6_addr = in6addr_loopback;
    else v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const socklen_t length = family == AF_INET6 ? sizeof v6 : sizeof v4;
    connect(ours.fd, reinterpret_cast<const sockaddr*>(&peer), length);
    const bool attached = family == AF_INET6
                              ? attachReplyFilter(ours.fd, v6.sin6_addr, 0x1234)
                              : attachReplyFilter(ours.fd, v4.sin_addr.s_addr, 0x1234);
    // Requests from the other socket: the kernel's replies carry their identifiers.
    const auto queued = [&](std::uint16_t identifier) {
      const auto data = echopacket::echoData(8);
      const auto request = family == AF_INET6 ? echopacket::echoRequestV6(identifier, 7, data)
                                              : echopacket::echoRequest(identifier, 7, data);
      sendto(other.fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&peer),
             length);
      pollfd wait{ours.fd, POLLIN, 0};
      int count = 0;
      char buffer[256];
      while (count < 10 && poll(&wait, 1, 300) > 0 && recv(ours.fd, buffer, sizeof buffer, 0) > 0)
        ++count;
      return count;
    };
    std::ostringstream out;
    out << "raw=" << !ours.datagram << "\nattached=" << attached << "\nforeign=" << queued(0x4321)
        << "\nown=" << queued(0x1234) << "\n";
    close(ours.fd);
    close(other.fd);
    return out.str();
  });
  EXPECT_EQ(number(got, "raw"), 1);
  EXPECT_EQ(number(got, "attached"), 1);
  EXPECT_EQ(number(got, "foreign"), 0);
  EXPECT_EQ(number(got, "own"), 1);
}

INSTANTIATE_TEST_SUITE_P(Families, RawReplyFilter, testing::Values(AF_INET, AF_INET6),
                         [](const testing::TestParamInfo<int>& test) {
                           return test.param == AF_INET6 ? "IPv6" : "IPv4";
                         });

TEST(PingAddress, UnusableAddressesSendNothing) {
  SKIP_UNLESS_ROOT();
  const Fields got = inNamespace(withRange(AllGroupsMayPing), [] {
    TPing ping;
    std::string text;
    for (const std::string address : {"nohost.invalid", "255.255.255.255", ""}) {
      std::istringstream lines(pingOnce(ping, address));
      for (std::string line; std::getline(lines, line);) text += "[" + address + "]" + line + "\n";
    }
    // Every change of address is resolved anew, whether the last one failed or not.
    const Fields first = fieldsOf(pingOnce(ping, "127.0.0.2"));
    const Fields second = fieldsOf(pingOnce(ping, "127.0.0.3"));
    return text + "again=" + first.at("replies") + "@" + first.at("address") + "," +
           second.at("replies") + "@" + second.at("address") + "\n";
  });
  for (const std::string address : {"nohost.invalid", "255.255.255.255", ""}) {
    SCOPED_TRACE(address);
    const std::string key = "[" + address + "]";
    EXPECT_EQ(number(got, key + "replies"), 0);
    EXPECT_EQ(number(got, key + "error"), 11018);
    EXPECT_EQ(number(got, key + "sent"), 0);
    EXPECT_EQ(number(got, key + "requests"), 0);
    EXPECT_LT(number(got, key + "elapsed"), 1000);
  }
  EXPECT_EQ(got.at("[nohost.invalid]shown"), "Unable to resolve nohost.invalid|Invalid host address|");
  EXPECT_EQ(got.at("[255.255.255.255]shown"), "Invalid host address|");
  EXPECT_EQ(got.at("again"), "1@127.0.0.2,1@127.0.0.3");
}

// Size, TTL and the don't-fragment flag as they reach the socket. Loopback's MTU is lowered to 1500
// so that a 2000-byte request must be fragmented, which the flag forbids.
TEST(PingRequest, SizeTtlAndFlagsAsTheSocketTakesThem) {
  SKIP_UNLESS_ROOT();
  netns::TNetnsSetup setup = withRange(AllGroupsMayPing);
  setup.commands = {"ip link set lo mtu 1500"};
  const Fields got = inNamespace(setup, [] {
    std::string text;
    const auto run = [&](const std::string& name, std::int32_t size, std::int32_t ttl,
                         std::int32_t flags) {
      TPing ping;
      ping.setSize(size);
      ping.setTTL(ttl);
      ping.setFlags(flags);
      ping.setTimeout(1000);
      const Fields one = fieldsOf(pingOnce(ping, "127.0.0.1"));
      text += name + "=" + one.at("replies") + "," + one.at("size") + "," + one.at("sent") + "," +
              one.at("error") + "\n";
    };
    run("empty", 0, 64, 0);
    run("fragmented", 2000, 64, 0);
    run("dontFragment", 2000, 64, 2);
    run("dontFragmentFits", 1400, 64, 2);
    run("ttlOne", 56, 1, 0);
    run("ttlAsOneByte", 56, 0x140, 0);  // 0x40: 64
    run("ttlZero", 56, 0, 0);
    run("tooLarge", 70000, 64, 0);
    run("negative", -1, 64, 0);
    return text;
  });
  EXPECT_EQ(got.at("empty"), "1,0,1,0");
  EXPECT_EQ(got.at("fragmented"), "1,2000,1,0");
  EXPECT_EQ(got.at("dontFragment"), "0,0,0," + std::to_string(EMSGSIZE));
  EXPECT_EQ(got.at("dontFragmentFits"), "1,1400,1,0");
  EXPECT_EQ(got.at("ttlOne"), "1,56,1,0");
  EXPECT_EQ(got.at("ttlAsOneByte"), "1,56,1,0");
  EXPECT_EQ(got.at("ttlZero"), "0,0,0," + std::to_string(EINVAL));
  EXPECT_EQ(got.at("tooLarge"), "0,0,0," + std::to_string(EMSGSIZE));
  EXPECT_EQ(got.at("negative"), "0,0,0," + std::to_string(EMSGSIZE));
}

// Parameter: ping_group_range for the unprivileged user 65534.
class UnprivilegedUser : public testing::TestWithParam<bool> {};

TEST_P(UnprivilegedUser, DatagramSocketOrAClearRefusal) {
  SKIP_UNLESS_ROOT();
  netns::TNetnsSetup setup = withRange(GetParam() ? AllGroupsMayPing : NobodyMayPing);
  setup.dropToUser = NobodyUser;
  const Fields got = inNamespace(setup, [] {
    try {
      TPing ping;
      return "opened=1\n" + pingOnce(ping, "127.0.0.1");
    } catch (const TICMPException& e) {
      return std::string("opened=0\nmessage=") + e.what() + "\ncause=" + e.cause();
    }
  });
  if (GetParam()) {
    EXPECT_EQ(number(got, "opened"), 1);
    EXPECT_EQ(number(got, "datagram"), 1);
    EXPECT_EQ(number(got, "replies"), 1);
    return;
  }
  EXPECT_EQ(number(got, "opened"), 0);
  EXPECT_EQ(got.at("message"), "Unable to get ping handle");
  const std::string& cause = got.at("cause");
  EXPECT_NE(cause.find("not permitted"), std::string::npos) << cause;
  EXPECT_NE(cause.find("group 65534"), std::string::npos) << cause;
  EXPECT_NE(cause.find("sysctl -w net.ipv4.ping_group_range=\"0 2147483647\""), std::string::npos)
      << cause;
  EXPECT_NE(cause.find("setcap cap_net_raw+ep /"), std::string::npos) << cause;
}

INSTANTIATE_TEST_SUITE_P(GroupRange, UnprivilegedUser, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& test) {
                           return test.param ? "Allowed" : "Refused";
                         });

}  // namespace
