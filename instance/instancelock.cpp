#include "instancelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "instancefolder.h"

namespace {

// A holder writes its record right after it takes the lock: a reader that comes in between finds
// the file empty and looks again a few times.
constexpr int RecordReadTries = 10;
constexpr std::chrono::milliseconds RecordReadPause{20};
constexpr std::size_t CommandChars = 200;

std::string lockFilePath(TInstanceKind kind, const std::string& canonicalPath,
                         std::string& problem) {
  const std::string folder = instanceFolder(problem);
  if (folder.empty()) return {};
  const QByteArray hash =
      QCryptographicHash::hash(QByteArray::fromStdString(canonicalPath), QCryptographicHash::Sha256)
          .toHex()
          .left(16);
  return folder + (kind == TInstanceKind::Settings ? "/settings-" : "/hosts-") +
         hash.toStdString() + ".lock";
}

// This process's command line, arguments separated by spaces, on one line.
std::string ownCommandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  for (char& c : text)
    if (c == '\0' || c == '\n' || c == '\r') c = ' ';
  return text.substr(0, CommandChars);
}

std::optional<TInstanceHolder> parseRecord(const std::string& text) {
  TInstanceHolder holder;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "pid") holder.pid = std::strtol(value.c_str(), nullptr, 10);
    if (key == "command") holder.command = value;
    if (key == "channel") holder.channel = value;
  }
  if (holder.pid <= 0) return std::nullopt;
  return holder;
}

TInstanceHolder readRecord(const std::string& lockPath) {
  for (int attempt = 0; attempt < RecordReadTries; ++attempt) {
    std::ifstream in(lockPath);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (auto holder = parseRecord(text)) return *holder;
    std::this_thread::sleep_for(RecordReadPause);
  }
  return {};
}

}  // namespace

std::string canonicalFilePath(const std::string& path) {
  if (path.empty()) return {};
  // The nearest folder that exists is resolved and the rest appended, so a file and folders made
  // later (the first start makes the settings folder) keep the key they had before.
  QString existing = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
  QString rest;
  while (QFileInfo(existing).canonicalFilePath().isEmpty() && existing != QLatin1String("/")) {
    const QFileInfo part(existing);
    rest = QLatin1Char('/') + part.fileName() + rest;
    existing = part.absolutePath();
  }
  return QDir::cleanPath(QFileInfo(existing).canonicalFilePath() + rest).toStdString();
}

std::string describeHolder(const TInstanceHolder& holder) {
  if (holder.pid <= 0) return "another copy";
  return "pid " + std::to_string(holder.pid) +
         (holder.command.empty() ? "" : ": " + holder.command);
}

TInstanceLock::TInstanceLock(TInstanceKind kind, const std::string& usedFile)
    : canonicalUsedFile(canonicalFilePath(usedFile)) {
  lockPath = lockFilePath(kind, canonicalUsedFile, lockProblem);
}

TInstanceLock::~TInstanceLock() {
  if (fd >= 0) close(fd);
}

std::string TInstanceLock::channelPath() const {
  if (lockPath.empty()) return {};
  return lockPath.substr(0, lockPath.size() - 5) + ".sock";
}

bool TInstanceLock::tryAcquire(const std::string& channel) {
  if (fd >= 0) return true;
  otherHolder.reset();
  if (lockPath.empty()) return false;
  const int opened = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (opened < 0) {
    lockProblem = "the lock file " + lockPath + " cannot be opened: " + std::strerror(errno);
    return false;
  }
  if (flock(opened, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(opened);
    if (error == EWOULDBLOCK) {
      otherHolder = readRecord(lockPath);
    } else {
      lockProblem = "the lock file " + lockPath + " cannot be locked: " + std::strerror(error);
    }
    return false;
  }
  fd = opened;
  const std::string record = "pid=" + std::to_string(getpid()) + "\ncommand=" + ownCommandLine() +
                             "\nchannel=" + channel + "\nfile=" + canonicalUsedFile + "\n";
  if (ftruncate(fd, 0) != 0 ||
      pwrite(fd, record.data(), record.size(), 0) != static_cast<ssize_t>(record.size()))
    lockProblem = "the lock file " + lockPath + " cannot be written: " + std::strerror(errno);
  return true;
}

std::optional<TInstanceHolder> instanceHolder(TInstanceKind kind, const std::string& usedFile) {
  TInstanceLock probe(kind, usedFile);
  if (probe.tryAcquire()) return std::nullopt;  // nobody holds it; released again at once
  return probe.holder();
}
