#pragma once
// What the main window does when it becomes active, after it has set its titles: the version-check
// question, the first-run questions, `firsttime` := 0, and the start-up version check, which runs at
// most once per process.
//
// The questions are ordinary modal QMessageBoxes parented to the main window; tests answer them by
// finding QApplication::activeModalWidget() from a timer.

#include <QString>

#include <chrono>
#include <functional>
#include <string>

class QWidget;
class TClock;

struct TActivationActions {
  std::function<void()> startStopClick;   // the click action of btnStartStop
  std::function<void()> closeMainWindow;  // the orderly shutdown of the main window
};

// Where the version check goes; tests point it at a server of their own on 127.0.0.1.
struct TVersionCheckTarget {
  std::string url;
  std::string host;
  int port = 80;
};

class TMainActivation {
 public:
  TMainActivation();

  // Returns false when the program is ending (No to the folder question); nothing else of the
  // activation runs then. A call made while an activation is still running (the main window
  // activated again when one of our boxes closes, or during the version check's wait) returns true
  // at once without asking anything.
  bool activate(QWidget* mainWindow, const TActivationActions& actions);

  bool versionCheckRan = false;
  TVersionCheckTarget target;

  // The clock of the 5-stamp-second wait (the system clock unless a test sets one), and the
  // wall-clock limit that bounds the wait whatever that clock does.
  const TClock* clock = nullptr;
  std::chrono::milliseconds wallLimit{6000};

 private:
  bool askFirstRunQuestions(QWidget* mainWindow, const TActivationActions& actions);
  void runVersionCheck(QWidget* mainWindow);

  bool running = false;
};
