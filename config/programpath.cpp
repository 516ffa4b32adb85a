#include "config/programpath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "config/xdgdirs.h"

namespace {

bool exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// Folders where installed programs live. Root can write to them, but a program installed there
// must never scatter its hosts file and log among the system's programs.
bool isSystemProgramFolder(const std::string& dir) {
  const std::string folder = dir + "/";
  for (const char* prefix : {"/usr/", "/bin/", "/sbin/", "/opt/", "/snap/"})
    if (folder.starts_with(prefix)) return true;
  return false;
}

}  // namespace

std::string programFilePath() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  std::string path(buffer.data(), static_cast<std::size_t>(length));
  // The kernel marks a program file that was replaced or deleted while running (a rebuild, an
  // update); the name it was started under is still the one to start next time.
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() && path.ends_with(deleted) && !exists(path))
    path.resize(path.size() - deleted.size());
  return path;
}

std::string programDirectory() { return parentDirectory(programFilePath()); }

std::string defaultDataDirectory() { return dataDirectoryFor(programDirectory()); }

std::string dataDirectoryFor(const std::string& programDir) {
  if (!programDir.empty() && !isSystemProgramFolder(programDir) &&
      access(programDir.c_str(), W_OK) == 0)
    return programDir;
  const std::string own = xdgDataHome() + "/Sorvelo";
  makeDirectories(own);
  return own;
}
