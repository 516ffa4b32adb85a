#include "desktopinstance.h"

#include <QDeadlineTimer>
#include <QThread>
#include <iostream>
#include <string>

#include "base/usermessages.h"
#include "config/settings.h"
#include "ui/standard/frmconfigedit.h"
#include "tfrmmain.h"
#include "trayicon.h"

namespace {

// Lock trouble (no usable runtime folder) must not keep the program from starting: it only costs
// the guard against a second copy.
void reportUnguarded(const TInstanceLock& lock) {
  if (!lock.problem().empty())
    std::cerr << "sorvelo: " << lock.problem() << "; a second copy would go unnoticed\n";
}

}  // namespace

TDesktopInstance::TDesktopInstance() : settingsLock(TInstanceKind::Settings, settingsFilePath()) {}

TDesktopInstance::TClaim TDesktopInstance::claim() {
  if (!settingsLock.tryAcquire(settingsLock.channelPath())) {
    if (settingsLock.holder()) return activateOther();
    reportUnguarded(settingsLock);
  }
  hostsName = storedHostsFileName();
  hostsLock = std::make_unique<TInstanceLock>(TInstanceKind::Hosts, hostsName);
  if (hostsLock->usedFile().empty() || hostsLock->tryAcquire(settingsLock.channelPath()))
    return TClaim::First;
  if (!hostsLock->holder()) {
    reportUnguarded(*hostsLock);
    return TClaim::First;
  }
  showUserMessage("The hosts file \"" + hostsLock->usedFile() +
                  "\" is in use by another running copy of Sorvelo (" +
                  describeHolder(*hostsLock->holder()) + "). Stop that copy first.");
  return TClaim::Refused;
}

// The other copy may still be starting (lock taken, channel not yet open) or just ending (lock
// about to be free): ask again until it answers, the lock comes free, or the wait is over.
TDesktopInstance::TClaim TDesktopInstance::activateOther() {
  const QDeadlineTimer deadline(ActivateWait);
  while (!deadline.hasExpired()) {
    const TInstanceHolder holder = settingsLock.holder().value_or(TInstanceHolder{});
    const std::string path = holder.channel.empty() ? settingsLock.channelPath() : holder.channel;
    if (sendInstanceCommand(path, "activate", ActivateRetry) == "ok") {
      std::cerr << "sorvelo: already running with these settings (" << describeHolder(holder)
                << "); its window was brought to the front\n";
      return TClaim::Activated;
    }
    QThread::msleep(static_cast<unsigned long>(ActivateRetry.count()));
    if (settingsLock.tryAcquire(settingsLock.channelPath())) return claim();
  }
  showUserMessage("Sorvelo is already running with these settings (" +
                  describeHolder(settingsLock.holder().value_or(TInstanceHolder{})) +
                  ") but did not answer.");
  return TClaim::Unanswered;
}

void TDesktopInstance::serve(TfrmMain& mainWindow) {
  if (!settingsLock.held()) return;
  instanceChannel.setHandler("activate", [&mainWindow] {
    if (!mainWindow.isClosed()) mainWindow.TrayIcon1->showMainForm();
  });
  instanceChannel.setHandler("reload-hosts", [&mainWindow] { mainWindow.reloadHostsFile(); });
  if (!instanceChannel.listen(settingsLock.channelPath()))
    std::cerr << "sorvelo: " << instanceChannel.problem() << "\n";
  if (TfrmConfigEdit* config = mainWindow.configEditDialog())
    QObject::connect(config, &QDialog::finished, config, [this] { followHostsFile(); });
}

void TDesktopInstance::followHostsFile() {
  if (!hostsLock || settings.hosts_file_name == hostsName) return;
  auto next = std::make_unique<TInstanceLock>(TInstanceKind::Hosts, settings.hosts_file_name);
  if (next->usedFile() != hostsLock->usedFile() && !next->usedFile().empty() &&
      !next->tryAcquire(settingsLock.channelPath()) && next->holder()) {
    showUserMessage("The hosts file \"" + next->usedFile() +
                    "\" is in use by another running copy of Sorvelo (" +
                    describeHolder(*next->holder()) + "); the hosts file stays \"" + hostsName +
                    "\".");
    settings.hosts_file_name = hostsName;
    return;
  }
  if (next->usedFile() != hostsLock->usedFile()) hostsLock = std::move(next);
  hostsName = settings.hosts_file_name;
}
