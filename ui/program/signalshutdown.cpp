#include "signalshutdown.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QSocketNotifier>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace {

// One pipe per process: a signal handler can reach nothing else.
int pipeFds[2] = {-1, -1};

}  // namespace

TSignalShutdown::TSignalShutdown(std::vector<int> signalList, QObject* parent)
    : QObject(parent), watched(std::move(signalList)) {
  if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::runtime_error("Cannot create the signal pipe");
  notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, &TSignalShutdown::readPipe);
  previous.resize(watched.size());
  struct sigaction sa = {};
  sa.sa_handler = &TSignalShutdown::handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (size_t i = 0; i < watched.size(); ++i) sigaction(watched[i], &sa, &previous[i]);
}

TSignalShutdown::~TSignalShutdown() {
  for (size_t i = 0; i < watched.size(); ++i) sigaction(watched[i], &previous[i], nullptr);
}

void TSignalShutdown::handler(int signo) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signo);
  // Nothing to do when the pipe is full: a shutdown is already on its way.
  [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
  errno = savedErrno;
}

void TSignalShutdown::setAction(std::function<void(int)> onSignal) {
  action = std::move(onSignal);
  if (pending != 0 && action) {
    const int signo = pending;
    pending = 0;
    action(signo);
  }
}

void TSignalShutdown::readPipe() {
  unsigned char bytes[16];
  ssize_t n;
  int last = 0;
  while ((n = ::read(pipeFds[0], bytes, sizeof bytes)) > 0) last = bytes[n - 1];
  if (last == 0) return;
  if (!closingBoxes) {
    closingBoxes = true;
    qApp->installEventFilter(this);
  }
  closeModalBoxes();
  if (action) {
    // Runs at once, also inside a box's loop: that loop ends as soon as this returns.
    action(last);
    return;
  }
  pending = last;
}

void TSignalShutdown::closeModalBoxes() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible() || !window->isModal()) continue;
    // A dialog is rejected (a box whose only button is OK may refuse to close); it ends its loop.
    if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->reject();
    else window->close();
  }
}

bool TSignalShutdown::eventFilter(QObject* object, QEvent* event) {
  // A box opening after the signal: closed from within its own loop, which starts right after the
  // box is shown.
  if (event->type() == QEvent::Show && object->isWidgetType()) {
    const auto* widget = static_cast<QWidget*>(object);
    if (widget->isWindow() && widget->isModal())
      QMetaObject::invokeMethod(this, &TSignalShutdown::closeModalBoxes, Qt::QueuedConnection);
  }
  return QObject::eventFilter(object, event);
}
