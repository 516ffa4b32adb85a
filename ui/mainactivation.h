#pragma once
// What the main window does when it becomes active, after it has set its titles: the version-check
// question, the first-run questions, `firsttime` := 0, and the start-up version check, which runs at
// most once per process.

#include <QString>

#include <functional>
#include <string>

class QWidget;

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
  // activation runs then.
  bool activate(QWidget* mainWindow, const TActivationActions& actions);

  bool versionCheckRan = false;
  TVersionCheckTarget target;
};
