#pragma once
// One desktop program per settings file (see instance/instancelock.h).
//
// claim(), before any window exists, takes the lock of the settings file. When another copy holds
// it, that copy is asked through its channel to bring its window to the front and this start ends
// without touching a file: Activated, or Unanswered when the other copy did not answer within
// ActivateWait. Then the lock of the hosts file the settings name is taken: when another copy (a
// headless monitor, or a desktop program with other settings) uses that file, the user is told
// which process it is and this start ends: Refused.
//
// serve(), once the main window exists, opens the channel: "reload-hosts" takes a change made to
// the hosts file as its follower does; "activate" shows the main window,
// restored when it was minimised or hidden in the tray, raised and active. The channel is also
// named in the hosts-file lock, so commands about the hosts file reach this copy; they add their
// handlers through channel().
//
// The Config dialog may name another hosts file, which the program saves to from then on: the
// hosts-file lock moves with the name. A file that another running copy uses is refused there: the
// user is told which process uses it and the name goes back to the file this program holds.

#include <chrono>
#include <memory>
#include <string>

#include "instance/instancechannel.h"
#include "instance/instancelock.h"

class TfrmMain;

class TDesktopInstance {
 public:
  enum class TClaim { First, Activated, Unanswered, Refused };
  static constexpr std::chrono::milliseconds ActivateWait{5000};
  static constexpr std::chrono::milliseconds ActivateRetry{100};

  TDesktopInstance();
  TClaim claim();
  void serve(TfrmMain& mainWindow);
  TInstanceChannel& channel() { return instanceChannel; }

 private:
  TClaim activateOther();
  void followHostsFile();

  TInstanceLock settingsLock;
  std::unique_ptr<TInstanceLock> hostsLock;
  std::string hostsName;  // the settings' text of the hosts file the lock is for
  TInstanceChannel instanceChannel;
};
