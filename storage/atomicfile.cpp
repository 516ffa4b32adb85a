#include "atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>

namespace {

constexpr int MaxNameAttempts = 100;

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string resolvedTarget(const std::string& fileName) {
  struct stat st {};
  if (::lstat(fileName.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return fileName;
  char* real = ::realpath(fileName.c_str(), nullptr);
  if (real == nullptr) return fileName;  // a dangling link is replaced by the file itself
  std::string out(real);
  std::free(real);
  return out;
}

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string hex(std::uint64_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), digits[n & 15U]);
    n >>= 4;
  } while (n != 0);
  return out;
}

// A fresh name beside the target. O_EXCL makes the creation fail rather than open a file (or follow
// a link) that someone else put there; another name is then tried.
int createTemporary(const std::string& directory, std::string& name) {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  std::uint64_t seed = static_cast<std::uint64_t>(ts.tv_nsec) ^
                       (static_cast<std::uint64_t>(ts.tv_sec) << 30) ^
                       (static_cast<std::uint64_t>(::getpid()) << 20);
  for (int attempt = 0; attempt < MaxNameAttempts; ++attempt) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    name = directory + "/.sorvelo-save-" + hex(seed >> 16);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The directory entry of the rename is made durable too; a failure here no longer matters to the
// contents, so it is not reported.
void syncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool replaceFileAtomically(const std::string& fileName, const std::string& contents) {
  if (fileName.empty()) return false;
  const std::string target = resolvedTarget(fileName);
  const std::string directory = directoryOf(target);
  std::string temporary;
  const int fd = createTemporary(directory, temporary);
  if (fd < 0) return false;

  // The new file gets the permissions of the one it replaces (a private hosts file stays private).
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);

  bool ok = writeAll(fd, contents);
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  syncDirectory(directory);
  return true;
}
