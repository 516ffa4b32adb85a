#include "config/inifile.h"

#include <fstream>
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

bool TIniFile::load(const std::string& path) {
  sections.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string contents;
  contents.resize(MaxFileBytes + 1);
  in.read(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (in.bad()) return false;
  contents.resize(static_cast<std::size_t>(in.gcount()));
  if (contents.size() > MaxFileBytes) return false;
  parse(contents);
  return true;
}

void TIniFile::parse(const std::string& text) {
  sections.clear();
  sections.push_back({});
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.size() > MaxLineBytes) continue;
    if (!line.empty() && line.back() == '\r') line.pop_back();

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
      if (line.isEntry && sameName(line.name, name)) return line.value;
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
