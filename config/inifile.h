#pragma once
// A small INI file in memory: "[section]" headers and "name=value" lines, kept in file order so that
// saving changes only the values that were set and keeps everything else (other sections, unknown
// names, comments).
//
// Values are the exact text after the first "=", without quoting or escapes; names and section
// names are trimmed of blanks and matched ignoring ASCII letter case. A value is one line, so a text
// holding a line break or a NUL byte cannot be stored.

#include <optional>
#include <string>
#include <vector>

class TIniFile {
 public:
  // Larger files are not read at all; longer lines are dropped. Both are far beyond anything the
  // program writes, and they keep a damaged file from costing much memory.
  static constexpr std::size_t MaxFileBytes = 4 * 1024 * 1024;
  static constexpr std::size_t MaxLineBytes = 64 * 1024;

  // Replaces the contents with the file's; false (and empty contents) when it cannot be read.
  bool load(const std::string& path);
  void parse(const std::string& text);
  std::string text() const;

  // The first value of that name in the first section of that name holding it.
  std::optional<std::string> value(const std::string& section, const std::string& name) const;
  // Replaces the value (or adds it, and the section); false when the value cannot be stored.
  bool setValue(const std::string& section, const std::string& name, const std::string& value);

 private:
  struct TLine {
    bool isEntry = false;
    std::string name;   // entries
    std::string value;  // entries
    std::string raw;    // every other line, kept as it was
  };
  struct TSection {
    std::string name;
    bool hasHeader = false;  // the lines before the first header have none
    std::vector<TLine> lines;
  };

  TSection& section(const std::string& name);

  std::vector<TSection> sections;
};
