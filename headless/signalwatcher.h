#pragma once
// SIGTERM, SIGINT and SIGHUP as calls on the event loop's thread: the handler only writes the
// signal number into a pipe (about the one thing that is safe in a handler), and a QSocketNotifier
// on the pipe's other end hands it to the action. A signal that arrives before the event loop
// runs waits in the pipe. The previous dispositions come back when the watcher is destroyed.

#include <QObject>

#include <csignal>
#include <functional>
#include <vector>

class QSocketNotifier;

class TSignalWatcher : public QObject {
  Q_OBJECT
 public:
  explicit TSignalWatcher(std::function<void(int)> action,
                          std::vector<int> signalNumbers = {SIGTERM, SIGINT, SIGHUP});
  ~TSignalWatcher() override;
  TSignalWatcher(const TSignalWatcher&) = delete;
  TSignalWatcher& operator=(const TSignalWatcher&) = delete;

 private:
  static void handler(int signo);
  void readPipe();

  std::function<void(int)> action;
  std::vector<int> watched;
  std::vector<struct sigaction> previous;
  QSocketNotifier* notifier = nullptr;
};
