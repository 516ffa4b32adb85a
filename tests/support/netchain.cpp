#include "support/netchain.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

namespace netns {

namespace {

int shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char chunk[4096];
  while (const std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) text.append(chunk, got);
  const int status = pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string linkV4(int link, int side) { return "192.0.2." + std::to_string(16 * link + side); }
// In the form inet_ntop writes (a zero group is left out).
std::string linkV6(int link, int side) {
  return (link == 0 ? "2001:db8::" : "2001:db8:" + std::to_string(link) + "::") +
         std::to_string(side);
}

std::string mac(int link, int side) {
  char text[32];
  std::snprintf(text, sizeof text, "02:70:70:00:%02x:%02x", link, side);
  return text;
}

}  // namespace

TNetChain::TNetChain(const std::string& tag, int routers)
    : prefix("ns-" + tag + "-" + std::to_string(getpid()) + "-"), routerCount(routers) {
  problem = setUp();
}

TNetChain::~TNetChain() {
  for (int index = 0; index <= routerCount + 1; ++index) {
    shell("ip netns delete " + name(index));  // takes the veth ends inside along
  }
  std::error_code ignored;
  std::filesystem::remove_all("/etc/netns/" + source(), ignored);
}

std::string TNetChain::name(int index) const { return prefix + std::to_string(index); }

std::string TNetChain::addressV4(int index) const { return linkV4(index - 1, 2); }
std::string TNetChain::addressV6(int index) const { return linkV6(index - 1, 2); }
std::string TNetChain::reverseName(int index) const {
  return index > routerCount ? "host.chain.test" : "r" + std::to_string(index) + ".chain.test";
}

int TNetChain::run(int index, const std::string& command, std::string* output) const {
  return shell("ip netns exec " + name(index) + " sh -c '" + command + "'", output);
}

std::string TNetChain::setUp() {
  const int last = routerCount + 1;
  std::vector<std::string> commands;
  for (int index = 0; index <= last; ++index) {
    const std::string ns = name(index);
    commands.push_back("ip netns add " + ns);
    commands.push_back("ip -n " + ns + " link set lo up");
    if (index > 0 && index < last) {
      commands.push_back("ip netns exec " + ns + " sysctl -qw net.ipv4.ip_forward=1");
      commands.push_back("ip netns exec " + ns + " sysctl -qw net.ipv6.conf.all.forwarding=1");
    }
  }
  for (int link = 0; link < last; ++link) {
    const std::string left = name(link), right = name(link + 1);
    commands.push_back("ip link add pp" + std::to_string(link) + "l address " + mac(link, 1) +
                       " netns " + left + " type veth peer name pp" + std::to_string(link) +
                       "r address " + mac(link, 2) + " netns " + right);
    for (const auto& [ns, end, side] :
         {std::tuple{left, std::string("l"), 1}, std::tuple{right, std::string("r"), 2}}) {
      const std::string device = "pp" + std::to_string(link) + end;
      const int peer = 3 - side;
      commands.push_back("ip -n " + ns + " addr add " + linkV4(link, side) + "/28 dev " + device);
      commands.push_back("ip -n " + ns + " addr add " + linkV6(link, side) + "/64 dev " + device +
                         " nodad");
      commands.push_back("ip -n " + ns + " link set " + device + " up");
      // Fixed neighbours: a fresh chain's first neighbour discovery delays and drops the first
      // IPv6 probes for about a second, which is no part of what a test looks at.
      for (const std::string& address : {linkV4(link, peer), linkV6(link, peer)})
        commands.push_back("ip -n " + ns + " neigh replace " + address + " lladdr " +
                           mac(link, peer) + " dev " + device + " nud permanent");
    }
  }
  // Routes: links on the host's side via the right neighbour, links on the source's side via the
  // left one.
  for (int index = 0; index <= last; ++index) {
    for (int link = 0; link < last; ++link) {
      std::string via4, via6;
      if (link > index) via4 = linkV4(index, 2), via6 = linkV6(index, 2);
      else if (link < index - 1) via4 = linkV4(index - 1, 1), via6 = linkV6(index - 1, 1);
      else continue;  // a link of its own
      commands.push_back("ip -n " + name(index) + " route add " + linkV4(link, 0) + "/28 via " + via4);
      commands.push_back("ip -n " + name(index) + " -6 route add 2001:db8:" + std::to_string(link) +
                         "::/64 via " + via6);
    }
  }
  for (const std::string& command : commands) {
    std::string output;
    if (shell(command, &output) != 0) return command + ": " + output;
  }
  std::error_code failed;
  const std::filesystem::path etc = "/etc/netns/" + source();
  std::filesystem::create_directories(etc, failed);
  if (failed) return "creating " + etc.string() + ": " + failed.message();
  std::ofstream hosts(etc / "hosts");
  for (int index = 1; index <= last; ++index) {
    hosts << addressV4(index) << " " << reverseName(index) << "\n"
          << addressV6(index) << " " << reverseName(index) << "\n";
  }
  std::ofstream(etc / "resolv.conf") << "nameserver 127.0.0.1\n";
  if (!hosts) return "writing " + (etc / "hosts").string();
  return {};
}

}  // namespace netns
