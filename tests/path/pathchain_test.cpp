// `sorvelo --path` itself, in a chain of namespaces: source -- r1 -- r2 -- r3 -- host. Both
// families with both socket kinds: unprivileged (datagram ICMP socket, errors on the error queue)
// and root (raw socket, errors parsed from the packets); a silent router, bad arguments, a host
// without a route, and no ICMP socket at all.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "support/netchain.h"
#include "support/netns.h"

namespace {

// build/sorvelo, beside the folder of this test program (build/tests).
std::string program() {
  if (const char* build = std::getenv("SORVELO_BUILD_DIR")) return std::string(build) + "/sorvelo";
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "sorvelo")
      .string();
}

// The program as user "nobody", with no groups and no capabilities: only the unprivileged ICMP
// socket is open to it.
std::string asNobody(const std::string& arguments) {
  return "setpriv --reuid=65534 --regid=65534 --clear-groups " + program() + " " + arguments;
}

class PathChain : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (netns::isRoot()) chain = std::make_unique<netns::TNetChain>("pp", 3);
  }
  static void TearDownTestSuite() { chain.reset(); }
  void SetUp() override {
    if (!netns::isRoot()) GTEST_SKIP() << "needs root to build the namespace chain";
    ASSERT_TRUE(chain->ok()) << chain->failure();
  }
  // Runs in the source namespace with net.ipv4.ping_group_range as given; standard output only.
  int trace(const std::string& groups, const std::string& command, std::string& output) {
    return chain->run(
        0, "sysctl -qw net.ipv4.ping_group_range=\"" + groups + "\" && " + command + " 2>/dev/null",
        &output);
  }
  static QJsonObject json(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
  }
  static inline std::unique_ptr<netns::TNetChain> chain;
};

TEST_F(PathChain, UnprivilegedIpv4FindsEveryHopInOrderWithItsName) {
  std::string output;
  const int status =
      trace("0 2147483647", asNobody("--path " + chain->addressV4(4) + " --count 2 --format json"),
            output);
  EXPECT_EQ(status, 0) << output;
  const QJsonObject report = json(output);
  EXPECT_TRUE(report["reached"].toBool()) << output;
  EXPECT_EQ(report["rounds"].toInt(), 2);
  const QJsonArray hops = report["hops"].toArray();
  ASSERT_EQ(hops.size(), 4) << output;
  for (int index = 1; index <= 4; ++index) {
    const QJsonObject hop = hops[index - 1].toObject();
    EXPECT_EQ(hop["hop"].toInt(), index);
    EXPECT_EQ(hop["address"].toString().toStdString(), chain->addressV4(index)) << output;
    EXPECT_EQ(hop["name"].toString().toStdString(), chain->reverseName(index)) << output;
    EXPECT_EQ(hop["received"].toInt(), 2) << output;
    EXPECT_GE(hop["worst_ms"].toDouble(), hop["best_ms"].toDouble());
  }
}

TEST_F(PathChain, RootIpv6OverARawSocketPrintsTheHopsAsText) {
  std::string output;
  // "1 0": no group may use datagram ICMP sockets, so root takes the raw one.
  const int status =
      trace("1 0", program() + " --path " + chain->addressV6(4) + " --count 1", output);
  EXPECT_EQ(status, 0) << output;
  std::istringstream lines(output);
  std::string line;
  std::getline(lines, line);  // title
  std::getline(lines, line);  // column heads
  for (int index = 1; index <= 4; ++index) {
    ASSERT_TRUE(std::getline(lines, line)) << output;
    std::istringstream fields(line);
    int hop = 0;
    std::string address, name, loss;
    fields >> hop >> address >> name >> loss;
    EXPECT_EQ(hop, index) << output;
    EXPECT_EQ(address, chain->addressV6(index)) << output;
    EXPECT_EQ(name, chain->reverseName(index)) << output;
    EXPECT_EQ(loss, "0.0%") << output;
  }
  EXPECT_FALSE(std::getline(lines, line)) << output;
}

TEST_F(PathChain, SilentRouterIsAStarAndLaterHopsStillAppear) {
  ASSERT_EQ(chain->run(2,
                       "nft add table inet pp && nft add chain inet pp out "
                       "\"{ type filter hook output priority 0; }\" && "
                       "nft add rule inet pp out icmp type time-exceeded drop && "
                       "nft add rule inet pp out icmpv6 type time-exceeded drop"),
            0);
  // The socket kinds the other tests do not use: IPv4 raw (root), IPv6 datagram (nobody).
  std::string v4, v6;
  const int status4 =
      trace("1 0", program() + " --path " + chain->addressV4(4) + " --count 1 --format json", v4);
  const int status6 = trace(
      "0 2147483647", asNobody("--path " + chain->addressV6(4) + " --count 1 --format json"), v6);
  chain->run(2, "nft delete table inet pp");
  for (const auto& [status, output, v6Family] :
       {std::tuple{status4, v4, false}, std::tuple{status6, v6, true}}) {
    EXPECT_EQ(status, 0) << output;
    const QJsonArray hops = json(output)["hops"].toArray();
    ASSERT_EQ(hops.size(), 4) << output;
    EXPECT_TRUE(hops[1].toObject()["address"].isNull()) << output;
    EXPECT_EQ(hops[1].toObject()["loss_percent"].toDouble(), 100.0) << output;
    for (const int index : {1, 3, 4}) {
      EXPECT_EQ(hops[index - 1].toObject()["address"].toString().toStdString(),
                v6Family ? chain->addressV6(index) : chain->addressV4(index))
          << output;
    }
  }
}

TEST_F(PathChain, BadArgumentsExit2AndNoRouteOrNoSocketExit1) {
  std::string output;
  for (const std::string arguments : {"--path", "--path 192.0.2.50 --count 0",
                                      "--path 192.0.2.50 --format xml", "--path 192.0.2.50 -x"}) {
    EXPECT_EQ(chain->run(0, program() + " " + arguments, &output), 2) << arguments;
    EXPECT_NE(output.find("sorvelo --path:"), std::string::npos) << output;
  }
  // Nothing in the chain routes 198.51.100.0/24: the kernel refuses the send.
  EXPECT_EQ(chain->run(0, program() + " --path 198.51.100.1 --count 1", &output), 1);
  EXPECT_NE(output.find("did not answer"), std::string::npos) << output;
  EXPECT_NE(output.find("unreachable"), std::string::npos) << output;
  // Neither kind of ICMP socket allowed: the reason and its remedies, exit 1.
  EXPECT_EQ(chain->run(0,
                       "sysctl -qw net.ipv4.ping_group_range=\"1 0\" && " +
                           asNobody("--path " + chain->addressV4(4) + " --count 1"),
                       &output),
            1);
  EXPECT_NE(output.find("ping_group_range"), std::string::npos) << output;
}

}  // namespace
