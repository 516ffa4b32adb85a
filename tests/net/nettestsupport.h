#pragma once
// Helpers of the socket, lookup and HTTP tests: bounded waits on the event loop, a loopback TCP
// server running a scripted conversation in a thread of its own, and a way to run a test again in
// a private network namespace where no name server can be reached.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

using namespace std::chrono_literals;

// Runs the event loop (sleeping, not spinning) until cond holds or the limit has passed.
bool waitUntil(const std::function<bool()>& cond, std::chrono::milliseconds limit = 5000ms);
// Runs the event loop for a while, to see that nothing more happens.
void settle(std::chrono::milliseconds time);

// A port on 127.0.0.1 where nothing listens (taken from the kernel, then released).
std::uint16_t closedPort();

// Blocking helpers for the server side; all bounded by their limit.
std::string readUntil(int fd, const std::function<bool(const std::string&)>& enough,
                      std::chrono::milliseconds limit = 5000ms);
std::string readToEnd(int fd, std::chrono::milliseconds limit = 5000ms);  // until EOF or reset
bool writeAll(int fd, const std::string& bytes);

// Listens on 127.0.0.1 and hands each accepted connection (at most `clients`) to the script, which
// runs in the server thread; the connection is closed when the script returns.
class TLoopbackServer {
 public:
  using TScript = std::function<void(int fd)>;
  explicit TLoopbackServer(TScript script, int clients = 1);
  ~TLoopbackServer();
  TLoopbackServer(const TLoopbackServer&) = delete;
  TLoopbackServer& operator=(const TLoopbackServer&) = delete;

  std::uint16_t port() const { return boundPort; }
  bool finished() const { return served == clientLimit; }

 private:
  void run(TScript script);

  int listener = -1;
  std::uint16_t boundPort = 0;
  int clientLimit;
  std::atomic<int> served{0};
  std::atomic<bool> stopping{false};
  std::thread worker;
};

// Lookups of names that are not in /etc/hosts would ask the machine's name server. Tests that need
// them run again in a child process inside fresh network and mount namespaces: there the loopback
// is up and /etc/resolv.conf names 127.0.0.1 only, so every query stays on this machine.
//
// In the parent, RUN_ISOLATED runs the current test in such a child and reports its outcome; in
// the child, it returns and the test body goes on.
bool isIsolatedChild();
std::string runCurrentTestIsolated();  // "" when the child ran, else why it could not
#define RUN_ISOLATED()                                          \
  if (!isIsolatedChild()) {                                     \
    const std::string whyNot = runCurrentTestIsolated();        \
    if (!whyNot.empty()) GTEST_SKIP() << whyNot;                \
    return;                                                     \
  }

// Inside the isolated child: /etc/hosts becomes a file with this text (a bind mount of the child's
// own mount namespace); false when that failed.
bool useHostsFile(const std::string& text);
bool useResolverFile(const std::string& text);  // the child's own /etc/resolv.conf gets this text

// Inside the isolated child: a UDP name server on 127.0.0.1:53 that swallows every query, so a
// lookup waits for the resolver's time-out. Closed with the object.
class TSilentNameServer {
 public:
  TSilentNameServer();
  ~TSilentNameServer();
  TSilentNameServer(const TSilentNameServer&) = delete;
  TSilentNameServer& operator=(const TSilentNameServer&) = delete;
  bool ok() const { return fd >= 0; }

 private:
  int fd = -1;
};
