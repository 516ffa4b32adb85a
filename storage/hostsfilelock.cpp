#include "hostsfilelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include "hostsfilekeeper.h"

namespace {

struct THeld {
  int fd = -1;
  int count = 0;
};

// Folders this program holds the lock of, with how often it was taken.
std::map<std::string, THeld>& heldFolders() {
  static std::map<std::string, THeld> held;
  return held;
}

std::string folderOf(const std::string& fileName) {
  const std::string path = resolvedFileName(fileName);
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

THostsFileLock::THostsFileLock(const std::string& fileName) : folder(folderOf(fileName)) {
  auto held = heldFolders().find(folder);
  if (held != heldFolders().end()) {
    ++held->second.count;
    locked = true;
    return;
  }
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(WaitMs);
  while (!(locked = flock(fd, LOCK_EX | LOCK_NB) == 0) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (locked) {
    heldFolders()[folder] = {fd, 1};
  } else {
    close(fd);
  }
}

THostsFileLock::~THostsFileLock() {
  if (!locked) return;
  auto held = heldFolders().find(folder);
  if (held == heldFolders().end() || --held->second.count > 0) return;
  flock(held->second.fd, LOCK_UN);
  close(held->second.fd);
  heldFolders().erase(held);
}
