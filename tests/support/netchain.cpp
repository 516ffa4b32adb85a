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
  // On a line of its own after the command, so a here-document's end marker stays alone on its
  // line.
  FILE* pipe = popen(("(" + command + "\n) 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char chunk[4096];
  while (const std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) text.append(chunk, got);
  const int status = pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string linkV4(int link, int side) { return "192.0.2." + std::to_string(4 * link + side); }
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
  // The folder of all namespaces' files goes too once empty (another chain's files keep it).
  std::filesystem::remove("/etc/netns", ignored);
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
  if (routerCount < 1 || last > MaxLinks)
    return "a chain has 1 to " + std::to_string(MaxLinks - 1) + " routers";
  std::vector<std::string> commands;
  for (int index = 0; index <= last; ++index) commands.push_back("ip netns add " + name(index));
  for (int link = 0; link < last; ++link) {
    commands.push_back("ip link add pp" + std::to_string(link) + "l address " + mac(link, 1) +
                       " netns " + name(link) + " type veth peer name pp" + std::to_string(link) +
                       "r address " + mac(link, 2) + " netns " + name(link + 1));
  }
  // The rest of each namespace in one batch of ip commands: a long chain stays quick to make.
  std::vector<std::string> batches(static_cast<std::size_t>(last) + 1, "link set lo up\n");
  for (int link = 0; link < last; ++link) {
    for (const int side : {1, 2}) {
      std::string& batch = batches[static_cast<std::size_t>(link + side - 1)];
      const std::string device = "pp" + std::to_string(link) + (side == 1 ? "l" : "r");
      const int peer = 3 - side;
      batch += "addr add " + linkV4(link, side) + "/30 dev " + device + "\n" + "addr add " +
               linkV6(link, side) + "/64 dev " + device + " nodad\n" + "link set " + device +
               " up\n";
      // Fixed neighbours: a fresh chain's first neighbour discovery delays and drops the first
      // IPv6 probes for about a second, which is no part of what a test looks at.
      for (const std::string& address : {linkV4(link, peer), linkV6(link, peer)})
        batch += "neigh replace " + address + " lladdr " + mac(link, peer) + " dev " + device +
                 " nud permanent\n";
    }
  }
  // Routes: links on the host's side via the right neighbour, links on the source's side via the
  // left one.
  for (int index = 0; index <= last; ++index) {
    for (int link = 0; link < last; ++link) {
      std::string via4, via6;
      if (link > index)
        via4 = linkV4(index, 2), via6 = linkV6(index, 2);
      else if (link < index - 1)
        via4 = linkV4(index - 1, 1), via6 = linkV6(index - 1, 1);
      else
        continue;  // a link of its own
      batches[static_cast<std::size_t>(index)] += "route add " + linkV4(link, 0) + "/30 via " +
                                                  via4 + "\n" + "route add " + linkV6(link, 0) +
                                                  "/64 via " + via6 + "\n";
    }
  }
  for (int index = 0; index <= last; ++index) {
    commands.push_back("ip -n " + name(index) + " -batch - <<'PPEOF'\n" +
                       batches[static_cast<std::size_t>(index)] + "PPEOF");
    if (index > 0 && index < last)
      commands.push_back("ip netns exec " + name(index) +
                         " sysctl -qw net.ipv4.ip_forward=1 net.ipv6.conf.all.forwarding=1");
  }
  for (const std::string& command : commands) {
    std::string output;
    if (shell(command, &output) != 0) return command + ": " + output;
  }
  std::error_code failed;
  const std::filesystem::path etc = "/etc/netns/" + source();
  // A chain being removed at the same time may take /etc/netns away between the two folders'
  // creation: try again.
  for (int attempt = 0; attempt < 3 && !std::filesystem::is_directory(etc); ++attempt)
    std::filesystem::create_directories(etc, failed);
  if (!std::filesystem::is_directory(etc))
    return "creating " + etc.string() + ": " + failed.message();
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
