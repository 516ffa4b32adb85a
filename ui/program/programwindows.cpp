#include "programwindows.h"

#include <QApplication>
#include <QIcon>

#include "ui/standard/frmconfigedit.h"
#include "ui/standard/frmmaintainhosts.h"
#include "programpictures.h"
#include "ui/standard/tfrmabout.h"
#include "tfrmmain.h"
#include "ui/standard/tfrmstandardview.h"

TProgramWindows::TProgramWindows(const TClock& clock, TEchoService echoService) {
  // The desktop matches the windows to the installed launcher (its name and icon in task bars),
  // and the windows carry the installed icon, or the tray's green face where none is installed.
  QGuiApplication::setDesktopFileName(QStringLiteral("sorvelo"));
  QApplication::setWindowIcon(
      QIcon::fromTheme(QStringLiteral("sorvelo"), QIcon(trayPicture(TTrayPicture::ConnectionOk))));
  // The main window's creation step (settings, hosts file, automatic start) runs first, before the
  // other windows exist.
  frmMain = std::make_unique<TfrmMain>(clock, std::move(echoService));
  frmStandardView = std::make_unique<TfrmStandardView>(clock);
  frmMaintainHosts = std::make_unique<TfrmMaintainHosts>();
  frmConfigEdit = std::make_unique<TfrmConfigEdit>();
  frmAbout = std::make_unique<TfrmAbout>();
  frmMain->attachWindows(frmStandardView.get(), frmMaintainHosts.get(), frmConfigEdit.get(),
                         frmAbout.get());
}

TProgramWindows::~TProgramWindows() {
  frmMain->attachWindows(nullptr, nullptr, nullptr, nullptr);
  frmAbout.reset();
  frmConfigEdit.reset();
  frmMaintainHosts.reset();
  frmStandardView.reset();
  frmMain.reset();
}
