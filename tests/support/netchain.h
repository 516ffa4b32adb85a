#pragma once
// A chain of network namespaces joined by veth pairs, made by a test and removed again:
//
//   source (0) -- router 1 -- router 2 -- ... -- router N -- host (N+1)
//
// Link k joins namespace k and k+1 with 192.0.2.4k+1 / 2001:db8:k::1 on the left and
// 192.0.2.4k+2 / 2001:db8:k::2 on the right (documentation ranges, /30 and /64 each). Routers
// forward both families; every namespace has routes to every link of the chain and to nothing else,
// so no packet can leave it. A router answers a probe from the source from its left address.
//
// Reverse names for the chain's addresses come from a hosts file of the source namespace
// (/etc/netns/<source>/hosts, which `ip netns exec` puts over /etc/hosts): "r<i>.chain.test" for
// router i, "host.chain.test" for the host; its resolv.conf points at its own loopback, so no
// lookup goes out. Needs root; check ok() and failure().

#include <string>

namespace netns {

class TNetChain {
 public:
  static constexpr int MaxLinks = 64;  // /30 links in 192.0.2.0/24

  // Namespace names are "ns-<tag>-<process id>-<index>".
  explicit TNetChain(const std::string& tag, int routers = 3);  // 1 to MaxLinks - 1 routers
  ~TNetChain();
  TNetChain(const TNetChain&) = delete;
  TNetChain& operator=(const TNetChain&) = delete;

  bool ok() const { return problem.empty(); }
  const std::string& failure() const { return problem; }

  int routers() const { return routerCount; }
  std::string name(int index) const;  // 0 source, 1..routers() routers, routers()+1 host
  std::string source() const { return name(0); }
  std::string host() const { return name(routerCount + 1); }
  // The address that namespace `index` (1 and up) answers from towards the source.
  std::string addressV4(int index) const;
  std::string addressV6(int index) const;
  std::string reverseName(int index) const;

  // Runs a shell command inside namespace `index` (ip netns exec); its exit status, its standard
  // output in `output` when given.
  int run(int index, const std::string& command, std::string* output = nullptr) const;

 private:
  std::string setUp();
  std::string prefix;
  int routerCount;
  std::string problem;
};

}  // namespace netns
