#pragma once
// The running program follows its hosts file: when another program (sorvelo --add, --remove, an
// editor) replaces it, the change is taken into the host list (see hostsfilemerge.h) a moment
// later, and the hosts keep their counts. The program's own saves are recognised and ignored.

#include <QFileSystemWatcher>
#include <QTimer>

#include <functional>
#include <string>

#include "hostsfilemerge.h"

class TTolvoHosts;

class THostsFileFollower {
 public:
  static constexpr int SettleMs = 300;  // changes that come close together are read once

  // `taken` is told of every change taken into the list.
  THostsFileFollower(TTolvoHosts& list, std::string fileName,
                     std::function<void(const THostsMergeResult&)> taken = {});

  // Looks at the file now (the watcher's signal does this after SettleMs).
  void check();

 private:
  void watch();

  TTolvoHosts& list;
  std::string fileName;
  std::function<void(const THostsMergeResult&)> taken;
  QFileSystemWatcher watcher;
  QTimer settle;
};
