#include "headlessprogram.h"

#include <QCoreApplication>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/settings.h"
#include "headlessoptions.h"
#include "headlessrunner.h"
#include "icmp/echosocket.h"
#include "icmp/ping.h"
#include "instance/instancechannel.h"
#include "instance/instancelock.h"
#include "signalwatcher.h"
#include "stderrmessages.h"

namespace {

constexpr int ExitClean = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// Whether echoes can be sent at all, found out once at start by opening the socket a worker
// would open: a service that could never ping should fail where its manager sees it, not log
// every host as down.
bool echoFacilityUsable() {
  try {
    const TEchoSocket probe = openEchoSocket();
    close(probe.fd);
    return true;
  } catch (const TICMPException& e) {
    printMessage(TSeverity::Error, std::string(e.what()) + ": " + e.cause());
    return false;
  }
}

// A --config file must exist and be a readable file; without --config a missing settings file
// means the defaults.
bool settingsFileUsable(const std::string& configFile) {
  if (configFile.empty()) {
    struct stat info {};
    if (stat(settingsFilePath().c_str(), &info) != 0)
      printMessage(TSeverity::Info,
                   "there is no settings file at " + settingsFilePath() + "; using the defaults");
    return true;
  }
  struct stat info {};
  if (stat(configFile.c_str(), &info) != 0) {
    printMessage(TSeverity::Error, "the settings file " + configFile + " does not exist");
    return false;
  }
  if (!S_ISREG(info.st_mode) || access(configFile.c_str(), R_OK) != 0) {
    printMessage(TSeverity::Error, "the settings file " + configFile + " cannot be read");
    return false;
  }
  overrideSettingsFilePath(configFile);
  return true;
}

// One monitor per hosts file: two would save over each other's counters and hosts. False when
// another running copy (desktop or headless) uses the file; a lock that cannot be made at all only
// costs the check.
bool claimHostsFile(TInstanceLock& lock) {
  if (lock.usedFile().empty() || lock.tryAcquire(lock.channelPath())) return true;
  if (!lock.holder()) {
    printMessage(TSeverity::Warning,
                 lock.problem() + "; another copy on the same hosts file would go unnoticed");
    return true;
  }
  printMessage(TSeverity::Error, "the hosts file " + lock.usedFile() +
                                     " is in use by another running copy of Sorvelo (" +
                                     describeHolder(*lock.holder()) + ")");
  return false;
}

}  // namespace

int runHeadlessProgram(int argc, char** argv) {
  const THeadlessOptions options =
      parseHeadlessOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (!options.error.empty()) {
    printMessage(TSeverity::Error, options.error + " (see sorvelo --help)");
    return ExitUsage;
  }
  if (options.help) {
    std::fputs(headlessUsage().c_str(), stdout);
    return ExitClean;
  }
  if (options.version) {
    std::fputs(versionText().c_str(), stdout);
    return ExitClean;
  }
  if (!settingsFileUsable(options.configFile)) return ExitUsage;
  TInstanceLock hostsLock(TInstanceKind::Hosts,
                          options.hostsFile.empty() ? storedHostsFileName() : options.hostsFile);
  if (!claimHostsFile(hostsLock)) return ExitFailure;
  if (!echoFacilityUsable()) return ExitFailure;

  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Sorvelo"));
  installStderrMessageSink();
  THeadlessRunner runner(options.hostsFile);
  QObject::connect(&runner, &THeadlessRunner::finished, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  // Installed before start-up, so a signal that comes meanwhile is acted on once the loop runs.
  TSignalWatcher signalWatcher([&runner](int signo) {
    if (signo == SIGHUP) {
      runner.reloadHosts();
    } else {
      runner.shutDown();
    }
  });
  if (!runner.startUp()) return ExitFailure;
  // `sorvelo --add` and the like ask a running monitor to read its hosts file again through here.
  TInstanceChannel channel;
  channel.setHandler("reload-hosts", [&runner] { runner.reloadHosts(); });
  if (hostsLock.held() && !channel.listen(hostsLock.channelPath()))
    printMessage(TSeverity::Warning, channel.problem());
  const int result = QCoreApplication::exec();
  runner.shutDown();  // the loop ended some other way: still close in order
  return result;
}
