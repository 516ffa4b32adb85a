#pragma once
// The program's five windows, created hidden in their fixed order (main window, status view, host
// maintenance, configuration, About) and destroyed in the reverse order, the main window last, so
// the host list it owns outlives every window that refers to it.

#include <memory>

#include "core/threadping.h"
#include "base/tolvotime.h"

class TfrmAbout;
class TfrmConfigEdit;
class TfrmMain;
class TfrmMaintainHosts;
class TfrmStandardView;

class TProgramWindows {
 public:
  explicit TProgramWindows(const TClock& clock = systemClock(), TEchoService echoService = {});
  ~TProgramWindows();
  TProgramWindows(const TProgramWindows&) = delete;
  TProgramWindows& operator=(const TProgramWindows&) = delete;

  TfrmMain& main() const { return *frmMain; }
  TfrmStandardView& standardView() const { return *frmStandardView; }
  TfrmMaintainHosts& maintainHosts() const { return *frmMaintainHosts; }
  TfrmConfigEdit& configEdit() const { return *frmConfigEdit; }
  TfrmAbout& about() const { return *frmAbout; }

 private:
  std::unique_ptr<TfrmMain> frmMain;
  std::unique_ptr<TfrmStandardView> frmStandardView;
  std::unique_ptr<TfrmMaintainHosts> frmMaintainHosts;
  std::unique_ptr<TfrmConfigEdit> frmConfigEdit;
  std::unique_ptr<TfrmAbout> frmAbout;
};
