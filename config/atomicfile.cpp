#include "config/atomicfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "config/xdgdirs.h"

namespace {

// mkostemp replaces the six X with letters and digits. The infix keeps our temporary files apart
// from anything a person names beside the file ("hosts.cfg.backup" has six letters too).
const std::string TemporaryInfix = ".saving-";
constexpr std::size_t RandomChars = 6;

bool isTemporaryName(const std::string& entry, const std::string& baseName) {
  const std::string prefix = baseName + TemporaryInfix;
  if (entry.size() != prefix.size() + RandomChars || entry.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (std::size_t i = prefix.size(); i < entry.size(); ++i) {
    const char c = entry[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

std::string resolvedTarget(const std::string& path) {
  std::vector<char> resolved(PATH_MAX + 1);
  if (realpath(path.c_str(), resolved.data())) return resolved.data();
  return path;  // not there yet: created under its own name
}

bool writeAll(int fd, const std::string& contents) {
  std::size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Makes the rename itself durable; a failure here does not undo the replacement, so it is ignored.
void syncDirectory(const std::string& directory) {
  const int fd = open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool writeFileAtomically(const std::string& path, const std::string& contents) {
  const std::string target = resolvedTarget(path);
  struct stat old {};
  const bool exists = stat(target.c_str(), &old) == 0;
  // rename() would put a regular file in the place of a device such as /dev/null (as root) or of a
  // FIFO another program reads: only regular files are ours to replace.
  if (exists && !S_ISREG(old.st_mode)) return false;
  const mode_t mode = exists ? (old.st_mode & 07777) : 0644;
  std::string temporary = target + TemporaryInfix + std::string(RandomChars, 'X');
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0 && writeAll(fd, contents) && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  if (ok) ok = rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  syncDirectory(parentDirectory(target));
  return true;
}

int removeLeftoverTemporaryFiles(const std::string& path) {
  const std::string target = resolvedTarget(path);
  if (target.empty() || target.back() == '/') return 0;
  const std::string directory = parentDirectory(target);
  const std::string baseName = target.substr(target.find_last_of('/') + 1);
  const std::string folder = directory.empty() ? (target.front() == '/' ? "/" : ".") : directory;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!isTemporaryName(name, baseName)) continue;
    struct stat st {};
    if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (unlinkat(dirfd(dir), name.c_str(), 0) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}
