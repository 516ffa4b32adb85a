#include "signalwatcher.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace {

// One pipe per process: a signal handler can reach nothing else.
int pipeFds[2] = {-1, -1};

}  // namespace

TSignalWatcher::TSignalWatcher(std::function<void(int)> onSignal, std::vector<int> signalNumbers)
    : action(std::move(onSignal)), watched(std::move(signalNumbers)) {
  if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::runtime_error("Cannot create the signal pipe");
  notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, &TSignalWatcher::readPipe);
  previous.resize(watched.size());
  struct sigaction sa = {};
  sa.sa_handler = &TSignalWatcher::handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < watched.size(); ++i) sigaction(watched[i], &sa, &previous[i]);
}

TSignalWatcher::~TSignalWatcher() {
  for (std::size_t i = 0; i < watched.size(); ++i) sigaction(watched[i], &previous[i], nullptr);
}

void TSignalWatcher::handler(int signo) {
  const int savedErrno = errno;
  const auto byte = static_cast<unsigned char>(signo);
  // A full pipe already holds signals enough to act on.
  [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
  errno = savedErrno;
}

// Every signal is acted on in the order it came (a SIGHUP before a SIGTERM reloads, then stops).
void TSignalWatcher::readPipe() {
  unsigned char bytes[16];
  ssize_t n;
  while ((n = ::read(pipeFds[0], bytes, sizeof bytes)) > 0)
    for (ssize_t i = 0; i < n; ++i)
      if (action) action(bytes[i]);
}
