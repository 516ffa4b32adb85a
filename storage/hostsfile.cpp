#include "hostsfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "config/atomicfile.h"
#include "hostsfileparser.h"
#include "base/textutils.h"

namespace {

constexpr std::size_t ReadChunkBytes = 64 * 1024;
const std::string LineEnd = "\r\n";

// The format has no escaping: a line break inside a value would end the line there and turn the
// rest into a line of its own (possibly a marker that breaks the whole load). Such bytes become
// blanks; every other byte is written as it is.
std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

std::string stringLine(const char* key, const std::string& value) {
  return std::string(key) + " %STRING% " + oneLine(value) + LineEnd;
}

std::string integerLine(const char* key, std::int32_t value) {
  return std::string(key) + " %INTEGER% " + integerToText(value) + LineEnd;
}

// Zero ("never") comes out as the short date of day zero, 30 December 1899, with no time.
std::string dateTimeLine(const char* key, TDateTime value, const TRegionalFormat& format) {
  return std::string(key) + " %DATETIME% " + format.formatDateTimeOmitMidnight(value) + LineEnd;
}

TFileIdentity identityOf(const struct stat& st) {
  auto ns = [](const timespec& t) { return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; };
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::int64_t>(st.st_size), ns(st.st_mtim), ns(st.st_ctim)};
}

// The file open for reading, or -1 with `state` saying why not.
int openForReading(const std::string& fileName, THostsFileReadResult& result) {
  int fd;
  do {
    // O_NONBLOCK: a name that points at a FIFO must not hang the start-up.
    fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == ENOENT) {
      result.state = THostsFileState::missing;
    } else {
      // No access to the file itself, or to the directory: tell a non-file apart where we can.
      const std::optional<TFileFound> found = findFile(fileName);
      result.state = found && !found->isRegular ? THostsFileState::notRegular
                                                 : THostsFileState::unopenable;
    }
    return -1;
  }
  // Only a regular file is a hosts file: a directory, a device such as /dev/zero that never ends,
  // or a FIFO counts as a file that cannot be opened, and the list is left as it is.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    result.state = THostsFileState::notRegular;
    ::close(fd);
    return -1;
  }
  result.identity = identityOf(st);
  return fd;
}

// Feeds the whole file to the parser; false on a read error.
bool readAll(int fd, THostsFileParser& parser) {
  std::string buffer(ReadChunkBytes, '\0');
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!parser.feed(buffer.data(), static_cast<std::size_t>(n))) return true;
  }
}

}  // namespace

std::string formatHostBlock(const THostFileRecord& record, const TRegionalFormat& format) {
  std::string block = "NEW_HOST_START $$@@$$ " + LineEnd;
  block += stringLine("HOSTCALLINGNAME", record.callingName);
  block += stringLine("HOSTNAME", record.hostName);
  block += stringLine("HOSTIPADDRESS", record.ipAddress);
  block += integerLine("TIMEOUT", record.timeout);
  block += integerLine("INTERVAL", record.interval);
  block += integerLine("SUCCEEDEDCOUNT", record.succeededCount);
  block += integerLine("FAILEDCOUNT", record.failedCount);
  block += dateTimeLine("LASTSUCCEEDEDAT", record.lastSucceededAt, format);
  block += dateTimeLine("LASTFAILEDAT", record.lastFailedAt, format);
  block += dateTimeLine("LASTSENTAT", record.lastSentAt, format);
  block += "NEW_HOST_END $$@@$$ " + LineEnd;
  return block;
}

// The whole file is built first (255 blocks are a few tens of kilobytes) and then replaces the old
// one in a single step, so a full disk or a crash mid-save never leaves a half-written host list.
bool writeHostsFile(const std::string& fileName, const std::vector<THostFileRecord>& records,
                    const TRegionalFormat& format) {
  std::string contents;
  for (const THostFileRecord& record : records) contents += formatHostBlock(record, format);
  return writeFileAtomically(fileName, contents);
}

THostsFileReadResult readHostsFile(const std::string& fileName,
                                   const std::function<void(const THostFileRecord&)>& onHost,
                                   const std::function<void()>& beforeFirstLine,
                                   const TRegionalFormat& format) {
  THostsFileReadResult result;
  const int fd = openForReading(fileName, result);
  if (fd < 0) return result;
  result.opened = true;
  if (beforeFirstLine) beforeFirstLine();

  THostsFileParser parser(
      [&onHost](const THostFileRecord& record) {
        if (onHost) onHost(record);
      },
      format);
  const bool readOk = readAll(fd, parser);
  const bool parsedOk = readOk && parser.finish();
  const bool closed = ::close(fd) == 0;
  result.ok = readOk && parsedOk && closed;
  if (!readOk || !closed) {
    result.state = THostsFileState::readError;
  } else if (!parsedOk) {
    result.state = THostsFileState::formatError;
  } else {
    result.state = parser.lostLines() == 0 ? THostsFileState::whole : THostsFileState::partial;
  }
  return result;
}

std::optional<TFileFound> findFile(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) return std::nullopt;
  return TFileFound{identityOf(st), S_ISREG(st.st_mode)};
}
