#pragma once
// A lock that says "a running copy of Sorvelo uses this file": the desktop program holds one for
// its settings file, and every monitor (desktop or headless) one for its hosts file.
//
// The lock is flock(2) on a small file in the instance folder (instancefolder.h) named after a hash
// of the used file's canonical path. The kernel drops a flock when the last descriptor of its
// holder closes, so a copy killed with SIGKILL leaves no stale lock; the file itself is never
// removed (removing it would race with a copy that has just opened it) and the next start takes it
// over. The descriptor is closed on exec, so a command the program starts never inherits the lock.
//
// The holder writes a record into the file (its process id, its command line and the path of its
// channel, see instancechannel.h), so that a refused start can name the other copy and a command
// can reach it. Reading the record needs no lock.

#include <optional>
#include <string>

enum class TInstanceKind { Settings, Hosts };

struct TInstanceHolder {
  long pid = 0;
  std::string command;
  std::string channel;  // the holder's channel (a local socket path); empty when it has none
};

class TInstanceLock {
 public:
  TInstanceLock(TInstanceKind kind, const std::string& usedFile);
  ~TInstanceLock();
  TInstanceLock(const TInstanceLock&) = delete;
  TInstanceLock& operator=(const TInstanceLock&) = delete;

  // True when this process holds the lock now. False when another copy holds it (holder() names
  // it) or when no lock can be made here (problem() says why; callers then run unguarded).
  bool tryAcquire(const std::string& channel = {});
  bool held() const { return fd >= 0; }
  const std::optional<TInstanceHolder>& holder() const { return otherHolder; }
  const std::string& problem() const { return lockProblem; }
  // Where the holder of this lock listens, by convention: beside the lock file.
  std::string channelPath() const;
  const std::string& usedFile() const { return canonicalUsedFile; }

 private:
  std::string canonicalUsedFile;
  std::string lockPath;  // empty when no instance folder is usable
  std::string lockProblem;
  std::optional<TInstanceHolder> otherHolder;
  int fd = -1;
};

// The copy that holds the lock for `usedFile` now, if any: for commands that talk to a running
// monitor through its channel.
std::optional<TInstanceHolder> instanceHolder(TInstanceKind kind, const std::string& usedFile);

// `path` with symbolic links, "." and ".." resolved; for a file or folders that do not exist (yet),
// the canonical path of the nearest folder that does, and the rest. Relative paths are taken from
// the working folder, as the program opens them.
std::string canonicalFilePath(const std::string& path);

// "pid 1234: sorvelo --headless", or "another copy" when the holder's record could not be read.
std::string describeHolder(const TInstanceHolder& holder);
