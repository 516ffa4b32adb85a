#include "support/netns.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>

namespace netns {

namespace {

using Clock = std::chrono::steady_clock;

// The frame the child writes: completed (1 byte), code (4 bytes), text length (4 bytes), text.
void writeAll(int fd, const void* data, std::size_t length) {
  const auto* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t written = write(fd, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
}

[[noreturn]] void finishChild(int fd, bool completed, int code, const std::string& text) {
  const std::uint8_t flag = completed ? 1 : 0;
  const auto length = static_cast<std::uint32_t>(text.size());
  writeAll(fd, &flag, sizeof flag);
  writeAll(fd, &code, sizeof code);
  writeAll(fd, &length, sizeof length);
  writeAll(fd, text.data(), text.size());
  close(fd);
  _exit(completed ? 0 : 2);  // no atexit handlers, no flushing of the parent's buffered output
}

std::string withErrno(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string writeSysctl(const std::string& name, const std::string& value) {
  const std::string path = "/proc/sys/" + name;
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return withErrno("opening " + path);
  const ssize_t written = write(fd, value.data(), value.size());
  std::string problem;
  if (written != static_cast<ssize_t>(value.size())) problem = withErrno("writing " + path);
  close(fd);
  return problem;
}

// Everything the child does before the body; an empty text when it all worked.
std::string prepareChild(const TNetnsSetup& setup) {
  if (unshare(CLONE_NEWNET) != 0) return withErrno("unshare(CLONE_NEWNET)");
  if (setup.loopbackUp) {
    if (auto problem = bringLoopbackUp(); !problem.empty()) return problem;
  }
  for (const auto& [name, value] : setup.sysctls) {
    if (auto problem = writeSysctl(name, value); !problem.empty()) return problem;
  }
  for (const auto& command : setup.commands) {
    if (std::system(command.c_str()) != 0) return "set-up command failed: " + command;
  }
  if (setup.dropToUser) {
    const unsigned id = *setup.dropToUser;
    if (setgroups(0, nullptr) != 0) return withErrno("setgroups");
    if (setgid(id) != 0) return withErrno("setgid");
    if (setuid(id) != 0) return withErrno("setuid");  // all capabilities go with uid 0
  }
  return {};
}

[[noreturn]] void runChild(int fd, const TNetnsBody& body, const TNetnsSetup& setup) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a test runner that died
  if (auto problem = prepareChild(setup); !problem.empty()) finishChild(fd, false, -1, problem);
  std::string text;
  try {
    const int code = body(text);
    finishChild(fd, true, code, text);
  } catch (const std::exception& e) {
    finishChild(fd, false, -1, std::string("exception: ") + e.what());
  } catch (...) {
    finishChild(fd, false, -1, "unknown exception");
  }
}

// Reads until the child closes the pipe or the deadline passes; false on the deadline.
bool readUntilClosed(int fd, Clock::time_point deadline, std::string& received) {
  char chunk[4096];
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd watched{fd, POLLIN, 0};
    const int ready = poll(&watched, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return ready == 0 ? false : true;
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return true;
    received.append(chunk, static_cast<std::size_t>(got));
  }
}

std::string describeEnd(int status) {
  if (WIFSIGNALED(status)) return "child killed by signal " + std::to_string(WTERMSIG(status));
  return "child exited with " + std::to_string(WEXITSTATUS(status)) + " without a result";
}

TNetnsResult decode(const std::string& frame, int status) {
  TNetnsResult result;
  constexpr std::size_t headerBytes = 1 + sizeof(int) + sizeof(std::uint32_t);
  std::uint32_t length = 0;
  if (frame.size() >= headerBytes) std::memcpy(&length, frame.data() + 1 + sizeof(int), 4);
  if (frame.size() < headerBytes || frame.size() != headerBytes + length) {
    result.failure = describeEnd(status);
    return result;
  }
  result.completed = frame[0] == 1;
  std::memcpy(&result.code, frame.data() + 1, sizeof(int));
  std::string text = frame.substr(headerBytes);
  if (result.completed) {
    result.text = std::move(text);
  } else {
    result.failure = std::move(text);
  }
  return result;
}

}  // namespace

TNetnsResult runInPrivateNetns(const TNetnsBody& body, const TNetnsSetup& setup) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return {false, 0, {}, withErrno("pipe")};
  const Clock::time_point deadline = Clock::now() + setup.timeLimit;
  const pid_t child = fork();
  if (child < 0) {
    close(ends[0]);
    close(ends[1]);
    return {false, 0, {}, withErrno("fork")};
  }
  if (child == 0) {
    close(ends[0]);
    runChild(ends[1], body, setup);
  }
  close(ends[1]);
  std::string frame;
  const bool inTime = readUntilClosed(ends[0], deadline, frame);
  close(ends[0]);
  if (!inTime) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!inTime) {
    return {false, 0, {},
            "time limit of " + std::to_string(setup.timeLimit.count()) + " ms exceeded"};
  }
  return decode(frame, status);
}

bool isRoot() { return geteuid() == 0; }

}  // namespace netns

namespace netns {

namespace {
std::string describeErrno(const std::string& what) { return what + ": " + std::strerror(errno); }
}  // namespace

std::string bringLoopbackUp() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return describeErrno("socket for lo");
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  std::string problem;
  if (ioctl(fd, SIOCGIFFLAGS, &request) != 0) {
    problem = describeErrno("reading the flags of lo");
  } else {
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    if (ioctl(fd, SIOCSIFFLAGS, &request) != 0) problem = describeErrno("bringing lo up");
  }
  close(fd);
  return problem;
}

bool loopbackOnly() {
  DIR* dir = opendir("/sys/class/net");
  if (dir == nullptr) return false;
  bool onlyLoopback = true;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || name == "lo") continue;
    std::ifstream flags("/sys/class/net/" + name + "/flags");
    unsigned long value = 0;
    flags >> std::hex >> value;
    if (value & 0x1) onlyLoopback = false;  // IFF_UP
  }
  closedir(dir);
  return onlyLoopback;
}

}  // namespace netns
