#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a call on the interface thread, so that the program ends
// through the same orderly shutdown as Quit (hosts file and settings written) instead of dying.
//
// The signal handler only writes the signal number into a pipe (the one thing that is safe there);
// a QSocketNotifier on the pipe's read end delivers it to the event loop. The previous dispositions
// come back when the object is destroyed.
//
// A modal box runs an event loop of its own and holds up whatever opened it until it is answered.
// Once a signal has come nobody is expected to answer: the boxes open then are closed, and so is
// every one that opens later (start-up going on to its next question, say), so that the shutdown
// is never held by a box.

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

  // What to do on a signal. A signal that arrives before this is set is kept and handed over here
  // (start-up is still running then; its boxes are closed meanwhile).
  void setAction(std::function<void(int)> onSignal);
  // The signal received and not yet handed to an action, or 0.
  int pendingSignal() const { return pending; }

 protected:
  bool eventFilter(QObject* object, QEvent* event) override;

 private:
  static void handler(int signo);
  void readPipe();
  void closeModalBoxes();

  std::vector<int> watched;
  std::vector<struct sigaction> previous;
  QSocketNotifier* notifier = nullptr;
  std::function<void(int)> action;
  int pending = 0;
  bool closingBoxes = false;
};
