#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a call on the interface thread, so that the program ends
// through the same orderly shutdown as Quit (hosts file and settings written) instead of dying.
//
// The signal handler only writes the signal number into a pipe (the one thing that is safe there);
// a QSocketNotifier on the pipe's read end delivers it to the event loop. The previous dispositions
// come back when the object is destroyed.

#include <QObject>

#include <csignal>
#include <functional>
#include <vector>

class QSocketNotifier;

class TSignalShutdown : public QObject {
  Q_OBJECT
 public:
  explicit TSignalShutdown(std::vector<int> signalNumbers = {SIGTERM, SIGINT, SIGHUP},
                           QObject* parent = nullptr);
  ~TSignalShutdown() override;
  TSignalShutdown(const TSignalShutdown&) = delete;
  TSignalShutdown& operator=(const TSignalShutdown&) = delete;

  // What to do on a signal. A signal that arrives before this is set is kept and handed over here;
  // a modal box open at that moment (start-up asking something) is closed meanwhile.
  void setAction(std::function<void(int)> onSignal);
  // The signal received and not yet handed to an action, or 0.
  int pendingSignal() const { return pending; }

 private:
  static void handler(int signo);
  void readPipe();

  std::vector<int> watched;
  std::vector<struct sigaction> previous;
  QSocketNotifier* notifier = nullptr;
  std::function<void(int)> action;
  int pending = 0;
};
