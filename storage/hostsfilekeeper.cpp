#include "hostsfilekeeper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

std::vector<TFileIdentity>& remembered() {
  static std::vector<TFileIdentity> files;
  return files;
}

// rename() that never replaces an existing file. RENAME_NOREPLACE is refused by a few file systems
// (EINVAL): a link and an unlink do the same there, where links are allowed.
bool renameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL) return false;
  if (link(from.c_str(), to.c_str()) != 0) return false;
  if (unlink(from.c_str()) != 0) {
    const int saved = errno;
    unlink(to.c_str());
    errno = saved;
    return false;
  }
  return true;
}

}  // namespace

std::string resolvedFileName(const std::string& fileName) {
  std::vector<char> buffer(PATH_MAX + 1);
  if (realpath(fileName.c_str(), buffer.data())) return buffer.data();
  return fileName;
}

void rememberHostsFile(const TFileIdentity& identity) {
  std::vector<TFileIdentity>& files = remembered();
  for (const TFileIdentity& known : files)
    if (known == identity) return;
  files.push_back(identity);
}

bool isRememberedHostsFile(const TFileIdentity& identity) {
  for (const TFileIdentity& known : remembered())
    if (known == identity) return true;
  return false;
}

std::string keptAsideName(const std::string& fileName, long long unixSeconds) {
  const std::time_t at = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
  localtime_r(&at, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  return fileName + ".unreadable-" + stamp;
}

std::string keepAside(const std::string& fileName, std::string& why) {
  const std::string from = resolvedFileName(fileName);
  const std::string base = keptAsideName(from, static_cast<long long>(std::time(nullptr)));
  for (int n = 1; n <= 100; ++n) {
    const std::string to = n == 1 ? base : base + "-" + std::to_string(n);
    if (renameNoReplace(from, to)) return to;
    if (errno != EEXIST) break;
  }
  why = std::strerror(errno);
  return {};
}
