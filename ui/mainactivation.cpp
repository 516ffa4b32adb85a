#include "ui/mainactivation.h"

#include "ui/siteaddresses.h"

TMainActivation::TMainActivation() : target{VersionCheckUrl, VersionCheckHost, VersionCheckPort} {}

bool TMainActivation::activate(QWidget* mainWindow, const TActivationActions& actions) {
  (void)mainWindow;
  (void)actions;
  return true;
}
