#pragma once
// Runs a piece of test code inside a fresh private network namespace, so a test can change network
// settings (sysctls, firewall rules, a silent host) without touching the machine's own.
//
// The body runs in a forked child: the child leaves the test's namespace (unshare(CLONE_NEWNET)),
// brings its loopback up, writes the requested sysctls, runs the set-up commands, optionally drops to
// an unprivileged user, then runs the body and hands its integer and text result back over a pipe.
// A child that overruns the time limit is killed. Needs root (CAP_SYS_ADMIN): check isRoot() first
// and skip otherwise.
//
// The body runs in another process: GoogleTest assertions inside it are lost. Return values instead
// and assert on them in the test.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace netns {

struct TNetnsSetup {
  bool loopbackUp = true;
  // Written under /proc/sys inside the namespace, e.g. {"net/ipv4/ping_group_range", "0 0"}.
  std::vector<std::pair<std::string, std::string>> sysctls;
  // Shell commands run inside the namespace before the body (nft rules, addresses); any that fails
  // ends the run with a failure.
  std::vector<std::string> commands;
  // Become this user id and group id (no supplementary groups, no capabilities) before the body.
  std::optional<unsigned> dropToUser;
  std::chrono::milliseconds timeLimit{15000};
};

struct TNetnsResult {
  bool completed = false;  // the body ran to its end
  int code = 0;            // what the body returned
  std::string text;        // what the body put into its text
  std::string failure;     // why the body did not complete: set-up, exception, crash, time limit
};

// The body gets a text to fill and returns a number; both come back in the result.
using TNetnsBody = std::function<int(std::string& text)>;

TNetnsResult runInPrivateNetns(const TNetnsBody& body, const TNetnsSetup& setup = {});

bool isRoot();

}  // namespace netns

namespace netns {

// True when this process's network namespace has no interface up but loopback, so no packet can
// leave the machine (the test programs run so under root). Tests that resolve made-up names skip
// otherwise, since the resolver would be asked over the network.
bool loopbackOnly();

// Brings the loopback interface of the current namespace up; an empty text, or what went wrong.
std::string bringLoopbackUp();

}  // namespace netns
