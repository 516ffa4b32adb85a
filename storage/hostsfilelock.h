#pragma once
// A short exclusive lock around a read-modify-write of a hosts file, so that two writers (the
// running monitor's save and sorvelo --add, or two commands) never lose each other's changes.
// The lock is a flock on the folder that holds the file: the file itself is replaced by every
// atomic write, and a lock file would be one more file beside the user's. Taken again by the same
// program while held, it only counts (the command's save runs inside the command's lock).

#include <string>

class THostsFileLock {
 public:
  static constexpr int WaitMs = 5000;  // at most this long for another writer to finish

  explicit THostsFileLock(const std::string& fileName);
  ~THostsFileLock();
  THostsFileLock(const THostsFileLock&) = delete;
  THostsFileLock& operator=(const THostsFileLock&) = delete;

  // False when the lock could not be had in time (the writer goes on without it or gives up).
  bool held() const { return locked; }

 private:
  std::string folder;
  bool locked = false;
};
