// Sorvelo: a desktop host monitor. The entry creates the windows, runs the event loop until the main
// window has closed in order, and destroys the windows again, the main window last. Command lines
// of the modes without a display are routed away before any QApplication exists.

#include <QApplication>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "history/outagescommand.h"
#include "path/pathcommand.h"

#include "headless/headlessoptions.h"
#include "headless/hostscommand.h"
#include "headless/headlessprogram.h"
#include "ui/program/desktopinstance.h"
#include "ui/program/exitdeadline.h"
#include "ui/program/programwindows.h"
#include "ui/program/signalshutdown.h"
#include "ui/program/startuphooks.h"
#include "ui/program/tfrmmain.h"
#include "ui/program/usermessagebox.h"

int main(int argc, char** argv) {
  // The outage report runs without a display: no windows, only the core application.
  if (isOutagesCommand(argc, argv)) {
    QCoreApplication core(argc, argv);
    return runOutagesCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  }

  // --add, --list, --remove edit the hosts file without a display.
  if (isHostsCommand(argc, argv)) {
    QCoreApplication core(argc, argv);
    return runHostsCommand(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
  }

  // The path trace runs without a display and without Qt.
  if (isPathCommand(argc, argv))
    return runPathCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);

  // --headless, --help, --version: no display, no widgets.
  if (isHeadlessCommandLine(argc, argv)) return runHeadlessProgram(argc, argv);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Sorvelo"));
  // The main window decides when the program ends: after its orderly shutdown.
  QApplication::setQuitOnLastWindowClosed(false);

  // Scripts that run the program without anyone at the screen send its messages to standard error
  // instead of boxes nobody would close (see ui/program/startuphooks.h).
  std::optional<TUserMessageBox> messageBox;
  if (!messagesToStderr()) messageBox.emplace();
  // One desktop program per settings file: a second start brings the first one's window forward.
  TDesktopInstance instance;
  switch (instance.claim()) {
    case TDesktopInstance::TClaim::First: break;
    case TDesktopInstance::TClaim::Activated: return 0;
    case TDesktopInstance::TClaim::Unanswered:
    case TDesktopInstance::TClaim::Refused: return 1;
  }
  // Installed before the windows so a signal during start-up is kept, and acted on once the main
  // window exists.
  TSignalShutdown signalShutdown;

  int result = 0;
  {
    TProgramWindows windows;
    TfrmMain& mainWindow = windows.main();
    QObject::connect(&mainWindow, &TfrmMain::closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    signalShutdown.setAction([&mainWindow](int) { mainWindow.close(); });
#ifndef QT_NO_SESSIONMANAGER
    // The end of the desktop session closes the program like Quit does.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &mainWindow,
                     [&mainWindow](QSessionManager&) { mainWindow.close(); });
#endif
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &mainWindow, [&mainWindow] {
      if (!mainWindow.isClosed()) mainWindow.close();
    });
    installStartupHooks(mainWindow);
    instance.serve(mainWindow);

    mainWindow.show();
    if (!mainWindow.isClosed()) result = QApplication::exec();
  }
  // Everything is saved: what the libraries still tear down may not hold the exit.
  armExitDeadline(result);
  return result;
}
