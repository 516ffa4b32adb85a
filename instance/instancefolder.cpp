#include "instancefolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Whether `path` is a folder of this user without access for group and others; a folder of this
// user with wider access is narrowed.
bool privateFolder(const std::string& path, std::string& problem) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    problem = "the folder " + path + " cannot be used: " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
    problem = "the folder " + path + " is not a folder of this user";
    return false;
  }
  if ((info.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) {
    problem = "the folder " + path + " is open to other users";
    return false;
  }
  return true;
}

}  // namespace

std::string instanceFolder(std::string& problem) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string folder = runtime && *runtime ? std::string(runtime) + "/sorvelo"
                                                 : QDir::tempPath().toStdString() + "/sorvelo-" +
                                                       std::to_string(geteuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    problem = "the folder " + folder + " cannot be made: " + std::strerror(errno);
    return {};
  }
  if (!privateFolder(folder, problem)) return {};
  return folder;
}
