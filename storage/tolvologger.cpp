#include "tolvologger.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "config/programpath.h"
#include "config/settings.h"
#include "base/textutils.h"

namespace {

constexpr const char* VersionText = "1.0.5.1.release";

// Only a..z change: the texts are bytes without an encoding, so bytes above 127 stay as they are
// whatever the C locale thinks of them.
std::string upperAsciiLetters(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string withoutSemicolons(const std::string& text) { return stripChar('A', ';', text); }

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

}  // namespace

TTolvoLogger::TTolvoLogger(const TClock& clock_, std::string programPath_)
    : clock(clock_), programPath(std::move(programPath_)) {
  if (programPath.empty()) programPath = programFilePath();
}

void TTolvoLogger::logConnectionStatus(std::int32_t state) {
  if (!settings.general_log_enabled) return;
  const char* word = state == 1 ? "UP" : state == 2 ? "DOWN" : nullptr;
  if (word == nullptr) return;
  appendLine(settings.general_log_filename, formatEntry("CONNECTION_STATUS", "NETWORK", word, ""));
}

void TTolvoLogger::logHostStatus(const std::string& hostName, const std::string& ipAddress,
                                 std::int32_t status) {
  if (!settings.host_log_enabled) return;
  const char* word = status == 1 ? "UP" : status == 2 ? "DOWN" : nullptr;
  if (word == nullptr) return;
  appendLine(settings.general_log_filename,
             formatEntry("HOST_STATUS", "NETWORK", word, hostName + " // " + ipAddress));
}

void TTolvoLogger::logProgram(bool starting) {
  if (!settings.general_log_enabled) return;
  appendLine(settings.general_log_filename,
             formatEntry("PROGRAM", starting ? "STARTUP" : "SHUTDOWN", "", ""));
}

void TTolvoLogger::logPinging(bool started) {
  if (!settings.general_log_enabled) return;
  appendLine(settings.general_log_filename,
             formatEntry("PROGRAM", "PINGING", started ? "START" : "STOP", ""));
}

void TTolvoLogger::logTimestamp(const std::string& text) {
  if (!settings.general_log_enabled) return;
  appendLine(settings.general_log_filename, formatEntry("PROGRAM", "TIMESTAMP", text, ""));
}

// The subject is one of the program's fixed words and is not filtered. The program path loses its
// ";" too, so that every line keeps its 16 fields wherever the program is installed.
std::string TTolvoLogger::formatEntry(const std::string& kind, const std::string& subject,
                                      const std::string& state, const std::string& detail) const {
  const TDateParts now = decodeDateTime(clock.now());
  std::string line;
  for (const int n : {now.day, now.month, now.year, now.hour, now.minute, now.second})
    line += integerToText(n) + ";";
  line += upperAsciiLetters(withoutSemicolons(kind)) + ";";
  line += upperAsciiLetters(subject) + ";";
  line += upperAsciiLetters(withoutSemicolons(state)) + ";";
  line += withoutSemicolons(detail) + ";";
  line += withoutSemicolons(programPath);
  line += ";;;;;";
  line += VersionText;
  return line;
}

// One write of the whole line, so that with O_APPEND a line of another writer never lands inside it.
// A missing directory is not created: every entry is dropped until it exists. O_NONBLOCK keeps a log
// name that points at a FIFO without a reader from blocking the interface thread (ENXIO instead).
bool TTolvoLogger::appendLine(const std::string& fileName, const std::string& line) {
  if (fileName.empty()) return false;
  int fd;
  do {
    fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  const bool written = writeAll(fd, line + "\r\n");
  const bool closed = ::close(fd) == 0;
  return written && closed;
}
