#include "hostsfilefollower.h"

#include <QFileInfo>

#include "hostsfilekeeper.h"
#include "hostsfilelock.h"

THostsFileFollower::THostsFileFollower(TTolvoHosts& hostList, std::string hostsFileName,
                                       std::function<void(const THostsMergeResult&)> onTaken)
    : list(hostList), fileName(std::move(hostsFileName)), taken(std::move(onTaken)) {
  settle.setSingleShot(true);
  settle.setInterval(SettleMs);
  QObject::connect(&settle, &QTimer::timeout, [this] { check(); });
  // An atomic write replaces the file, which ends the watch on it: the folder is watched as well,
  // and the file again after every change.
  QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, [this] { settle.start(); });
  QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, [this] { settle.start(); });
  watch();
}

void THostsFileFollower::watch() {
  const QString file = QString::fromStdString(resolvedFileName(fileName));
  const QString folder = QFileInfo(file).absolutePath();
  if (!watcher.directories().contains(folder)) watcher.addPath(folder);
  if (QFileInfo::exists(file) && !watcher.files().contains(file)) watcher.addPath(file);
}

void THostsFileFollower::check() {
  watch();
  const std::optional<TFileFound> found = findFile(fileName);
  if (!found || !found->isRegular || isRememberedHostsFile(found->identity)) return;
  const THostsFileLock lock(fileName);
  const THostsMergeResult result = mergeHostsFile(list, fileName);
  if (result.merged && taken) taken(result);
}
