#include "support/netns.h"
#include "nettestsupport.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* IsolatedMark = "SORVELO_ISOLATED_CHILD";

int remainingMs(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

std::uint16_t localPort(int fd) {
  sockaddr_in a{};
  socklen_t size = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  return ntohs(a.sin_port);
}


// Inside the child's own mount namespace only: puts a file with this text over a system file.
bool mountTextOver(const char* target, const std::string& text) {
  char path[] = "/tmp/sorvelo-etc-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  const bool mounted = written && mount(path, target, nullptr, MS_BIND, nullptr) == 0;
  unlink(path);
  return mounted;
}

// The resolver asks 127.0.0.1 only, once, for one second.
bool pointResolverAtLoopback() {
  return mountTextOver("/etc/resolv.conf", "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n");
}

}  // namespace

bool waitUntil(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
  if (cond()) return true;
  QEventLoop loop;
  QTimer check;
  QTimer deadline;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (cond()) loop.quit();
  });
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  check.start(5);
  deadline.setSingleShot(true);
  deadline.start(limit);
  loop.exec();
  return cond();
}

void settle(std::chrono::milliseconds time) {
  QEventLoop loop;
  QTimer::singleShot(time, &loop, &QEventLoop::quit);
  loop.exec();
}

std::uint16_t closedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  const std::uint16_t port = localPort(fd);
  close(fd);
  return port;
}

std::string readUntil(int fd, const std::function<bool(const std::string&)>& enough,
                      std::chrono::milliseconds limit) {
  std::string got;
  const auto end = Clock::now() + limit;
  while (!enough(got)) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, remainingMs(end)) <= 0) break;
    char chunk[4096];
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    got.append(chunk, static_cast<std::size_t>(n));
  }
  return got;
}

std::string readToEnd(int fd, std::chrono::milliseconds limit) {
  return readUntil(fd, [](const std::string&) { return false; }, limit);
}

bool writeAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

TLoopbackServer::TLoopbackServer(TScript script, int clients) : clientLimit(clients) {
  listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = loopback(0);
  if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 8) != 0)
    ADD_FAILURE() << "loopback server: " << std::strerror(errno);
  boundPort = localPort(listener);
  worker = std::thread([this, script = std::move(script)] { run(script); });
}

TLoopbackServer::~TLoopbackServer() {
  stopping = true;
  worker.join();
  close(listener);
}

// Waits for clients in short polls so that destruction never waits long; 30 s at most overall.
void TLoopbackServer::run(TScript script) {
  const auto end = Clock::now() + 30s;
  while (!stopping && served < clientLimit && Clock::now() < end) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    script(client);
    close(client);
    ++served;
  }
}

bool isIsolatedChild() {
  static const bool child = [] {
    if (std::getenv(IsolatedMark) == nullptr) return false;
    if (!netns::bringLoopbackUp().empty() || !pointResolverAtLoopback()) {
      std::fprintf(stderr, "isolated child: could not set up its namespaces\n");
      std::exit(3);
    }
    return true;
  }();
  return child;
}

std::string runCurrentTestIsolated() {
  if (geteuid() != 0) return "needs root to make private network and mount namespaces";
  const QString unshare = "/usr/bin/unshare";
  if (access(unshare.toLocal8Bit().constData(), X_OK) != 0) return "no /usr/bin/unshare";
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const QString filter = QString("--gtest_filter=%1.%2").arg(info->test_suite_name(), info->name());

  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(IsolatedMark, "1");
  child.setProcessEnvironment(env);
  child.setProcessChannelMode(QProcess::MergedChannels);
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return "cannot find the test program";
  child.start(unshare, {"-n", "-m", "--propagation", "private", QString::fromLocal8Bit(self), filter});
  if (!child.waitForFinished(60000)) {
    child.kill();
    child.waitForFinished(5000);
    ADD_FAILURE() << "isolated run did not finish within 60 s";
    return {};
  }
  const QString output = QString::fromLocal8Bit(child.readAll());
  if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
    ADD_FAILURE() << "isolated run failed:\n" << output.toStdString();
  else if (!output.contains("[  PASSED  ] 1 test"))
    ADD_FAILURE() << "isolated run did not pass its test:\n" << output.toStdString();
  return {};
}

bool useHostsFile(const std::string& text) {
  return isIsolatedChild() && mountTextOver("/etc/hosts", text);
}

// The child's /etc/resolv.conf is already a file of its own (see pointResolverAtLoopback): it is
// rewritten in place.
bool useResolverFile(const std::string& text) {
  if (!isIsolatedChild()) return false;
  std::ofstream file("/etc/resolv.conf", std::ios::trunc);
  file << text;
  return static_cast<bool>(file.flush());
}

TSilentNameServer::TSilentNameServer() {
  fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = loopback(53);
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    fd = -1;
  }
}

TSilentNameServer::~TSilentNameServer() {
  if (fd >= 0) close(fd);
}
