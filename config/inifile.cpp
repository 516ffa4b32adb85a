#include "config/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <iterator>

namespace {

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool storable(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

}  // namespace

TIniFile::TLoadResult TIniFile::load(const std::string& path) {
  sections.clear();
  longLines = 0;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ENOENT ? TLoadResult::missing : TLoadResult::unreadable;
  struct stat st {};
  TLoadResult result = TLoadResult::loaded;
  if (::fstat(fd, &st) != 0) {
    result = TLoadResult::unreadable;
  } else if (!S_ISREG(st.st_mode)) {
    result = TLoadResult::notRegular;
  } else if (static_cast<std::uintmax_t>(st.st_size) > MaxFileBytes) {
    result = TLoadResult::tooLarge;
  }
  std::string contents;
  if (result == TLoadResult::loaded) {
    // One byte more than allowed tells a file that grew since the fstat.
    contents.resize(MaxFileBytes + 1);
    std::size_t done = 0;
    while (done < contents.size()) {
      const ssize_t n = ::read(fd, contents.data() + done, contents.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) result = TLoadResult::unreadable;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    contents.resize(done);
    if (result == TLoadResult::loaded && done > MaxFileBytes) result = TLoadResult::tooLarge;
  }
  ::close(fd);
  if (result == TLoadResult::loaded) parse(contents);
  return result;
}

void TIniFile::parse(const std::string& text) {
  sections.clear();
  sections.push_back({});
  longLines = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    // The line end: a run of CRs and at most one LF after it.
    start = end;
    while (start < text.size() && text[start] == '\r') ++start;
    if (start < text.size() && text[start] == '\n') ++start;
    if (line.size() > MaxLineBytes) {
      ++longLines;
      sections.back().lines.push_back({false, {}, {}, line});
      continue;
    }

    const std::string bare = trimmed(line);
    if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') {
      sections.push_back({trimmed(bare.substr(1, bare.size() - 2)), true, {}});
      continue;
    }
    const auto equals = line.find('=');
    const bool comment = !bare.empty() && (bare.front() == ';' || bare.front() == '#');
    if (!comment && equals != std::string::npos && !trimmed(line.substr(0, equals)).empty()) {
      sections.back().lines.push_back({true, trimmed(line.substr(0, equals)), line.substr(equals + 1), {}});
    } else {
      sections.back().lines.push_back({false, {}, {}, line});
    }
  }
}

std::string TIniFile::text() const {
  std::string out;
  for (const TSection& s : sections) {
    if (s.hasHeader) out += "[" + s.name + "]\n";
    for (const TLine& line : s.lines) out += (line.isEntry ? line.name + "=" + line.value : line.raw) + "\n";
  }
  return out;
}

std::optional<std::string> TIniFile::value(const std::string& sectionName, const std::string& name) const {
  for (const TSection& s : sections) {
    if (!s.hasHeader || !sameName(s.name, sectionName)) continue;
    for (const TLine& line : s.lines)
      if (line.isEntry && sameName(line.name, name)) return trimmed(line.value);
  }
  return std::nullopt;
}

bool TIniFile::setValue(const std::string& sectionName, const std::string& name, const std::string& value) {
  if (!storable(value) || !storable(name) || !storable(sectionName)) return false;
  for (TSection& s : sections) {
    if (!s.hasHeader || !sameName(s.name, sectionName)) continue;
    for (TLine& line : s.lines)
      if (line.isEntry && sameName(line.name, name)) {
        line.value = value;
        return true;
      }
  }
  TSection& target = section(sectionName);
  // A new value goes after the section's last value, ahead of the blank lines that part it from the
  // next section.
  auto at = target.lines.end();
  while (at != target.lines.begin() && !std::prev(at)->isEntry && trimmed(std::prev(at)->raw).empty()) --at;
  target.lines.insert(at, {true, name, value, {}});
  return true;
}

TIniFile::TSection& TIniFile::section(const std::string& name) {
  for (TSection& s : sections)
    if (s.hasHeader && sameName(s.name, name)) return s;
  // A blank line before a new section, as a person would write it.
  if (!sections.empty() && !sections.back().lines.empty()) {
    const TLine& last = sections.back().lines.back();
    if (last.isEntry || !trimmed(last.raw).empty()) sections.back().lines.push_back({false, {}, {}, ""});
  }
  sections.push_back({name, true, {}});
  return sections.back();
}
