#include "config/xdgdirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

std::string homeDirectory() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  // A session started without HOME (some service managers) still has a password entry.
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

std::string baseDirectory(const char* variable, const char* fallbackUnderHome) {
  const char* value = std::getenv(variable);
  // The base directory rules call a relative path invalid: it would depend on the working directory.
  if (value && value[0] == '/') return value;
  std::string home = homeDirectory();
  if (!home.empty() && home.back() == '/') home.pop_back();
  return home + fallbackUnderHome;
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string xdgConfigHome() { return baseDirectory("XDG_CONFIG_HOME", "/.config"); }

std::string xdgDataHome() { return baseDirectory("XDG_DATA_HOME", "/.local/share"); }

bool makeDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (isDirectory(path)) return true;
  const std::string parent = parentDirectory(path);
  if (!parent.empty() && parent != path && !makeDirectories(parent)) return false;
  // Another process may create it between the test and mkdir: that is success too.
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return isDirectory(path);
}

std::string parentDirectory(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash);
}
